#!/bin/sh
# Times the whole vandrel command against the move a user would otherwise
# make with the system's tools, on each kind of file system it meets, and
# tells for every target whether it holds.
#
#   split: vandrel split    against  split -b SIZE -d, rm of the input, sync
#   join:  vandrel join     against  cat of the pieces, rm of the pieces, sync
#
# On tmpfs (SHM_DIR), on the disk (a folder in DISK_DIR), and, as root, on
# ext4, XFS and btrfs loop images that it makes, mounts, unmounts and deletes;
# into 10 and into 2 pieces whose size is a multiple of 4 KiB, and on XFS and
# btrfs (which can share extents) also into 10 pieces of an unaligned size,
# with the space each move takes there. Then vandrel-cli.exe under Wine
# against the native command on tmpfs.
#
# Every timed command runs after a sync and with the memory it may take warm
# (bench/warm_timed_run.c), the contenders taking turns; each figure is the
# median (and min) of RUNS. The vandrel commands commit every file themselves
# and are timed as they are; SYNC_AFTER_VANDREL=1 adds a sync to them.
# Peak memory is GNU time's maximum resident set size.
#
# Usage: bench/filesystems.sh [NATIVE_VANDREL [WINDOWS_VANDREL_CLI_EXE]]
#   defaults: $VANDREL or build/native/cli/vandrel, $VANDREL_EXE or
#   build/win/cli/vandrel-cli.exe
# Environment: SIZE_MIB (1024), RUNS (5), SHM_DIR (/dev/shm), DISK_DIR
#   (/var/tmp, also where the loop images and scratch files go),
#   ONLY (which benches: "tmpfs disk ext4 xfs btrfs wine"), SYNC_AFTER_VANDREL (0)
# shellcheck disable=SC2016  # the commands' own arguments, expanded by the shell that runs them
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
vandrel=${1:-${VANDREL:-$root/build/native/cli/vandrel}}
vandrel_exe=${2:-${VANDREL_EXE:-$root/build/win/cli/vandrel-cli.exe}}
size_mib=${SIZE_MIB:-1024}
runs=${RUNS:-5}
shm_dir=${SHM_DIR:-/dev/shm}
disk_dir=${DISK_DIR:-/var/tmp}
only=${ONLY:-tmpfs disk ext4 xfs btrfs wine}
sync_after_vandrel=${SYNC_AFTER_VANDREL:-0}

bytes=$((size_mib * 1048576))
warm_bytes=$((bytes + bytes / 4))
# Room for two contenders' copies while one of them holds input and pieces at once.
image_bytes=$((3 * bytes + bytes / 4 + 512 * 1048576))
space_limit_percent=1
memory_limit_mib=16

fail() { echo "filesystems.sh: $*" >&2; exit 1; }

[ "$size_mib" -ge 1 ] 2>/dev/null || fail "SIZE_MIB must be a whole number of MiB, at least 1"
[ "$runs" -ge 1 ] 2>/dev/null || fail "RUNS must be at least 1"
[ -x "$vandrel" ] || fail "no vandrel program at $vandrel"
vandrel=$(realpath "$vandrel")
[ -x /usr/bin/time ] || fail "GNU time is missing (scripts/install-deps.sh installs it)"

# Everything this run creates, for cleanup to take away whatever happens.
work=""
mounts=""
images=""
cleanup() {
    set +e
    for mnt in $mounts; do
        mountpoint -q "$mnt" && { umount "$mnt" || umount -l "$mnt"; }
    done
    for image in $images; do
        for device in $(losetup --list --noheadings --output NAME --associated "$image" 2>/dev/null); do
            losetup -d "$device"
        done
        rm -f "$image"
    done
    [ -z "$work" ] || rm -rf --one-file-system "$work"
}
trap cleanup EXIT
trap 'exit 129' HUP
trap 'exit 130' INT
trap 'exit 143' TERM

work=$(mktemp -d "$disk_dir/vandrel-bench.XXXXXX")
mkdir "$work/results"
helper=$work/warm_timed_run
"${CC:-cc}" -O2 -o "$helper" "$root/bench/warm_timed_run.c" || fail "cannot build bench/warm_timed_run.c"

reference=$work/reference.bin
head -c "$bytes" /dev/urandom >"$reference"

selected() {
    case " $only " in *" $1 "*) return 0 ;; esac
    return 1
}

# ---- Layouts: how the file is cut ----------------------------------------

# Part size of layout $1: "10" and "2" pieces, whole 4 KiB blocks each, or
# "10u", ten pieces of a size that is not (1 GiB: 107,374,183 bytes).
part_size() {
    case $1 in
    10u)
        p=$(((bytes + 9) / 10))
        [ $((p % 4096)) -ne 0 ] || p=$((p + 1))
        echo "$p"
        ;;
    *) echo $((((bytes + $1 - 1) / $1 + 4095) / 4096 * 4096)) ;;
    esac
}
piece_count() { echo $(((bytes + $1 - 1) / $1)); }
layout_name() {
    case $1 in
    10u) echo "10 unaligned pieces" ;;
    *) echo "$1 pieces" ;;
    esac
}

# ---- Timed runs -------------------------------------------------------------

# Runs a command warm and after a sync; appends its seconds to file $1 and
# its peak memory in KiB to file $2.
timed() {
    times=$1 peaks=$2
    shift 2
    "$helper" "$warm_bytes" "$work/seconds" /usr/bin/time -f %M -o "$work/peak" "$@" ||
        fail "failed: $*"
    cat "$work/seconds" >>"$times"
    tail -n 1 "$work/peak" >>"$peaks"
}

if [ "$sync_after_vandrel" = 1 ]; then then_sync=' && sync'; else then_sync=''; fi
wine_run=$root/cmake/wine-run.sh

# The coreutils pieces of $1, in order: $1.00, $1.01, ...
coreutils_pieces() {
    i=0
    while [ "$i" -lt "$2" ]; do
        printf '%s.%02d ' "$1" "$i"
        i=$((i + 1))
    done
}

# Splits $dir/data.bin into pieces of $part bytes with contender $1, timed:
#   vandrel, wine (vandrel-cli.exe), move (split -b, rm, sync), plain (split -b alone)
split_with() {
    file=$dir/data.bin
    result=$work/results/$bench.$layout.split.$1
    case $1 in
    vandrel) timed "$result" "$result.peak" sh -c '"$@" >/dev/null'"$then_sync" sh \
        "$vandrel" -q split "$file" "${part}B" ;;
    wine) timed "$result" "$result.peak" sh -c '"$@" >/dev/null'"$then_sync" sh \
        "$wine_run" "$vandrel_exe" -q split "Z:$file" "${part}B" ;;
    move) timed "$result" "$result.peak" sh -c 'split -b "$1" -d "$2" "$2." && rm "$2" && sync' sh "$part" "$file" ;;
    plain)
        timed "$result" "$result.peak" split -b "$part" -d "$file" "$file."
        rm "$file"
        ;;
    esac
}

# Joins the pieces in $dir back into $dir/data.bin with contender $1, timed.
join_with() {
    file=$dir/data.bin
    result=$work/results/$bench.$layout.join.$1
    case $1 in
    vandrel) timed "$result" "$result.peak" sh -c '"$@" >/dev/null'"$then_sync" sh \
        "$vandrel" -q join "$file.0.$count.plit" ;;
    wine) timed "$result" "$result.peak" sh -c '"$@" >/dev/null'"$then_sync" sh \
        "$wine_run" "$vandrel_exe" -q join "Z:$file.0.$count.plit" ;;
    move)
        # shellcheck disable=SC2046  # the piece names hold no blanks
        timed "$result" "$result.peak" sh -c 'out=$1; shift; cat "$@" >"$out" && rm "$@" && sync' sh \
            "$file" $(coreutils_pieces "$file" "$count")
        ;;
    plain)
        # shellcheck disable=SC2046
        timed "$result" "$result.peak" sh -c 'out=$1; shift; cat "$@" >"$out"' sh \
            "$file" $(coreutils_pieces "$file" "$count")
        # shellcheck disable=SC2046
        rm $(coreutils_pieces "$file" "$count")
        ;;
    esac
}

# Bytes in use on the file system of $1, once everything is on it.
used_bytes() {
    sync
    df -B1 --output=used "$1" | tail -n 1
}

# Runs operation $1 (split or join) of contender $2 and notes the space it
# took, the join's counted from before the split: what the move left behind.
space_taken() {
    space=$work/results/$bench.$layout.$1.$2.space
    before=$(used_bytes "$dir")
    "${1}_with" "$2"
    taken=$(($(used_bytes "$dir") - before))
    [ "$1" = split ] || taken=$((taken + $(tail -n 1 "$work/results/$bench.$layout.split.$2.space")))
    echo "$taken" >>"$space"
}

# ---- Statistics ---------------------------------------------------------------

median() {
    sort -g "$1" | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
minimum() { sort -g "$1" | head -n 1; }
maximum() { sort -g "$1" | tail -n 1; }

contender_name() {
    case $1 in
    vandrel) echo "vandrel" ;;
    wine) echo "vandrel-cli.exe (Wine)" ;;
    move) [ "$2" = split ] && echo "split -b, rm, sync" || echo "cat, rm, sync" ;;
    plain) [ "$2" = split ] && echo "split -b" || echo "cat" ;;
    esac
}

# The figures of one layout on one bench, as a small table.
print_figures() {
    printf '  %-40s %9s %9s\n' "$(layout_name "$layout") of $part bytes" min median
    for op in split join; do
        heading="$op:"
        for contender in $contenders; do
            f=$work/results/$bench.$layout.$op.$contender
            printf '    %-6s %-31s %7.3f s %7.3f s\n' "$heading" "$(contender_name "$contender" "$op")" \
                "$(minimum "$f")" "$(median "$f")"
            heading=""
        done
    done
    if [ -n "$measure_space" ]; then
        for contender in $contenders; do
            s=$work/results/$bench.$layout
            printf '    space: %-25s after the split %+d bytes, after the join %+d bytes (largest of %s runs)\n' \
                "$(contender_name "$contender" split)" "$(maximum "$s.split.$contender.space")" \
                "$(maximum "$s.join.$contender.space")" "$runs"
        done
    fi
}

# ---- One bench: a folder on one file system ----------------------------------

# Runs every layout of $layouts with every contender of $contenders in
# $bench_dir; each contender works on a copy of its own, split then joined
# back in every run, the contenders taking turns.
run_bench() {
    for contender in $contenders; do
        mkdir "$bench_dir/$contender"
        cp "$reference" "$bench_dir/$contender/data.bin"
    done
    for layout in $layouts; do
        part=$(part_size "$layout")
        count=$(piece_count "$part")
        run=0
        while [ "$run" -lt "$runs" ]; do
            for op in split join; do
                for contender in $contenders; do
                    dir=$bench_dir/$contender
                    if [ -n "$measure_space" ]; then
                        space_taken "$op" "$contender"
                    else
                        "${op}_with" "$contender"
                    fi
                done
            done
            run=$((run + 1))
        done
        print_figures
    done
    for contender in $contenders; do
        cmp -s "$reference" "$bench_dir/$contender/data.bin" ||
            fail "$bench: $(contender_name "$contender" join) did not give back the original file"
        rm -r "$bench_dir/${contender:?}"
    done
}

# ---- Loop images ---------------------------------------------------------------

# Makes, attaches and mounts an image of file system $1; sets mnt.
mount_image() {
    image=$work/$1.img
    images="$images $image"
    truncate -s "$image_bytes" "$image"
    case $1 in
    ext4) set -- mkfs.ext4 -q -F -b 4096 ;;
    xfs) set -- mkfs.xfs -q -f -m reflink=1 ;;
    btrfs) set -- mkfs.btrfs -q -f ;;
    esac
    "$@" "$image" >"$work/mkfs.log" 2>&1 || { cat "$work/mkfs.log" >&2; fail "$* failed"; }
    device=$(losetup --find --show "$image")
    mnt=$work/mnt-$1
    mkdir "$mnt"
    mounts="$mounts $mnt"
    mount "$device" "$mnt"
}

unmount_image() {
    umount "$mnt"
    losetup -d "$device"
    rm -f "$image"
    rmdir "$mnt"
}

# ---- The benches -----------------------------------------------------------------

fs_type() { df --output=fstype "$1" | tail -n 1; }
ran=""

bench_tmpfs() {
    bench=tmpfs layouts="10 2" contenders="vandrel plain move" measure_space=""
    bench_dir=$(mktemp -d "$shm_dir/vandrel-bench.XXXXXX")
    echo "== tmpfs: $bench_dir ($(fs_type "$bench_dir"))"
    run_bench
    rmdir "$bench_dir"
    ran="$ran tmpfs"
}

bench_disk() {
    bench=disk layouts="10 2" contenders="vandrel move" measure_space=""
    bench_dir=$work/disk
    mkdir "$bench_dir"
    disk_type=$(fs_type "$bench_dir")
    echo "== disk: $bench_dir ($disk_type)"
    run_bench
    rmdir "$bench_dir"
    ran="$ran disk"
}

bench_loop() {
    bench=$1 layouts="10 2" contenders="vandrel move" measure_space=""
    [ "$1" = ext4 ] || { layouts="10 2 10u" measure_space=yes; }
    mount_image "$1"
    bench_dir=$mnt
    echo "== $1 loop image: $bench_dir ($(fs_type "$bench_dir"), $((image_bytes / 1048576)) MiB)"
    run_bench
    unmount_image
    ran="$ran $1"
}

bench_wine() {
    bench=wine layouts="10" contenders="vandrel wine" measure_space=""
    bench_dir=$(mktemp -d "$shm_dir/vandrel-bench.XXXXXX")
    # A server that stays a little after its last program keeps Wine's start-up
    # out of the timings (when one already runs, this one just gives way).
    WINEDEBUG=-all wineserver -p30 >/dev/null 2>&1 </dev/null || true
    "$wine_run" cmd /c exit >/dev/null 2>&1 </dev/null
    echo "== Wine: vandrel-cli.exe against the native vandrel, $bench_dir ($(fs_type "$bench_dir"))"
    run_bench
    rmdir "$bench_dir"
    ran="$ran wine"
}

echo "vandrel bench: $size_mib MiB, medians and mins of $runs runs, $(date -u '+%Y-%m-%d %H:%M UTC')"
echo "vandrel: $vandrel (timed as it is${then_sync:+, then sync}: it commits its files itself)"
! selected tmpfs || bench_tmpfs
! selected disk || bench_disk
for kind in ext4 xfs btrfs; do
    selected "$kind" || continue
    if [ "$(id -u)" -ne 0 ]; then
        echo "== $kind loop image: skipped, mounting one needs root"
    elif ! command -v "mkfs.$kind" >/dev/null; then
        echo "== $kind loop image: skipped, mkfs.$kind is missing (scripts/install-deps.sh installs it)"
    else
        bench_loop "$kind"
    fi
done
if selected wine; then
    if [ ! -f "$vandrel_exe" ]; then
        echo "== Wine: skipped, no $vandrel_exe"
    elif ! command -v wine >/dev/null; then
        echo "== Wine: skipped, wine is missing"
    else
        vandrel_exe=$(realpath "$vandrel_exe")
        bench_wine
    fi
fi

# shellcheck source=bench/filesystems_targets.sh
. "$root/bench/filesystems_targets.sh"
