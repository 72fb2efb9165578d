#!/bin/sh
# Sends SIGINT, SIGTERM and SIGHUP to `vandrel` at several points of a split
# and of a join, as a user's Ctrl-C, a shutdown or a closed terminal would,
# and checks each time the exit status (128 + the signal), the line printed,
# what is on disk, and the user's next step:
# - a stopped split leaves the input whole where it was and no piece or list
#   beside it; splitting again and joining gives the original back;
# - a stopped join leaves the rebuilt file with whole pieces and prints the
#   one command that finishes it; that command, pasted into the shell as it
#   is printed, rebuilds the original byte for byte and leaves no piece;
# - a stopped split in place leaves the input holding its first whole pieces
#   and the others beside it, and prints the commands that finish the split
#   and that join the original back; each, as printed, does what it says.
# Then a second signal during a job ends the program at once, by that
# signal, and a later run recovers as after a kill.
# A signal that comes after the job's last chunk lets it complete: such a run
# must have succeeded and left the whole result; at least half of the
# signals must land for the test to say anything.
# Usage: stop_signals_test.sh VANDREL
set -u
. "$(dirname "$0")/../shell_test.sh"
. "$(dirname "$0")/running_job.sh"
vandrel=$(absolute_program "$1")
piece_count=24
# An uneven last piece; large enough that a stop lands between two chunks.
file_bytes=$((piece_count * 4194304 - 54321))
signals="INT TERM HUP"

work=$(scratch_folder stop) || exit 1
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
head -c "$file_bytes" /dev/urandom >reference.bin


status_of() {
    case $1 in
    INT) echo 130 ;;
    TERM) echo 143 ;;
    HUP) echo 129 ;;
    esac
}

# Waits for the job; $status is its exit status.
end_job() {
    wait "$pid"
    status=$?
}

whole() { cmp -s "$1" reference.bin; }
pieces_left() { ls | grep -c '\.plit$'; }
any_piece() { ls | grep '\.plit$' | head -n 1; }
clean() { rm -f data.bin data.bin.*.plit data.bin.plit.* moved-away.bin; }

landed=0
completed=0

# A job that ended with 0 although it was signalled: the signal came after
# its last chunk. Its result must be whole.
check_completed() {
    completed=$((completed + 1))
    case $1 in
    split) [ ! -e data.bin ] && [ "$(pieces_left)" -eq "$piece_count" ] ||
        fail "$2: a split that completed left $(pieces_left) pieces, input there: $([ -e data.bin ] && echo yes)" ;;
    join) whole data.bin && [ "$(pieces_left)" -eq 0 ] ||
        fail "$2: a join that completed left $(pieces_left) pieces or a file that is not the original" ;;
    esac
}

# Sends SIG$1 to the job of kind $2 and waits for it. False when the signal
# came after the job's last chunk, once what it completed is checked.
signal_landed() {
    kill -"$1" "$pid" 2>/dev/null
    end_job
    if [ "$status" -eq 0 ]; then
        check_completed "$2" "$what"
        return 1
    fi
    landed=$((landed + 1))
}

# --- a stopped split ------------------------------------------------------------

# Signal $1 once piece $2 exists.
stop_split() {
    what="split stopped by SIG$1 once piece $2 existed"
    clean
    cp reference.bin data.bin
    start_job split data.bin 4MB
    wait_until_exists "$(piece "$2")"
    signal_landed "$1" split || return
    [ "$status" -eq "$(status_of "$1")" ] || fail "$what: exit status $status, expected $(status_of "$1") ($(cat err.txt))"
    [ "$(wc -l <err.txt)" -eq 1 ] && grep -qi 'stop' err.txt ||
        fail "$what: expected one line saying the split stopped, got [$(cat err.txt)]"
    [ ! -s out.txt ] || fail "$what: printed on standard output: [$(cat out.txt)]"
    whole data.bin || fail "$what: the input is not whole where it was"
    [ "$(pieces_left)" -eq 0 ] && [ ! -e data.bin.plit.sha256 ] ||
        fail "$what: the pieces made are still there: $(ls | head -5)"
    # The user's next step: the same command again, then a join.
    run split data.bin 4MB
    [ "$status" -eq 0 ] || fail "$what: splitting again failed: exit $status, $(cat err.txt)"
    run join "$(piece 3)"
    whole data.bin && [ "$(pieces_left)" -eq 0 ] || fail "$what: the split again and the join did not give the original"
}

# --- a stopped split in place -----------------------------------------------------

# The command a split in place cut short printed for way $1 ("finish" or
# "undo"), run as the shell would read it, with the program's own path in
# place of its name.
run_way_out() {
    case $1 in
    finish) command=$(sed -n 's/^vandrel: to finish the split, run: vandrel \(.*\); to get the whole .*$/\1/p' err.txt) ;;
    undo) command=$(sed -n 's/^vandrel: to finish the split, run: .*; to get the whole file back, run: vandrel \(.*\)$/\1/p' err.txt) ;;
    esac
    if [ -z "$command" ]; then
        fail "$what: no command to $1 it in [$(cat err.txt)]"
        return 1
    fi
    eval "\"\$vandrel\" --quiet $command" </dev/null >out.txt 2>err.txt
    status=$?
}

# Signal $1 to a split in place once piece $2 exists (it makes the last
# first), then take the way out $3 that it printed: the split started again
# finishes it, the join gives the original back.
stop_split_in_place() {
    what="split --in-place stopped by SIG$1 once piece $2 existed, then $3"
    clean
    cp reference.bin data.bin
    start_job split --in-place data.bin 4MB
    wait_until_exists "$(piece "$2")"
    signal_landed "$1" split || return
    [ "$status" -eq "$(status_of "$1")" ] && grep -q 'part way' err.txt ||
        fail "$what: exit status $status, expected $(status_of "$1") and the message, got [$(cat err.txt)]"
    [ ! -s out.txt ] || fail "$what: printed on standard output: [$(cat out.txt)]"
    # Stopped between two steps: the input holds its first pieces, the others lie beside it.
    size=$(wc -c <data.bin)
    held=$((size / 4194304))
    [ "$size" -eq $((held * 4194304)) ] && head -c "$size" reference.bin | cmp -s - data.bin &&
        [ "$(pieces_left)" -eq $((piece_count - held)) ] ||
        fail "$what: data.bin holds $size bytes beside $(pieces_left) pieces, not its first whole pieces"
    run_way_out "$3" || return
    [ "$status" -eq 0 ] || fail "$what: the printed command failed: exit $status, $(cat err.txt)"
    if [ "$3" = undo ]; then
        whole data.bin && [ "$(pieces_left)" -eq 0 ] && [ ! -e data.bin.plit.journal ] ||
            fail "$what: the original is not back whole, alone"
        return
    fi
    index=0
    while [ "$index" -lt "$piece_count" ]; do
        cat "$(piece "$index")"
        index=$((index + 1))
    done | cmp -s - reference.bin && [ ! -e data.bin ] && [ ! -e data.bin.plit.journal ] ||
        fail "$what: the split did not finish into pieces that hold the original: $(pieces_left) pieces"
}

# --- a stopped join -------------------------------------------------------------

make_set() {
    clean
    cp reference.bin data.bin
    run split data.bin 4MB
    [ "$status" -eq 0 ] || fail "splitting for a join failed: exit $status, $(cat err.txt)"
}

# Runs the command the stopped join printed as the shell would read it, with
# the program's own path in place of its name.
run_printed_command() {
    command=$(sed -n 's/^vandrel: the join stopped: .*; run: vandrel \(.*\)$/\1/p' err.txt)
    if [ -z "$command" ]; then
        fail "$1: no command in [$(cat err.txt)]"
        return 1
    fi
    eval "\"\$vandrel\" --quiet $command" </dev/null >out.txt 2>err.txt
    status=$?
}

# Signal $1 from piece $3 once piece $2 is gone.
stop_join() {
    what="join of piece $3 stopped by SIG$1 once piece $2 was gone"
    make_set
    start_job join "$(piece "$3")"
    wait_until_gone "$(piece "$2")"
    signal_landed "$1" join || return
    if [ "$status" -ne "$(status_of "$1")" ] || [ "$(wc -l <err.txt)" -ne 1 ]; then
        fail "$what: exit status $status, expected $(status_of "$1") and one line, got [$(cat err.txt)]"
        return
    fi
    # Cut back to whole pieces: the rebuilt file holds the first $held and nothing more.
    line='^vandrel: the join stopped: "\(.*\)" holds \([0-9]*\) of '"$piece_count"' pieces; run: vandrel join .*$'
    rebuilt=$(sed -n "s/$line/\1/p" err.txt)
    held=$(sed -n "s/$line/\2/p" err.txt)
    if [ -z "$held" ]; then
        grep -q '^vandrel: the join stopped: no piece is in the rebuilt file yet; run: vandrel join ' err.txt ||
            fail "$what: expected the line that says what the rebuilt file holds, got [$(cat err.txt)]"
    elif [ "$(wc -c <"$rebuilt")" -ne $((held * 4194304)) ]; then
        fail "$what: \"$rebuilt\" holds $(wc -c <"$rebuilt") bytes, not $held whole pieces"
    elif ! head -c $((held * 4194304)) reference.bin | cmp -s - "$rebuilt"; then
        fail "$what: the $held pieces in \"$rebuilt\" are not the original's"
    fi
    run_printed_command "$what" || return
    [ "$status" -eq 0 ] || fail "$what: the printed command failed: exit $status, $(cat err.txt)"
    whole data.bin && [ "$(pieces_left)" -eq 0 ] ||
        fail "$what: the printed command did not finish the join ($(pieces_left) pieces left)"
}

# --- a second signal --------------------------------------------------------------

# Sends $1 then $2 at once and waits for the job: false when it completed
# first; else it must have died by $2, or, when $1 alone reached it, stopped.
signal_twice() {
    kill -"$1" "$pid" 2>/dev/null
    kill -"$2" "$pid" 2>/dev/null
    end_job
    [ "$status" -ne 0 ] || return 1
    [ "$status" -eq "$(status_of "$2")" ] && ! grep -q stopped err.txt ||
        [ "$status" -eq "$(status_of "$1")" ] ||
        fail "$what: exit status $status ($(cat err.txt))"
}

# $1 then $2 at once during a split, then during a join: the program dies by
# $2 before it prints a line; the user's usual next step recovers.
second_signal() {
    what="SIG$1 then SIG$2 during a split"
    clean
    cp reference.bin data.bin
    start_job split data.bin 4MB
    wait_until_exists "$(piece 4)"
    if signal_twice "$1" "$2"; then
        # What the killed split left is its own: splitting again takes it back.
        if whole data.bin; then
            run split data.bin 4MB
            [ "$status" -eq 0 ] || fail "$what: splitting again failed: exit $status, $(cat err.txt)"
        fi
        run join "$(any_piece)"
        whole data.bin && [ "$(pieces_left)" -eq 0 ] || fail "$what: the recovery did not give the original"
    fi

    what="SIG$1 then SIG$2 during a join"
    make_set
    start_job join "$(piece 0)"
    wait_until_gone "$(piece 4)"
    if signal_twice "$1" "$2"; then
        run join "$(any_piece)"
        whole data.bin && [ "$(pieces_left)" -eq 0 ] || fail "$what: the recovery did not give the original"
    fi
}

# --- a stop whose report cannot be written ------------------------------------------

# The status stays the signal's when the line cannot be written: standard
# error on a full device, or both streams on a pipe whose reader is gone (as
# Ctrl-C ends every program of a pipeline).
stop_unwritten() {
    what="split stopped by SIGINT with its output on /dev/full"
    clean
    cp reference.bin data.bin
    "$vandrel" --quiet split data.bin 4MB </dev/null >/dev/full 2>/dev/full &
    pid=$!
    wait_until_exists "$(piece 6)"
    kill -INT "$pid" 2>/dev/null
    end_job
    [ "$status" -eq 0 ] || { landed=$((landed + 1)) && [ "$status" -eq 130 ]; } ||
        fail "$what: exit status $status, expected 130"
    runs=$((runs + 1))

    what="join stopped by SIGINT with its output on a closed pipe"
    make_set
    rm -f pid.txt status.txt
    { "$vandrel" --quiet join "$(piece 0)" </dev/null 2>&1 &
        echo $! >pid.txt
        wait $!
        echo $? >status.txt
    } | true &
    pipeline=$!
    while [ ! -s pid.txt ]; do :; done
    pid=$(cat pid.txt)
    wait_until_gone "$(piece 3)"
    kill -INT "$pid" 2>/dev/null
    wait "$pipeline"
    status=$(cat status.txt)
    # A join that completed first met the closed pipe as it reported.
    [ "$status" -eq 141 ] || { landed=$((landed + 1)) && [ "$status" -eq 130 ]; } ||
        fail "$what: exit status $status, expected 130"
    runs=$((runs + 1))
}

runs=0
stop_unwritten
for signal in $signals; do
    for at in 0 11 $((piece_count - 2)); do
        stop_split "$signal" "$at"
        runs=$((runs + 1))
    done
    # From the first piece and from one in the middle.
    for at in 1 12 $((piece_count - 3)); do
        stop_join "$signal" "$at" $((at % 2 * 7))
        runs=$((runs + 1))
    done
done
for row in "INT $((piece_count - 3)) finish" "TERM 9 undo" "HUP 2 finish"; do
    # shellcheck disable=SC2086
    stop_split_in_place $row
    runs=$((runs + 1))
done
second_signal INT TERM
second_signal HUP INT

[ "$landed" -ge $((runs / 2)) ] ||
    fail "only $landed of $runs signals landed before the job's end ($completed completed): the test says little"
echo "stop signals: $landed of $runs landed inside the job, $completed came after its last chunk"
finish "stop signals"
