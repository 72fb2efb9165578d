#!/bin/sh
# Builds everything and runs every test: the native build, the native build
# under AddressSanitizer and UndefinedBehaviorSanitizer, the fuzz targets for a
# bounded time each, and the Windows build under Wine on a virtual display.
# Run as root on Debian 12.
set -eu
cd "$(dirname "$0")/.."
jobs=$(nproc)

sh scripts/install-deps.sh

echo "== native build"
cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/native -j "$jobs"
ctest --test-dir build/native --output-on-failure -j "$jobs"

echo "== native build with sanitizers"
cmake -S . -B build/sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVANDREL_SANITIZE=ON -DVANDREL_BUILD_BENCH=OFF \
  -DVANDREL_BUILD_PACKAGES=OFF >/dev/null
cmake --build build/sanitize -j "$jobs"
ctest --test-dir build/sanitize --output-on-failure -j "$jobs"

echo "== fuzz targets, built by clang"
cmake -S . -B build/fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANDREL_FUZZ=ON \
  -DVANDREL_BUILD_TESTS=OFF -DVANDREL_BUILD_BENCH=OFF >/dev/null
cmake --build build/fuzz -j "$jobs"
ctest --test-dir build/fuzz --output-on-failure -j "$jobs"

echo "== Windows build under Wine"
cmake -S . -B build/win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/win -j "$jobs"
xvfb-run -a -s "-screen 0 1280x1024x24" sh scripts/wine-session.sh ctest --test-dir build/win --output-on-failure

echo "== packages in dist/"
sh scripts/package.sh
