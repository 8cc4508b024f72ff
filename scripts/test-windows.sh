#!/usr/bin/env bash
# Builds the Windows program with mingw-w64 and runs its tests under Wine in a virtual X display.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-missing.sh test-windows

jobs=$(nproc)

echo "== Windows build (mingw-w64)"
cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release
cmake --build build-win -j "$jobs"

echo "== Linux command line, to compare the sheets with"
cmake -S . -B build-win/host -DCMAKE_BUILD_TYPE=Release -DKELVANE_TESTS=OFF -DKELVANE_BENCH=OFF
cmake --build build-win/host -j "$jobs" --target kelvane

echo "== Windows tests under Wine"
# Everything Wine does happens inside one virtual display, so that its desktop process and the
# program's windows share it. The whole run is bounded.
xvfb-run -a -s "-screen 0 1280x1024x24" \
  timeout 1500 bash tests/win32/wine_tests.sh build-win build-win/host/kelvane
