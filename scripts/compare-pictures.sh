#!/usr/bin/env bash
# Draws the example drawing and every corpus drawing with two builds of kelvane (--render in
# PNG, SVG and PDF, black and in colour; --plan; sheets with their pictures, DXFs of both
# versions and units, PDF sets; whole drawings exported as DXF) and compares every
# file byte for byte: a change that should not alter a picture proves it did not.
# Usage: scripts/compare-pictures.sh OLD_KELVANE NEW_KELVANE [CORPUS_FOLDER]
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
printf '' > "$work/none.dat"

for side in old new; do
  bin=$old
  [ "$side" = new ] && bin=$new
  out="$work/$side"
  mkdir -p "$out/render" "$out/plan" "$out/sheets"
  for f in "$work"/in/*.jww; do
    b=$(basename "$f" .jww)
    for ext in png svg pdf; do
      "$bin" --render "$f" "$out/render/$b.$ext" --dpi 50 >/dev/null 2>&1 || echo "failed" > "$out/render/$b.$ext.failed"
      "$bin" --render "$f" "$out/render/$b.color.$ext" --color --dpi 50 >/dev/null 2>&1 || true
      "$bin" --settings "$work/none.dat" --plan "$out/plan/$b.$ext" "$f" >/dev/null 2>&1 || true
    done
  done
  "$bin" --settings "$work/none.dat" --png --svg --pdf --dpi 40 -o "$out/sheets" "$work"/in/*.jww >/dev/null 2>&1 || true
  mkdir -p "$out/dxf2000" "$out/dxf2007" "$out/export"
  "$bin" --settings "$work/none.dat" --dxf --pdf-set-plan -o "$out/dxf2000" "$work"/in/*.jww >/dev/null 2>&1 || true
  "$bin" --settings "$work/none.dat" --dxf --dxf-version 2007 --dxf-units paper --pdf-set --no-pdf-layers \
    -o "$out/dxf2007" "$work"/in/*.jww >/dev/null 2>&1 || true
  for f in "$work"/in/*.jww; do
    "$bin" --export "$f" "$out/export/$(basename "$f" .jww).dxf" >/dev/null 2>&1 || true
  done
done

# A PDF holds the time it was made; nothing else may differ.
find "$work/old" "$work/new" -name '*.pdf' -exec sed -i -E 's#/(CreationDate|ModDate) ?\(D:[0-9Z+\x27-]*\)#/\1 ()#g' {} +
if ! diff -r "$work/old" "$work/new" >/dev/null; then
  echo "pictures differ:"
  diff -rq "$work/old" "$work/new" | head -n 20
  exit 1
fi
echo "identical: $(find "$work/new" -type f | wc -l) files from $(ls "$work/in" | wc -l) drawings"
