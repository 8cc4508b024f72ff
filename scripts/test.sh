#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test (also under the sanitizers).
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(build-essential cmake ninja-build pkg-config googletest libgtest-dev libgmock-dev libbenchmark-dev
  libcairo2-dev libpango1.0-dev libstb-dev zlib1g-dev fonts-ipafont-gothic fonts-ipafont-mincho poppler-utils
  libxml2-utils cups cups-client libcups2-dev help2man libharfbuzz-dev qpdf python3-ezdxf
  emscripten node-acorn chromium chromium-driver python3-selenium)
scripts/install-missing.sh "${packages[@]}"

jobs=$(nproc)
logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT

# Runs ctest in a build folder and keeps its summary for the total at the end.
run_ctest() {
  local dir=$1 name=$2
  shift 2
  "$@" ctest --test-dir "$dir" --output-on-failure -j "$jobs" | tee "$logs/$name.log"
}

echo "== the browser build (build-web/site), which the release tests drive in headless Chromium"
scripts/web.sh --build-only

echo "== release build and tests"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DKELVANE_TESTS=ON -DKELVANE_BENCH=ON
cmake --build build -j "$jobs"
run_ctest build release env

echo "== AddressSanitizer and UndefinedBehaviorSanitizer build and tests"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKELVANE_SANITIZE=ON -DKELVANE_BENCH=OFF \
  -DKELVANE_TESTS=ON
cmake --build build-asan -j "$jobs"
run_ctest build-asan asan env ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  LSAN_OPTIONS="suppressions=$(pwd)/tests/lsan.supp"

echo "== the Windows program, built with mingw-w64 and tested under Wine"
scripts/test-windows.sh | tee "$logs/windows.log"

echo "== fuzz targets, a minute each (libFuzzer with the sanitizers)"
fuzz/run.sh 60

echo "== the packages: made, installed, run, removed (tests/package/test_package.sh)"
tests/package/test_package.sh | tee "$logs/package.log"

total=0
for name in release asan; do
  n=$(sed -n 's/.*tests passed, 0 tests failed out of \([0-9]*\).*/\1/p' "$logs/$name.log" | tail -n 1)
  total=$((total + ${n:-0}))
done
w=$(sed -n 's/^windows: \([0-9]*\) passed, 0 failed.*/\1/p' "$logs/windows.log" | tail -n 1)
total=$((total + ${w:-0}))
p=$(sed -n 's/^package: \([0-9]*\) passed, 0 failed.*/\1/p' "$logs/package.log" | tail -n 1)
total=$((total + ${p:-0}))
echo "== all tests passed"
echo "total: $total passed, 0 failed"
