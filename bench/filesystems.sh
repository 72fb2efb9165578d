#!/bin/sh
# Times the whole vandrel command against the move a user would otherwise
# make with the system's tools, on each kind of file system it meets, and
# tells for every target whether it holds.
#
#   split: vandrel split    against  split -b SIZE -d, rm of the input, sync
#   join:  vandrel join     against  cat of the pieces, rm of the pieces, sync
#
# A split writes its checksum list and a join checks the pieces against it, so
# the careful move a user would make is timed too, and Vandrel without the list:
#   split: vandrel split    against  split -b, sha256sum of the pieces into a
#                                    list, rm of the input, sync
#                           and      vandrel split --no-list
#   join:  vandrel join     against  sha256sum -c of that list, cat, rm, sync
#                           and      vandrel join of a set without a list
# and, on tmpfs with the pieces warm, vandrel verify against sha256sum -c
# --ignore-missing on the same list.
#
# The split in place (bench/in_place_benches.sh), durable and with its list:
#   vandrel split --in-place  against  split -b, rm, sync  on an ext4 loop image
#                             against  split -b, rm        on tmpfs
# and, on an ext4 loop image with room for under three pieces beside the
# file, the peak of the space in use (df) while vandrel split runs there.
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
#   ONLY (which benches: "tmpfs disk ext4 xfs btrfs verify wine inplace-ext4
#   inplace-tmpfs inplace-room"), LAYOUTS
#   (which layouts, of those a bench runs: "10 2 10u"), SYNC_AFTER_VANDREL (0)
# shellcheck disable=SC2016  # the commands' own arguments, expanded by the shell that runs them
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
vandrel=${1:-${VANDREL:-$root/build/native/cli/vandrel}}
vandrel_exe=${2:-${VANDREL_EXE:-$root/build/win/cli/vandrel-cli.exe}}
size_mib=${SIZE_MIB:-1024}
runs=${RUNS:-5}
shm_dir=${SHM_DIR:-/dev/shm}
disk_dir=${DISK_DIR:-/var/tmp}
only=${ONLY:-tmpfs disk ext4 xfs btrfs verify wine inplace-ext4 inplace-tmpfs inplace-room}
only_layouts=${LAYOUTS:-10 2 10u}
sync_after_vandrel=${SYNC_AFTER_VANDREL:-0}

bytes=$((size_mib * 1048576))
warm_bytes=$((bytes + bytes / 4))
# Room for four contenders' copies while one of them holds input and pieces at once.
image_bytes=$((5 * bytes + bytes / 4 + 512 * 1048576))
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
shm_dirs=""
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
    for dir in $shm_dirs; do rm -rf "$dir"; done
    [ -z "$work" ] || rm -rf --one-file-system "$work"
}
trap cleanup EXIT
trap 'exit 129' HUP
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 141' PIPE

selected() {
    case " $only " in *" $1 "*) return 0 ;; esac
    return 1
}

# Fails unless folder $1 has $2 bytes free for $3.
need_space() {
    free=$(df -B1 --output=avail "$1" | tail -n 1)
    [ "$free" -ge "$2" ] ||
        fail "$1 has $((free / 1048576)) MiB free, $(($2 / 1048576)) MiB are needed for $3: set SIZE_MIB lower"
}
# The reference and then either the disk bench's copies or a loop image's.
need_space "$disk_dir" $((6 * bytes + 512 * 1048576)) "the disk and loop image benches"
# Four contenders' copies, one of them twice while it splits.
if selected tmpfs || selected verify || selected wine || selected inplace-tmpfs; then need_space "$shm_dir" $((5 * bytes)) "the tmpfs bench"; fi

work=$(mktemp -d "$disk_dir/vandrel-bench.XXXXXX")
mkdir "$work/results"
helper=$work/warm_timed_run
"${CC:-cc}" -O2 -o "$helper" "$root/bench/warm_timed_run.c" || fail "cannot build bench/warm_timed_run.c"

reference=$work/reference.bin
head -c "$bytes" /dev/urandom >"$reference"

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

# Runs a command warm and after a sync, as operation $1 (split, join) of
# contender $2; notes its seconds and its peak memory in KiB, or, in a
# warm-up round, throws them away.
timed() {
    result=$work/results/$bench.$layout.$1.$2
    [ -z "$warming_up" ] || result=$work/warm-up
    shift 2
    : >"$work/stderr"
    "$helper" "$warm_bytes" "$work/seconds" /usr/bin/time -f %M -o "$work/peak" "$@" ||
        { cat "$work/stderr" >&2; fail "failed: $*"; }
    cat "$work/seconds" >>"$result"
    tail -n 1 "$work/peak" >>"$result.peak"
}

if [ "$sync_after_vandrel" = 1 ]; then then_sync=' && sync'; else then_sync=''; fi
wine_run=$root/cmake/wine-run.sh

# Runs `vandrel ARGS` ($3...) timed as operation $1 of contender $2: the
# native program (vandrel, nolist) or vandrel-cli.exe under Wine (wine). Its
# standard error is shown only when it fails: the join of a set without a
# list says there that it could not check the pieces.
timed_vandrel() {
    operation=$1 contender_=$2
    shift 2
    if [ "$contender_" = wine ]; then set -- "$wine_run" "$vandrel_exe" "$@"; else set -- "$vandrel" "$@"; fi
    timed "$operation" "$contender_" sh -c 'errors=$1; shift; "$@" >/dev/null 2>"$errors"'"$then_sync" \
        sh "$work/stderr" "$@"
}

# Where the contender $1 finds the Linux root: Wine's drive Z:.
root_of() { if [ "$1" = wine ]; then echo Z:; fi; }

# The coreutils pieces of $1, in order: $1.00, $1.01, ...
coreutils_pieces() {
    i=0
    while [ "$i" -lt "$2" ]; do
        printf '%s.%02d ' "$1" "$i"
        i=$((i + 1))
    done
}

# Splits $dir/data.bin into pieces of $part bytes with contender $1, timed:
#   vandrel, wine (vandrel-cli.exe), nolist (vandrel split --no-list),
#   inplace (vandrel split --in-place), inplacenolist (the same with
#   --no-list), move (split -b, rm, sync), cut
#   (split -b, rm), careful (split -b, sha256sum of the pieces into
#   data.bin.sha256, rm, sync), plain (split -b alone)
split_with() {
    file=$dir/data.bin
    case $1 in
    vandrel | wine) timed_vandrel split "$1" -q split "$(root_of "$1")$file" "${part}B" ;;
    nolist) timed_vandrel split nolist -q split --no-list "$file" "${part}B" ;;
    inplace) timed_vandrel split inplace -q split --in-place "$file" "${part}B" ;;
    inplacenolist) timed_vandrel split inplacenolist -q split --in-place --no-list "$file" "${part}B" ;;
    move) timed split move sh -c 'split -b "$1" -d "$2" "$2." && rm "$2" && sync' sh "$part" "$file" ;;
    cut) timed split cut sh -c 'split -b "$1" -d "$2" "$2." && rm "$2"' sh "$part" "$file" ;;
    careful)
        timed split careful sh -c 'split -b "$1" -d "$2" "$2." && sha256sum "$2".[0-9]* >"$2.sha256" && rm "$2" && sync' \
            sh "$part" "$file"
        ;;
    plain)
        timed split plain split -b "$part" -d "$file" "$file."
        rm "$file"
        ;;
    esac
}

# Joins the pieces in $dir back into $dir/data.bin with contender $1, timed.
join_with() {
    file=$dir/data.bin
    pieces=$(coreutils_pieces "$file" "$count")
    # shellcheck disable=SC2086  # the piece names hold no blanks
    case $1 in
    vandrel | wine | nolist | inplace | inplacenolist) timed_vandrel join "$1" -q join "$(root_of "$1")$file.0.$count.plit" ;;
    move) timed join move sh -c 'out=$1; shift; cat "$@" >"$out" && rm "$@" && sync' sh "$file" $pieces ;;
    cut) timed join cut sh -c 'out=$1; shift; cat "$@" >"$out" && rm "$@"' sh "$file" $pieces ;;
    careful)
        timed join careful sh -c 'out=$1; shift; sha256sum -c --quiet "$out.sha256" && cat "$@" >"$out" &&
            rm "$@" "$out.sha256" && sync' sh "$file" $pieces
        ;;
    plain)
        timed join plain sh -c 'out=$1; shift; cat "$@" >"$out"' sh "$file" $pieces
        rm $pieces
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
    nolist) [ "$2" = split ] && echo "vandrel split --no-list" || echo "vandrel join, no list" ;;
    wine) echo "vandrel-cli.exe (Wine)" ;;
    inplace) [ "$2" = split ] && echo "vandrel split --in-place" || echo "vandrel join of that set" ;;
    inplacenolist) [ "$2" = split ] && echo "the same, --no-list" || echo "the same, no list" ;;
    cut) [ "$2" = split ] && echo "split -b, rm" || echo "cat, rm" ;;
    move) [ "$2" = split ] && echo "split -b, rm, sync" || echo "cat, rm, sync" ;;
    careful) [ "$2" = split ] && echo "split -b, sha256sum, rm, sync" || echo "sha256sum -c, cat, rm, sync" ;;
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
# back in every run, the contenders taking turns, after $warm_up_runs
# rounds (0 unless a bench sets it) whose figures are thrown away.
run_bench() {
    layouts=$(for layout in $layouts; do case " $only_layouts " in *" $layout "*) printf '%s ' "$layout" ;; esac; done)
    [ -n "$layouts" ] || fail "LAYOUTS=\"$only_layouts\" leaves $bench none of its own"
    echo "$layouts" >"$work/results/$bench.layouts"
    for contender in $contenders; do
        mkdir "$bench_dir/$contender"
        cp "$reference" "$bench_dir/$contender/data.bin"
    done
    for layout in $layouts; do
        part=$(part_size "$layout")
        count=$(piece_count "$part")
        run=$((0 - warm_up_runs))
        while [ "$run" -lt "$runs" ]; do
            if [ "$run" -lt 0 ]; then warming_up=yes; else warming_up=""; fi
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
    warming_up=""
    for contender in $contenders; do
        cmp -s "$reference" "$bench_dir/$contender/data.bin" ||
            fail "$bench: $(contender_name "$contender" join) did not give back the original file"
        rm -r "$bench_dir/${contender:?}"
    done
}

# ---- Loop images ---------------------------------------------------------------

# Makes, attaches and mounts an image of file system $1, of $2 bytes
# ($image_bytes unless given); sets mnt.
mount_image() {
    kind=$1
    image=$work/$kind.img
    images="$images $image"
    truncate -s "${2:-$image_bytes}" "$image"
    case $kind in
    ext4) set -- mkfs.ext4 -q -F -b 4096 ;;
    xfs) set -- mkfs.xfs -q -f -m reflink=1 ;;
    btrfs) set -- mkfs.btrfs -q -f ;;
    esac
    "$@" "$image" >"$work/mkfs.log" 2>&1 || { cat "$work/mkfs.log" >&2; fail "$* failed"; }
    device=$(losetup --find --show "$image")
    mnt=$work/mnt-$kind
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

# A folder of this run's own on tmpfs; sets bench_dir.
make_shm_dir() {
    bench_dir=$(mktemp -d "$shm_dir/vandrel-bench.XXXXXX")
    shm_dirs="$shm_dirs $bench_dir"
}

fs_type() { df --output=fstype "$1" | tail -n 1; }
disk_type=$(fs_type "$disk_dir")

bench_label() {
    case $1 in
    disk) echo "$disk_type disk" ;;
    ext4 | xfs | btrfs) echo "$1 loop" ;;
    wine) echo "Wine" ;;
    verify) echo "verify" ;;
    inplace-ext4) echo "ext4 loop" ;;
    inplace-tmpfs) echo "tmpfs" ;;
    inplace-room) echo "ext4 full" ;;
    *) echo "$1" ;;
    esac
}
ran=""
warm_up_runs=0
warming_up=""

bench_tmpfs() {
    bench=tmpfs layouts="10 2" contenders="vandrel nolist plain move" measure_space=""
    make_shm_dir
    echo "== $(bench_label tmpfs): $bench_dir ($(fs_type "$bench_dir"))"
    run_bench
    rmdir "$bench_dir"
    ran="$ran tmpfs"
}

bench_disk() {
    bench=disk layouts="10 2" contenders="vandrel nolist move careful" measure_space=""
    bench_dir=$work/disk
    mkdir "$bench_dir"
    echo "== $(bench_label disk): $bench_dir"
    run_bench
    rmdir "$bench_dir"
    ran="$ran disk"
}

bench_loop() {
    bench=$1 layouts="10 2" contenders="vandrel nolist move careful" measure_space=""
    [ "$1" = ext4 ] || { layouts="10 2 10u" measure_space=yes; }
    mount_image "$1"
    bench_dir=$mnt
    echo "== $(bench_label "$1"): $bench_dir ($(fs_type "$bench_dir"), an image of $((image_bytes / 1048576)) MiB)"
    run_bench
    unmount_image
    ran="$ran $1"
}

# vandrel verify against sha256sum -c --ignore-missing on the list of a set
# that vandrel split made on tmpfs, the pieces warm, taking turns.
bench_verify() {
    bench=verify layout=10
    make_shm_dir
    part=$(part_size 10)
    cp "$reference" "$bench_dir/data.bin"
    "$vandrel" -q split "$bench_dir/data.bin" "${part}B" >/dev/null || fail "verify: the split failed"
    [ -f "$bench_dir/data.bin.plit.sha256" ] || fail "verify: the split wrote no checksum list"
    cat "$bench_dir"/*.plit >/dev/null
    echo "== $(bench_label verify): $bench_dir ($(fs_type "$bench_dir")), $(layout_name 10) of $part bytes, warm"
    run=0
    while [ "$run" -lt "$runs" ]; do
        timed verify vandrel sh -c '"$@" >/dev/null' sh "$vandrel" -q verify "$bench_dir/data.bin.plit.sha256"
        timed verify sha256sum sh -c 'cd "$1" && sha256sum -c --quiet --ignore-missing data.bin.plit.sha256' \
            sh "$bench_dir"
        run=$((run + 1))
    done
    printf '  %-40s %9s %9s\n' "" min median
    for contender in vandrel sha256sum; do
        f=$work/results/verify.10.verify.$contender
        [ "$contender" = vandrel ] && what="vandrel verify" || what="sha256sum -c --ignore-missing"
        printf '    %-38s %7.3f s %7.3f s\n' "$what" "$(minimum "$f")" "$(median "$f")"
    done
    rm -r "${bench_dir:?}"
    ran="$ran verify"
}

bench_wine() {
    bench=wine layouts="10" contenders="vandrel wine" measure_space=""
    make_shm_dir
    # A server that stays a little after its last program keeps Wine's start-up
    # out of the timings (when one already runs, this one just gives way).
    WINEDEBUG=-all wineserver -p30 >/dev/null 2>&1 </dev/null || true
    "$wine_run" cmd /c exit >/dev/null 2>&1 </dev/null
    echo "== $(bench_label wine): vandrel-cli.exe against the native vandrel, $bench_dir ($(fs_type "$bench_dir"))"
    run_bench
    rmdir "$bench_dir"
    ran="$ran wine"
}

# shellcheck source=bench/in_place_benches.sh
. "$root/bench/in_place_benches.sh"

# Tells why bench $1 does not run, here and among the targets.
skip() {
    echo "== $(bench_label "$1"): skipped, $2"
    printf '%-11s(targets not checked: %s)\n' "$(bench_label "$1")" "$2" >>"$work/skipped"
}

echo "vandrel bench: $size_mib MiB, medians and mins of $runs runs, $(date -u '+%Y-%m-%d %H:%M UTC')"
if [ -n "$then_sync" ]; then
    echo "vandrel: $vandrel, timed with a sync after it"
else
    echo "vandrel: $vandrel, timed as it is (it commits its files itself)"
fi
if selected tmpfs; then bench_tmpfs; fi
if selected disk; then bench_disk; fi
for kind in ext4 xfs btrfs; do
    selected "$kind" || continue
    if [ "$(id -u)" -ne 0 ]; then
        skip "$kind" "mounting a loop image needs root"
    elif ! command -v "mkfs.$kind" >/dev/null; then
        skip "$kind" "mkfs.$kind is missing (scripts/install-deps.sh installs it)"
    else
        bench_loop "$kind"
    fi
done
if selected verify; then bench_verify; fi
for kind in inplace-ext4 inplace-room; do
    selected "$kind" || continue
    if [ "$(id -u)" -ne 0 ]; then
        skip "$kind" "mounting a loop image needs root"
    elif ! command -v mkfs.ext4 >/dev/null; then
        skip "$kind" "mkfs.ext4 is missing (scripts/install-deps.sh installs it)"
    else
        "bench_$(echo "$kind" | tr - _)"
    fi
done
if selected inplace-tmpfs; then bench_inplace_tmpfs; fi
if selected wine; then
    if [ ! -f "$vandrel_exe" ]; then
        skip wine "no $vandrel_exe"
    elif ! command -v wine >/dev/null; then
        skip wine "wine is missing"
    else
        vandrel_exe=$(realpath "$vandrel_exe")
        bench_wine
    fi
fi

# shellcheck source=bench/filesystems_targets.sh
. "$root/bench/filesystems_targets.sh"
