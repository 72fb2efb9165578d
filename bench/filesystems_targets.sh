# The targets of bench/filesystems.sh, read from the medians of its run: one
# line each with the figure, the target and whether it holds.
# Sourced by filesystems.sh after its benches, with $work/results, $ran and
# its statistics functions at hand.
#
# vandrel is the split that writes its checksum list and the join that checks
# the pieces against it; nolist is vandrel split --no-list and the join of a
# set without a list, which keep the targets set before there was a list.
# shellcheck shell=sh disable=SC2154  # the variables are filesystems.sh's

figures=$work/results

# holds A OP B: whether the comparison A OP B (<, <=, >=) of two numbers is true.
holds() { awk -v a="$1" -v b="$2" -v op="$3" 'BEGIN { exit !(op == "<" ? a < b : op == "<=" ? a <= b : a >= b) }'; }

# target_line BENCH WHAT FIGURE_TEXT FIGURE OP LIMIT LIMIT_TEXT
target_line() {
    if holds "$4" "$6" "$5"; then verdict=holds; else verdict=misses; fi
    printf '%-11s%s: %s (target %s %s): %s\n' "$(bench_label "$1")" "$2" "$3" "$5" "$7" "$verdict"
}

# Median time of operation $3 (split, join, verify) of contender $4 on bench $1, layout $2.
median_of() { median "$figures/$1.$2.$3.$4"; }

# The layouts bench $1 ran, of those in $2.
layouts_of() {
    for l in $2; do
        case " $(cat "$figures/$1.layouts") " in *" $l "*) printf '%s ' "$l" ;; esac
    done
}

# What operation $2 of contender $1 does, in layout $3.
what_of() {
    case $1.$2 in
    vandrel.split) echo "split with its list, $(layout_name "$3")" ;;
    vandrel.join) echo "checked join, $(layout_name "$3")" ;;
    nolist.split) echo "split --no-list, $(layout_name "$3")" ;;
    nolist.join) echo "unchecked join, $(layout_name "$3")" ;;
    inplace.split) echo "split in place with its list, $(layout_name "$3")" ;;
    inplace.join) echo "join of a set split in place, $(layout_name "$3")" ;;
    inplacenolist.split) echo "split in place --no-list, $(layout_name "$3")" ;;
    esac
}

# ratio_target BENCH LAYOUT OP CONTENDER OTHER OTHER_TEXT LIMIT: the contender's
# median over the other's, at most LIMIT.
ratio_target() {
    ratio=$(awk -v a="$(median_of "$1" "$2" "$3" "$4")" -v b="$(median_of "$1" "$2" "$3" "$5")" \
        'BEGIN { printf "%.2f", a / b }')
    target_line "$1" "$(what_of "$4" "$3" "$2")" "$ratio x $6" "$ratio" "<=" "$7" "$7"
}

# seconds_target BENCH LAYOUT OP CONTENDER SECONDS: the median under SECONDS.
seconds_target() {
    t=$(median_of "$1" "$2" "$3" "$4")
    target_line "$1" "$(what_of "$4" "$3" "$2")" "$(printf '%.3f s' "$t")" "$t" "<" "$5" "$5 s"
}

# speed_target BENCH LAYOUT OP CONTENDER TIMES: at least TIMES the speed of the coreutils move.
speed_target() {
    speed=$(awk -v a="$(median_of "$1" "$2" "$3" "$4")" -v b="$(median_of "$1" "$2" "$3" move)" \
        'BEGIN { printf "%.1f", b / a }')
    target_line "$1" "$(what_of "$4" "$3" "$2")" "$speed x the speed of the coreutils move" "$speed" ">=" "$5" "$5"
}

# in_place_list_cost BENCH LAYOUT OTHER OTHER_TEXT: the split in place
# without its list, against the other and against the split with it.
in_place_list_cost() {
    nolist=$(median_of "$1" "$2" split inplacenolist)
    printf '%-11s%s: %s x %s, and the list makes the split %s x slower (no target)\n' "$(bench_label "$1")" \
        "$(what_of inplacenolist split "$2")" \
        "$(awk -v a="$nolist" -v b="$(median_of "$1" "$2" split "$3")" 'BEGIN { printf "%.2f", a / b }')" "$4" \
        "$(awk -v a="$(median_of "$1" "$2" split inplace)" -v b="$nolist" 'BEGIN { printf "%.2f", a / b }')"
}

# The reflink file systems. Without the list: seconds, the gain over the
# coreutils move, and space; with it: seconds and the gain over the move.
reflink_targets() {
    fs=$1 seconds=$2
    for layout in $(layouts_of "$fs" "10 2"); do
        for op in split join; do seconds_target "$fs" "$layout" "$op" nolist "$seconds"; done
        speed_target "$fs" "$layout" split nolist 10
        [ "$fs" != xfs ] || ratio_target "$fs" "$layout" join nolist move "coreutils move" 3
        for op in split join; do
            taken=$(maximum "$figures/$fs.$layout.$op.nolist.space")
            percent=$(awk -v t="$taken" -v b="$bytes" 'BEGIN { printf "%.2f", 100 * t / b }')
            target_line "$fs" "$(what_of nolist "$op" "$layout"), extra space" "$taken bytes, $percent% of the file" \
                "$percent" "<" "$space_limit_percent" "$space_limit_percent%"
        done
        # The coreutils move's cat shares extents too (copy_file_range), so
        # the checked join is also set beside the careful move, which reads its bytes.
        for op in split join; do
            seconds_target "$fs" "$layout" "$op" vandrel 0.8
            speed_target "$fs" "$layout" "$op" vandrel 2
            speed=$(awk -v a="$(median_of "$fs" "$layout" "$op" vandrel)" \
                -v b="$(median_of "$fs" "$layout" "$op" careful)" 'BEGIN { printf "%.1f", b / a }')
            printf '%-11s%s: %s x the speed of the careful coreutils move (no target)\n' "$(bench_label "$fs")" \
                "$(what_of vandrel "$op" "$layout")" "$speed"
        done
    done
    for layout in $(layouts_of "$fs" 10u); do
        for contender in nolist vandrel; do
            for op in split join; do
                ratio=$(awk -v a="$(median_of "$fs" "$layout" "$op" "$contender")" \
                    -v b="$(median_of "$fs" "$layout" "$op" move)" 'BEGIN { printf "%.2f", a / b }')
                printf '%-11s%s: %.3f s, %s x coreutils move (no target: the copy without shared extents)\n' \
                    "$(bench_label "$fs")" "$(what_of "$contender" "$op" "$layout")" \
                    "$(median_of "$fs" "$layout" "$op" "$contender")" "$ratio"
            done
        done
    done
}

echo
echo "Targets, from the medians of this run:"
[ "$size_mib" -eq 1024 ] || echo "(the targets in seconds are set for 1024 MiB; this run moved $size_mib MiB)"
for bench in $ran; do
    case $bench in
    tmpfs)
        for layout in $(layouts_of tmpfs "10 2"); do
            ratio_target tmpfs "$layout" split nolist plain "split -b" 1.0
            case $layout in 10) limit=0.95 ;; *) limit=0.7 ;; esac
            ratio_target tmpfs "$layout" join nolist plain cat "$limit"
            for op in split join; do
                ratio=$(awk -v a="$(median_of tmpfs "$layout" "$op" vandrel)" \
                    -v b="$(median_of tmpfs "$layout" "$op" nolist)" 'BEGIN { printf "%.2f", a / b }')
                printf '%-11s%s: %s x without the list (no target on tmpfs)\n' "tmpfs" \
                    "$(what_of vandrel "$op" "$layout")" "$ratio"
            done
        done
        ;;
    disk | ext4)
        for layout in $(layouts_of "$bench" "10 2"); do
            ratio_target "$bench" "$layout" split nolist move "coreutils move" 1.2
            ratio_target "$bench" "$layout" join nolist move "coreutils move" 0.95
        done
        # The durable targets with the list: against the careful move and against Vandrel without it.
        if [ "$bench" = ext4 ] || [ "$disk_type" = ext4 ]; then
            for layout in $(layouts_of "$bench" "10 2"); do
                for op in split join; do
                    ratio_target "$bench" "$layout" "$op" vandrel careful "the careful coreutils move" 0.5
                    ratio_target "$bench" "$layout" "$op" vandrel nolist "vandrel without the list" 1.3
                done
            done
        fi
        ;;
    xfs) reflink_targets xfs 0.1 ;;
    btrfs) reflink_targets btrfs 0.15 ;;
    verify)
        speed=$(awk -v a="$(median_of verify 10 verify vandrel)" -v b="$(median_of verify 10 verify sha256sum)" \
            'BEGIN { printf "%.1f", b / a }')
        target_line verify "vandrel verify, $(layout_name 10)" "$speed x the speed of sha256sum -c" "$speed" ">=" 3 3
        ;;
    inplace-ext4)
        # It copies all but piece 0's bytes and deletes no whole file.
        for layout in $(layouts_of inplace-ext4 "10 2"); do
            case $layout in 10) limit=0.8 ;; *) limit=0.55 ;; esac
            ratio_target inplace-ext4 "$layout" split inplace move "coreutils move" "$limit"
            ratio=$(awk -v a="$(median_of inplace-ext4 "$layout" join inplace)" \
                -v b="$(median_of inplace-ext4 "$layout" join move)" 'BEGIN { printf "%.2f", a / b }')
            printf '%-11s%s: %s x cat, rm, sync (no target)\n' "$(bench_label inplace-ext4)" \
                "$(what_of inplace join "$layout")" "$ratio"
            in_place_list_cost inplace-ext4 "$layout" move "coreutils move"
        done
        ;;
    inplace-tmpfs)
        for layout in $(layouts_of inplace-tmpfs 10); do
            ratio_target inplace-tmpfs "$layout" split inplace cut "split -b, rm" 1.0
            in_place_list_cost inplace-tmpfs "$layout" cut "split -b, rm"
        done
        ;;
    inplace-room)
        peak=$(maximum "$figures/inplace-room.10.peak-space")
        limit=$(cat "$figures/inplace-room.10.limit")
        target_line inplace-room "vandrel split beside room for 2.5 of $(layout_name 10), peak space in use" \
            "$peak bytes over the empty disk (largest of $runs runs, each split succeeded)" "$peak" "<=" "$limit" \
            "$limit bytes, the file + one piece + 1 MiB"
        ;;
    wine)
        for op in split join; do
            ratio=$(awk -v a="$(median_of wine 10 "$op" wine)" -v b="$(median_of wine 10 "$op" vandrel)" \
                'BEGIN { printf "%.2f", a / b }')
            target_line wine "$op $(layout_name 10)" "$ratio x the native command" "$ratio" "<=" 1.2 1.2
        done
        ;;
    esac
done

# Every native vandrel run of every bench, with the list and without.
peak_kib=$(cat "$figures"/*.vandrel.peak "$figures"/*.nolist.peak "$figures"/*.inplace*.peak 2>/dev/null | sort -n | tail -n 1)
if [ -n "$peak_kib" ]; then
    peak_mib=$(awk -v k="$peak_kib" 'BEGIN { printf "%.1f", k / 1024 }')
    target_line memory "vandrel's peak" "$peak_mib MiB" "$peak_mib" "<" "$memory_limit_mib" "$memory_limit_mib MiB"
fi
# The split in place alone: the room bench's runs and every --in-place run.
peak_kib=$(cat "$figures"/inplace-*.split.inplace*.peak "$figures"/inplace-room.*.peak 2>/dev/null | sort -n | tail -n 1)
if [ -n "$peak_kib" ]; then
    peak_mib=$(awk -v k="$peak_kib" 'BEGIN { printf "%.1f", k / 1024 }')
    target_line memory "vandrel split in place, peak" "$peak_mib MiB" "$peak_mib" "<" "$memory_limit_mib" "$memory_limit_mib MiB"
fi
[ ! -f "$work/skipped" ] || cat "$work/skipped"
