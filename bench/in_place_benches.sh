# The benches of the split in place, which cuts its input as its pieces are
# made, from the last piece to the first, so that it needs room for one piece
# beside the file instead of the whole file:
#   inplace-ext4:  vandrel split --in-place against split -b, rm, sync on an
#                  ext4 loop image, durable both; 10 and 2 pieces
#   inplace-tmpfs: vandrel split --in-place against split -b, rm on tmpfs;
#                  10 pieces
# and on both vandrel split --in-place --no-list, for the cost of the list.
#   inplace-room:  vandrel split, as a user runs it, on an ext4 loop image with
#                  room for under three pieces beside the file, its peak of
#                  space in use sampled every 10 ms as df counts it
#                  (bench/space_peak_run.c)
# Each split is joined back before the next run: the in-place set by vandrel
# join, which appends the pieces back onto piece 0, the coreutils pieces by cat.
# Sourced by filesystems.sh, with its functions and variables at hand.
# shellcheck shell=sh disable=SC2154,SC2034  # the variables are filesystems.sh's

bench_inplace_ext4() {
    bench=inplace-ext4 layouts="10 2" contenders="inplace inplacenolist move" measure_space="" warm_up_runs=1
    # Each contender's copy, the coreutils move's pieces beside its copy, and
    # some room to spare.
    mount_image ext4 $((4 * bytes + 512 * 1048576))
    bench_dir=$mnt
    echo "== $(bench_label inplace-ext4), split in place: $bench_dir ($(fs_type "$bench_dir"), after $warm_up_runs warm-up round)"
    run_bench
    unmount_image
    warm_up_runs=0
    ran="$ran inplace-ext4"
}

bench_inplace_tmpfs() {
    bench=inplace-tmpfs layouts="10" contenders="inplace inplacenolist cut" measure_space="" warm_up_runs=1
    make_shm_dir
    echo "== $(bench_label inplace-tmpfs), split in place: $bench_dir ($(fs_type "$bench_dir"), after $warm_up_runs warm-up round)"
    run_bench
    rmdir "$bench_dir"
    warm_up_runs=0
    ran="$ran inplace-tmpfs"
}

# ---- The nearly full disk ------------------------------------------------------

available_bytes() { df -B1 --output=avail "$1" | tail -n 1; }
in_use_bytes() { df -B1 --output=used "$1" | tail -n 1; }

# A 1 GiB file into 10 pieces with room for two and a half beside it: the
# split cannot go forward, so it goes in place. Each run's peak, over the
# space in use before the file was there, goes to inplace-room.10.peak-space,
# with the file plus one piece plus 1 MiB as its limit.
bench_inplace_room() {
    part=$(part_size 10)
    count=$(piece_count "$part")
    room=$((part * 5 / 2))
    sampler=$work/space_peak_run
    "${CC:-cc}" -O2 -o "$sampler" "$root/bench/space_peak_run.c" || fail "cannot build bench/space_peak_run.c"
    # The file, the room beside it, and the file system's own blocks, which
    # the filler below takes up to the byte.
    mount_image ext4 $((bytes + 4 * part + 256 * 1048576))
    dir=$mnt
    filler=$((($(available_bytes "$dir") - bytes - room) / 4096 * 4096))
    [ "$filler" -gt 0 ] || fail "inplace-room: the image leaves no room to fill"
    fallocate -l "$filler" "$dir/filler.bin" || fail "inplace-room: cannot fill the image"
    sync
    empty_used=$(in_use_bytes "$dir")
    [ "$("$sampler" "$dir")" -eq "$empty_used" ] ||
        fail "inplace-room: bench/space_peak_run.c counts $("$sampler" "$dir") bytes in use where df counts $empty_used"
    limit=$((bytes + part + 1048576))
    echo "== $(bench_label inplace-room), vandrel split of $(layout_name 10) of $part bytes with room for 2.5 beside the file: $dir"
    echo "$limit" >"$work/results/inplace-room.10.limit"
    results=$work/results/inplace-room.10
    run=0
    while [ "$run" -lt "$runs" ]; do
        cp "$reference" "$dir/data.bin"
        sync
        beside=$(available_bytes "$dir")
        if [ "$beside" -ge $((3 * part)) ] || [ "$beside" -le "$part" ]; then
            fail "inplace-room: $beside bytes beside the file, not between one and three pieces of $part"
        fi
        status=0
        "$sampler" "$dir" 10 "$work/sampled" "$vandrel" -q split "$dir/data.bin" "${part}B" \
            </dev/null >/dev/null 2>"$work/stderr" || status=$?
        [ "$status" -eq 0 ] || { cat "$work/stderr" >&2; fail "inplace-room: vandrel split failed: exit $status"; }
        read -r peak_used samples seconds peak_kib <"$work/sampled"
        for i in $(seq 0 $((count - 1))); do cat "$dir/data.bin.$i.$count.plit"; done | cmp -s - "$reference" ||
            fail "inplace-room: the pieces do not hold the file"
        echo $((peak_used - empty_used)) >>"$results.peak-space"
        echo "$seconds" >>"$results.split.vandrel"
        echo "$peak_kib" >>"$results.split.vandrel.peak"
        printf '  run %s: %.3f s, %s samples (one each %s ms), peak %s bytes in use over the empty disk, %s MiB beside the file\n' \
            $((run + 1)) "$seconds" "$samples" "$(awk -v s="$seconds" -v n="$samples" 'BEGIN { printf "%.1f", 1000 * s / n }')" \
            $((peak_used - empty_used)) $((beside / 1048576))
        "$vandrel" -q join "$dir/data.bin.0.$count.plit" </dev/null >/dev/null 2>"$work/stderr" ||
            { cat "$work/stderr" >&2; fail "inplace-room: joining the pieces back failed"; }
        cmp -s "$dir/data.bin" "$reference" || fail "inplace-room: the join did not give back the original file"
        rm "$dir/data.bin"
        run=$((run + 1))
    done
    unmount_image
    ran="$ran inplace-room"
}
