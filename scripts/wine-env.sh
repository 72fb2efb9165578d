# The Wine environment of every script that runs Vandrel's Windows build:
# quiet debug channels, no first-start installers (Mono, Gecko: this machine
# has no network for them), one warm server, and a prefix whose fonts fit the
# dialogs. Sourced by run.sh, wine-session.sh and CMake's emulator:
#   . scripts/wine-env.sh

export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"

# The dialogs ask for "Microsoft Sans Serif", which Wine lacks; its fallback is
# wider and clips the main window's texts. Wine's own MS Sans Serif (Debian's
# fonts-wine) has the same metrics, so the name is mapped to it.
wine_fit_fonts() {
    wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'Microsoft Sans Serif' /t REG_SZ /d 'MS Sans Serif' /f \
        >/dev/null 2>&1 </dev/null
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
