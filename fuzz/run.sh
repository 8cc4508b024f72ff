#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs each for a bounded time on its seeds.
#
#   fuzz/run.sh SECONDS [TARGET...]    targets: load settings handover sheetnames render cairo pdf
#                                      (default: all)
#
# Seeds are made by the project's own code (fuzz_make_seeds); the load target also gets the real
# drawings of KELVANE_CORPUS (default ../shared/corpus), read in place. The kept regression inputs
# of tests/fuzz_regressions/<target>/ run first. The growing corpus, crash inputs and logs stay in
# build-fuzz/ (never in the repository). Two targets run at a time, at the lowest priority.
# Exits non-zero when any target crashed, hung, ran out of memory or broke a check.
#
# KELVANE_FUZZ_KEEP_GOING=1 (long runs) keeps fuzzing after a crash, hang or memory overrun
# (libFuzzer's fork mode) and fails at the end when any crash input was written.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

if [ $# -lt 1 ] || ! [[ "$1" =~ ^[0-9]+$ ]]; then
  echo "usage: fuzz/run.sh SECONDS [load|settings|handover|sheetnames|render|cairo|pdf]..." >&2
  exit 2
fi
seconds=$1
shift
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(load settings handover sheetnames render cairo pdf)

scripts/install-missing.sh fuzz || exit 1

build=$root/build-fuzz
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DKELVANE_TESTS=OFF -DKELVANE_BENCH=OFF -DKELVANE_FUZZ=ON \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g" >/dev/null || exit 1
targets_to_build=(fuzz_make_seeds)
for t in "${targets[@]}"; do targets_to_build+=("fuzz_$t"); done
nice -n 19 cmake --build "$build" -j 2 --target "${targets_to_build[@]}" || exit 1

export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
export ASAN_OPTIONS="detect_leaks=1:allocator_may_return_null=0"
export LSAN_OPTIONS="suppressions=$root/fuzz/lsan.supp:print_suppressions=0"

# Temporary files (images, saved sheets) of every process go below one folder, removed at the end.
scratch=$(mktemp -d "${TMPDIR:-/tmp}/kelvane-fuzz-run.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

seeds=$build/seeds
rm -rf "$seeds"
TMPDIR=$scratch nice -n 19 "$build/fuzz_make_seeds" "$seeds" || { echo "seed generation failed" >&2; exit 1; }
corpus_dir=${KELVANE_CORPUS:-$root/../shared/corpus}

dict_for() {
  case "$1" in
    load | sheetnames | render | cairo | pdf) echo "$root/fuzz/jww.dict" ;;
    settings) echo "$root/fuzz/settings.dict" ;;
    handover) echo "$root/fuzz/handover.dict" ;;
  esac
}

# Runs one target: its kept regression inputs once, then fuzzing for the given time.
run_target() {
  local t=$1 bin=$build/fuzz_$1 log=$build/logs/$1.log
  local work=$build/corpus/$t artifacts=$build/artifacts/$t/ tmp=$scratch/$t
  mkdir -p "$work" "$artifacts" "$tmp" "$build/logs"
  local extra=()
  # The drawing targets start from the same seeds as the load target, and the real drawings.
  local seed_dir=$seeds/$t
  case "$t" in render | cairo | pdf) seed_dir=$seeds/load ;; esac
  case "$t" in load | render | cairo | pdf) [ -d "$corpus_dir" ] && extra+=("$corpus_dir") ;; esac
  : >"$log"
  local regressions=("$root"/tests/fuzz_regressions/"$t"/*)
  if [ -e "${regressions[0]}" ]; then
    if ! TMPDIR=$tmp nice -n 19 "$bin" -rss_limit_mb=2048 -timeout=10 "${regressions[@]}" >>"$log" 2>&1; then
      echo "[$t] a kept regression input fails (see $log)"
      return 1
    fi
  fi
  local mode=() before
  before=$(find "$artifacts" -type f | wc -l)
  if [ "${KELVANE_FUZZ_KEEP_GOING:-0}" = 1 ]; then
    mode=(-fork=1 -ignore_crashes=1 -ignore_timeouts=1 -ignore_ooms=1)
  fi
  # Drawings larger than the largest real one gain nothing but slowness.
  case "$t" in load | render | cairo | pdf) mode+=(-max_len=131072) ;; esac
  TMPDIR=$tmp nice -n 19 "$bin" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 -print_final_stats=1 \
    -dict="$(dict_for "$t")" -artifact_prefix="$artifacts" "${mode[@]}" "$work" "$seed_dir" "${extra[@]}" >>"$log" 2>&1
  local rc=$?
  if [ $rc -eq 0 ] && [ "$(find "$artifacts" -type f | wc -l)" -gt "$before" ]; then rc=1; fi
  local execs cov ft
  execs=$(grep -o 'stat::number_of_executed_units: [0-9]*' "$log" | tail -1 | grep -o '[0-9]*$')
  # Fork mode reports "#<executions>: cov: ..." instead of final statistics.
  [ -n "$execs" ] || execs=$(grep -oE '^#[0-9]+: cov' "$log" | tail -1 | grep -oE '[0-9]+')
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | grep -o '[0-9]*$')
  ft=$(grep -o 'ft: [0-9]*' "$log" | tail -1 | grep -o '[0-9]*$')
  printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$(date -u +%FT%TZ)" "$t" "$seconds" "${execs:-0}" "${cov:-0}" "${ft:-0}" "$rc" \
    >>"$build/fuzz-stats.tsv"
  echo "[$t] ${seconds}s: ${execs:-0} executions, cov ${cov:-0}, ft ${ft:-0}, exit $rc"
  if [ $rc -ne 0 ]; then
    echo "[$t] FAILED: crash input in $artifacts; log $log"
    grep -m1 -A30 -E '^==[0-9]+==ERROR|runtime error|kelvane fuzz check failed|ALARM|out-of-memory' "$log" | head -40
    return 1
  fi
  return 0
}

status=0
running=0
for t in "${targets[@]}"; do
  if [ ! -x "$build/fuzz_$t" ]; then
    echo "unknown target $t" >&2
    status=1
    continue
  fi
  run_target "$t" &
  running=$((running + 1))
  if [ $running -ge 2 ]; then
    wait -n || status=1
    running=$((running - 1))
  fi
done
while [ $running -gt 0 ]; do
  wait -n || status=1
  running=$((running - 1))
done

[ $status -eq 0 ] && echo "fuzzing: no crash" || echo "fuzzing: FAILED"
exit $status
