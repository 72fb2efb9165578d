#!/bin/sh
# Builds what a user downloads and gathers it in dist/: the Windows installer
# and portable zip, the Debian package of the command, and SHA256SUMS of
# them all. Run as root on Debian 12.
set -eu
cd "$(dirname "$0")/.."
jobs=$(nproc)

sh scripts/install-deps.sh

cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANDREL_BUILD_PACKAGES=ON >/dev/null
cmake --build build/native -j "$jobs" --target deb_package
cmake -S . -B build/win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release \
    -DVANDREL_BUILD_PACKAGES=ON >/dev/null
cmake --build build/win -j "$jobs" --target windows_packages

rm -rf dist
mkdir dist
cp build/win/packaging/windows/Vandrel-*-win64-setup.exe build/win/packaging/windows/Vandrel-*-win64.zip \
    build/native/packaging/linux/vandrel_*.deb dist/
(cd dist && sha256sum -- * >SHA256SUMS && sha256sum --quiet -c SHA256SUMS)
ls -l dist
