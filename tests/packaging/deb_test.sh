#!/bin/sh
# The Debian package of the command, looked at and used as its user would:
# what it holds and depends on, then unpacked into a scratch root, its
# program run and its man page and completion read back from there.
# Usage: deb_test.sh DEB   (VANDREL_EXPECTED_VERSION holds the version)
set -u
deb=$1
version=$VANDREL_EXPECTED_VERSION

. "$(dirname "$0")/../shell_test.sh"
work=$(scratch_folder deb) || exit 1
trap 'rm -rf "$work"' EXIT

# Its contents: exactly these files, owned by root.
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $2, $6 }' | sort >"$work/contents.txt"
sort >"$work/expected.txt" <<END
root/root ./usr/bin/vandrel
root/root ./usr/share/bash-completion/completions/vandrel
root/root ./usr/share/doc/vandrel/copyright
root/root ./usr/share/man/man1/vandrel.1.gz
END
cmp -s "$work/contents.txt" "$work/expected.txt" || fail "the package holds: $(cat "$work/contents.txt")"

[ "$(dpkg-deb -f "$deb" Package)" = vandrel ] || fail "the package is not named vandrel"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "the package's version is $(dpkg-deb -f "$deb" Version)"
depends=$(dpkg-deb -f "$deb" Depends)
for library in libc6 libstdc++6 libssl3; do
    echo "$depends" | grep -q "$library (>= " || fail "Depends [$depends] lacks a versioned $library"
done

root="$work/root"
dpkg-deb -x "$deb" "$root" || fail "the package does not unpack"
vandrel="$root/usr/bin/vandrel"
[ "$("$vandrel" --version)" = "vandrel $version" ] || fail "the unpacked vandrel says [$("$vandrel" --version)]"
file "$vandrel" | grep -q "stripped" && ! file "$vandrel" | grep -q "not stripped" || fail "the program is not stripped"

cd "$work" || exit 1
head -c 3000000 /dev/urandom >reference.bin
cp reference.bin data.bin
"$vandrel" split data.bin 1MB >/dev/null || fail "the unpacked vandrel cannot split"
[ -f data.bin.2.3.plit ] && [ ! -e data.bin ] || fail "the split left [$(ls)]"
"$vandrel" join data.bin.1.3.plit >/dev/null || fail "the unpacked vandrel cannot join"
cmp -s data.bin reference.bin || fail "the join did not rebuild the file"

MANWIDTH=100 man -l "$root/usr/share/man/man1/vandrel.1.gz" 2>/dev/null >man.txt
grep -q "vandrel - cut a file into numbered pieces" man.txt || fail "the man page has no NAME line: $(head -5 man.txt)"
grep -q "fat32" man.txt || fail "the man page does not tell of fat32"
grep -q "sha256sum -c --ignore-missing" man.txt || fail "the man page does not tell how to check the pieces"
grep -q "vandrel $version" man.txt || fail "the man page does not carry the version"

grep -q "MIT License" "$root/usr/share/doc/vandrel/copyright" || fail "the copyright file names no license"

# The completion offers the commands, after join only piece files and the
# folders that may hold them, after verify the lists too, and --no-list and
# --no-in-place to a split alone.
mkdir completion completion/folder
cd completion || exit 1
touch movie.avi.0.3.plit movie.avi.plit.sha256 notes.txt
completion=$(bash -c '
    . "$1"
    complete_words() { COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMPREPLY=(); _vandrel; echo "${COMPREPLY[*]}"; }
    complete_words vandrel sp
    complete_words vandrel join ""
    complete_words vandrel split notes.txt fa
    complete_words vandrel v
    complete_words vandrel verify ""
    complete_words vandrel split --no
    complete_words vandrel join --no
' sh "$root/usr/share/bash-completion/completions/vandrel")
expected_completion=$(printf '%s\n' split "movie.avi.0.3.plit folder" fat32 verify \
    "movie.avi.0.3.plit movie.avi.plit.sha256 folder" "--no-list --no-in-place" "")
[ "$completion" = "$expected_completion" ] || fail "bash completion offers [$completion]"

finish "deb"
