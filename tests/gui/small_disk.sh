#!/bin/sh
# The small disk of the GUI tests of a split that its disk cannot hold beside
# its file: a tmpfs of 8 MiB mounted at FOLDER (as root), and unmounted again.
# It never fails: without root the folder is an ordinary one, and the tests
# that need a small disk see that and skip.
# Usage: small_disk.sh mount|unmount FOLDER
set -u
folder=$2
umount "$folder" 2>/dev/null
if [ "$1" = unmount ]; then
    rm -rf "$folder"
    exit 0
fi
mkdir -p "$folder"
if [ "$(id -u)" -ne 0 ] || ! mount -t tmpfs -o size=8m vandrel-gui-small-disk "$folder" 2>/dev/null; then
    echo "note: no tmpfs at $folder (needs root); the tests of a small disk skip"
fi
exit 0
