#!/bin/sh
# Runs a command with a warm Wine server: started once, its output sent
# elsewhere so that no test's pipe is held open by it, and stopped afterwards.
# Usage: scripts/wine-session.sh COMMAND [ARGS...]
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
wineserver -p >/dev/null 2>&1 </dev/null &
wine cmd /c exit >/dev/null 2>&1 </dev/null
"$@"
status=$?
wineserver -k >/dev/null 2>&1
exit $status
