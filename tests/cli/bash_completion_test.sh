#!/bin/sh
# The bash completion of vandrel in a folder of names with blanks, quotes and
# other odd characters: each completes as one word, as typed bare, after an
# opening quote or with backslashes; join offers pieces and folders, verify
# pieces and lists, --into folders alone, and a split's size its names.
# Usage: bash_completion_test.sh COMPLETION_FILE
set -u
. "$(dirname "$0")/../shell_test.sh"
command -v bash >/dev/null || skip "bash is missing"
completion=$(absolute_program "$1")
work=$(scratch_folder completion) || exit 1
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1

mkdir "a folder" "it's here"
touch "a movie.avi" "a movie.avi.0.3.plit" "a movie.avi.plit.sha256" "it's.bin.1.2.plit" \
    'quote"d $x (1).plit' "tab	name.plit" "star*.plit" "back\\slash.plit" "a.txt"

# Completing the words given, the last one being completed, offers exactly
# the names given after "--" (none for an empty list).
expect_offered() {
    words=""
    while [ "$1" != -- ]; do
        words="$words$1|"
        shift
    done
    shift
    printf '%s\n' "$@" | sed '/^$/d' | LC_ALL=C sort >expected.txt
    printf '%s' "$words" | tr '|' '\n' >words.txt
    bash -c '. "$1"; mapfile -t COMP_WORDS <words.txt; COMP_WORDS=(vandrel "${COMP_WORDS[@]}")
             COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); _vandrel; printf "%s\n" "${COMPREPLY[@]}"' \
        complete "$completion" | sed '/^$/d' | LC_ALL=C sort >got.txt
    cmp -s expected.txt got.txt || fail "completing [$words]: expected [$(cat expected.txt)], got [$(cat got.txt)]"
}

expect_offered join "a m" -- "a movie.avi.0.3.plit"
expect_offered join "'a m" -- "a movie.avi.0.3.plit"
expect_offered join 'a\ m' -- "a movie.avi.0.3.plit"
expect_offered join "a" -- "a folder" "a movie.avi.0.3.plit"
expect_offered join "it" -- "it's here" "it's.bin.1.2.plit"
expect_offered join "\"it's" -- "it's here" "it's.bin.1.2.plit"
expect_offered join "quo" -- 'quote"d $x (1).plit'
expect_offered join "tab" -- "tab	name.plit"
expect_offered join "star" -- "star*.plit"
expect_offered join "back" -- "back\\slash.plit"
expect_offered verify "a m" -- "a movie.avi.0.3.plit" "a movie.avi.plit.sha256"
expect_offered split "a" -- "a folder" "a movie.avi" "a movie.avi.0.3.plit" "a movie.avi.plit.sha256" "a.txt"
expect_offered split "a movie.avi" "dvd" -- "dvd" "dvd-dl"
expect_offered split --into "a" -- "a folder"
expect_offered join --keep --into "it" -- "it's here"
expect_offered split --pieces "" --
expect_offered join --k -- "--keep"
expect_offered split --i -- "--into" "--in-place"
expect_offered split --no -- "--no-list" "--no-in-place"
expect_offered join --i -- "--into"
expect_offered split --in-place "a m" -- "a movie.avi" "a movie.avi.0.3.plit" "a movie.avi.plit.sha256"
expect_offered "" -- join split verify
finish "bash completion"
