#!/bin/sh
# The portable zip as its user takes it: unpacked anywhere, the programs run
# from where they landed, with nothing installed.
# Usage: zip_test.sh ZIP README_TXT EMULATOR...   (EMULATOR runs a Windows program, e.g. wine-run.sh)
# VANDREL_EXPECTED_VERSION holds the version.
set -u
zip=$1
readme=$2
shift 2
version=$VANDREL_EXPECTED_VERSION

. "$(dirname "$0")/../shell_test.sh"
work=$(scratch_folder zip) || exit 1
trap 'rm -rf "$work"' EXIT

folder="Vandrel-$version-win64"
unzip -Z1 "$zip" | sort >"$work/listing.txt"
printf '%s\n' "$folder/" "$folder/LICENSE.txt" "$folder/README.txt" "$folder/Vandrel.exe" "$folder/vandrel-cli.exe" \
    "$folder/libgcrypt-20.dll" "$folder/libgpg-error-0.dll" "$folder/licenses/" "$folder/licenses/libgcrypt-LGPL-2.1.txt" \
    "$folder/licenses/libgcrypt-copyright.txt" "$folder/licenses/libgpg-error-copyright.txt" |
    sort >"$work/expected.txt"
cmp -s "$work/listing.txt" "$work/expected.txt" || fail "the zip holds [$(cat "$work/listing.txt")]"

mkdir "$work/unpacked place"
unzip -q "$zip" -d "$work/unpacked place" || fail "the zip does not unpack"
cli="$work/unpacked place/$folder/vandrel-cli.exe"
cmp -s "$work/unpacked place/$folder/README.txt" "$readme" || fail "the zip's README.txt is not the build's"
grep -q "GNU LESSER GENERAL PUBLIC LICENSE" "$work/unpacked place/$folder/licenses/libgcrypt-LGPL-2.1.txt" ||
    fail "the zip's libgcrypt licence is not the LGPL"

version_line=$("$@" "$cli" --version </dev/null 2>&1 | tr -d '\r')
[ "$version_line" = "vandrel $version" ] || fail "the unpacked vandrel-cli.exe says [$version_line]"

cd "$work" || exit 1
head -c 300000 /dev/urandom >reference.bin
cp reference.bin data.bin
"$@" "$cli" split data.bin 128KB </dev/null >/dev/null 2>&1 || fail "the unpacked command cannot split"
[ -f data.bin.2.3.plit ] && [ ! -e data.bin ] || fail "the split left [$(ls)]"
"$@" "$cli" join data.bin.0.3.plit </dev/null >/dev/null 2>&1 || fail "the unpacked command cannot join"
cmp -s data.bin reference.bin || fail "the join did not rebuild the file"

finish "zip"
