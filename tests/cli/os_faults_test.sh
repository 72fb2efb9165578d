#!/bin/sh
# Makes one system call of a real `vandrel split` fail (strace -e inject=)
# and checks the outcome the user sees and what the disk holds:
# - a folder commit that the file system cannot do (EINVAL, EOPNOTSUPP) is
#   nothing to commit, and the split succeeds; one that fails (EIO) fails it;
# - the in-kernel copy refused at its first call, for any reason that means
#   "not between these files", goes on through the job's buffer; refused or
#   failing once bytes have moved, or failing at its first call (EIO), it
#   fails the split, with the file and the system's reason named.
# A failed split keeps the input byte for byte and leaves no piece; a split
# in place that fails after its first cut leaves the input holding its first
# pieces beside the others, and the commands it prints finish it or undo it.
# Skips (exit 77) with the reason when strace is missing or cannot trace.
# Usage: os_faults_test.sh VANDREL
set -u
. "$(dirname "$0")/../shell_test.sh"
vandrel=$(absolute_program "$1")

need_strace_and
work=$(scratch_folder os-faults) || exit 1
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
head -c 5000 /dev/urandom >reference.bin

# Splits 5000 bytes into two pieces of 3000 B with the injection $1: the
# fsync calls are the journal's and its folder's, the journal's record of
# piece 0 and piece 0's, of piece 1 and piece 1's, the list's, then the
# folder's (three times: the pieces, the input's deletion, the journal's), and the
# copy_file_range calls one per piece. Expects the exit status $2 and, for a
# failure, the file $3 named with the reason $4.
fault_case() {
    name="inject=$1"
    rm -f ./*.plit ./*.plit.sha256 ./*.plit.journal
    cp reference.bin data.bin
    strace -f -o /dev/null -e inject="$1" "$vandrel" --quiet split data.bin 3000B </dev/null >out.txt 2>err.txt
    status=$?
    [ "$status" -eq "$2" ] || fail "$name: exit status $status, expected $2 ($(cat err.txt))"
    if [ "$2" -eq 0 ]; then
        cat data.bin.0.2.plit data.bin.1.2.plit 2>/dev/null | cmp -s - reference.bin ||
            fail "$name: the pieces do not hold the input ($(ls))"
        [ ! -e data.bin ] || fail "$name: the input is still there after a success"
        return
    fi
    cmp -s data.bin reference.bin || fail "$name: the input is not whole after the failure"
    [ -z "$(ls | grep '\.plit$\|\.plit\.sha256$\|\.plit\.journal$')" ] || fail "$name: the failed split left pieces, their list or its journal: $(ls)"
    [ "$(sed -n 2p err.txt)" = "vandrel: $3: $4" ] ||
        fail "$name: expected the line [vandrel: $3: $4], got [$(cat err.txt)]"
}

#          injection                              status  file named         reason
fault_case fsync:error=EINVAL:when=8+             0
fault_case fsync:error=EOPNOTSUPP:when=8+         0
fault_case fsync:error=EIO:when=1                 1       data.bin.plit.journal "Input/output error"
fault_case fsync:error=EIO:when=5                 1       data.bin.plit.journal "Input/output error"
fault_case fsync:error=EIO:when=6                 1       data.bin.1.2.plit  "Input/output error"
fault_case fsync:error=EIO:when=7                 1       data.bin.plit.sha256 "Input/output error"
fault_case fsync:error=EIO:when=8                 1       data.bin           "Input/output error"
fault_case copy_file_range:error=EINVAL:when=1    0
fault_case copy_file_range:error=EXDEV:when=1     0
fault_case copy_file_range:error=ENOTTY:when=1    0
fault_case copy_file_range:error=EACCES:when=1    0
fault_case copy_file_range:error=EINVAL:when=2    1       data.bin.1.2.plit  "Invalid argument"
fault_case copy_file_range:error=EIO:when=1       1       data.bin.0.2.plit  "Input/output error"

# A split in place of 20,000,000 bytes into pieces of 8 MB, cut from its
# end one piece at a time, with the injection $1. When it fails after its
# first cut, the input holds its first $2 pieces and the others lie beside
# it, and the line after the message gives the two ways out; the way $3
# ("finish" or "undo"), run as printed, ends with every piece or with the
# whole input. Before its first cut ($2 is 0) it fails as a split that
# leaves the input whole and no piece.
in_place_fault_case() {
    name="split --in-place, inject=$1"
    rm -f ./*.plit ./*.plit.sha256 ./*.plit.journal
    cp big.bin data.bin
    strace -f -o /dev/null -e inject="$1" "$vandrel" --quiet split --in-place data.bin 8MB </dev/null >out.txt 2>err.txt
    status=$?
    [ "$status" -eq 1 ] || fail "$name: exit status $status, expected 1 ($(cat err.txt))"
    if [ "$2" -eq 0 ]; then
        cmp -s data.bin big.bin && [ -z "$(ls | grep '\.plit')" ] && ! grep -q 'to finish the split' err.txt ||
            fail "$name: expected the input whole, nothing beside it and no way out to take: $(ls), $(cat err.txt)"
        return
    fi
    [ "$(wc -c <data.bin)" -eq $(($2 * 8388608)) ] && head -c $(($2 * 8388608)) big.bin | cmp -s - data.bin &&
        [ "$(ls | grep -c '\.plit$')" -eq $((3 - $2)) ] && grep -q 'part way' err.txt ||
        fail "$name: expected data.bin to hold its first $2 pieces and the others beside it: $(ls), $(cat err.txt)"
    case $3 in
    finish) command=$(sed -n 's/^vandrel: to finish the split, run: vandrel \(.*\); to get the whole .*$/\1/p' err.txt) ;;
    undo) command=$(sed -n 's/^vandrel: to finish the split, run: .*; to get the whole file back, run: vandrel \(.*\)$/\1/p' err.txt) ;;
    esac
    if [ -z "$command" ]; then
        fail "$name: no command to $3 it in [$(cat err.txt)]"
        return
    fi
    eval "\"\$vandrel\" --quiet $command" </dev/null >out.txt 2>err.txt
    status=$?
    if [ "$3" = undo ]; then
        [ "$status" -eq 0 ] && cmp -s data.bin big.bin && [ -z "$(ls | grep '\.plit')" ] ||
            fail "$name: the printed join did not give the input back alone: exit $status, $(ls), $(cat err.txt)"
    else
        [ "$status" -eq 0 ] && [ ! -e data.bin ] && [ ! -e data.bin.plit.journal ] &&
            cat data.bin.0.3.plit data.bin.1.3.plit data.bin.2.3.plit | cmp -s - big.bin ||
            fail "$name: the printed split did not finish it: exit $status, $(ls), $(cat err.txt)"
    fi
}

head -c 20000000 /dev/urandom >big.bin
#                   injection                          pieces held   way out
in_place_fault_case ftruncate:error=EIO:when=1         0
in_place_fault_case ftruncate:error=EIO:when=2         1             undo
in_place_fault_case copy_file_range:error=EIO:when=12  2             finish
in_place_fault_case copy_file_range:error=EIO:when=12  2             undo

finish "os_faults"
