#!/bin/sh
# A join cut short on a disk that then comes back through another device, as
# a USB stick plugged in again does: the journal still proves the partial
# file, and joining a remaining piece finishes it. An ext4 loop image is
# mounted through one loop device, the join is made to fail once some pieces
# are gone (an fsync fails, strace -e inject=), and the image is mounted again
# through a second loop device, whose device number differs.
# Needs root, mkfs.ext4, losetup and strace; skips (exit 77) with the reason
# when it cannot.
# Usage: remount_resume_test.sh VANDREL
set -u
. "$(dirname "$0")/../shell_test.sh"
vandrel=$(absolute_program "$1")

[ "$(id -u)" -eq 0 ] || skip "mounting a loop image needs root"
need_strace_and mkfs.ext4 losetup
scratch_mount_point remount-resume
first="" second=""
trap 'cd /; umount "$disk" 2>/dev/null; for d in $first $second; do losetup -d "$d"; done; rm -rf "$work"' EXIT

truncate -s 64M "$work/ext4.img"
mkfs.ext4 -q -F "$work/ext4.img" >"$work/out.txt" 2>&1 || skip "mkfs.ext4 failed: $(cat "$work/out.txt")"
first=$(losetup -f --show "$work/ext4.img" 2>"$work/out.txt") || skip "no loop device: $(cat "$work/out.txt")"
mount "$first" "$disk" 2>"$work/out.txt" || skip "cannot mount an ext4 image: $(cat "$work/out.txt")"
head -c 5242880 /dev/urandom >"$work/reference.bin"
cp "$work/reference.bin" "$disk/data.bin"
cd "$disk" || exit 1
"$vandrel" -q split data.bin 1MB >/dev/null || fail "the split failed"

strace -f -o /dev/null -e inject=fsync:error=EIO:when=8 "$vandrel" -q join data.bin.4.5.plit >/dev/null 2>&1
[ $? -eq 1 ] || fail "the join with a failing fsync did not fail"
[ -e data.bin.plit.journal ] && [ ! -e data.bin.0.5.plit ] && [ -e data.bin ] ||
    fail "the failed join left no partial file with its journal: $(ls)"
device_before=$(stat -c %d data.bin)

cd / || exit 1
umount "$disk"
second=$(losetup -f --show "$work/ext4.img") || fail "no second loop device"
mount "$second" "$disk" || fail "cannot mount the image again"
cd "$disk" || exit 1
[ "$(stat -c %d data.bin)" != "$device_before" ] || skip "the image came back with the same device number"

"$vandrel" -q join data.bin.4.5.plit >"$work/out.txt" 2>&1 || fail "the join did not go on: $(cat "$work/out.txt")"
cmp -s data.bin "$work/reference.bin" || fail "the rebuilt file differs from the original"
[ "$(ls | grep -v lost+found)" = data.bin ] || fail "files are left beside the rebuilt one: $(ls)"
finish remount_resume
