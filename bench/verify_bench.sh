#!/bin/sh
# Times `vandrel verify` against what a user would otherwise run to check the
# pieces, `sha256sum -c --ignore-missing` on the same list, on tmpfs with the
# pieces warm, and tells whether the target (vandrel at least 3 times as fast)
# holds.
#
# The set is made by the real `vandrel split` (10 pieces). Each timed command
# runs after a sync with its memory warm (bench/warm_timed_run.c), the two
# taking turns, which one goes first changing from round to round; the figures
# are the min and median of RUNS.
#
# Usage: bench/verify_bench.sh [VANDREL]   (default: $VANDREL or build/native/cli/vandrel)
# Environment: SIZE_MIB (1024), RUNS (5), SHM_DIR (/dev/shm)
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
vandrel=${1:-${VANDREL:-$root/build/native/cli/vandrel}}
size_mib=${SIZE_MIB:-1024}
runs=${RUNS:-5}
shm_dir=${SHM_DIR:-/dev/shm}
bytes=$((size_mib * 1048576))
target=3

fail() { echo "verify_bench.sh: $*" >&2; exit 1; }
[ -x "$vandrel" ] || fail "no vandrel at $vandrel (build it, or give its path)"
work=$(mktemp -d "$shm_dir/vandrel-verify-bench.XXXXXX") || fail "cannot make a folder in $shm_dir"
trap 'rm -rf "$work"' EXIT INT TERM
helper=$work/warm_timed_run
"${CC:-cc}" -O2 -o "$helper" "$root/bench/warm_timed_run.c" || fail "cannot build bench/warm_timed_run.c"

mkdir "$work/set" "$work/results"
cd "$work/set"
head -c "$bytes" /dev/urandom >data.bin
"$vandrel" --quiet split data.bin "$(((bytes + 9) / 10))B" >/dev/null || fail "the split failed"
[ -f data.bin.plit.sha256 ] || fail "the split wrote no checksum list"
cat ./*.plit >/dev/null

# Runs contender $1's command, timed, and notes its seconds; both must pass.
timed() {
    name=$1
    shift
    "$helper" 0 "$work/seconds" sh -c '"$@" >/dev/null 2>&1' sh "$@" || fail "$name failed: $*"
    cat "$work/seconds" >>"$work/results/$name"
}
run_vandrel() { timed vandrel "$vandrel" --quiet verify data.bin.plit.sha256; }
run_sha256sum() { timed sha256sum sha256sum -c --ignore-missing data.bin.plit.sha256; }

run_vandrel
run_sha256sum
rm -f "$work/results/"*
round=0
while [ "$round" -lt "$runs" ]; do
    if [ $((round % 2)) -eq 0 ]; then run_vandrel; run_sha256sum; else run_sha256sum; run_vandrel; fi
    round=$((round + 1))
done

median() {
    sort -g "$1" | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
minimum() { sort -g "$1" | head -n 1; }

printf 'Checking %d MiB in 10 pieces on %s, %d runs each\n' "$size_mib" "$shm_dir" "$runs"
printf '  %-40s %9s %9s\n' "" min median
for name in vandrel sha256sum; do
    label=$name
    [ "$name" = vandrel ] && label="vandrel verify"
    [ "$name" = sha256sum ] && label="sha256sum -c --ignore-missing"
    printf '  %-40s %7.3f s %7.3f s\n' "$label" "$(minimum "$work/results/$name")" "$(median "$work/results/$name")"
done
ratio_min=$(awk -v a="$(minimum "$work/results/sha256sum")" -v b="$(minimum "$work/results/vandrel")" 'BEGIN { printf "%.2f", a / b }')
ratio_median=$(awk -v a="$(median "$work/results/sha256sum")" -v b="$(median "$work/results/vandrel")" 'BEGIN { printf "%.2f", a / b }')
holds=$(awk -v r="$ratio_median" -v t="$target" 'BEGIN { print (r >= t) ? "holds" : "DOES NOT HOLD" }')
printf 'vandrel verify is %sx (min) and %sx (median) as fast as sha256sum -c: target %sx %s\n' \
    "$ratio_min" "$ratio_median" "$target" "$holds"
