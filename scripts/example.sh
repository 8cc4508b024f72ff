#!/usr/bin/env bash
# Builds Kelvane, makes the example drawing and splits it into one drawing per paper frame.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build-example -DCMAKE_BUILD_TYPE=Release -DKELVANE_TESTS=OFF -DKELVANE_BENCH=OFF >/dev/null
cmake --build build-example -j "$(nproc)" --target kelvane
example=build-example/example
rm -rf "$example"
mkdir -p "$example/sheets"
./build-example/kelvane --make-example "$example"
./build-example/kelvane --output "$example/sheets" --pattern 3 --separator _ --frame --margin 5 "$example/example.jww"
echo
echo "Sheets written to $(cd "$example/sheets" && pwd):"
ls -1 "$example/sheets"
