#!/bin/sh
# A FAT32 disk, mounted through FUSE as a USB stick may be, holds no file of
# 4 GiB or more: a join whose rebuilt file would be larger, and a split whose
# pieces would be, are refused before anything is touched. Sets that fit go
# onto the stick and come back from it, across two file systems. The large
# sets are sparse files on a tmpfs: nothing near 4 GiB is written anywhere.
# Needs root, mkfs.vfat and fusefat; skips (exit 77) with the reason when it
# cannot.
# Usage: fat_limit_test.sh VANDREL
set -u
. "$(dirname "$0")/../shell_test.sh"
vandrel=$(absolute_program "$1")

[ "$(id -u)" -eq 0 ] || skip "mounting a FAT image through FUSE needs root"
for tool in mkfs.vfat fusefat fusermount; do
    command -v "$tool" >/dev/null || skip "$tool is missing (scripts/install-deps.sh installs it)"
done
scratch_mount_point fat-limit
pieces=$work/pieces
mkdir "$pieces"
trap 'cd /; fusermount -u "$disk" 2>/dev/null; umount "$pieces" 2>/dev/null; rm -rf "$work"' EXIT

truncate -s 64M "$work/fat.img"
mkfs.vfat -F 32 "$work/fat.img" >"$work/out.txt" 2>&1 || skip "mkfs.vfat failed: $(cat "$work/out.txt")"
fusefat -o rw+ "$work/fat.img" "$disk" >"$work/out.txt" 2>&1 || skip "fusefat cannot mount: $(cat "$work/out.txt")"
grep -q " $disk .* fuse.fusefat " /proc/self/mountinfo || skip "the FAT image is not mounted through FUSE"
mount -t tmpfs -o size=64M tmpfs "$pieces" 2>"$work/out.txt" || skip "cannot mount a tmpfs: $(cat "$work/out.txt")"

# Lists the files of a folder with their sizes, to tell that nothing changed.
sizes_in() {
    (cd "$1" && find . -type f -exec stat -c '%n %s' {} + | sort)
}

# A join whose rebuilt file would be 5 GiB, into the stick: refused, nothing touched.
truncate -s 3G "$pieces/big.bin.0.2.plit"
truncate -s 2G "$pieces/big.bin.1.2.plit"
before=$(sizes_in "$pieces")
"$vandrel" -q join --into "$disk" "$pieces/big.bin.1.2.plit" >"$work/out.txt" 2>&1
status=$?
[ $status -eq 2 ] || fail "a join too large for FAT32 ended with $status, not 2: $(cat "$work/out.txt")"
grep -q "4294967295\|4,294,967,295" "$work/out.txt" || fail "the refusal does not name FAT32's limit: $(cat "$work/out.txt")"
[ "$(sizes_in "$pieces")" = "$before" ] || fail "the refused join changed the pieces: $(sizes_in "$pieces")"
[ -z "$(ls -A "$disk")" ] || fail "the refused join wrote onto the stick: $(ls -A "$disk")"
rm -f "$pieces"/big.bin.*

# A split whose pieces would be 4.5 GiB, onto the stick: refused, naming the largest.
truncate -s 5G "$pieces/big.bin"
"$vandrel" -q split --into "$disk" "$pieces/big.bin" 4608MB >"$work/out.txt" 2>&1
status=$?
[ $status -eq 2 ] || fail "a split into pieces too large for FAT32 ended with $status, not 2: $(cat "$work/out.txt")"
grep -q "4294967295\|4,294,967,295" "$work/out.txt" || fail "the refusal does not name the largest piece: $(cat "$work/out.txt")"
[ "$(stat -c %s "$pieces/big.bin")" -eq 5368709120 ] || fail "the refused split changed its input"
[ -z "$(ls -A "$disk")" ] || fail "the refused split wrote onto the stick: $(ls -A "$disk")"
rm -f "$pieces/big.bin"

# A set that fits goes onto the stick and comes back, across file systems.
head -c 3000000 /dev/urandom >"$work/reference.bin"
cp "$work/reference.bin" "$pieces/data.bin"
"$vandrel" -q split --into "$disk" "$pieces/data.bin" 1MB >"$work/out.txt" 2>&1 ||
    fail "the split onto the stick failed: $(cat "$work/out.txt")"
[ ! -e "$pieces/data.bin" ] && [ -e "$disk/data.bin.0.3.plit" ] && [ -e "$disk/data.bin.plit.sha256" ] ||
    fail "the split onto the stick left: $(ls -A "$pieces") | $(ls -A "$disk")"
"$vandrel" -q join --into "$pieces" "$disk/data.bin.2.3.plit" >"$work/out.txt" 2>&1 ||
    fail "the join from the stick failed: $(cat "$work/out.txt")"
cmp -s "$pieces/data.bin" "$work/reference.bin" || fail "the file rebuilt from the stick differs from the original"
[ -z "$(ls -A "$disk")" ] || fail "files are left on the stick: $(ls -A "$disk")"
[ "$(ls -A "$pieces")" = data.bin ] || fail "files are left beside the rebuilt one: $(ls -A "$pieces")"
finish fat_limit
