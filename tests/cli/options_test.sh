#!/bin/sh
# The split's and the join's options as a user runs them, from tables: sizes
# with a fraction and named sizes, --pieces N, --keep and --into DIR (a second
# tmpfs when the test can mount one, else a second folder), --in-place and
# --no-in-place with each other and with those, and a split in place, asked
# for and on a disk too small for both (the tmpfs). Each row checks
# the exit status, what is printed, what is on disk, and that the pieces
# join back into the original byte for byte.
# Usage: options_test.sh VANDREL
set -u
. "$(dirname "$0")/../shell_test.sh"
vandrel=$(absolute_program "$1")

scratch_mount_point options
# $disk: the second file system, for --into.
small_disk=yes
if [ "$(id -u)" -ne 0 ] || ! mount -t tmpfs -o size=64m vandrel-options "$disk" 2>/dev/null; then
    echo "note: no second tmpfs (needs root); --into writes to a second folder on the same disk"
    small_disk=""
fi
home=$work/home
mkdir "$home"
cd "$home" || exit 1

run() {
    "$vandrel" --quiet "$@" </dev/null >"$work/out.txt" 2>"$work/err.txt"
    status=$?
}

last_command() { echo "exit $status, out [$(cat "$work/out.txt")], err [$(cat "$work/err.txt")]"; }

pieces_in() { ls "$1" | grep -c '\.plit$'; }

# The stream holds the line given among its lines.
has_line() { grep -qxF -- "$2" "$work/$1"; }

new_input() {
    rm -rf "$home"/* "$disk"/*
    head -c "$1" /dev/urandom >"$work/reference.bin"
    cp "$work/reference.bin" data.bin
}

whole() { cmp -s "$1" "$work/reference.bin"; }

# --- sizes ---------------------------------------------------------------------

# SIZE, the piece size it means, for a file of 10,000 bytes.
sizes_table='1.5KB 1536
0.5kb 512
2.75 KB 2816
1000.9B 1000
2500.5 b 2500
0.001MB 1048
0.000001GB 1073
0.9999KB 1023
0.0001B 0
7e 0'

check_sizes() {
    while read -r line; do
        size_text=${line% *}
        bytes=${line##* }
        new_input 10000
        run split data.bin "$size_text"
        if [ "$bytes" -eq 0 ]; then
            [ "$status" -eq 2 ] && whole data.bin && [ "$(pieces_in .)" -eq 0 ] ||
                fail "SIZE [$size_text]: expected a refusal that touches nothing: $(last_command)"
            continue
        fi
        count=$(((10000 + bytes - 1) / bytes))
        if [ "$status" -ne 0 ] || [ "$(pieces_in .)" -ne "$count" ]; then
            fail "SIZE [$size_text]: expected $count pieces of $bytes bytes: $(last_command), $(pieces_in .) pieces"
            continue
        fi
        [ "$(wc -c <"data.bin.0.$count.plit")" -eq "$bytes" ] ||
            fail "SIZE [$size_text]: the first piece holds $(wc -c <"data.bin.0.$count.plit") bytes, not $bytes"
        run join "data.bin.0.$count.plit"
        whole data.bin || fail "SIZE [$size_text]: the join did not give the original back: $(last_command)"
    done <<EOF
$sizes_table
EOF
}

# A named size on a sparse file a little larger than one such piece.
check_named_size() {
    rm -rf "$home"/*
    truncate -s 800M data.bin
    run split data.bin cd
    [ "$status" -eq 0 ] && [ "$(wc -c <data.bin.0.2.plit)" -eq 734003200 ] &&
        [ "$(wc -c <data.bin.1.2.plit)" -eq $((838860800 - 734003200)) ] ||
        fail "SIZE cd: expected two pieces, the first of 734003200 bytes: $(last_command)"
    rm -f data.bin*
}

# --- --pieces --------------------------------------------------------------------

# File bytes, N, then the piece size, or "refused" and text the refusal holds.
pieces_table='10000 3 3334
10000 7 1429
10000 2 5000
10000 10000 1
9 5 2
9 4 refused 2, 3, 5 or 9
10000 1 refused at least 2
9 10 refused at most 9 pieces
1000 41 refused the nearest counts that work are 40 and 42
10000 0 refused at least 2'

check_pieces() {
    while read -r bytes count size rest; do
        new_input "$bytes"
        run split --pieces "$count" data.bin
        if [ "$size" = refused ]; then
            [ "$status" -eq 2 ] && grep -qF -- "$rest" "$work/err.txt" && whole data.bin && [ "$(pieces_in .)" -eq 0 ] ||
                fail "--pieces $count of $bytes bytes: expected a refusal naming [$rest]: $(last_command)"
            continue
        fi
        if [ "$status" -ne 0 ] || [ "$(pieces_in .)" -ne "$count" ] ||
            [ "$(wc -c <"data.bin.0.$count.plit")" -ne "$size" ]; then
            fail "--pieces $count of $bytes bytes: expected $count pieces of $size bytes: $(last_command)"
            continue
        fi
        run join "data.bin.$((count - 1)).$count.plit"
        whole data.bin || fail "--pieces $count of $bytes bytes: the join did not give the original back"
    done <<EOF
$pieces_table
EOF
    # SIZE and --pieces together, or neither: refused, nothing touched.
    new_input 1000
    for arguments in "--pieces 2 data.bin 1KB" "data.bin"; do
        # shellcheck disable=SC2086
        run split $arguments
        [ "$status" -eq 2 ] && grep -q 'SIZE or --pieces' "$work/err.txt" && whole data.bin ||
            fail "split $arguments: expected a refusal: $(last_command)"
    done
}

# --- --keep and --into -------------------------------------------------------------

# A set of `$1` pieces of 300 KB made by a plain split, moved into the second folder.
set_in_disk() {
    new_input $(($1 * 307200 - 1000))
    run split data.bin 300KB
    mv data.bin.* "$disk"/
}

check_keep_and_into() {
    # A split that keeps its input, into the second file system.
    new_input 1000000
    run split --keep --into "$disk" data.bin 300KB
    [ "$status" -eq 0 ] && whole data.bin && [ "$(pieces_in "$disk")" -eq 4 ] && [ "$(pieces_in .)" -eq 0 ] &&
        [ -e "$disk/data.bin.plit.sha256" ] ||
        fail "split --keep --into: expected data.bin kept and 4 pieces and the list in $disk: $(last_command)"
    has_line out.txt "File Splitter: File splitting completed successfully" &&
        has_line out.txt "vandrel: 4 pieces in \"$disk\" (data.bin kept)" ||
        fail "split --keep --into: expected the success line and the outcome line: $(last_command)"
    run join "$disk/data.bin.0.4.plit"
    whole "$disk/data.bin" || fail "split --keep --into: its pieces do not join into the original: $(last_command)"

    # A moving split into the other folder: the input goes, the pieces come.
    new_input 700000
    run split --into "$disk" data.bin 300KB
    [ "$status" -eq 0 ] && [ ! -e data.bin ] && [ "$(pieces_in "$disk")" -eq 3 ] ||
        fail "split --into: expected data.bin moved into 3 pieces in $disk: $(last_command)"
    has_line out.txt "vandrel: 3 pieces in \"$disk\"" || fail "split --into: expected its outcome line: $(last_command)"

    # A join that keeps the pieces and their list, into the first folder.
    set_in_disk 4
    run join --keep --into "$home" "$disk/data.bin.2.4.plit"
    [ "$status" -eq 0 ] && whole data.bin && [ "$(pieces_in "$disk")" -eq 4 ] && [ -e "$disk/data.bin.plit.sha256" ] ||
        fail "join --keep --into: expected data.bin rebuilt here and the pieces and list kept: $(last_command)"
    has_line out.txt "File Joiner: File joining completed successfully" &&
        has_line out.txt "vandrel: \"$home/data.bin\" rebuilt from 4 pieces (pieces kept)" ||
        fail "join --keep --into: expected the success line and the outcome line: $(last_command)"
    # The kept pieces are whole: a moving join beside them.
    run join "$disk/data.bin.0.4.plit"
    [ "$status" -eq 0 ] && whole "$disk/data.bin" && [ "$(pieces_in "$disk")" -eq 0 ] ||
        fail "join after join --keep: expected the original in $disk and no piece: $(last_command)"

    # A moving join into the first folder: the pieces go.
    set_in_disk 3
    run join --into "$home" "$disk/data.bin.1.3.plit"
    [ "$status" -eq 0 ] && whole data.bin && [ "$(pieces_in "$disk")" -eq 0 ] ||
        fail "join --into: expected data.bin rebuilt here and no piece: $(last_command)"
    has_line out.txt "vandrel: \"$home/data.bin\" rebuilt from 3 pieces" ||
        fail "join --into: expected its outcome line: $(last_command)"

    # --into something that is no folder: refused before anything, naming it.
    new_input 1000
    for into in "$work/no such folder" "$home/data.bin"; do
        for job in "split data.bin 100B" "join data.bin.0.3.plit"; do
            # shellcheck disable=SC2086
            run ${job%% *} --into "$into" ${job#* }
            [ "$status" -eq 2 ] && grep -qF -- "--into \"$into\"" "$work/err.txt" && whole data.bin &&
                [ "$(pieces_in .)" -eq 0 ] ||
                fail "$job --into [$into]: expected a refusal naming the folder: $(last_command)"
        done
    done
}

# --- --in-place and --no-in-place -------------------------------------------------

# Options of a split of data.bin into 300KB pieces, then the text the refusal
# on standard error holds; each refused before anything is touched (exit 2).
in_place_refusals='--in-place --no-in-place|--in-place or --no-in-place, not both
--no-in-place --in-place|--in-place or --no-in-place, not both
--in-place --keep|--in-place cannot go with --keep
--keep --in-place|--in-place cannot go with --keep
--in-place --into DISK|--in-place cannot go with --into
--into DISK --keep --in-place|--in-place cannot go with --keep
--in-place --no-in-place --keep|--in-place or --no-in-place, not both'

check_in_place_options() {
    while IFS='|' read -r options text; do
        new_input 1000000
        # shellcheck disable=SC2086
        run split $(echo "$options" | sed "s|DISK|$disk|") data.bin 300KB
        [ "$status" -eq 2 ] && grep -qF -- "$text" "$work/err.txt" && whole data.bin &&
            [ "$(pieces_in .)" -eq 0 ] && [ "$(pieces_in "$disk")" -eq 0 ] && [ ! -e data.bin.plit.journal ] ||
            fail "split $options: expected a refusal naming [$text] that touches nothing: $(last_command)"
    done <<EOF
$in_place_refusals
EOF
    # A join has neither option.
    set_in_disk 3
    for option in --in-place --no-in-place; do
        run join "$option" "$disk/data.bin.0.3.plit"
        [ "$status" -eq 2 ] && grep -qF -- "$option" "$work/err.txt" && [ "$(pieces_in "$disk")" -eq 3 ] ||
            fail "join $option: expected a refusal naming the option that touches nothing: $(last_command)"
    done
    # --no-in-place with --keep and --into, where there is room: as without it.
    new_input 1000000
    run split --no-in-place --keep --into "$disk" data.bin 300KB
    [ "$status" -eq 0 ] && whole data.bin && [ "$(pieces_in "$disk")" -eq 4 ] &&
        has_line out.txt "vandrel: 4 pieces in \"$disk\" (data.bin kept)" ||
        fail "split --no-in-place --keep --into: expected data.bin kept and 4 pieces in $disk: $(last_command)"
}

# The list of a set split in place: a line per piece, none for the whole file.
list_lines() { grep -vc '^#' "$1"; }

# A split in place, asked for and where the disk is short, then joined back.
check_in_place_runs() {
    new_input 3500000
    run split --in-place data.bin 1MB
    [ "$status" -eq 0 ] && [ ! -e data.bin ] && [ "$(pieces_in .)" -eq 4 ] && [ ! -e data.bin.plit.journal ] &&
        [ "$(list_lines data.bin.plit.sha256)" -eq 4 ] ||
        fail "split --in-place: expected 4 pieces, a list of 4 lines and nothing else: $(last_command), $(ls)"
    has_line out.txt 'vandrel: 4 pieces in "." (split in place)' ||
        fail "split --in-place: expected its outcome line: $(last_command)"
    run join data.bin.2.4.plit
    [ "$status" -eq 0 ] && whole data.bin && [ "$(pieces_in .)" -eq 0 ] ||
        fail "split --in-place: its pieces do not join into the original: $(last_command)"

    [ -n "$small_disk" ] || return
    # 40 MiB on a disk of 64: the pieces do not fit beside the file.
    rm -rf "${disk:?}"/*
    head -c 41943040 /dev/urandom >"$work/reference.bin"
    cp "$work/reference.bin" "$disk/data.bin"
    run split --no-in-place "$disk/data.bin" 8MB
    [ "$status" -eq 2 ] && grep -qF 'You do not have enough space' "$work/err.txt" && whole "$disk/data.bin" &&
        [ "$(pieces_in "$disk")" -eq 0 ] ||
        fail "split --no-in-place on a short disk: expected today's refusal, touching nothing: $(last_command)"
    run split "$disk/data.bin" 8MB
    [ "$status" -eq 0 ] && [ ! -e "$disk/data.bin" ] && [ "$(pieces_in "$disk")" -eq 5 ] &&
        has_line out.txt "vandrel: 5 pieces in \"$disk\" (split in place)" ||
        fail "split on a short disk: expected it to go in place: $(last_command), $(ls "$disk")"
    # The join keeps the last two pieces to the end: they fit in what is free.
    run join "$disk/data.bin.0.5.plit"
    [ "$status" -eq 0 ] && whole "$disk/data.bin" && [ "$(pieces_in "$disk")" -eq 0 ] ||
        fail "split on a short disk: its pieces do not join into the original: $(last_command)"
    rm -rf "${disk:?}"/*
}

check_sizes
check_named_size
check_pieces
check_keep_and_into
check_in_place_options
check_in_place_runs
finish "split and join options"
