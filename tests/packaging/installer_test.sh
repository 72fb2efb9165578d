#!/bin/sh
# Installs, uses and removes Vandrel as a Windows user would, under Wine in a
# fresh prefix of the test's own, and checks the state each step leaves:
# files, shortcuts and registry values, a join started by opening a piece
# through the shell, and what the uninstaller takes away and leaves.
# Usage: installer_test.sh SETUP_EXE ANSWER_MESSAGE_BOX_EXE WINDOW_CAPTION_EXE README_TXT LICENSE
# Needs a display (xvfb-run); VANDREL_EXPECTED_VERSION holds the version.
set -u
setup=$1
answer=$2
caption=$3
readme=$4
license=$5
version=$VANDREL_EXPECTED_VERSION

. "$(dirname "$0")/../shell_test.sh"
work=$(scratch_folder installer) || exit 1
export WINEPREFIX="$work/prefix"
. "$(dirname "$0")/../../scripts/wine-env.sh"
trap 'wine_session_stop; rm -rf "$work"' EXIT

classes_hklm='HKLM\Software\Classes'
classes_hkcu='HKCU\Software\Classes'
uninstall_key='Software\Microsoft\Windows\CurrentVersion\Uninstall\Vandrel'
progid=Vandrel.Piece.1
# The DLLs the programs load, and their licence and notices.
library_files="libgcrypt-20.dll libgpg-error-0.dll licenses/libgcrypt-LGPL-2.1.txt
    licenses/libgcrypt-copyright.txt licenses/libgpg-error-copyright.txt"

# --- reading the prefix back -----------------------------------------------------

# The data of value NAME of KEY (the default value when NAME is empty), as
# `wine reg query` prints it; status 1 when the key or the value is missing.
reg_value() {
    if [ -z "$2" ]; then
        wine reg query "$1" /ve 2>/dev/null </dev/null
    else
        wine reg query "$1" /v "$2" 2>/dev/null </dev/null
    fi | tr -d '\r' >"$work/reg.txt"
    grep -q 'REG_' "$work/reg.txt" || return 1
    sed -n 's/^    .*    REG_[A-Z_]*    //p; s/^    .*    REG_[A-Z_]*$//p' "$work/reg.txt" | head -n 1
}

expect_reg() {
    value=$(reg_value "$1" "$2") || { fail "no value [${2:-(Default)}] in $1"; return; }
    [ "$value" = "$3" ] || fail "$1 [${2:-(Default)}] is [$value], expected [$3]"
}

expect_no_reg() {
    if reg_value "$1" "${2:-}" >/dev/null; then
        fail "$1 [${2:-(Default)}] is still there: $(cat "$work/reg.txt")"
    fi
}

expect_no_key() {
    wine reg query "$1" >/dev/null 2>&1 </dev/null && fail "the key $1 is still there"
}

# A Windows folder of the prefix as a Linux path.
unix_path() {
    wine winepath -u "$1" 2>/dev/null </dev/null | tr -d '\r'
}

windows_path() {
    wine winepath -w "$1" 2>/dev/null </dev/null | tr -d '\r'
}

# What the user's environment variable NAME holds inside the prefix.
wine_variable() {
    wine cmd /c echo "%$1%" 2>/dev/null </dev/null | tr -d '\r'
}

# Runs the uninstall command that the system's control panel would run in
# HIVE. The uninstaller goes on in a copy of itself after the command returns;
# removing its key is its last step.
run_quiet_uninstall() {
    hive=$1
    command=$(reg_value "$hive\\$uninstall_key" QuietUninstallString) || { fail "no QuietUninstallString"; return; }
    eval "set -- $command"
    wine "$@" </dev/null >/dev/null 2>&1
    for _ in $(seq 1 100); do
        wine reg query "$hive\\$uninstall_key" >/dev/null 2>&1 </dev/null || return
        sleep 0.2
    done
}

# Everything the installer writes into one hive, installed in $folder.
expect_installed() {
    hive=$1
    folder=$2
    classes="$hive\\Software\\Classes"
    dir=$(unix_path "$folder")
    for file in Vandrel.exe vandrel-cli.exe README.txt LICENSE.txt uninstall.exe $library_files; do
        [ -s "$dir/$file" ] || fail "$folder\\$file was not installed"
    done
    [ ! -e "$dir/README.md" ] || fail "the developers' README.md is installed"
    cmp -s "$dir/README.txt" "$readme" || fail "README.txt differs from the build's"
    expect_users_readme "$dir/README.txt"
    cmp -s "$dir/LICENSE.txt" "$license" || fail "LICENSE.txt differs from the source's"
    grep -q "GNU LESSER GENERAL PUBLIC LICENSE" "$dir/licenses/libgcrypt-LGPL-2.1.txt" ||
        fail "the installed libgcrypt licence is not the LGPL"

    expect_reg "$classes\\.plit" "" "$progid"
    expect_reg "$classes\\.plit\\OpenWithProgids" "$progid" ""
    expect_reg "$classes\\$progid" "" "Vandrel piece"
    expect_reg "$classes\\$progid\\DefaultIcon" "" "$folder\\Vandrel.exe,0"
    expect_reg "$classes\\$progid\\shell\\open\\command" "" "\"$folder\\Vandrel.exe\" \"%1\""
    expect_reg "$classes\\$progid\\shell" "" "open"
    expect_reg "$classes\\$progid\\shell\\verify" "" "&Check pieces"
    expect_reg "$classes\\$progid\\shell\\verify\\command" "" "\"$folder\\Vandrel.exe\" /verify \"%1\""

    key="$hive\\$uninstall_key"
    switch=$([ "$hive" = HKLM ] && echo /AllUsers || echo /CurrentUser)
    expect_reg "$key" DisplayName "Vandrel $version"
    expect_reg "$key" DisplayVersion "$version"
    expect_reg "$key" Publisher "The Vandrel authors"
    expect_reg "$key" DisplayIcon "$folder\\Vandrel.exe,0"
    expect_reg "$key" InstallLocation "$folder"
    expect_reg "$key" UninstallString "\"$folder\\uninstall.exe\" $switch"
    expect_reg "$key" QuietUninstallString "\"$folder\\uninstall.exe\" $switch /S"
    expect_reg "$key" NoModify 0x1
    expect_reg "$key" NoRepair 0x1
    size=$(reg_value "$key" EstimatedSize)
    kilobytes=$(du -sk "$dir" | cut -f1)
    [ -n "$size" ] && [ $((size)) -gt $((kilobytes / 2)) ] && [ $((size)) -lt $((kilobytes * 2)) ] ||
        fail "EstimatedSize [$size] is far from the $kilobytes KB installed"
}

expect_uninstalled() {
    hive=$1
    folder=$2
    dir=$(unix_path "$folder")
    for file in Vandrel.exe vandrel-cli.exe README.txt LICENSE.txt uninstall.exe $library_files licenses; do
        [ ! -e "$dir/$file" ] || fail "$folder\\$file is still there after the uninstall"
    done
    expect_no_key "$hive\\Software\\Classes\\$progid"
    expect_no_key "$hive\\$uninstall_key"
    expect_no_reg "$hive\\Software\\Classes\\.plit\\OpenWithProgids" "$progid"
}

# The users' README.txt: plain text, every line ended by CR LF, telling what a
# Windows user needs.
expect_users_readme() {
    lines=$(wc -l <"$1")
    crlf=$(grep -c "$(printf '\r')\$" "$1")
    [ "$lines" -gt 0 ] && [ "$crlf" = "$lines" ] || fail "$1: $crlf of its $lines lines end in CR LF"
    grep -q '^#\|\*\*\|`' "$1" && fail "$1 holds Markdown"
    for words in "Vandrel $version" "Start split" "Start join" "double-click" "Check pieces" "interrupted" \
        "LICENSE.txt"; do
        grep -q "$words" "$1" || fail "$1 does not mention \"$words\""
    done
}

# Reads the title of the uninstaller's window on its page PAGE and clicks its
# button BUTTON_ID (closes it without one).
expect_uninstaller_title() {
    page=$1
    shift
    title=$(wine "$caption" "Vandrel $version Uninstall" "$@" </dev/null 2>&1 | tr -d '\r')
    [ "$title" = "[Vandrel $version Uninstall]" ] || fail "the uninstaller's $page page is titled $title"
}

# --- the steps ---------------------------------------------------------------------

# Debian's Wine has no 32-bit side, where a 32-bit installer does nothing.
file "$setup" | grep -q 'PE32+ executable' || fail "the installer is not a 64-bit program: $(file "$setup")"

# A new prefix, made by the first program that the warm server runs.
wine_session_start

# Per-user, the default: the user's own programs folder and HKCU. Wine opens
# files only through the machine's classes, so only the keys are checked.
wine "$setup" /S </dev/null >/dev/null 2>&1
user_folder="$(wine_variable LOCALAPPDATA)\\Programs\\Vandrel"
user_menu=$(unix_path "$(wine_variable APPDATA)\\Microsoft\\Windows\\Start Menu\\Programs")
expect_installed HKCU "$user_folder"
[ -s "$user_menu/Vandrel.lnk" ] || fail "no Start-menu shortcut for the user"
expect_no_key "$classes_hklm\\$progid"
expect_no_key "HKLM\\$uninstall_key"

echo "my notes" >"$(unix_path "$user_folder")/notes.txt"
run_quiet_uninstall HKCU
expect_uninstalled HKCU "$user_folder"
expect_no_key "$classes_hkcu\\.plit"
[ ! -e "$user_menu/Vandrel.lnk" ] || fail "the user's Start-menu shortcut is still there"
[ "$(cat "$(unix_path "$user_folder")/notes.txt")" = "my notes" ] || fail "the uninstaller took the user's own file"

# For every user, as an administrator would install it.
wine "$setup" /S /AllUsers </dev/null >/dev/null 2>&1
machine_folder='C:\Program Files\Vandrel'
common_menu=$(unix_path "$(wine_variable ProgramData)\\Microsoft\\Windows\\Start Menu\\Programs")
expect_installed HKLM "$machine_folder"
[ -s "$common_menu/Vandrel.lnk" ] || fail "no Start-menu shortcut for all users"

# The uninstaller's window, as the user opens it from the list of programs,
# is titled with the product's name and no trailing blank; closing it
# uninstalls nothing.
wine "$(unix_path "$machine_folder")/uninstall.exe" /AllUsers </dev/null >/dev/null 2>&1 &
uninstaller=$!
expect_uninstaller_title first
wait $uninstaller
expect_installed HKLM "$machine_folder"

# Opening a piece, as a double click does: its set is joined, the pieces go.
pieces="$work/dossier été 2"
mkdir "$pieces"
head -c 250000 /dev/urandom >"$work/reference.bin"
head -c 100000 "$work/reference.bin" >"$pieces/film.avi.0.3.plit"
tail -c +100001 "$work/reference.bin" | head -c 100000 >"$pieces/film.avi.1.3.plit"
tail -c +200001 "$work/reference.bin" >"$pieces/film.avi.2.3.plit"
wine start /wait "$(windows_path "$pieces/film.avi.1.3.plit")" </dev/null >/dev/null 2>&1 &
opened=$!
wine "$answer" Vandrel.exe "File Joiner" "File joining completed successfully" </dev/null >"$work/answer.txt" 2>&1 ||
    fail "opening the piece did not end in the join's success: $(cat "$work/answer.txt")"
wait $opened
cmp -s "$pieces/film.avi" "$work/reference.bin" || fail "opening a piece did not rebuild its file"
[ "$(ls "$pieces")" = "film.avi" ] || fail "pieces are left after the join: $(ls "$pieces")"

# Installing again over an older copy upgrades it in place; the README.md an
# earlier version installed goes.
echo "older" >"$(unix_path "$machine_folder")/README.txt"
echo "older" >"$(unix_path "$machine_folder")/README.md"
wine reg add "HKLM\\$uninstall_key" /v DisplayVersion /d 2.0 /f </dev/null >/dev/null 2>&1
wine "$setup" /S /AllUsers </dev/null >/dev/null 2>&1
expect_installed HKLM "$machine_folder"

# Another program takes .plit over; the uninstaller leaves it that program's.
wine reg add "$classes_hklm\\.plit" /ve /d Other.Archive /f </dev/null >/dev/null 2>&1
wine reg add "$classes_hklm\\.plit\\OpenWithProgids" /v Other.Archive /d "" /f </dev/null >/dev/null 2>&1
# This time through its window: the "Uninstall" button, then, once it has
# finished, the same title on its last page and the "Close" button.
command=$(reg_value "HKLM\\$uninstall_key" UninstallString) || fail "no UninstallString"
eval "set -- $command"
wine "$@" </dev/null >/dev/null 2>&1 &
uninstaller=$!
expect_uninstaller_title first 1
for _ in $(seq 1 100); do
    wine reg query "HKLM\\$uninstall_key" >/dev/null 2>&1 </dev/null || break
    sleep 0.2
done
expect_uninstaller_title last 1
wait $uninstaller
expect_uninstalled HKLM "$machine_folder"
[ ! -e "$common_menu/Vandrel.lnk" ] || fail "the Start-menu shortcut for all users is still there"
[ ! -e "$(unix_path "$machine_folder")" ] || fail "the emptied program folder is still there"
expect_reg "$classes_hklm\\.plit" "" Other.Archive
expect_reg "$classes_hklm\\.plit\\OpenWithProgids" Other.Archive ""
cmp -s "$pieces/film.avi" "$work/reference.bin" || fail "the uninstall touched the user's joined file"

finish "installer"
