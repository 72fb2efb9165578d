#!/bin/sh
# The small disk of the GUI tests of a split that its disk cannot hold beside
# its file: a tmpfs of 8 MiB mounted at FOLDER (as root) and given the Wine
# drive letter DRIVE, as a USB stick would have (the window asks a drive's
# root for its free space); then unmounted and the letter removed again.
# It never fails: without root, or with DRIVE taken, the tests of a small disk
# see no such drive and skip.
# Usage: small_disk.sh mount|unmount FOLDER DRIVE    (DRIVE as "v:")
set -u
folder=$2
drive="${WINEPREFIX:-$HOME/.wine}/dosdevices/$3"
# Only the letter this script made, which points at FOLDER.
[ "$(readlink "$drive" 2>/dev/null)" = "$folder" ] && rm -f "$drive"
umount "$folder" 2>/dev/null
if [ "$1" = unmount ]; then
    rm -rf "$folder"
    exit 0
fi
mkdir -p "$folder"
if [ "$(id -u)" -ne 0 ] || ! mount -t tmpfs -o size=8m vandrel-gui-small-disk "$folder" 2>/dev/null; then
    echo "note: no tmpfs at $folder (needs root); the tests of a small disk skip"
elif [ -e "$drive" ] || [ -L "$drive" ] || ! ln -s "$folder" "$drive" 2>/dev/null; then
    echo "note: Wine's drive $3 is taken or cannot be made; the tests of a small disk skip"
fi
exit 0
