#!/bin/sh
# Runs one Windows program under Wine, quietly and without Wine's first-start
# installers (Mono, Gecko), which this machine has no network for.
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
exec wine "$@"
