# The Wine environment of every script that runs Vandrel's Windows build:
# quiet debug channels, no first-start installers (Mono, Gecko: this machine
# has no network for them), one warm server, and a prefix whose fonts fit the
# dialogs. Sourced by run.sh, wine-session.sh and CMake's emulator:
#   . scripts/wine-env.sh

export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"

# The main window asks for "Microsoft Sans Serif", which Wine lacks; its
# fallback (DejaVu Sans) is much wider and clips the window's texts. Wine's own
# MS Sans Serif has that font's metrics, and its Tahoma is what the other
# dialogs' "MS Shell Dlg" stands for; Debian ships both (fonts-wine) where
# Wine does not look, so they go into the prefix's font folder, and the
# missing name is mapped to MS Sans Serif.
wine_fit_fonts() {
    fonts="${WINEPREFIX:-$HOME/.wine}/drive_c/windows/Fonts"
    [ -d "$fonts" ] || wine cmd /c exit >/dev/null 2>&1 </dev/null
    for font in sserife.fon tahoma.ttf tahomabd.ttf; do
        [ -f "$fonts/$font" ] || cp "/usr/share/wine/fonts/$font" "$fonts/"
    done
    wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes' /v 'Microsoft Sans Serif' \
        /t REG_SZ /d 'MS Sans Serif' /f >/dev/null 2>&1 </dev/null
}

# Starts the Wine server for the prefix and keeps it warm, with its output sent
# elsewhere so that no caller's pipe is held open by it (a cold start costs
# seconds, and a Wine helper holding a test's pipe makes ctest hang); then
# readies the prefix.
wine_session_start() {
    wineserver -p >/dev/null 2>&1 </dev/null &
    wine cmd /c exit >/dev/null 2>&1 </dev/null
    wine_fit_fonts
}

# Stops the prefix's server and every Wine process of it.
wine_session_stop() {
    wineserver -k >/dev/null 2>&1 </dev/null
}
