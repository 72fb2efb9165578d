#!/bin/sh
# Another program rewrites 23 bytes of the input in place while `vandrel`
# splits it, on an ext4 loop image with 128-byte inodes (timestamps of one
# second), and puts its date back with `touch -d`: same size, same date,
# nothing a timestamp can tell. The split must fail, keep the input with the
# new bytes, and leave no piece. Once with the read lease the split takes as
# root, once with the inotify watch it falls back to for another user's file
# when it may take no lease (CAP_LEASE dropped). The split's fsync calls are
# slowed (strace) so that the writer comes while it runs; under the lease the
# writer's own open waits until the split lets the file go.
# Needs root, mkfs.ext4, strace and setpriv; skips (exit 77) with the reason
# when it cannot.
# Usage: input_rewrite_test.sh VANDREL
set -u
. "$(dirname "$0")/../shell_test.sh"
vandrel=$(absolute_program "$1")
file_bytes=$((8 * 1048576))
new_bytes="23 bytes of a new text."

[ "$(id -u)" -eq 0 ] || skip "mounting a loop image needs root"
need_strace_and mkfs.ext4 setpriv
scratch_mount_point input-rewrite
truncate -s 64M "$work/ext4.img"
mkfs.ext4 -q -F -I 128 "$work/ext4.img" >"$work/mount.txt" 2>&1 || skip "mkfs.ext4 failed: $(cat "$work/mount.txt")"
mount -o loop "$work/ext4.img" "$disk" 2>"$work/mount.txt" || skip "cannot mount an ext4 image: $(cat "$work/mount.txt")"
head -c "$file_bytes" /dev/urandom >"$work/reference.bin"
cp "$work/reference.bin" "$work/rewritten.bin"
printf '%s' "$new_bytes" | dd of="$work/rewritten.bin" bs=1 seek=1000 conv=notrunc status=none
cd "$disk" || exit 1

touch coarse.txt
[ "$(stat -c %y coarse.txt | cut -d. -f2 | cut -c1-9)" = 000000000 ] ||
    fail "this ext4 keeps finer timestamps than seconds: the case is not the one this test is about"
rm coarse.txt

# Once piece 1 exists, rewrites the bytes in place and puts the date back.
rewrite_during_split() {
    tries=0
    while [ ! -e data.bin.1.4.plit ] && [ "$tries" -lt 1000 ]; do
        sleep 0.01
        tries=$((tries + 1))
    done
    date=$(stat -c %Y data.bin)
    printf '%s' "$new_bytes" | dd of=data.bin bs=1 seek=1000 conv=notrunc status=none
    touch -d "@$date" data.bin
}

# Case $1, with data.bin owned by $2 and vandrel run through the command $3...
rewrite_case() {
    name=$1
    owner=$2
    shift 2
    rm -f ./*.plit
    cp "$work/reference.bin" data.bin
    chown "$owner" data.bin
    date_before=$(stat -c %Y data.bin)
    rewrite_during_split &
    writer=$!
    "$@" strace -f -o /dev/null -e inject=fsync:delay_exit=300000 \
        "$vandrel" --quiet split data.bin 2097152B </dev/null >"$work/out.txt" 2>"$work/err.txt"
    status=$?
    wait "$writer"
    [ "$status" -eq 1 ] || fail "$name: exit status $status, expected 1 ($(cat "$work/err.txt"))"
    [ "$(sed -n 1p "$work/err.txt")" = "File Splitter: The file splitting operation failed!" ] ||
        fail "$name: unexpected message [$(cat "$work/err.txt")]"
    grep -q "^vandrel: data.bin: another program opened it for writing" "$work/err.txt" ||
        fail "$name: the reason does not tell of the writer [$(cat "$work/err.txt")]"
    cmp -s data.bin "$work/rewritten.bin" || fail "$name: the input does not hold the rewritten bytes"
    [ "$(stat -c %Y data.bin)" = "$date_before" ] || fail "$name: the writer did not put the date back"
    [ -z "$(ls | grep '\.plit$')" ] || fail "$name: the failed split left pieces: $(ls)"
    echo "$name: $(tail -n 1 "$work/err.txt")"
}

rewrite_case "read lease" root env
rewrite_case "inotify watch" nobody setpriv --inh-caps=-lease --bounding-set=-lease

finish "input_rewrite"
