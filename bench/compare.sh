#!/bin/sh
# Whole-process timings of the vandrel command against the system's own tools,
# with hyperfine: `vandrel split` against `split -b`, and `vandrel join`
# against `cat`, 1 GiB in ten pieces, on /dev/shm and on the disk; then
# vandrel-cli.exe under Wine against the native program on /dev/shm.
#
# Both vandrel commands move data: the split deletes its input, the join its
# pieces, and each commits every file it writes to the disk before it deletes
# anything. The plain tools are timed as they are, and again with the same
# removal and a `sync`, which is what matches vandrel's durability.
# Every run starts from a fresh copy of the input, made in hyperfine's prepare
# step (and synced, so that no earlier write-back lands in a timed run).
#
# Usage: bench/compare.sh [NATIVE_VANDREL [WINDOWS_VANDREL_CLI_EXE]]
#   defaults: build/native/cli/vandrel and build/win/cli/vandrel-cli.exe;
#   the Wine comparison is left out when the .exe does not exist.
# Environment: SIZE_MIB (1024), RUNS (5), SHM_DIR (/dev/shm), DISK_DIR (/var/tmp)
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
vandrel=$(realpath "${1:-$root/build/native/cli/vandrel}")
vandrel_exe=${2:-$root/build/win/cli/vandrel-cli.exe}
size_mib=${SIZE_MIB:-1024}
runs=${RUNS:-5}
shm_dir=${SHM_DIR:-/dev/shm}
disk_dir=${DISK_DIR:-/var/tmp}

bytes=$((size_mib * 1048576))
piece_bytes=$(((bytes + 9) / 10))  # ten pieces, the last one a little shorter
pieces=10

command -v hyperfine >/dev/null || { echo "hyperfine is missing (apt-get install hyperfine)" >&2; exit 2; }
[ -x "$vandrel" ] || { echo "no vandrel program at $vandrel" >&2; exit 2; }

workdirs=""
cleanup() { for dir in $workdirs; do rm -rf "$dir"; done; }
trap cleanup EXIT INT TERM

# The names of the ten pieces of $1/data.bin, in index order.
piece_names() {
    i=0
    while [ "$i" -lt "$pieces" ]; do
        printf '%s ' "$1/data.bin.$i.$pieces.plit"
        i=$((i + 1))
    done
}

# Median time in seconds of the command named $2 in hyperfine's CSV $1: on a
# shared machine the median is the figure least moved by other work.
median_of() { awk -F, -v name="$2" '$1 == name { print $4 }' "$1"; }
# "A / B = ratio (a s, b s)" for the commands named $2 and $3 in CSV $1.
ratio_line() {
    a=$(median_of "$1" "$2")
    b=$(median_of "$1" "$3")
    awk -v a="$a" -v b="$b" -v na="$2" -v nb="$3" 'BEGIN { printf "%s / %s = %.2f (%.3f s / %.3f s)", na, nb, a / b, a, b }'
}

# Sets up DIR/vandrel-bench.PID: a random reference input and its pieces.
prepare_dir() {
    bench=$(mktemp -d "$1/vandrel-bench.XXXXXX")
    workdirs="$workdirs $bench"
    mkdir "$bench/work" "$bench/pieces"
    head -c "$bytes" /dev/urandom >"$bench/reference.bin"
    cp "$bench/reference.bin" "$bench/pieces/data.bin"
    "$vandrel" split "$bench/pieces/data.bin" "${piece_bytes}B" >/dev/null
    sync
}

# Touches fresh memory and gives it back, last in every prepare step: a
# virtual machine hands memory left free for a few seconds back to its host,
# and the first touch of it then costs more than the copy that needs it.
warm="head -c $((bytes + bytes / 4)) /dev/zero >$shm_dir/vandrel-warm; rm -f $shm_dir/vandrel-warm"

# Split and join on one file system; prints the two ratios.
compare_tools() {
    label=$1
    prepare_dir "$2"
    w=$bench/work
    fresh_input="rm -f $w/*; cp $bench/reference.bin $w/data.bin; sync; $warm"
    fresh_pieces="rm -f $w/*; cp $bench/pieces/* $w/; sync; $warm"
    parts=$(piece_names "$w")

    echo "== $label ($2): split, $size_mib MiB into $pieces pieces"
    hyperfine --runs "$runs" --export-csv "$bench/split.csv" \
        --prepare "$fresh_input" -n vandrel "$vandrel split $w/data.bin ${piece_bytes}B" \
        --prepare "$fresh_input" -n split "split -b $piece_bytes $w/data.bin $w/data.bin.part." \
        --prepare "$fresh_input" -n split+rm+sync "split -b $piece_bytes $w/data.bin $w/data.bin.part. && rm $w/data.bin && sync"

    echo "== $label ($2): join, $pieces pieces into $size_mib MiB"
    hyperfine --runs "$runs" --export-csv "$bench/join.csv" \
        --prepare "$fresh_pieces" -n vandrel "$vandrel join $w/data.bin.0.$pieces.plit" \
        --prepare "$fresh_pieces" -n cat "cat $parts >$w/data.bin" \
        --prepare "$fresh_pieces" -n cat+rm+sync "cat $parts >$w/data.bin && rm $parts && sync"

    cmp -s "$w/data.bin" "$bench/reference.bin" || { echo "the last join did not restore the input" >&2; exit 1; }
    results="$results
$label split: $(ratio_line "$bench/split.csv" vandrel split)
$label split: $(ratio_line "$bench/split.csv" vandrel split+rm+sync)
$label join:  $(ratio_line "$bench/join.csv" vandrel cat)
$label join:  $(ratio_line "$bench/join.csv" vandrel cat+rm+sync)"
    rm -rf "$bench"
}

# The Windows program under Wine against the native one, on /dev/shm.
compare_wine() {
    prepare_dir "$shm_dir"
    w=$bench/work
    fresh_input="rm -f $w/*; cp $bench/reference.bin $w/data.bin; $warm"
    fresh_pieces="rm -f $w/*; cp $bench/pieces/* $w/; $warm"
    wine_run="$root/cmake/wine-run.sh $(realpath "$vandrel_exe")"

    # A running server keeps Wine's start-up out of the timings (harmless when one runs).
    . "$root/scripts/wine-env.sh"
    wine_session_start

    echo "== Wine ($shm_dir): vandrel-cli.exe against the native vandrel"
    hyperfine --runs "$runs" --export-csv "$bench/wine-split.csv" \
        --prepare "$fresh_input" -n native "$vandrel split $w/data.bin ${piece_bytes}B" \
        --prepare "$fresh_input" -n wine "$wine_run split $w/data.bin ${piece_bytes}B"
    hyperfine --runs "$runs" --export-csv "$bench/wine-join.csv" \
        --prepare "$fresh_pieces" -n native "$vandrel join $w/data.bin.0.$pieces.plit" \
        --prepare "$fresh_pieces" -n wine "$wine_run join $w/data.bin.0.$pieces.plit"

    cmp -s "$w/data.bin" "$bench/reference.bin" || { echo "the join under Wine did not restore the input" >&2; exit 1; }
    results="$results
Wine split: $(ratio_line "$bench/wine-split.csv" wine native)
Wine join:  $(ratio_line "$bench/wine-join.csv" wine native)"
    rm -rf "$bench"
}

results=""
compare_tools "/dev/shm" "$shm_dir"
compare_tools "disk" "$disk_dir"
if [ -f "$vandrel_exe" ]; then
    compare_wine
else
    echo "(no $vandrel_exe: Wine comparison left out)"
fi

echo
echo "Median time ratios (below 1.0: vandrel is faster)$results"
