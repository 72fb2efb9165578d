#!/bin/sh
# Runs one Windows program under Wine, in the Wine environment of the scripts.
. "$(dirname "$0")/../scripts/wine-env.sh"
exec wine "$@"
