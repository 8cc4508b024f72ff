#!/usr/bin/env bash
# The Windows tests under Wine: the in-process window tests, then kelvane.exe end to end.
# Usage: wine_tests.sh BUILD_DIR LINUX_KELVANE   (inside an X display, e.g. under xvfb-run)
set -uo pipefail

build=$(cd "$1" && pwd)
linux_kelvane=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
exe="$build/kelvane.exe"
tests_exe="$build/tests/win32/kelvane_win32_tests.exe"
stub_exe="$build/tests/win32/print_stub.exe"
rows_exe="$build/tests/win32/list_rows.exe"
work="$build/e2e"

export WINEPREFIX="$build/wineprefix" WINEARCH=win64 WINEDEBUG=-all
# No Mono or Gecko installer dialogs: nothing here needs them.
export WINEDLLOVERRIDES="mscoree,mshtml="
# Unix paths and parameters are UTF-8; the program's own code page (932) is independent of it.
export LANG=C.UTF-8 LC_ALL=C.UTF-8

passed=0
failed=0
pass() { passed=$((passed + 1)); echo "PASS $1"; }
fail() { failed=$((failed + 1)); echo "FAIL $1: $2"; }

# Every Wine call is bounded in time.
w() { timeout "${WINE_TIMEOUT:-120}" wine "$@"; }

finish() {
  timeout 20 wineserver -w >/dev/null 2>&1 || timeout 20 wineserver -k >/dev/null 2>&1
}
trap finish EXIT

# A server left from an earlier run may hold a display that is gone.
timeout 20 wineserver -k >/dev/null 2>&1 || true

echo "-- starting Wine in $WINEPREFIX"
if ! WINE_TIMEOUT=300 w wineboot --init >/dev/null 2>&1 || ! [ "$(w cmd /c echo ready 2>/dev/null | tr -d '\r')" = ready ]; then
  echo "SKIPPED: Wine cannot start here (wineboot or cmd failed); the Windows tests did not run"
  exit 0
fi

# The "ＭＳ" families are drawn with the IPA fonts, and Wine draws the window frames itself (no window manager).
# The other Jw_cad families as the Linux command line maps them, so that PDFs of both agree.
for pair in 'ＭＳ ゴシック=IPAGothic' 'ＭＳ Ｐゴシック=IPAPGothic' 'ＭＳ 明朝=IPAMincho' 'ＭＳ Ｐ明朝=IPAPMincho'; do
  w reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes' /v "${pair%%=*}" /t REG_SZ \
    /d "${pair#*=}" /f >/dev/null
done
for face in Tahoma 'MS Shell Dlg' 'MS Shell Dlg 2' 'Microsoft Sans Serif'; do
  w reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' /v "$face" /t REG_MULTI_SZ \
    /d 'ipag.ttf,IPAGothic' /f >/dev/null
done
w reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null
# The frame's buttons are Marlett symbols; Debian's Wine does not look for its own fonts itself.
cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null
w reg delete 'HKCR\Jwwin.Document' /f >/dev/null 2>&1

echo "-- in-process window tests"
log="$build/kelvane_win32_tests.log"
WINE_TIMEOUT=600 w "$tests_exe" --gtest_color=no >"$log" 2>&1
status=$?
grep -E '^\[ +(RUN|OK|FAILED|PASSED|SKIPPED) +\]|Failure|Expected|Which is|Value of|Actual' "$log" | grep -v '^\[ RUN'
gtest_passed=$(sed -n 's/^\[  PASSED  \] \([0-9]*\) test.*/\1/p' "$log" | tail -1)
gtest_failed=$(sed -n 's/^\[  FAILED  \] \([0-9]*\) test.*/\1/p' "$log" | tail -1)
passed=$((passed + ${gtest_passed:-0}))
failed=$((failed + ${gtest_failed:-0}))
if [ "$status" -ne 0 ] && [ "${gtest_failed:-0}" -eq 0 ]; then
  fail kelvane_win32_tests "exit status $status (see $log)"
fi

echo "-- hostile drawings in the preview, each in its own process"
memory_exe="$build/tests/win32/kelvane_preview_memory_tests.exe"
names=$(w "$memory_exe" --gtest_list_tests 2>/dev/null | tr -d '\r' | sed -n 's/^  \([A-Za-z]*\).*/\1/p')
[ -n "$names" ] || fail PreviewMemory "no tests listed by $memory_exe"
for name in $names; do
  out=$(WINE_TIMEOUT=180 w "$memory_exe" --gtest_filter="PreviewMemory.$name" --gtest_color=no 2>&1)
  if [ $? -eq 0 ] && grep -q '^\[  PASSED  \] 1 test' <<<"$out"; then
    pass "PreviewMemory.$name"
  else
    fail "PreviewMemory.$name" "$(grep -E 'Failure|Expected|Which is|Value of|peak' <<<"$out" | head -5 | tr '\n' ' ')"
  fi
done

# ---- end to end: kelvane.exe under Wine beside the Linux command line
rm -rf "$work"
mkdir -p "$work"
"$linux_kelvane" --make-example "$work/source" >/dev/null || fail make-example "the Linux kelvane could not write the example"
example="$work/source/example.jww"

winpath() { local p=${1//\//\\}; printf 'Z:%s' "$p"; }

# The settings file of the end-to-end runs (CR LF): each drawing's own folder, pattern 3, leading
# zeros, start 1, [F-F] frame with margin 5, compaction, numbering column by column.
settings() {  # settings FILE PRINT
  printf '%s\r\n' 192 107 0 0 1 0 '' _ 3 1 1 "$2" 1 1 5 0 1 >"$1"
}

# A folder with kelvane.exe and its settings file.
install_exe() {  # install_exe FOLDER PRINT
  mkdir -p "$1"
  cp "$exe" "$1/kelvane.exe"
  settings "$1/kelvane.dat" "$2"
}

# The sheets written into a folder: every .jww but the given sources.
sheets() {  # sheets FOLDER SOURCE...
  local folder=$1
  shift
  (cd "$folder" && ls -1 -- *.jww 2>/dev/null | sort | while IFS= read -r f; do
    skip=0
    for s in "$@"; do [ "$f" = "$s" ] && skip=1; done
    [ $skip = 0 ] && printf '%s\n' "$f"
  done)
}

# Same sheet names and the same bytes in both folders.
same_sheets() {  # same_sheets NAME WINFOLDER LINUXFOLDER SOURCE...
  local name=$1 wf=$2 lf=$3
  shift 3
  local ws ls
  ws=$(sheets "$wf" "$@")
  ls=$(sheets "$lf" "$@")
  if [ -z "$ws" ]; then
    fail "$name" "kelvane.exe wrote no sheet in $wf"
    return
  fi
  if [ "$ws" != "$ls" ]; then
    fail "$name" "sheet names differ: Windows [$(echo $ws)] Linux [$(echo $ls)]"
    return
  fi
  while IFS= read -r f; do
    if ! cmp -s "$wf/$f" "$lf/$f"; then
      fail "$name" "$f differs between Windows and Linux"
      return
    fi
  done <<<"$ws"
  pass "$name ($(echo "$ws" | wc -l) sheets byte-identical)"
}

run_linux() {  # run_linux SETTINGS FILE...  (the Linux command line as the program started with paths)
  local dat=$1
  shift
  cp "$dat" "$work/linux.dat"
  "$linux_kelvane" --settings "$work/linux.dat" "$@" >/dev/null 2>&1 || true
}

echo "-- end to end"

# 1. Two drawing paths: both convert, the window closes, the settings are written.
t="$work/two"
install_exe "$t/bin" 0
mkdir -p "$t/data" "$t/linux"
for d in "$t/data" "$t/linux"; do cp "$example" "$d/a.jww"; cp "$example" "$d/b.jww"; done
w "$t/bin/kelvane.exe" "$(winpath "$t/data/a.jww")" "$(winpath "$t/data/b.jww")"
status=$?
if [ $status -ne 0 ]; then
  fail two-paths "kelvane.exe ended with status $status"
else
  na=$(sheets "$t/data" a.jww b.jww | grep -c '_a_\|_a\.jww' || true)
  nb=$(sheets "$t/data" a.jww b.jww | grep -c '_b_\|_b\.jww' || true)
  if [ "$na" -gt 0 ] && [ "$na" = "$nb" ]; then pass "two-paths converts both ($na sheets each) and exits"
  else fail two-paths "sheets of a: $na, of b: $nb"; fi
  if [ "$(tr -cd '\n' <"$t/bin/kelvane.dat" | wc -c)" = 17 ] && cmp -s "$t/bin/kelvane.dat" <(settings /dev/stdout 0); then
    pass "two-paths writes the 17-line settings file at closing"
  else
    fail two-paths "settings file after closing: $(od -c "$t/bin/kelvane.dat" | head -3)"
  fi
fi
run_linux "$t/bin/kelvane.dat" "$t/linux/a.jww" "$t/linux/b.jww"
same_sheets two-paths-identical "$t/data" "$t/linux" a.jww b.jww

# 2. "/G": the drawing named in JWC_TEMP.TXT (Shift_JIS) beside the program, in a Japanese folder.
t="$work/handover"
install_exe "$t/bin" 0
mkdir -p "$t/図面" "$t/linux"
cp "$example" "$t/図面/plan.jww"
cp "$example" "$t/linux/plan.jww"
{ printf '[JW_CAD]\r\n'; printf 'file=%s\r\n' "$(winpath "$t/図面/plan.jww")" | iconv -f UTF-8 -t CP932; } >"$t/bin/JWC_TEMP.TXT"
w "$t/bin/kelvane.exe" /G
status=$?
if [ $status -ne 0 ]; then fail handover "kelvane.exe /G ended with status $status"
elif [ -n "$(sheets "$t/図面" plan.jww)" ]; then pass "handover converts the drawing named in JWC_TEMP.TXT"
else fail handover "no sheet in $t/図面"; fi
run_linux "$t/bin/kelvane.dat" "$t/linux/plan.jww"
same_sheets handover-identical "$t/図面" "$t/linux" plan.jww

# 3. A path outside code page 932 (Korean) keeps every character.
t="$work/unicode"
install_exe "$t/bin" 0
mkdir -p "$t/한국" "$t/linux"
cp "$example" "$t/한국/도면.jww"
cp "$example" "$t/linux/도면.jww"
w "$t/bin/kelvane.exe" "$(winpath "$t/한국/도면.jww")"
run_linux "$t/bin/kelvane.dat" "$t/linux/도면.jww"
written=$(sheets "$t/한국" 도면.jww)
if [[ "$written" == *_도면* ]]; then pass "unicode-path sheets keep the Korean name"
else fail unicode-path "no sheet named with 도면 in $t/한국: [$(echo $written)]"; fi
same_sheets unicode-path-identical "$t/한국" "$t/linux" 도면.jww

# 4. Printing: the registry's open command points at the stub, started once per saved sheet.
t="$work/print"
install_exe "$t/bin" 1
mkdir -p "$t/data" "$WINEPREFIX/drive_c/kelvane-stub"
cp "$stub_exe" "$WINEPREFIX/drive_c/kelvane-stub/print_stub.exe"
rm -f "$WINEPREFIX/drive_c/kelvane-stub/print_stub.log"
cp "$example" "$t/data/print.jww"
w reg add 'HKCR\Jwwin.Document\shell\open\command' /ve /t REG_SZ /d 'C:\kelvane-stub\print_stub.exe "%1"' /f >/dev/null
w "$t/bin/kelvane.exe" "$(winpath "$t/data/print.jww")"
status=$?
expected=$(sheets "$t/data" print.jww | while IFS= read -r f; do printf '/p "%s"\n' "$(winpath "$t/data/$f")"; done | sort)
want=$(printf '%s\n' "$expected" | grep -c . || true)
stub_log="$WINEPREFIX/drive_c/kelvane-stub/print_stub.log"
for _ in $(seq 1 120); do  # the program does not wait for Jw_cad: wait here, at most a minute
  [ -f "$stub_log" ] && [ "$(grep -c . "$stub_log")" -ge "$want" ] && break
  sleep 0.5
done
sleep 1
got=$( [ -f "$stub_log" ] && sort "$stub_log")
if [ $status -ne 0 ]; then fail print "kelvane.exe ended with status $status"
elif [ "$want" -eq 0 ]; then fail print "no sheet was written"
elif [ "$got" = "$expected" ]; then pass "print starts the registered program once per saved sheet ($want) with /p and the quoted path"
else fail print "stub calls differ: expected [$expected] got [$got]"; fi
w reg delete 'HKCR\Jwwin.Document' /f >/dev/null 2>&1

# 5. Names compared without case: the sheet "1F平面図" of a drawing "1f平面図.jww" split with
# pattern 5 into its own folder would be that very file; the drawing stays byte for byte.
t="$work/case"
mkdir -p "$t/bin" "$t/data"
cp "$exe" "$t/bin/kelvane.exe"
printf '%s\r\n' 192 107 0 0 1 0 '' _ 5 0 0 0 0 0 0 0 0 >"$t/bin/kelvane.dat"
cp "$example" "$t/data/1f平面図.jww"
w "$t/bin/kelvane.exe" "$(winpath "$t/data/1f平面図.jww")"
if ! cmp -s "$example" "$t/data/1f平面図.jww"; then fail case-protection "the input was replaced by its own sheet"
elif [ -z "$(sheets "$t/data" 1f平面図.jww)" ]; then fail case-protection "no other sheet was written"
else pass "case-protection: a sheet differing from the input only in case is skipped, the input unchanged"; fi

# 6. Started without parameters: the window stays open, a person can look at it, Escape closes it.
t="$work/window"
install_exe "$t/bin" 0
rm -f "$t/bin/kelvane.dat"
w "$t/bin/kelvane.exe" &
pid=$!
id=""
for _ in $(seq 1 60); do
  id=$(xdotool search --name "^Kelvane　Ver\.1\.7$" 2>/dev/null | head -1)
  [ -n "$id" ] && break
  sleep 0.5
done
if [ -z "$id" ]; then
  fail window "the window did not appear"
else
  sleep 1
  import -window "$id" "$build/kelvane-window.png" 2>/dev/null && echo "screenshot: $build/kelvane-window.png"
  kill -0 $pid 2>/dev/null && pass "window stays open without parameters" || fail window "the program ended by itself"
  xdotool windowfocus --sync "$id" 2>/dev/null
  xdotool key --clearmodifiers Escape
  for _ in $(seq 1 40); do kill -0 $pid 2>/dev/null || break; sleep 0.5; done
  if kill -0 $pid 2>/dev/null; then fail window "Escape did not close the window"
  elif [ -f "$t/bin/kelvane.dat" ]; then pass "Escape closes the window and the settings are written"
  else fail window "no settings file after closing"; fi
fi
kill $pid 2>/dev/null
wait $pid 2>/dev/null

# 7. "/preview DRAWING": the preview lists the sheets the dry run plans for the same settings, and
# nothing is written beside the drawing.
t="$work/preview"
install_exe "$t/bin" 0
mkdir -p "$t/data"
cp "$example" "$t/data/plan.jww"
preview_caption="Kelvane - 分割プレビュー"
# Number, name, paper, file name (of a sheet to be written) and what happens, tab-separated.
paper_name='function paper(c) { if (c >= 0 && c <= 4) return "A" c; split("2A 3A 4A 5A 10m 50m 100m", n, " ");
  return (c >= 8 && c <= 14) ? n[c - 7] : c }'
dry_rows() {
  sed -n -E 's/^frame [0-9]+ sheet [0-9]+: number ([^,]*), rect .*, paper (-?[0-9]+), name "(.*)", layers .*, file (.*)$/\1\t\3\t\2\t\4/p' |
    awk -F'\t' -v OFS='\t' "$paper_name"'
      { act = "write"; f = $4; sub(/.*\//, "", f)
        if ($4 == "(empty: not written)") { act = "empty"; f = "" } else if ($4 ~ /^\(not written/) { act = "not written"; f = "" }
        print $1, $2, paper($3), f, act }'
}
window_rows() {
  awk -F'\t' -v OFS='\t' '{ act = $5
      if (act ~ /^書き出す/) act = "write"; else if (act ~ /^空の用紙枠/) act = "empty"; else if (act ~ /書き出さない$/) act = "not written"
      f = act == "write" ? $4 : ""
      print $1, $2, $3, f, act }'
}
w "$t/bin/kelvane.exe" /preview "$(winpath "$t/data/plan.jww")" &
pid=$!
got=$(w "$rows_exe" "$preview_caption" 202 2>&1 | tr -d '\r' | window_rows)
want=$("$linux_kelvane" --settings "$t/bin/kelvane.dat" --dry-run "$t/data/plan.jww" 2>/dev/null | dry_rows)
if [ -z "$want" ]; then fail preview-rows "the Linux dry run planned no sheet"
elif [ "$got" = "$want" ]; then pass "preview lists the dry run's $(echo "$want" | wc -l) sheets (number, name, paper, file, decision)"
else fail preview-rows "rows differ from the dry run:"$'\n'"window:"$'\n'"$got"$'\n'"dry run:"$'\n'"$want"; fi
id=$(xdotool search --name "^$preview_caption\$" 2>/dev/null | head -1)
if [ -n "$id" ]; then
  sleep 1
  import -window "$id" "$build/kelvane-preview.png" 2>/dev/null && echo "screenshot: $build/kelvane-preview.png"
fi
if [ -z "$(sheets "$t/data" plan.jww)" ] && [ "$(ls -A "$t/data" | wc -l)" = 1 ]; then pass "preview writes nothing beside the drawing"
else fail preview-writes "files beside the drawing: $(ls "$t/data" | tr '\n' ' ')"; fi
main=$(xdotool search --name "^Kelvane　Ver\.1\.7$" 2>/dev/null | head -1)
[ -n "$main" ] && xdotool windowfocus --sync "$main" 2>/dev/null && xdotool key --clearmodifiers Escape
for _ in $(seq 1 40); do kill -0 $pid 2>/dev/null || break; sleep 0.5; done
kill $pid 2>/dev/null
wait $pid 2>/dev/null

# 8. "PDFも保存" on (kelvane.ini beside kelvane.dat): a PDF beside every sheet, on the frame's
# paper and orientation, every text whole, fonts embedded, the file sound; the settings file as
# it is with the option off. The PDFs are checked here on the Linux side.
repo=$(cd "$(dirname "$0")/../.." && pwd)
agreement="$repo/tests/pdf_agreement.py"
t="$work/pdf"
install_exe "$t/bin" 0
printf 'pdf=1\r\n' >"$t/bin/kelvane.ini"
mkdir -p "$t/data" "$t/linux"
cp "$example" "$t/data/plan.jww"
cp "$example" "$t/linux/plan.jww"
w "$t/bin/kelvane.exe" "$(winpath "$t/data/plan.jww")"
run_linux "$t/bin/kelvane.dat" --pdf "$t/linux/plan.jww"
# Each written sheet's orientation from the dry run's frame rectangle: portrait or landscape.
orientations=$("$linux_kelvane" --settings "$t/bin/kelvane.dat" --dry-run "$t/linux/plan.jww" 2>/dev/null |
  sed -n -E 's/^.*rect \((-?[0-9.]+), (-?[0-9.]+)\)-\((-?[0-9.]+), (-?[0-9.]+)\).*, file (.*)$/\1 \2 \3 \4\t\5/p' |
  awk -F'\t' '$2 !~ /^\(/ { split($1, r, " "); f = $2; sub(/.*\//, "", f); sub(/\.jww$/, ".pdf", f)
    print f "\t" ((r[4] - r[2] > r[3] - r[1]) ? "portrait" : "landscape") }')
pdf_problems=""
count=0
while IFS=$'\t' read -r pdf orientation; do
  [ -n "$pdf" ] || continue
  count=$((count + 1))
  f="$t/data/$pdf"
  if [ ! -s "$f" ]; then pdf_problems+=" $pdf: missing;"; continue; fi
  qpdf --check "$f" >/dev/null 2>&1 || pdf_problems+=" $pdf: qpdf --check fails;"
  read -r pw ph < <(pdfinfo "$f" 2>/dev/null | sed -n -E 's/^Page size: +([0-9.]+) x ([0-9.]+) pts.*/\1 \2/p')
  got=$(awk -v w="${pw:-0}" -v h="${ph:-0}" 'BEGIN { print (h > w) ? "portrait" : "landscape" }')
  [ "$got" = "$orientation" ] || pdf_problems+=" $pdf: $got page for a $orientation frame;"
  pdffonts "$f" 2>/dev/null | tail -n +3 | awk '$(NF-4) != "yes" { bad = 1 } END { exit bad }' ||
    pdf_problems+=" $pdf: a font not embedded;"
  # Who made it and what it is, as the Linux PDF says it; the drawing's layers as the Linux PDF has them.
  info=$(pdfinfo "$f" 2>/dev/null)
  grep -q "^Title: *${pdf%.pdf}" <<<"$info" && grep -q '^Creator: *Kelvane ' <<<"$info" &&
    grep -q '^Producer: *Kelvane ' <<<"$info" && grep -q '^CreationDate: ' <<<"$info" ||
    pdf_problems+=" $pdf: no title, creator, producer or date;"
  ocgs() { qpdf --qdf --object-streams=disable "$1" - 2>/dev/null | grep -a -o '/Name <[0-9a-fA-F]*>\|/Name ([^)]*)' | sort; }
  [ "$(ocgs "$f")" = "$(ocgs "$t/linux/$pdf")" ] || pdf_problems+=" $pdf: layers differ from the Linux PDF's;"
  # Every text of two characters or more, whole, as the Linux PDF of the same sheet has it.
  while IFS= read -r word; do
    [ "${#word}" -ge 2 ] || continue
    pdftotext "$f" - 2>/dev/null | grep -qF -- "$word" || pdf_problems+=" $pdf: no text \"$word\";"
  done < <(pdftotext "$t/linux/$pdf" - 2>/dev/null | tr -s ' \f' '\n\n')
done <<<"$orientations"
if [ "$count" -eq 0 ]; then fail pdf-beside-sheets "the dry run planned no written sheet"
elif [ -z "$pdf_problems" ]; then pass "pdf-beside-sheets: $count PDFs on their frames' paper, texts whole, fonts embedded, titled, layered, qpdf-clean"
else fail pdf-beside-sheets "$pdf_problems"; fi
if cmp -s "$t/bin/kelvane.dat" <(settings /dev/stdout 0) && [ "$(cat "$t/bin/kelvane.ini")" = $'pdf=1\r' ]; then
  pass "pdf-settings: kelvane.dat byte-identical with PDFs on, the choice kept in kelvane.ini"
else
  fail pdf-settings "kelvane.dat or kelvane.ini changed: $(od -c "$t/bin/kelvane.ini" | head -2)"
fi

# 9. "/pdf" with "/G": PDFs for this run, not remembered.
t="$work/pdf-switch"
install_exe "$t/bin" 0
mkdir -p "$t/data"
cp "$example" "$t/data/plan.jww"
{ printf '[JW_CAD]\r\n'; printf 'file=%s\r\n' "$(winpath "$t/data/plan.jww")"; } >"$t/bin/JWC_TEMP.TXT"
w "$t/bin/kelvane.exe" /G /pdf
n_jww=$(sheets "$t/data" plan.jww | grep -c . || true)
n_pdf=$(ls "$t/data" | grep -c '\.pdf$' || true)
if [ "$n_jww" -gt 0 ] && [ "$n_jww" = "$n_pdf" ] && [ ! -e "$t/bin/kelvane.ini" ] && cmp -s "$t/bin/kelvane.dat" <(settings /dev/stdout 0); then
  pass "pdf-switch: /G /pdf writes $n_pdf PDFs and remembers nothing"
else
  fail pdf-switch "sheets $n_jww, PDFs $n_pdf, kelvane.ini $( [ -e "$t/bin/kelvane.ini" ] && echo written || echo absent)"
fi

# 9b. "/dxf" with "/G": a DXF beside every sheet for this run, not remembered, each one read by
# ezdxf without an audit error; the example's embedded logo beside the DXFs that place it, as a
# PNG file each IMAGEDEF names.
t="$work/dxf-switch"
install_exe "$t/bin" 0
mkdir -p "$t/data"
cp "$example" "$t/data/plan.jww"
{ printf '[JW_CAD]\r\n'; printf 'file=%s\r\n' "$(winpath "$t/data/plan.jww")"; } >"$t/bin/JWC_TEMP.TXT"
w "$t/bin/kelvane.exe" /G /dxf
n_jww=$(sheets "$t/data" plan.jww | grep -c . || true)
n_dxf=$(ls "$t/data" | grep -c '\.dxf$' || true)
audit=$(/usr/bin/python3 -c '
import os, sys, ezdxf
bad, pngs = [], 0
for f in sys.argv[1:]:
    doc = ezdxf.readfile(f)
    if doc.audit().has_errors: bad.append(f)
    for d in doc.objects.query("IMAGEDEF"):
        p = os.path.join(os.path.dirname(f), d.dxf.filename)
        if p.endswith(".png") and os.path.isfile(p) and open(p, "rb").read(8) == b"\x89PNG\r\n\x1a\n": pngs += 1
        else: bad.append(p)
if pngs == 0: bad.append("no PNG image beside any DXF")
print(" ".join(bad))' "$t"/data/*.dxf 2>&1 || echo "ezdxf failed")
n_png=$(ls "$t/data" | grep -c '\.png$' || true)
if [ "$n_jww" -gt 0 ] && [ "$n_jww" = "$n_dxf" ] && [ -z "$audit" ] && [ ! -e "$t/bin/kelvane.ini" ]; then
  pass "dxf-switch: /G /dxf writes $n_dxf DXF files and $n_png PNG images, ezdxf audits them clean, nothing remembered"
else
  fail dxf-switch "sheets $n_jww, DXF $n_dxf, audit: $audit, kelvane.ini $( [ -e "$t/bin/kelvane.ini" ] && echo written || echo absent)"
fi

# 9c. "/pdfset" with "/G": beside the sheets, one PDF of them all for this run, not remembered: a
# page per sheet, each the size of the sheet's Linux PDF, one bookmark per page.
t="$work/pdf-set"
install_exe "$t/bin" 0
mkdir -p "$t/data" "$t/linux"
cp "$example" "$t/data/plan.jww"
cp "$example" "$t/linux/plan.jww"
{ printf '[JW_CAD]\r\n'; printf 'file=%s\r\n' "$(winpath "$t/data/plan.jww")"; } >"$t/bin/JWC_TEMP.TXT"
w "$t/bin/kelvane.exe" /G /pdfset
run_linux "$t/bin/kelvane.dat" --pdf "$t/linux/plan.jww"
set_problems=""
n_jww=$(sheets "$t/data" plan.jww | grep -c . || true)
sizes=$(pdfinfo -f 1 -l 999 "$t/data/plan.pdf" 2>/dev/null | sed -n -E 's/^Page +[0-9]+ size: +([0-9.]+ x [0-9.]+) pts.*/\1/p')
expected=$(for f in $(sheets "$t/data" plan.jww | sed 's/\.jww$/.pdf/'); do
  pdfinfo "$t/linux/$f" 2>/dev/null | sed -n -E 's/^Page size: +([0-9.]+ x [0-9.]+) pts.*/\1/p'; done)
[ "$n_jww" -gt 0 ] || set_problems+=" no sheet written;"
[ "$sizes" = "$expected" ] || set_problems+=" page sizes $(echo $sizes) for $(echo $expected);"
bookmarks=$(qpdf --json=2 --json-key=outlines "$t/data/plan.pdf" 2>/dev/null | grep -c '"title"' || true)
[ "$bookmarks" = "$n_jww" ] || set_problems+=" $bookmarks bookmarks for $n_jww sheets;"
[ ! -e "$t/bin/kelvane.ini" ] || set_problems+=" kelvane.ini written;"
if [ -z "$set_problems" ]; then pass "pdf-set: /G /pdfset writes one PDF of $n_jww pages on the sheets' paper, bookmarked"
else fail pdf-set "$set_problems"; fi

# 10. The Windows and Linux PDFs agree within 0.1 mm: those of the example's sheets, and of every
# corpus drawing on its own paper (corpus drawings hold no paper frames), drawn by the program's
# PDF path (drawing_pdf.exe) and by `kelvane --render`.
t="$work/pdf-agree"
install_exe "$t/bin" 0
printf 'pdf=1\r\n' >"$t/bin/kelvane.ini"
mkdir -p "$t/data" "$t/linux"
cp "$example" "$t/data/example.jww"
cp "$example" "$t/linux/example.jww"
w "$t/bin/kelvane.exe" "$(winpath "$t/data/example.jww")"
# The Linux side with the fonts the Windows side draws from: the Windows font source embeds
# TrueType faces only, so a character only Noto CJK (CFF) holds (𠮷) is a box there.
cat >"$t/fonts.conf" <<'CONF'
<?xml version="1.0"?>
<!DOCTYPE fontconfig SYSTEM "fonts.dtd">
<fontconfig>
  <include ignore_missing="yes">/etc/fonts/fonts.conf</include>
  <selectfont><rejectfont><glob>/usr/share/fonts/opentype/noto/*</glob></rejectfont></selectfont>
</fontconfig>
CONF
export FONTCONFIG_FILE="$t/fonts.conf"
run_linux "$t/bin/kelvane.dat" --pdf "$t/linux/example.jww"
corpus="${KELVANE_CORPUS:-$repo/../shared/corpus}"
if [ -d "$corpus" ]; then
  i=0
  for d in "$corpus"/*.jww; do
    i=$((i + 1))
    cp "$d" "$t/data/corpus$i.jww"
    w "$build/tests/win32/drawing_pdf.exe" "$(winpath "$t/data/corpus$i.jww")" "$(winpath "$t/data/corpus$i.pdf")" >/dev/null 2>&1
    "$linux_kelvane" --render "$d" "$t/linux/corpus$i.pdf" >/dev/null 2>&1
  done
else
  echo "(no corpus at $corpus: the example alone)"
fi
unset FONTCONFIG_FILE
agreed=0
disagreements=""
for f in "$t/linux"/*.pdf; do
  name=$(basename "$f")
  if [ ! -f "$t/data/$name" ]; then disagreements+=$'\n'"$name: no Windows PDF"; continue; fi
  if out=$(/usr/bin/python3 "$agreement" "$f" "$t/data/$name" 2>&1); then agreed=$((agreed + 1))
  else disagreements+=$'\n'"$name: $out"; fi
done
extra=$(comm -13 <(ls "$t/linux" | grep '\.pdf$' | sort) <(ls "$t/data" | grep '\.pdf$' | sort))
[ -n "$extra" ] && disagreements+=$'\n'"only on Windows: $(echo $extra)"
if [ "$agreed" -gt 0 ] && [ -z "$disagreements" ]; then
  pass "pdf-agreement: $agreed Linux and Windows PDFs agree (page, words, stroke points within 0.1 mm)"
else
  fail pdf-agreement "$agreed agree;$disagreements"
fi

# 11. A Windows without the drawing's fonts (no "ＭＳ" names): its PDFs draw the Japanese text in
# an installed Japanese face and a symbol in a face that has it, not as boxes. Last, as it
# changes the prefix's font names.
t="$work/pdf-no-fonts"
mkdir -p "$t"
sheet=""
for f in "$work/pdf-agree/linux"/*.pdf; do
  pdftotext "$f" - 2>/dev/null | grep -q '野家' && sheet="${f%.pdf}.jww" && break
done
for face in 'ＭＳ ゴシック' 'ＭＳ Ｐゴシック' 'ＭＳ 明朝' 'ＭＳ Ｐ明朝'; do
  w reg delete 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes' /v "$face" /f >/dev/null 2>&1
done
timeout 20 wineserver -k >/dev/null 2>&1
if [ -f "$sheet" ]; then
  cp "$sheet" "$t/sheet.jww"
  w "$build/tests/win32/drawing_pdf.exe" "$(winpath "$t/sheet.jww")" "$(winpath "$t/sheet.pdf")" >/dev/null 2>&1
  fonts=$(pdffonts "$t/sheet.pdf" 2>/dev/null | tail -n +3 | awk '{ sub(/^[A-Z]+\+/, "", $1); print $1 }' | sort -u | tr '\n' ' ')
  if [[ "$fonts" == *IPA* && "$fonts" == *DejaVu* ]]; then pass "pdf-no-fonts: kanji and symbol drawn from $fonts"
  else fail pdf-no-fonts "faces embedded: ${fonts:-none}"; fi
else
  fail pdf-no-fonts "no sheet of the example holds 野家"
fi

echo "windows: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
