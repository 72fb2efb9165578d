#!/bin/sh
# Runs `vandrel` on a small XFS loop image and checks the room the moves take:
# - pieces whose size is a whole number of blocks share the file's extents,
#   so a split and a join take no more room than the file did;
# - a join of unaligned pieces (a real copy) leaves no room reserved past the
#   end of the rebuilt file. XFS reserves room past the end of a growing file
#   and keeps it after the close when the file was closed once before, as the
#   renamed piece 0 was; the space would show as used for minutes.
# Needs root and mkfs.xfs; skips (exit 77) with the reason when it cannot.
# Usage: xfs_space_test.sh VANDREL
set -u
. "$(dirname "$0")/../shell_test.sh"
vandrel=$(absolute_program "$1")
file_bytes=$((64 * 1048576))
block=4096

[ "$(id -u)" -eq 0 ] || skip "mounting a loop image needs root"
command -v mkfs.xfs >/dev/null || skip "mkfs.xfs is missing (scripts/install-deps.sh installs xfsprogs)"
scratch_mount_point xfs-space
truncate -s 512M "$work/xfs.img"
mkfs.xfs -q "$work/xfs.img" >"$work/mount.txt" 2>&1 || skip "mkfs.xfs failed: $(cat "$work/mount.txt")"
mount -o loop "$work/xfs.img" "$disk" 2>"$work/mount.txt" || skip "cannot mount an XFS image: $(cat "$work/mount.txt")"
head -c "$file_bytes" /dev/urandom >"$work/reference.bin"
cd "$disk" || exit 1

run() {
    "$vandrel" --quiet "$@" </dev/null >"$work/out.txt" 2>"$work/err.txt" ||
        fail "vandrel $*: exit $?, $(head -c 300 "$work/err.txt")"
}

used_bytes() {
    sync
    df -B1 --output=used . | tail -n 1
}

# Bytes the file $1 takes on the disk.
allocated() { echo $(($(stat -c '%b' "$1") * $(stat -c '%B' "$1"))); }

# Splits data.bin into pieces of $1 bytes and joins them again; checks the
# rebuilt file and returns the room the split took in $split_extra.
split_and_join() {
    cp "$work/reference.bin" data.bin
    before=$(used_bytes)
    run split data.bin "$1B"
    split_extra=$(($(used_bytes) - before))
    run join "$(ls | grep '^data\.bin\.0\.')"
    cmp -s data.bin "$work/reference.bin" || fail "pieces of $1 bytes: the rebuilt file differs"
    [ -z "$(ls | grep '\.plit$')" ] || fail "pieces of $1 bytes: pieces left after the join: $(ls)"
}

for count in 4 2; do
    split_and_join $((file_bytes / count))
    [ "$split_extra" -le $((file_bytes / 100)) ] ||
        fail "$count aligned pieces took $split_extra bytes more than the file: the extents were not shared"
    [ "$(allocated data.bin)" -le "$file_bytes" ] ||
        fail "$count aligned pieces: the rebuilt file takes $(allocated data.bin) bytes for $file_bytes"
    rm data.bin
done

# Three pieces of a size that is no whole number of blocks.
split_and_join $((file_bytes / 3 + 1))
[ "$(allocated data.bin)" -le $((file_bytes + block)) ] ||
    fail "unaligned pieces: the rebuilt file takes $(allocated data.bin) bytes for $file_bytes"

finish xfs_space
