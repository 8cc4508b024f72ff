#!/usr/bin/env bash
# Builds Kelvane, makes the example drawing, draws its plan and splits it into one drawing per
# paper frame, each with a PDF beside it.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-missing.sh build

cmake -S . -B build-example -DCMAKE_BUILD_TYPE=Release -DKELVANE_TESTS=OFF -DKELVANE_BENCH=OFF >/dev/null
cmake --build build-example -j "$(nproc)" --target kelvane
example=build-example/example
rm -rf "$example"
mkdir -p "$example/sheets"
./build-example/kelvane --make-example "$example"
options=(--output "$example/sheets" --pattern 3 --separator _ --frame --margin 5)
./build-example/kelvane --plan "$example/plan.png" "${options[@]}" "$example/example.jww" >/dev/null
./build-example/kelvane "${options[@]}" --pdf "$example/example.jww"
echo
echo "The plan of the split: $(cd "$example" && pwd)/plan.png"
echo "Sheets and their PDFs written to $(cd "$example/sheets" && pwd):"
ls -1 "$example/sheets"
