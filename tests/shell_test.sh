# What every shell test of Vandrel shares: a scratch folder of its own, and
# failures counted, so that one run reports them all. Sourced after `set -u`:
#   . "$(dirname "$0")/../shell_test.sh"
# shellcheck shell=sh

# Prints the path of a new empty folder for the test called $1, under
# $TMPDIR; the caller removes it on exit.
scratch_folder() {
    mktemp -d "${TMPDIR:-/tmp}/vandrel-$1-test.XXXXXX"
}

failures=0
fail() {
    echo "FAILED: $*" >&2
    failures=$((failures + 1))
}

# Ends the test called $1: status 1 after any failure, else a line saying it passed.
finish() {
    [ "$failures" -eq 0 ] || exit 1
    echo "$1: passed"
}
