#!/bin/sh
# Builds Vandrel.exe, adds to the Wine prefix the fonts its dialogs are laid out
# for (see wine-env.sh), and opens its main window under Wine. Run as root on
# Debian 12.
set -eu
cd "$(dirname "$0")/.."

sh scripts/install-deps.sh
cmake -S . -B build/win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/win -j "$(nproc)" --target Vandrel

if [ -z "${DISPLAY:-}" ]; then
  echo "Vandrel.exe is built at build/win/ui/Vandrel.exe, but there is no display to show it on."
  echo "Run this from a desktop session, or give it one: xvfb-run -a sh scripts/run.sh"
  exit 1
fi
. scripts/wine-env.sh
echo "Adding the fonts the dialogs are laid out for (MS Sans Serif, Tahoma) to the Wine prefix ${WINEPREFIX:-$HOME/.wine}"
wine_fit_fonts
exec wine build/win/ui/Vandrel.exe "$@"
