# Running the real program in the background and watching it, for the tests
# that kill or signal it at chosen points. Sourced after shell_test.sh, with
# $vandrel and $piece_count set and the scratch folder as the working folder.
# shellcheck shell=sh

piece() { echo "data.bin.$1.$piece_count.plit"; }

# Runs vandrel to the end; its status goes to $status, its error stream to err.txt.
run() {
    "$vandrel" --quiet "$@" </dev/null >out.txt 2>err.txt
    status=$?
}

# Starts vandrel in the background; its process id goes to $pid.
start_job() {
    "$vandrel" --quiet "$@" </dev/null >out.txt 2>err.txt &
    pid=$!
}

# True while the job runs (an exited job stays a zombie until waited for).
job_running() {
    read -r _ _ state _ 2>/dev/null <"/proc/$pid/stat" && [ "$state" != Z ]
}

wait_until_exists() {
    while job_running && [ ! -e "$1" ]; do :; done
}

wait_until_gone() {
    while job_running && [ -e "$1" ]; do :; done
}

# Waits until the file at $1 holds fewer than $2 bytes or is gone: a split in
# place has cut it (or renamed it to its first piece).
wait_until_shorter() {
    while job_running; do
        size=$(stat -c %s "$1" 2>/dev/null) || return 0
        [ "$size" -ge "$2" ] || return 0
    done
}
