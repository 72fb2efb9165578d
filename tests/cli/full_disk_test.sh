#!/bin/sh
# Runs `vandrel` on a small tmpfs (4096 pages) whose space runs out inside a split and
# inside a join, at several points, then takes the user's next steps, and
# checks that no byte of the original is lost.
# - split: the space check passes (more free than the file holds), but each
#   piece takes whole pages, so the pieces need more than the file. After the
#   failure the input must be whole; the user then makes room, splits again
#   (deleting the leftover pieces if the split refuses to write over them) and
#   joins a piece.
# - join: the pieces are also linked from a second folder (as a program that
#   shares them keeps them), so deleting a joined piece frees nothing and the
#   rebuilt file runs out of space. The user joins a remaining piece again
#   as it is, then makes room and joins once more; moving the rebuilt file
#   away when the join refuses to write over it beside piece 0.
# Needs root to mount; skips (exit 77) with the reason when it cannot.
# Usage: full_disk_test.sh VANDREL
set -u
. "$(dirname "$0")/../shell_test.sh"
. "$(dirname "$0")/filled_disk.sh"
vandrel=$(absolute_program "$1")
file_bytes=2097929  # 2 MiB and a bit: 513 pages

[ "$(id -u)" -eq 0 ] || skip "mounting a tmpfs needs root"
scratch_mount_point full-disk
mount -t tmpfs -o size=16m vandrel-full-disk "$disk" 2>"$work/mount.txt" ||
    skip "cannot mount a tmpfs: $(cat "$work/mount.txt")"
head -c "$file_bytes" /dev/urandom >"$work/reference.bin"
cd "$disk" || exit 1

pieces_left() { ls | grep -c '\.plit$'; }

any_piece() { ls | grep '\.plit$' | head -n 1; }

whole() { cmp -s "$1" "$work/reference.bin"; }

# Joins from any remaining piece; a join refused because the rebuilt file
# stands beside piece 0 is tried again with that file moved away.
join_a_piece() {
    run join "$(any_piece)"
    if [ "$status" -eq 2 ] && [ -e data.bin ] && ls | grep -q '^data\.bin\.0\..*\.plit$'; then
        mv data.bin moved-away.bin
        run join "$(any_piece)"
    fi
}

check_rebuilt() {
    if ! whole data.bin; then
        fail "$1: the original is not whole after the join ($(ls -l data.bin 2>&1 | cut -c1-70); $(last_command))"
    elif [ "$(pieces_left)" -ne 0 ]; then
        fail "$1: the original is whole, but $(pieces_left) pieces are left"
    fi
}

reset_disk() {
    rm -rf "$disk"/* "$disk"/.[!.]* 2>/dev/null
}

# Split case: pieces of $2 bytes with $3 pages free beyond the input.
split_case() {
    name="split into pieces of $2 B with $3 pages free"
    cp "$work/reference.bin" data.bin
    leave_free_pages "$3"
    run split data.bin "$2B"
    echo "$name: $1, split $(last_command | head -c 120)"
    case $status in
    0)
        fail "$name: the space did not run out"
        ;;
    *)
        whole data.bin || fail "$name: the input is not whole after the failed split ($(ls -l data.bin 2>&1 | cut -c1-70))"
        # Pieces left beside the whole input are a trap: opening one joins them over it.
        [ "$(pieces_left)" -eq 0 ] || fail "$name: the failed split left $(pieces_left) pieces beside the input"
        ;;
    esac

    # Room made, split again and join.
    rm -f filler.bin
    if whole data.bin; then
        run split data.bin "$2B"
        if [ "$status" -eq 2 ]; then
            rm -f ./*.plit
            run split data.bin "$2B"
        fi
        if [ "$status" -ne 0 ]; then
            fail "$name: splitting again with room failed: $(last_command)"
            reset_disk
            return
        fi
    fi
    [ "$(pieces_left)" -gt 0 ] && join_a_piece
    check_rebuilt "$name"
    reset_disk
}

# Join case: pieces of $2 bytes, shared from a second folder, with $3 pages free.
join_case() {
    name="join of pieces of $2 B with $3 pages free"
    cp "$work/reference.bin" data.bin
    run split data.bin "$2B"
    [ "$status" -eq 0 ] || { fail "$name: the split that makes the set failed: $(last_command)"; reset_disk; return; }
    mkdir shared
    for piece in *.plit; do ln "$piece" "shared/$piece"; done
    leave_free_pages "$3"

    run join "$(any_piece)"
    echo "$name: $1, join $(last_command | head -c 120)"
    [ "$status" -ne 0 ] || fail "$name: the space did not run out"

    # Again as it is (nothing to gain, nothing to lose), then with room.
    [ "$(pieces_left)" -gt 0 ] && join_a_piece
    rm -rf shared filler.bin
    [ "$(pieces_left)" -gt 0 ] && join_a_piece
    check_rebuilt "$name"
    reset_disk
}

# 513 pages hold the input; each piece takes whole pages.
split_case "runs out a quarter in" 1000 513          # 2098 pieces of one page each
split_case "runs out three quarters in" 3000 513     # 700 pieces of one page each
split_case "runs out in the last pieces" 3000 690
split_case "runs out in the last piece" 3000 699     # 700 pages needed
split_case "runs out inside a large piece" 524289 513  # 5 pieces of 129 pages
# The rebuilt file grows by 100000 B per piece while every piece stays.
join_case "runs out inside piece 1" 100000 30
join_case "runs out half way" 100000 250
join_case "runs out in the last piece" 100000 500
join_case "runs out inside the third of 5 pieces" 524289 300

finish "full_disk"
