#!/bin/sh
# Runs `vandrel split` on a real nearly full disk, a small tmpfs, with a file
# of 9 pieces (the last one short) and, for each row of the table below, a
# given room beside it, given options and a plain, hard-linked or symbolically
# linked input; then checks what the disk holds:
# - in place: only the set is left, its pieces hold the file's bytes in
#   order, and a join of one of them gives the file back with nothing else left;
# - forward: the pieces hold the file's bytes and the input's other name (the
#   hard link, the link's target) still holds every byte;
# - refused: exit 2, a message naming the input, and the disk as it was,
#   byte for byte, names, sizes, links and dates.
# Needs root to mount; skips (exit 77) with the reason when it cannot.
# Usage: in_place_disk_test.sh VANDREL
set -u
. "$(dirname "$0")/../shell_test.sh"
. "$(dirname "$0")/filled_disk.sh"
vandrel=$(absolute_program "$1")
part=1048576
file_bytes=$((8 * part + 12345))  # 9 pieces, the last one short
count=9

[ "$(id -u)" -eq 0 ] || skip "mounting a tmpfs needs root"
scratch_mount_point in-place-disk
mount -t tmpfs -o size=24m vandrel-in-place-disk "$disk" 2>"$work/mount.txt" ||
    skip "cannot mount a tmpfs: $(cat "$work/mount.txt")"
head -c "$file_bytes" /dev/urandom >"$work/reference.bin"
cd "$disk" || exit 1

whole() { cmp -s "$1" "$work/reference.bin"; }

# Everything on the disk: each name with its kind, size, links, inode, date
# and link target, then each file's checksum.
snapshot() {
    find . -mindepth 1 -printf '%P %y %s %n %i %T@ %l\n' | sort
    find . -type f -exec cksum {} + | sort
}

# The pieces of the set of input $1, in order, hold the file's bytes.
pieces_hold_file() {
    i=0
    while [ "$i" -lt "$count" ]; do
        cat "$1.$i.$count.plit" || return 1
        i=$((i + 1))
    done | cmp -s - "$work/reference.bin"
}

# The disk holds the set of input $1 and its list, and nothing else but the filler.
only_the_set_of() {
    expected=$( (i=0; while [ "$i" -lt "$count" ]; do echo "$1.$i.$count.plit"; i=$((i + 1)); done
        echo "$1.plit.sha256"; echo filler.bin) | sort)
    [ "$(ls -A | sort)" = "$expected" ]
}

# Room beside the input: short (3 MiB: one piece fits, the whole file does
# not), tight (1.25 MiB: one piece, the journal and the list, with a little to
# spare), room (the rest of the disk, 16 MiB), none (less than one piece).
make_room() {
    case $1 in
    short) leave_free_pages 768 ;;
    tight) leave_free_pages 320 ;;
    none) leave_free_pages 200 ;;
    room) : ;;
    esac
}

# The input as row $1 names it: data.bin alone (plain), with a second name
# other.bin (hardlink), or reached through link.bin (symlink); sets input and other.
make_input() {
    cp "$work/reference.bin" data.bin
    input=data.bin other=""
    case $1 in
    hardlink) ln data.bin other.bin && other=other.bin ;;
    symlink) ln -s data.bin link.bin && input=link.bin other=data.bin ;;
    esac
}

# After a split that failed: the original's bytes must still be on the disk,
# whole in the input or given back by a join of what is left.
check_nothing_lost() {
    whole "$input" && return
    leftover=$(find . -name '*.plit' | head -n 1)
    run join "${leftover:-no piece left}"
    whole "$input" || fail "$name: the original's bytes are lost after the failed split: a join of a piece left gives $(last_command)"
}

check_in_place() {
    if [ "$status" -ne 0 ]; then
        fail "$name: the split failed: $(last_command)"
        check_nothing_lost
        return
    fi
    pieces_hold_file "$input" || fail "$name: the pieces do not hold the file's bytes in order"
    only_the_set_of "$input" || fail "$name: the disk holds other files than the set: $(ls -A | tr '\n' ' ')"
    run join "$input.4.$count.plit"
    if [ "$status" -ne 0 ]; then
        fail "$name: joining the set back failed: $(last_command)"
    elif ! whole "$input"; then
        fail "$name: the join did not give the file back"
    elif [ "$(ls -A | sort | tr '\n' ' ')" != "$input filler.bin " ]; then
        fail "$name: the join left other files than the file: $(ls -A | tr '\n' ' ')"
    fi
}

check_forward() {
    if [ "$status" -ne 0 ]; then
        fail "$name: the split failed: $(last_command)"
        return
    fi
    pieces_hold_file "$input" || fail "$name: the pieces do not hold the file's bytes in order"
    whole "$other" || fail "$name: $other, the input's other name, no longer holds the file (cut in place?)"
}

check_refused() {
    if [ "$status" -ne 2 ]; then
        fail "$name: not refused: $(last_command)"
    elif [ "$(snapshot)" != "$before" ]; then
        fail "$name: refused, but the disk changed: $(ls -A | tr '\n' ' ')"
    elif [ -n "$1" ] && ! grep -q -F "$1" "$work/err.txt"; then
        fail "$name: the refusal does not say \"$1\": $(last_command)"
    elif [ -z "$1" ] && ! grep -q -F "$input" "$work/err.txt"; then
        fail "$name: the refusal does not name $input: $(last_command)"
    fi
}

# One row: room ($1), input ($2), the split's options ($3), what must come of
# it ($4: in-place, forward, refused, forward-or-refused), and for a refusal a
# text its message holds ($5; else it must name the input).
row() {
    name="$2 input, $1 disk, split ${3:-without options}"
    make_input "$2"
    make_room "$1"
    before=$(snapshot)
    # shellcheck disable=SC2086  # the options are words
    run split $3 "$input" "${part}B"
    case $4 in
    in-place) check_in_place ;;
    forward) check_forward ;;
    refused) check_refused "${5:-}" ;;
    forward-or-refused) if [ "$status" -eq 0 ]; then check_forward; else check_refused ""; fi ;;
    esac
    echo "$name: $4, $(last_command | head -n 1 | cut -c 1-100)"
    rm -rf "${disk:?}"/* "$disk"/.[!.]* 2>/dev/null
}

row short plain "" in-place
row short plain --in-place in-place
row tight plain "" in-place
row short plain --no-in-place refused "You do not have enough space"
row short hardlink "" refused
row short hardlink --in-place refused
row short symlink "" refused
row short symlink --in-place refused
row room hardlink "" forward
row room hardlink --in-place forward-or-refused
row room symlink "" forward
row room symlink --in-place forward-or-refused
row none plain "" refused
row none plain --in-place refused

finish "in_place_disk"
