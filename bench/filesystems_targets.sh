# The targets of bench/filesystems.sh, read from the medians of its run: one
# line each with the figure, the target and whether it holds.
# Sourced by filesystems.sh after its benches, with $work/results, $ran and
# its statistics functions at hand.
# shellcheck shell=sh disable=SC2154  # the variables are filesystems.sh's

figures=$work/results

# holds A OP B: whether the comparison A OP B (<, <=, >=) of two numbers is true.
holds() { awk -v a="$1" -v b="$2" -v op="$3" 'BEGIN { exit !(op == "<" ? a < b : op == "<=" ? a <= b : a >= b) }'; }

# target_line BENCH WHAT FIGURE_TEXT FIGURE OP LIMIT LIMIT_TEXT
target_line() {
    if holds "$4" "$6" "$5"; then verdict=holds; else verdict=misses; fi
    printf '%-11s%s: %s (target %s %s): %s\n' "$(bench_label "$1")" "$2" "$3" "$5" "$7" "$verdict"
}

# Median time of operation $3 (split, join) of contender $4 on bench $1, layout $2.
median_of() { median "$figures/$1.$2.$3.$4"; }

# ratio_target BENCH LAYOUT OP OTHER OTHER_TEXT LIMIT: vandrel's median over another's.
ratio_target() {
    ratio=$(awk -v a="$(median_of "$1" "$2" "$3" vandrel)" -v b="$(median_of "$1" "$2" "$3" "$4")" \
        'BEGIN { printf "%.2f", a / b }')
    target_line "$1" "$3 $(layout_name "$2")" "$ratio x $5" "$ratio" "<=" "$6" "$6"
}

# The reflink file systems: seconds, the gain over the coreutils move, and space.
reflink_targets() {
    fs=$1 seconds=$2
    for layout in 10 2; do
        what=$(layout_name "$layout")
        for op in split join; do
            t=$(median_of "$fs" "$layout" "$op" vandrel)
            target_line "$fs" "$op $what" "$(printf '%.3f s' "$t")" "$t" "<" "$seconds" "$seconds s"
        done
        speed=$(awk -v a="$(median_of "$fs" "$layout" split vandrel)" -v b="$(median_of "$fs" "$layout" split move)" \
            'BEGIN { printf "%.1f", b / a }')
        target_line "$fs" "split $what" "$speed x the speed of the coreutils move" "$speed" ">=" 10 10
        [ "$fs" != xfs ] || ratio_target "$fs" "$layout" join move "coreutils move" 3
        for op in split join; do
            taken=$(maximum "$figures/$fs.$layout.$op.vandrel.space")
            percent=$(awk -v t="$taken" -v b="$bytes" 'BEGIN { printf "%.2f", 100 * t / b }')
            target_line "$fs" "$op $what, extra space" "$taken bytes, $percent% of the file" "$percent" \
                "<" "$space_limit_percent" "$space_limit_percent%"
        done
    done
    for op in split join; do
        ratio=$(awk -v a="$(median_of "$fs" 10u "$op" vandrel)" -v b="$(median_of "$fs" 10u "$op" move)" \
            'BEGIN { printf "%.2f", a / b }')
        printf '%-11s%s %s: %.3f s, %s x coreutils move (no target: the copy without shared extents)\n' \
            "$(bench_label "$fs")" "$op" "$(layout_name 10u)" "$(median_of "$fs" 10u "$op" vandrel)" "$ratio"
    done
}

echo
echo "Targets, from the medians of this run:"
[ "$size_mib" -eq 1024 ] || echo "(the targets in seconds are set for 1024 MiB; this run moved $size_mib MiB)"
for bench in $ran; do
    case $bench in
    tmpfs)
        for layout in 10 2; do ratio_target tmpfs "$layout" split plain "split -b" 1.0; done
        ratio_target tmpfs 10 join plain cat 0.95
        ratio_target tmpfs 2 join plain cat 0.7
        ;;
    disk | ext4)
        for layout in 10 2; do ratio_target "$bench" "$layout" split move "coreutils move" 1.2; done
        for layout in 10 2; do ratio_target "$bench" "$layout" join move "coreutils move" 0.95; done
        ;;
    xfs) reflink_targets xfs 0.1 ;;
    btrfs) reflink_targets btrfs 0.15 ;;
    wine)
        for op in split join; do
            ratio=$(awk -v a="$(median_of wine 10 "$op" wine)" -v b="$(median_of wine 10 "$op" vandrel)" \
                'BEGIN { printf "%.2f", a / b }')
            target_line wine "$op $(layout_name 10)" "$ratio x the native command" "$ratio" "<=" 1.2 1.2
        done
        ;;
    esac
done

# Every native vandrel run of every bench.
peak_kib=$(cat "$figures"/*.vandrel.peak 2>/dev/null | sort -n | tail -n 1)
if [ -n "$peak_kib" ]; then
    peak_mib=$(awk -v k="$peak_kib" 'BEGIN { printf "%.1f", k / 1024 }')
    target_line memory "vandrel's peak" "$peak_mib MiB" "$peak_mib" "<" "$memory_limit_mib" "$memory_limit_mib MiB"
fi
[ ! -f "$work/skipped" ] || cat "$work/skipped"
