#!/usr/bin/env bash
# A long batch: 200 copies of the example drawing in a nested tree, split with -j 1 and -j 2.
# Prints each run's wall time and peak memory, the speed-up, and the largest drawing's size.
# Usage: bench/bench_batch.sh [KELVANE] [COPIES]   (run by hand; best on idle cores)
set -euo pipefail
kelvane=$(realpath "${1:-build/kelvane}")
copies=${2:-200}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$kelvane" --make-example "$work" >/dev/null
printf '' > "$work/none.dat"
for jobs in 1 2; do
  # Each run splits its own tree, so that neither finds the other's sheets.
  for ((i = 0; i < copies; ++i)); do
    folder="$work/tree$jobs/$((i % 5))/$((i % 3))"
    mkdir -p "$folder"
    cp "$work/example.jww" "$folder/drawing$i.jww"
  done
done
size=$(stat -c %s "$work/example.jww")
sync

# The program's own footprint (code, libraries), with a single drawing: what a batch adds to
# it is what the bound on loaded drawings keeps small.
mkdir -p "$work/single"
cp "$work/example.jww" "$work/single/"
/usr/bin/time -f "%M" -o "$work/time0" "$kelvane" --settings "$work/none.dat" "$work/single/example.jww" >/dev/null
base=$(cat "$work/time0")
echo "one drawing: peak ${base} KiB"

declare -A wall
for jobs in 1 2; do
  /usr/bin/time -f "%e %M" -o "$work/time$jobs" "$kelvane" --settings "$work/none.dat" -r -j "$jobs" \
    "$work/tree$jobs" >/dev/null
  read -r seconds kilobytes < "$work/time$jobs"
  wall[$jobs]=$seconds
  echo "-j $jobs: ${seconds} s, peak ${kilobytes} KiB ($((kilobytes - base)) KiB over one drawing)"
done
echo "speed-up: $(echo "scale=2; ${wall[1]} / ${wall[2]}" | bc) (largest drawing ${size} bytes; load $(cut -d' ' -f1-3 /proc/loadavg))"
