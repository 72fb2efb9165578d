#!/bin/sh
# Runs a command with a warm Wine server (scripts/wine-env.sh), stopped afterwards.
# Usage: scripts/wine-session.sh COMMAND [ARGS...]
. "$(dirname "$0")/wine-env.sh"
wine_session_start
"$@"
status=$?
wine_session_stop
exit $status
