#!/bin/sh
# Runs every fuzz target for RUNS inputs (10 million by default), two at a
# time, each from its seeds and what earlier runs found, and prints each
# target's figures. Crashes land in build/fuzz/offline/. Run as root on Debian 12;
# takes about three quarters of an hour on two cores.
# Usage: sh scripts/fuzz-offline.sh [RUNS]
set -eu
cd "$(dirname "$0")/.."
runs=${1:-10000000}

sh scripts/install-deps.sh
cmake -S . -B build/fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANDREL_FUZZ=ON \
  -DVANDREL_BUILD_TESTS=OFF -DVANDREL_BUILD_BENCH=OFF >/dev/null
cmake --build build/fuzz -j 2
out=build/fuzz/offline
mkdir -p "$out"

fuzz() {
    target=$1
    corpus=build/fuzz/tests/fuzz/corpus/$target
    mkdir -p "$corpus"
    start=$(date +%s)
    status=0
    "build/fuzz/tests/fuzz/$target" -runs="$runs" -print_final_stats=1 -artifact_prefix="$out/$target-" \
        "$corpus" "tests/fuzz/seeds/$target" >"$out/$target.log" 2>&1 || status=$?
    echo "$target: exit $status after $(($(date +%s) - start)) s;" \
        "$(grep -h 'stat::number_of_executed_units' "$out/$target.log" | tr -s ' ');" \
        "sanitizer reports: $(grep -c -E 'ERROR: (Address|Leak|Undefined)Sanitizer|runtime error:' "$out/$target.log");" \
        "broken properties: $(grep -c 'property broken' "$out/$target.log")"
}

fuzz piece_name_fuzzer & fuzz decimal_fuzzer & wait
fuzz command_line_fuzzer & fuzz part_size_fuzzer & wait
fuzz checksum_list_fuzzer
