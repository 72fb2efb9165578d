#!/bin/sh
# Kills `vandrel` with SIGKILL at many points of a split and of a join, then
# recovers as a user would and checks that the original's bytes come back
# whole every time:
# - after a split: if the input is still whole, the user may first open a
#   leftover piece (every other kill), which must not harm the input and,
#   beside the split's journal, must say that a split cut short left it; then
#   splits again, which must take the leftovers back itself and leave its set
#   alone, and joins. If the input is gone, the user joins a piece.
# - after a join: the user joins any remaining piece, which resumes the join;
#   if it refuses because the rebuilt file is there beside piece 0, the user
#   moves that file away and joins again.
# Each kill waits for a piece to appear (split) or to go (join), then a pause
# that varies, so that it lands between and inside the pieces' copies.
# - after a split in place (`split --in-place`), of several shapes, killed at
#   random moments (once its journal exists, once a piece exists, once the
#   input is cut): in one round the user joins a remaining piece, which must
#   give the original back with nothing else left; in the other the user
#   starts the split again where the input is still there, which must end
#   with the whole set and nothing else, and the set must join back.
# Usage: kill_recovery_test.sh VANDREL [KILLS [IN_PLACE_KILLS]]
#   (KILLS per operation, 48 by default; IN_PLACE_KILLS per shape and
#   round, 8 by default)
set -u
. "$(dirname "$0")/../shell_test.sh"
. "$(dirname "$0")/running_job.sh"
vandrel=$(absolute_program "$1")
kills=${2:-48}
in_place_kills=${3:-8}
piece_count=32
# An uneven last piece, so that a short or missing tail shows.
file_bytes=$((piece_count * 1048576 - 12345))
# Kills aimed late may come after the job's end; at least half must land, or
# the test says nothing.
least_landed=$((kills / 2))

work=$(scratch_folder kill) || exit 1
# A kill leaves the page cache as it is, so what a killed split in place
# leaves does not depend on what the disk has made durable (the power-cut
# sweep looks at that): its many small steps run on tmpfs, where a commit costs
# nothing and a job takes milliseconds.
in_place_work=$(mktemp -d /dev/shm/vandrel-kill-in-place.XXXXXX 2>/dev/null) ||
    { in_place_work=$work/in-place && mkdir "$in_place_work"; } || exit 1
trap 'rm -rf "$work" "$in_place_work"' EXIT
cd "$work" || exit 1
head -c "$file_bytes" /dev/urandom >reference.bin


# Kill i waits no time, 2 ms or 5 ms after its event; neighbours differ in
# pause as well as in event, so that the user's two paths after a split (i
# odd or even) meet every pause.
pause_of() { echo $(($1 / 2 % 3)); }
pause() {
    case $(pause_of "$1") in
    1) sleep 0.002 ;;
    2) sleep 0.005 ;;
    esac
}

# Kills the job; $landed is 1 when the signal, and not the job's end, stopped
# it; $job_status is its exit status.
kill_job() {
    kill -KILL "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    job_status=$?
    [ "$job_status" -eq 137 ] && landed=1 || landed=0
}

# --- what is left, and the user's next step ----------------------------------

# The name of a remaining piece of the set, picked by $1 among those left.
remaining_piece() {
    set -- "$1" data.bin.*."$piece_count".plit
    [ -e "$2" ] || return 1
    shift $(($1 % ($# - 1) + 1))
    echo "$1"
}

input_whole() { cmp -s data.bin reference.bin; }

# The rebuilt file is the original and no piece is left over.
check_rebuilt() {
    if ! input_whole; then
        fail "$1: the original is not whole after the recovery ($(ls -l data.bin 2>&1 | cut -c1-80); last command: exit $status, $(head -c 300 err.txt))"
    elif remaining_piece 0 >/dev/null; then
        fail "$1: the original is whole, but pieces are left after the recovery: $(ls data.bin.*.plit | head -3)"
    fi
}

# Rebuilds from the set that is left: join any piece; a join refused because
# the rebuilt file stands beside piece 0 is tried again with that file moved away.
join_what_is_left() {
    chosen=$(remaining_piece "$1") || return 0
    run join "$chosen"
    if [ "$status" -eq 2 ] && [ -e data.bin ] && [ -e "$(piece 0)" ]; then
        mv data.bin moved-away.bin
        chosen=$(remaining_piece "$1")
        run join "$chosen"
    fi
}

# What a folder holds besides the test's own files, one name a line.
stray_files() {
    ls | grep -v -x -e reference.bin -e out.txt -e err.txt -e moved-away.bin
}

recover_split() {
    if input_whole && [ $(($1 % 2)) -eq 1 ] && chosen=$(remaining_piece "$1"); then
        run join "$chosen"  # a double-click on a leftover piece
        input_whole || echo "  split kill $1: opening $chosen after the kill changed the whole input" >&2
        if [ -e data.bin.plit.journal ] && { [ "$status" -ne 2 ] || ! grep -q "left by a split of" err.txt; }; then
            fail "split kill $1: a join of $chosen beside the cut split's journal did not say so: exit $status, $(head -c 300 err.txt)"
        fi
    fi
    if input_whole; then
        # Started again on its leftovers, the split takes them back itself.
        run split data.bin 1MB
        if [ "$status" -ne 0 ]; then
            fail "split kill $1: splitting the whole input again failed: exit $status, $(cat err.txt)"
            return 1
        fi
        expected=$( (i=0; while [ "$i" -lt "$piece_count" ]; do piece "$i"; i=$((i + 1)); done; echo data.bin.plit.sha256) | sort)
        if [ "$(stray_files | sort)" != "$expected" ]; then
            fail "split kill $1: the split started again left other files than its set: $(stray_files | grep -v -x -F "$expected" | head -3)"
        fi
    fi
    join_what_is_left "$1"
}

# --- the kills ----------------------------------------------------------------

# Kill i of a split: once piece i exists, after pause i; kills beyond the
# count go back, two by two so that both of the user's paths meet them, to the
# last two pieces, where the set looks complete.
kill_split() {
    if [ "$1" -lt "$piece_count" ]; then
        target=$1
    else
        target=$((piece_count - 1 - $1 / 2 % 2))
    fi
    cp reference.bin data.bin
    start_job split data.bin 1MB
    wait_until_exists "$(piece "$target")"
    pause "$1"
    kill_job
    recover_split "$1" && check_rebuilt "split kill $1 (once piece $target existed, pause $(pause_of "$1"))"
}

# Kill i of a join, from a piece that varies: once the rebuilt file exists
# (i = 0 mod count+1), or once piece i-1 (mod count+1) is gone, after pause i.
kill_join() {
    cp reference.bin data.bin
    run split data.bin 1MB
    if [ "$status" -ne 0 ]; then
        fail "join kill $1: the split that makes the set failed: $(cat err.txt)"
        return
    fi
    start_job join "$(piece $(($1 * 7 % piece_count)))"
    event=$(($1 % (piece_count + 1) - 1))
    if [ "$event" -lt 0 ]; then
        wait_until_exists data.bin
        where="once the rebuilt file existed"
    else
        wait_until_gone "$(piece "$event")"
        where="once piece $event was gone"
    fi
    pause "$1"
    kill_job
    join_what_is_left "$1"
    check_rebuilt "join kill $1 ($where, pause $(pause_of "$1"))"
}

for operation in split join; do
    landed_total=0
    failures_before=$failures
    i=0
    while [ "$i" -lt "$kills" ]; do
        "kill_$operation" "$i"
        landed_total=$((landed_total + landed))
        rm -f data.bin data.bin.*.plit data.bin.plit.* moved-away.bin
        i=$((i + 1))
    done
    echo "$operation: $kills kills tried, $landed_total landed before the job ended, $((failures - failures_before)) recoveries failed"
    [ "$landed_total" -ge "$least_landed" ] || fail "$operation: only $landed_total kills landed before the job ended"
done

# --- splits in place -----------------------------------------------------------

# Shapes of a split in place: file bytes and part size. 1-byte pieces of a
# small file, an uneven last piece, 2 pieces, 10 pieces.
in_place_shapes="1000:1 5255537:1048576 16777216:8388608 10485760:1048576"

random_below() { echo $(($(od -An -N2 -tu2 /dev/urandom) % $1)); }

# Kills a split in place of the current shape at a random moment: once its
# journal exists, once a piece exists, or, less often (the cuts of a batch of
# small pieces come together at its end), once the input is cut to a piece's
# start (to piece 1's: renamed to piece 0); then a pause of 0 to 2 ms. Sets where.
kill_in_place() {
    event=$(random_below $((4 * piece_count)))
    step=$((piece_count - 1 - event / 4))
    pause_ms=$(random_below 3)
    start_job split --in-place data.bin "${part}B"
    if [ "$event" -eq 0 ]; then
        wait_until_exists data.bin.plit.journal
        where="once its journal existed"
    elif [ $((event % 4)) -ne 0 ]; then
        wait_until_exists "$(piece "$step")"
        where="once piece $step existed"
    else
        wait_until_shorter data.bin $((step * part + 1))
        where="once the input was cut to $((step * part)) bytes"
    fi
    [ "$pause_ms" -eq 0 ] || sleep "0.00$pause_ms"
    kill_job
    where="$where, pause $pause_ms ms"
}

# The files a full set of the current shape leaves: its pieces and its list.
full_set() {
    index=0
    while [ "$index" -lt "$piece_count" ]; do
        piece "$index"
        index=$((index + 1))
    done
    echo data.bin.plit.sha256
}

pieces_hold_original() {
    set --
    index=0
    while [ "$index" -lt "$piece_count" ]; do
        set -- "$@" "data.bin.$index.$piece_count.plit"
        index=$((index + 1))
    done
    cat "$@" 2>/dev/null | cmp -s - reference.bin
}

# Starts the split of what is left of data.bin again, with --in-place when $1
# is odd and as a user would without it otherwise (the journal decides); it
# must end with the full set alone, holding the original's bytes.
split_again() {
    if [ $(($1 % 2)) -eq 1 ]; then run split --in-place data.bin "${part}B"; else run split data.bin "${part}B"; fi
    if [ "$status" -ne 0 ]; then
        fail "$name: starting the split again failed: exit $status, $(head -c 300 err.txt)"
    elif [ "$(stray_files | sort)" != "$(full_set | sort)" ]; then
        fail "$name: the split started again left other files than its set: $(stray_files | tr '\n' ' ' | head -c 300)"
    elif ! pieces_hold_original; then
        fail "$name: the set the split started again made does not hold the original's bytes"
    fi
}

# The user's recovery in round $1 (join, split) after kill $2.
recover_in_place() {
    if [ "$1" = split ] && [ -e data.bin ]; then
        split_again "$2"
    elif ! remaining_piece 0 >/dev/null; then
        # Killed before its first piece: only the split can take up its journal.
        input_whole || fail "$name: no piece was made, but the input is not whole"
        [ -z "$(stray_files | grep -v -x data.bin)" ] && return
        split_again "$2"
    fi
    run join "$(remaining_piece "$2")"
    if [ "$status" -ne 0 ]; then
        fail "$name: the join failed: exit $status, $(head -c 300 err.txt)"
    elif [ -n "$(stray_files | grep -v -x data.bin)" ]; then
        fail "$name: the join left other files than the original: $(stray_files | tr '\n' ' ' | head -c 300)"
    fi
    check_rebuilt "$name"
}

cd "$in_place_work" || exit 1
for round in join split; do
    landed_total=0 tried=0
    failures_before=$failures
    for shape in $in_place_shapes; do
        file_bytes=${shape%:*} part=${shape#*:}
        piece_count=$(((file_bytes + part - 1) / part))
        head -c "$file_bytes" /dev/urandom >reference.bin
        i=0
        while [ "$i" -lt "$in_place_kills" ]; do
            cp reference.bin data.bin
            kill_in_place
            name="in-place split of $file_bytes B into $piece_count, killed $where, recovered by a $round"
            landed_total=$((landed_total + landed))
            if [ "$landed" -eq 0 ] && [ "$job_status" -ne 0 ]; then
                fail "$name: the split failed on its own: exit $job_status, $(head -c 300 err.txt)"
            fi
            recover_in_place "$round" "$i"
            rm -f data.bin data.bin.*.plit data.bin.plit.* moved-away.bin
            i=$((i + 1)) tried=$((tried + 1))
        done
    done
    echo "split in place, recovered by a $round: $tried kills tried, $landed_total landed before the job ended, $((failures - failures_before)) recoveries failed"
    # Piece 0's rename and a batch's cut come a few microseconds before the
    # job's end, so fewer kills land than in the splits above.
    [ "$landed_total" -ge $((tried / 3)) ] || fail "split in place, $round round: only $landed_total kills landed before the job ended"
done

finish "kill_recovery"
