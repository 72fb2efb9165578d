# What every shell test of Vandrel shares: a scratch folder of its own, and
# failures counted, so that one run reports them all. Sourced after `set -u`:
#   . "$(dirname "$0")/../shell_test.sh"
# shellcheck shell=sh

# Prints the path of a new empty folder for the test called $1, under
# $TMPDIR; the caller removes it on exit.
scratch_folder() {
    mktemp -d "${TMPDIR:-/tmp}/vandrel-$1-test.XXXXXX"
}

# The program $1 as an absolute path, so that the test may change folders; a
# bare name is left for PATH to find.
absolute_program() {
    case $1 in
    */*) echo "$(cd "$(dirname "$1")" && pwd)/$(basename "$1")" ;;
    *) echo "$1" ;;
    esac
}

# For a test that mounts a file system of its own: sets $work to a new
# scratch folder for the test called $1 and $disk to an empty folder in it to
# mount on; on exit whatever is mounted there is unmounted and both are removed.
scratch_mount_point() {
    work=$(scratch_folder "$1") || exit 1
    disk=$work/disk
    mkdir "$disk"
    trap 'cd /; umount "$disk" 2>/dev/null; rm -rf "$work"' EXIT
    trap 'exit 1' INT TERM
}

# For a test that runs the program under strace, with the other tools named
# (which scripts/install-deps.sh installs): skips (status 77) with the reason
# when one is missing or strace cannot trace. LeakSanitizer cannot work under
# ptrace: a sanitized build runs without it.
need_strace_and() {
    for tool in strace "$@"; do
        command -v "$tool" >/dev/null || skip "$tool is missing (scripts/install-deps.sh installs it)"
    done
    strace -f -o /dev/null true 2>/dev/null || skip "strace cannot trace here"
    export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
}

# Ends the test as skipped (status 77), with the reason.
skip() {
    echo "SKIPPED: $*"
    exit 77
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
