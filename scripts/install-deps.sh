#!/bin/sh
# Installs the Debian packages Vandrel builds, tests and runs with; only what
# is missing, so a machine that has them all costs nothing. Run as root.
set -eu

packages="cmake ninja-build g++ clang libclang-rt-14-dev
  googletest libgtest-dev libcli11-dev libssl-dev
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 libgcrypt-mingw-w64-dev
  wine wine64 xvfb xauth
  coreutils"
# Packaging: the Windows installer, the zip, the Debian package and its tests,
# and the font the dialogs need under Wine.
packages="$packages nsis unzip dpkg-dev file man-db fonts-wine"
# The benchmarks: peak memory (GNU time; bench/warm_timed_run.c times the runs,
# as it must warm the memory right before each), and the loop file systems
# they mount to compare with (XFS and btrfs share extents); the XFS one is
# also where a test checks the room a move takes.
packages="$packages
  time xfsprogs btrfs-progs"
# Tests that make system calls of the real program fail (strace), that mount
# ext4 loop images (mkfs.ext4, losetup, setpriv) and compare files (cmp).
packages="$packages strace e2fsprogs mount util-linux diffutils"
# Tests that join onto a FAT32 image, mounted through FUSE as a USB stick is.
packages="$packages dosfstools fusefat fuse"

missing=""
for package in $packages; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing="$missing $package"
done
[ -z "$missing" ] && exit 0

echo "Installing:$missing"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
# shellcheck disable=SC2086
apt-get install -y -qq --no-install-recommends $missing >/dev/null
