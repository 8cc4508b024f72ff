#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test (also under the sanitizers).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-missing.sh test

jobs=$(nproc)
logs=$(mktemp -d)
fresh_pid=
stop_fresh() {
  if [ -n "$fresh_pid" ]; then kill "$fresh_pid" 2>/dev/null || true; wait "$fresh_pid" 2>/dev/null || true; fi
}
trap 'stop_fresh; rm -rf "$logs"' EXIT

# The README's first command and the package command on a fresh Debian root, in the background
# below the other stages (much of it is waiting for apt); its result comes before the total.
echo "== the fresh machine check starts (tests/fresh_machine/test_fresh_machine.sh)"
nice -n 10 tests/fresh_machine/test_fresh_machine.sh >"$logs/fresh.log" 2>&1 &
fresh_pid=$!

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

echo "== the fresh machine check: scripts/example.sh and scripts/package.sh on a fresh Debian root"
fresh_status=0
wait "$fresh_pid" || fresh_status=$?
fresh_pid=
cat "$logs/fresh.log"
skipped=0
case $fresh_status in
  0) ;;
  77) skipped=1 ;;
  *) echo "== FAILED: the fresh machine check (exit status $fresh_status)"; exit 1 ;;
esac

total=0
for name in release asan; do
  n=$(sed -n 's/.*tests passed, 0 tests failed out of \([0-9]*\).*/\1/p' "$logs/$name.log" | tail -n 1)
  total=$((total + ${n:-0}))
done
w=$(sed -n 's/^windows: \([0-9]*\) passed, 0 failed.*/\1/p' "$logs/windows.log" | tail -n 1)
total=$((total + ${w:-0}))
p=$(sed -n 's/^package: \([0-9]*\) passed, 0 failed.*/\1/p' "$logs/package.log" | tail -n 1)
total=$((total + ${p:-0}))
f=$(sed -n 's/^fresh-machine: \([0-9]*\) passed, 0 failed.*/\1/p' "$logs/fresh.log" | tail -n 1)
total=$((total + ${f:-0}))
if [ $skipped = 1 ]; then
  echo "== all tests passed that ran; the fresh machine check was SKIPPED: $(sed -n 's/^fresh machine check: SKIPPED: //p' "$logs/fresh.log")"
  echo "total: $total passed, 0 failed, 1 skipped"
else
  echo "== all tests passed"
  echo "total: $total passed, 0 failed"
fi
