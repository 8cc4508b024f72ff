#!/usr/bin/env bash
# Splits the example drawing and every corpus drawing with several option sets by two builds of
# kelvane and compares every sheet byte for byte: a change that should not alter output proves
# it did not.  Usage: scripts/compare-sheets.sh OLD_KELVANE NEW_KELVANE [CORPUS_FOLDER]
set -euo pipefail
old=$(realpath "$1")
new=$(realpath "$2")
corpus=${3:-$(dirname "$0")/../../shared/corpus}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

mkdir -p "$work/in"
"$new" --make-example "$work/in" >/dev/null
if [ -d "$corpus" ]; then
  find "$corpus" -maxdepth 1 -iname '*.jww' -exec cp {} "$work/in/" \;
fi
printf '' > "$work/none.dat"  # no user settings: each option set says everything

option_sets=(
  ""
  "--pattern 3 --separator - --leading-zeros --start 7"
  "--pattern 5 --frame --margin 5 --compact"
  "--pattern 6 --direction columns --separator ＿"
  "--pattern 2 --frame --compact --start 95 --leading-zeros"
)
compared=0
for i in "${!option_sets[@]}"; do
  for side in old new; do
    mkdir -p "$work/$side/$i"
    bin=$old
    [ "$side" = new ] && bin=$new
    # shellcheck disable=SC2086
    "$bin" --settings "$work/none.dat" ${option_sets[$i]} -o "$work/$side/$i" "$work"/in/*.jww >/dev/null 2>&1 || true
  done
  if ! diff -r "$work/old/$i" "$work/new/$i" >/dev/null; then
    echo "sheets differ with options: ${option_sets[$i]:-(none)}"
    diff -rq "$work/old/$i" "$work/new/$i" | head -n 20
    exit 1
  fi
  compared=$((compared + $(find "$work/new/$i" -type f | wc -l)))
done
echo "identical: $compared sheets from $(ls "$work/in" | wc -l) drawings under ${#option_sets[@]} option sets"
