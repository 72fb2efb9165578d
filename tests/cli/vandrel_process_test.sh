#!/bin/sh
# Runs the vandrel command as a user would and checks what it leaves on disk,
# what it prints and its exit status.
# Usage: vandrel_process_test.sh CASE COMMAND...   (COMMAND runs the program,
# e.g. build/cli/vandrel, or wine-run.sh vandrel-cli.exe), with the version
# the program must report in VANDREL_EXPECTED_VERSION.
set -u
case_name=$1
shift

. "$(dirname "$0")/../shell_test.sh"
work=$(scratch_folder cli) || exit 1
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT
cd "$work" || exit 1

# Runs the program with the given arguments; its status goes to $status, its
# output and error streams to out.txt and err.txt with Windows' CRs removed.
run() {
    "$@" </dev/null >out.raw 2>err.raw
    status=$?
    tr -d '\r' <out.raw >out.txt
    tr -d '\r' <err.raw >err.txt
}

expect_status() {
    [ "$status" -eq "$1" ] || fail "$2: exit status $status, expected $1 (stderr: $(cat err.txt))"
}

# The stream file holds exactly the lines given.
expect_line() {
    file=$1
    shift
    printf '%s\n' "$@" >expected.txt
    cmp -s expected.txt "$file" || fail "expected the lines [$*] in $file, got [$(cat "$file")]"
}

# The stream file holds the job's line, then the line that names the file
# concerned and the system's reason, which starts as given.
expect_line_and_reason() {
    first=$(sed -n 1p "$1")
    second=$(sed -n 2p "$1")
    lines=$(wc -l <"$1")
    [ "$first" = "$2" ] || fail "expected the line [$2] first in $1, got [$(cat "$1")]"
    case "$second" in
        "$3"?*) ;;
        *) fail "expected a line starting [$3] and a reason in $1, got [$(cat "$1")]" ;;
    esac
    [ "$lines" -eq 2 ] || fail "expected two lines in $1, got [$(cat "$1")]"
}

expect_empty() {
    [ ! -s "$1" ] || fail "$2: expected nothing in $1, got [$(cat "$1")]"
}

expect_same_file() {
    cmp -s "$1" "$2" || fail "$1 differs from $2"
}

# --- the cases ----------------------------------------------------------------

# Random content of 1,000,000 bytes in pieces of 300 KB: three full pieces and
# a remainder; then the join from a piece in the middle of the set.
round_trip() {
    head -c 1000000 /dev/urandom >reference.bin
    cp reference.bin data.bin

    run "$@" split data.bin 300KB
    expect_status 0 "split"
    expect_line out.txt "File Splitter: File splitting completed successfully" 'vandrel: 4 pieces in "."'
    expect_empty err.txt "split without a terminal"
    [ ! -e data.bin ] || fail "the input is still there after the split"
    for piece in 0 1 2; do
        [ "$(wc -c <data.bin.$piece.4.plit)" -eq 307200 ] || fail "piece $piece does not hold 300 KB"
    done
    [ "$(wc -c <data.bin.3.4.plit)" -eq 78400 ] || fail "the last piece does not hold the remainder"

    run "$@" join data.bin.2.4.plit
    expect_status 0 "join"
    expect_line out.txt "File Joiner: File joining completed successfully" 'vandrel: "data.bin" rebuilt from 4 pieces'
    expect_empty err.txt "join without a terminal"
    expect_same_file data.bin reference.bin
    [ -z "$(ls | grep '\.plit$')" ] || fail "pieces are left after the join: $(ls)"
}

# A name outside any ANSI code page and an absolute path; no unit means MB.
unicode_name() {
    name="données-日本-Ελλάδα.bin"
    head -c 2500000 /dev/urandom >reference.bin
    cp reference.bin "$name"

    run "$@" --quiet split "$work/$name" 1
    expect_status 0 "split of a non-ASCII name"
    [ -f "$name.0.3.plit" ] && [ -f "$name.2.3.plit" ] || fail "pieces of the non-ASCII name: $(ls)"
    [ "$(wc -c <"$name.0.3.plit")" -eq 1048576 ] || fail "a size without a unit is not taken as MB"

    run "$@" join "$name.0.3.plit" -q
    expect_status 0 "join of a non-ASCII name"
    expect_same_file "$name" reference.bin
}

# A path longer than 260 characters, Windows' old limit, by absolute path.
long_path() {
    folder=$work
    while [ ${#folder} -le 300 ]; do
        folder="$folder/$(printf '%060d' 0)-ü"
    done
    mkdir -p "$folder"
    head -c 5000 /dev/urandom >reference.bin
    cp reference.bin "$folder/long path.bin"

    run "$@" split "$folder/long path.bin" 2KB
    expect_status 0 "split of a long path"
    [ -f "$folder/long path.bin.2.3.plit" ] && [ ! -e "$folder/long path.bin" ] || fail "pieces of a long path: $(ls "$folder")"

    run "$@" join "$folder/long path.bin.0.3.plit"
    expect_status 0 "join of a long path"
    expect_same_file "$folder/long path.bin" reference.bin
    [ "$(ls "$folder")" = "long path.bin" ] || fail "pieces are left after the join: $(ls "$folder")"
}

# `--` ends the options: a file whose name starts with a dash.
dash_name() {
    head -c 5000 /dev/urandom >reference.bin
    cp reference.bin ./-x

    run "$@" split -- -x 2KB
    expect_status 0 "split of -x after --"
    [ -f ./-x.0.3.plit ] && [ ! -e ./-x ] || fail "pieces of -x: $(ls)"

    run "$@" join -- -x.1.3.plit
    expect_status 0 "join of -x after --"
    expect_same_file ./-x reference.bin

    run "$@" split -x 2KB
    expect_status 2 "-x without --"
    expect_same_file ./-x reference.bin
}

# The jobs' own refusals: the window's texts, one line each on the error
# stream, status 2, no file touched.
refusals() {
    head -c 5000 /dev/urandom >reference.bin
    cp reference.bin data.bin

    run "$@" join data.bin.plit
    expect_status 2 "join of a name without a count"
    expect_line err.txt "File Joiner: Please select one valid file to be joined with other files!"
    expect_empty out.txt "a refused join"

    run "$@" split data.bin 5000B
    expect_status 2 "split into one piece"
    expect_line err.txt "File Splitter: The size you entered, for file parts after split, is invalid: part size must be less than file size "
    expect_empty out.txt "a refused split"

    run "$@" split missing.bin 1KB
    expect_status 2 "split of a missing file"
    expect_line_and_reason err.txt "File Splitter: Please select a file to split!" "vandrel: missing.bin: "

    mkdir folder
    run "$@" split folder 1KB
    expect_status 2 "split of a directory"
    expect_line_and_reason err.txt "File Splitter: Please select a file to split!" "vandrel: folder: "

    # A name of the set that is taken, by a file or a folder, is never written
    # through: refused, and named.
    mkdir data.bin.1.3.plit
    run "$@" split data.bin 2KB
    expect_status 2 "split onto a folder"
    expect_line_and_reason err.txt \
        'File Splitter: The file "data.bin.1.3.plit" already exists. Move it away, then start the split again.' \
        "vandrel: data.bin.1.3.plit: "
    rmdir data.bin.1.3.plit

    # A file at the original's path may be someone's only copy.
    head -c 3000 reference.bin >joined.0.2.plit
    tail -c 2000 reference.bin >joined.1.2.plit
    echo theirs >joined
    run "$@" join joined.1.2.plit
    expect_status 2 "join onto an existing file"
    expect_line_and_reason err.txt \
        'File Joiner: The file "joined" already exists. Move or rename it, then start the join again.' \
        "vandrel: joined: "
    [ "$(cat joined)" = theirs ] || fail "the join wrote over an existing file"
    cat joined.0.2.plit joined.1.2.plit >rejoined.bin
    expect_same_file rejoined.bin reference.bin

    # Piece 2 of 3 is missing: named, and nothing is joined or deleted.
    cp reference.bin data.bin.0.3.plit
    cp reference.bin data.bin.1.3.plit
    run "$@" join data.bin.0.3.plit
    expect_status 2 "join with a missing piece"
    expect_line err.txt 'File Joiner:  The file "data.bin.2.3.plit" was not found, make sure all files to be joined are in the same directory'
    [ -f data.bin.0.3.plit ] && [ -f data.bin.1.3.plit ] || fail "a refused join deleted a piece"

    expect_same_file data.bin reference.bin
}

# Sizes the command refuses before the job starts, and wrong arguments.
bad_arguments() {
    head -c 5000 /dev/urandom >reference.bin
    cp reference.bin data.bin

    for size in 0 0KB -5 -1MB abc "" KB 1,5MB 1.MB 0.1B 5TB 10XB 9223372036854775808 8589934592GB 8589934592.5GB; do
        run "$@" split data.bin "$size"
        expect_status 2 "split with size [$size]"
        grep -q "SIZE \"$size\"" err.txt || fail "size [$size]: the message does not name it: $(cat err.txt)"
    done
    expect_same_file data.bin reference.bin

    run "$@"
    expect_status 2 "no arguments"
    run "$@" split data.bin
    expect_status 2 "split without a size"
    run "$@" join
    expect_status 2 "join without a piece"
    run "$@" cut data.bin 5
    expect_status 2 "an unknown command"
    run "$@" split data.bin 1KB extra
    expect_status 2 "an argument too many"
    expect_same_file data.bin reference.bin

    run "$@" --help
    expect_status 0 "--help"
    grep -q "split" out.txt && grep -q "join" out.txt || fail "--help names neither command: $(cat out.txt)"
    grep -q "fat32" out.txt || fail "--help does not tell of fat32"
    run "$@" split --help
    grep -q "fat32" out.txt || fail "split --help does not tell of fat32"
    run "$@" --version
    expect_status 0 "--version"
    expect_line out.txt "vandrel $VANDREL_EXPECTED_VERSION"
}

# A copy that fails (a folder where a piece or the rebuilt file belongs):
# status 1, the failure text, and nothing of the user's data lost.
copy_failures() {
    head -c 5000 /dev/urandom >reference.bin
    cp reference.bin data.bin

    # A file size limit of 2 KiB makes writes fail as a full disk would, with
    # the system's own reason ("File too large").
    (trap '' XFSZ; ulimit -f 4; run "$@" split data.bin 3000B; echo "$status" >status.txt)
    status=$(cat status.txt)
    expect_status 1 "split past the size limit"
    expect_line_and_reason err.txt "File Splitter: File splitting failed! Make sure the disk you are using is not readonly!" \
        "vandrel: data.bin.0.2.plit: "
    expect_empty out.txt "a failed split"
    expect_same_file data.bin reference.bin
    [ -z "$(ls | grep '\.plit$')" ] || fail "a failed split left pieces: $(ls)"

    head -c 3000 reference.bin >joined.0.2.plit
    tail -c 2000 reference.bin >joined.1.2.plit
    (trap '' XFSZ; ulimit -f 4; run "$@" join joined.1.2.plit; echo "$status" >status.txt)
    status=$(cat status.txt)
    expect_status 1 "join past the size limit"
    # A set without a list: the last line says so.
    note='vandrel: the pieces could not be checked: there is no checksum list "joined.plit.sha256"'
    [ "$(tail -n 1 err.txt)" = "$note" ] || fail "no note of the unchecked pieces: [$(cat err.txt)]"
    sed -i '$d' err.txt
    expect_line_and_reason err.txt "File Joiner: File joining failed! Make sure the disk you are using is not readonly!" \
        "vandrel: joined: "
    # Piece 0 is either still there or became the output by a rename and is
    # all the output holds: the join started again finishes it.
    if [ -e joined.0.2.plit ]; then
        [ ! -e joined ] || fail "a failed join left an output that holds no deleted piece"
    else
        head -c 3000 reference.bin >piece0.bin
        expect_same_file joined piece0.bin
    fi
    run "$@" join joined.1.2.plit
    expect_status 0 "the join started again"
    expect_same_file joined reference.bin
    [ -z "$(ls | grep '\.plit$')" ] || fail "pieces left after the join: $(ls)"
}

# Standard output that cannot be written is a failure of the command, as with
# any Unix tool, even when the job itself succeeded.
unwritable_output() {
    head -c 5000 /dev/urandom >reference.bin
    cp reference.bin data.bin
    "$@" split data.bin 3000B </dev/null >/dev/full 2>err.txt
    status=$?
    expect_status 1 "split with standard output on a full device"
    grep -q "^vandrel: standard output: " err.txt || fail "no reason for the lost output: $(cat err.txt)"
    "$@" join data.bin.0.2.plit </dev/null >/dev/full 2>/dev/null
    expect_same_file data.bin reference.bin
}

# On a terminal the bar shows on the error stream, and not with --quiet
# (`script` gives the program a terminal).
progress_on_terminal() {
    head -c 3000000 /dev/urandom >data.bin
    command="$*"
    script -qec "$command split data.bin 1MB" /dev/null </dev/null >terminal.txt 2>&1
    grep -q '100%' terminal.txt || fail "no progress bar on a terminal: $(cat terminal.txt)"
    grep -q 'of 2.9 MB' terminal.txt || fail "the bar shows no total: $(cat terminal.txt)"
    grep -q 'B/s .* left' terminal.txt || fail "the bar shows no rate and time left: $(cat terminal.txt)"
    grep -q "File Splitter: File splitting completed successfully" terminal.txt || fail "no outcome line"

    script -qec "$command --quiet join data.bin.0.3.plit" /dev/null </dev/null >terminal.txt 2>&1
    grep -q '%' terminal.txt && fail "a progress bar with --quiet: $(cat terminal.txt)"
    grep -q "File Joiner: File joining completed successfully" terminal.txt || fail "no outcome line"
}

# `vandrel verify` on a set the real split made: a line per piece, the
# summary, exit 0 all right, 1 one not, 2 without a list; every file as it
# was. sha256sum checks the same list in the pieces' folder.
verify() {
    head -c 1000000 /dev/urandom >reference.bin
    cp reference.bin data.bin
    run "$@" split data.bin 300KB
    expect_status 0 "split"
    [ -f data.bin.plit.sha256 ] || fail "the split wrote no checksum list: $(ls)"
    sha256sum -c --ignore-missing data.bin.plit.sha256 >sums.txt 2>&1 || fail "sha256sum -c: $(cat sums.txt)"
    [ "$(grep -c ': OK$' sums.txt)" -eq 4 ] || fail "sha256sum checked not 4 pieces: $(cat sums.txt)"
    sha256sum -c data.bin.plit.sha256 >sums.txt 2>&1 && fail "without --ignore-missing the original's line must fail"
    grep -q '^data.bin: FAILED open or read$' sums.txt || fail "sha256sum on the original's line: $(cat sums.txt)"
    cp -p data.bin.1.4.plit good.piece
    snapshot() { for f in $(ls | grep -v '\.txt$\|\.raw$' | sort); do printf '%s ' "$f"; cksum <"$f"; done; }
    snapshot >before.txt

    run "$@" verify data.bin.2.4.plit
    expect_status 0 "verify of a whole set"
    printf '%s\n' "data.bin.0.4.plit: ok" "data.bin.1.4.plit: ok" "data.bin.2.4.plit: ok" "data.bin.3.4.plit: ok" \
        'Check pieces: All 4 pieces of "data.bin" are right.' >expected.txt
    cmp -s expected.txt out.txt || fail "verify's lines: [$(cat out.txt)]"
    expect_empty err.txt "verify of a whole set"

    printf 'X' | dd of=data.bin.1.4.plit bs=1 seek=1000 conv=notrunc 2>/dev/null
    mv data.bin.3.4.plit away.piece
    snapshot >before.txt
    run "$@" verify ./data.bin.plit.sha256
    expect_status 1 "verify of a damaged set"
    printf '%s\n' "./data.bin.0.4.plit: ok" "./data.bin.1.4.plit: damaged" "./data.bin.2.4.plit: ok" \
        "./data.bin.3.4.plit: missing" >expected.txt
    cmp -s expected.txt out.txt || fail "verify's lines on a damaged set: [$(cat out.txt)]"
    expect_line err.txt 'Check pieces: 2 of the 4 pieces of "data.bin" are not right:'
    snapshot >after.txt
    cmp -s before.txt after.txt || fail "verify changed a file"

    rm data.bin.plit.sha256
    run "$@" verify data.bin.0.4.plit
    expect_status 2 "verify without a list"
    expect_empty out.txt "verify without a list"
    grep -q '^Check pieces: The pieces cannot be checked: there is no checksum list "data.bin.plit.sha256"' err.txt ||
        fail "verify without a list: [$(cat err.txt)]"

    run "$@" verify notes.txt
    expect_status 2 "verify of a name that is no piece"
}

# The list of a set split in place (here made from a forward split's list as
# such a split writes it: a "# split: in place" fact, the pieces from the
# last to the first, no line for the whole file): sha256sum -c passes with
# and without --ignore-missing, verify checks the pieces and says nothing of
# the whole file, before the join and after it, and the join checks each piece.
in_place_list() {
    head -c 1000000 /dev/urandom >reference.bin
    cp reference.bin data.bin
    run "$@" split data.bin 300KB
    expect_status 0 "split"
    { sed -n '/^# pieces: /{p;s/.*/# split: in place/p;d};/^#/p' data.bin.plit.sha256
      grep -v '^#' data.bin.plit.sha256 | grep -v '  data\.bin$' | sed -n '1!G;h;$p'; } >in-place.sha256
    mv in-place.sha256 data.bin.plit.sha256
    [ "$(grep -v '^#' data.bin.plit.sha256 | sed 's/.*  //' | tr '\n' ' ')" = \
      "data.bin.3.4.plit data.bin.2.4.plit data.bin.1.4.plit data.bin.0.4.plit " ] ||
        fail "the list made in place: [$(cat data.bin.plit.sha256)]"
    for options in "-c" "-c --ignore-missing" "-c --strict"; do
        # shellcheck disable=SC2086
        sha256sum $options data.bin.plit.sha256 >sums.txt 2>&1 || fail "sha256sum $options: $(cat sums.txt)"
        [ "$(grep -c ': OK$' sums.txt)" -eq 4 ] || fail "sha256sum $options checked not 4 pieces: $(cat sums.txt)"
    done

    run "$@" verify data.bin.plit.sha256
    expect_status 0 "verify of a set split in place"
    expect_line out.txt "data.bin.0.4.plit: ok" "data.bin.1.4.plit: ok" "data.bin.2.4.plit: ok" "data.bin.3.4.plit: ok" \
        'Check pieces: All 4 pieces of "data.bin" are right.'
    expect_empty err.txt "verify of a set split in place"

    cp -p data.bin.2.4.plit good.piece
    printf 'X' | dd of=data.bin.2.4.plit bs=1 seek=7 conv=notrunc 2>/dev/null
    run "$@" verify data.bin.0.4.plit
    expect_status 1 "verify of a damaged set split in place"
    expect_line out.txt "data.bin.0.4.plit: ok" "data.bin.1.4.plit: ok" "data.bin.2.4.plit: damaged" "data.bin.3.4.plit: ok"
    expect_line err.txt 'Check pieces: 1 of the 4 pieces of "data.bin" is not right:'
    mv good.piece data.bin.2.4.plit

    run "$@" join data.bin.3.4.plit
    expect_status 0 "join of a set split in place"
    expect_empty err.txt "join of a set split in place, checked"
    expect_same_file data.bin reference.bin
    [ ! -e data.bin.plit.sha256 ] || fail "the join left the list"
}

# `split --no-list` writes no list; the join of such a set works and says
# its pieces could not be checked. A join that misses pieces names each.
no_list() {
    head -c 1000000 /dev/urandom >reference.bin
    cp reference.bin data.bin
    run "$@" split --no-list data.bin 300KB
    expect_status 0 "split --no-list"
    [ ! -e data.bin.plit.sha256 ] || fail "split --no-list wrote a list"
    [ "$(ls | grep -c '\.plit$')" -eq 4 ] || fail "split --no-list: $(ls)"

    mv data.bin.1.4.plit one.piece
    mv data.bin.3.4.plit three.piece
    run "$@" join data.bin.0.4.plit
    expect_status 2 "join with two pieces missing"
    grep -qx 'vandrel: missing: data.bin.1.4.plit' err.txt || fail "the first missing piece: [$(cat err.txt)]"
    grep -qx 'vandrel: missing: data.bin.3.4.plit' err.txt || fail "the second missing piece: [$(cat err.txt)]"
    mv one.piece data.bin.1.4.plit
    mv three.piece data.bin.3.4.plit

    run "$@" join data.bin.0.4.plit
    expect_status 0 "join without a list"
    expect_line out.txt "File Joiner: File joining completed successfully" 'vandrel: "data.bin" rebuilt from 4 pieces'
    expect_line err.txt 'vandrel: the pieces could not be checked: there is no checksum list "data.bin.plit.sha256"'
    expect_same_file data.bin reference.bin
}

"$case_name" "$@"
finish "$case_name"
