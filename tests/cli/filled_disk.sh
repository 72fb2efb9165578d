# Running the program, and taking a small file system's free space away to a chosen number of pages,
# for the tests that run the program on a nearly full disk. Sourced after
# shell_test.sh, with the file system's folder as the working folder.
# shellcheck shell=sh

# Runs the program quietly ($vandrel, with $work for its output), keeping its
# exit status in $status.
run() {
    "$vandrel" --quiet "$@" </dev/null >"$work/out.txt" 2>"$work/err.txt"
    status=$?
}

last_command() { echo "exit $status, $(head -c 300 "$work/err.txt")"; }

page=4096

free_pages() { echo $(($(stat -f -c '%a' .) * $(stat -f -c '%S' .) / page)); }

# Takes free space away with a filler file until `$1` pages are left.
leave_free_pages() {
    head -c $((($(free_pages) - $1) * page)) /dev/zero >filler.bin
    [ "$(free_pages)" -eq "$1" ] || fail "could not leave $1 pages free (left $(free_pages))"
}
