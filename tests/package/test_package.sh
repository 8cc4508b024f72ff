#!/usr/bin/env bash
# The packages as a user gets them: makes them with scripts/package.sh, installs the Debian
# package, runs the installed program (version, the example split, the manual page), removes it
# and finds nothing left behind, has lintian check it, and checks the Windows ZIP's files and,
# under Wine, the version and about box of the kelvane.exe inside it. The machine is left as it
# was found: the package is removed again whatever happens, and nothing else is installed.
# Usage: tests/package/test_package.sh [VERSION_PROBE.exe]   (the probe from a Windows test build)
set -uo pipefail
cd "$(dirname "$0")/../.."

probe=${1:-build-win/tests/win32/version_probe.exe}
passed=0
failed=0
pass() { passed=$((passed + 1)); echo "PASS $1"; }
fail() { failed=$((failed + 1)); echo "FAIL $1: $2"; }
sudo=()
[ "$(id -u)" = 0 ] || sudo=(sudo)

if dpkg -s kelvane >/dev/null 2>&1 || [ -e /usr/bin/kelvane ]; then
  echo "SKIPPED: kelvane is installed on this machine already; the package test would disturb it"
  exit 0
fi
scripts/install-missing.sh package-test

scripts/package.sh || { echo "FAIL package.sh"; exit 1; }
deb=$(ls dist/kelvane_*_amd64.deb)
zip=$(ls dist/kelvane-*-windows-x64.zip)
version=$(dpkg-deb -f "$deb" Version)
work=$(mktemp -d)
installed=0
ours=0  # this run installed the package: whatever dpkg still knows of it goes at the end
cleanup() {
  [ $ours = 1 ] && dpkg -s kelvane >/dev/null 2>&1 && "${sudo[@]}" dpkg --purge kelvane >/dev/null 2>&1
  rm -rf "$work"
}
trap cleanup EXIT

echo "-- the Debian package $deb"
lintian --fail-on error "$deb" >"$work/lintian.log" 2>&1
status=$?
grep -E '^[EW]: ' "$work/lintian.log"
if [ $status -eq 0 ]; then pass "lintian reports no error ($(grep -c '^W: ' "$work/lintian.log") warnings)"
else fail lintian "$(grep '^E: ' "$work/lintian.log" | head -5)"; fi
if dpkg-deb -f "$deb" Depends | grep -q 'libcairo2' && dpkg-deb -f "$deb" Depends | grep -q 'libpango-1.0-0'; then
  pass "the package depends on the libraries the program links ($(dpkg-deb -f "$deb" Depends | tr ',' '\n' | wc -l))"
else fail depends "Depends: $(dpkg-deb -f "$deb" Depends)"; fi
if dpkg-deb -f "$deb" Recommends | grep -q 'fonts-ipafont-gothic' && dpkg-deb -f "$deb" Recommends | grep -q 'fonts-noto-cjk'; then
  pass "the package recommends the Japanese fonts it is tested with"
else fail recommends "Recommends: $(dpkg-deb -f "$deb" Recommends)"; fi

ours=1
"${sudo[@]}" dpkg -i "$deb" >"$work/dpkg.log" 2>&1 && installed=1
if [ $installed = 1 ]; then pass "dpkg -i installs the package"
else fail install "$(cat "$work/dpkg.log")"; exit 1; fi
dpkg -L kelvane | sort >"$work/files"

first=$(/usr/bin/kelvane --version | head -1)
[ "$first" = "kelvane $version" ] && pass "the installed kelvane --version says the package's version $version" ||
  fail version "kelvane --version says [$first], the package $version"

# The example as scripts/example.sh splits it, once by the installed program and once by the
# build it came from: the same sheets, byte for byte.
options=(--pattern 3 --separator _ --frame --margin 5)
mkdir -p "$work/installed" "$work/built"
/usr/bin/kelvane --make-example "$work/example" >/dev/null
/usr/bin/kelvane --output "$work/installed" "${options[@]}" "$work/example/example.jww" >/dev/null
build-package/linux/kelvane --output "$work/built" "${options[@]}" "$work/example/example.jww" >/dev/null
sheets=$(ls "$work/installed" | wc -l)
if [ "$sheets" -gt 0 ] && diff -r "$work/installed" "$work/built" >/dev/null; then
  pass "the installed program splits the example into the same $sheets sheets as the build"
else fail example "sheets: $(ls "$work/installed" | tr '\n' ' ') differ from the build's"; fi

# Pictures come from the module installed beside the program's libraries.
/usr/bin/kelvane --render "$work/example/example.jww" "$work/example.png" 2>"$work/render.log"
if [ "$(head -c 8 "$work/example.png" 2>/dev/null | od -An -tx1 | tr -d ' ')" = 89504e470d0a1a0a ] &&
   /usr/bin/kelvane --version | grep -q '^running with cairo' && ! ldd /usr/bin/kelvane | grep -q libcairo; then
  pass "the installed program loads its picture module from $(dpkg -L kelvane | grep 'kelvane-pictures.so$') to draw"
else fail pictures "$(cat "$work/render.log"; /usr/bin/kelvane --version | sed -n 2p)"; fi

# PDF files come from the PDF module, installed beside the picture module.
mkdir -p "$work/pdf"
/usr/bin/kelvane --pdf --output "$work/pdf" "${options[@]}" "$work/example/example.jww" >/dev/null 2>"$work/pdf.log"
pdfs=$(find "$work/pdf" -name '*.pdf' | wc -l)
first_pdf=$(find "$work/pdf" -name '*.pdf' | head -1)
if [ "$pdfs" -gt 0 ] && [ "$(head -c 5 "$first_pdf")" = "%PDF-" ] && dpkg -L kelvane | grep -q 'kelvane-pdf.so$'; then
  pass "the installed program writes $pdfs PDFs with its PDF module $(dpkg -L kelvane | grep 'kelvane-pdf.so$')"
else fail pdf "$(cat "$work/pdf.log"; dpkg -L kelvane | grep '\.so$')"; fi

page=$(MANPAGER=cat MANWIDTH=100 man kelvane 2>&1)
if grep -q '^NAME' <<<"$page" && grep -q -- '--version' <<<"$page" && grep -q '【名】' <<<"$page"; then
  pass "man kelvane shows the manual page made from --help"
else fail man "$(head -5 <<<"$page")"; fi

"${sudo[@]}" dpkg -r kelvane >"$work/dpkg.log" 2>&1 && installed=0
left=()
while IFS= read -r path; do
  # Folders the system shares stay; the package's own files and folders go.
  if [ -e "$path" ] && ! { [ -d "$path" ] && [ -n "$(ls -A "$path")" ] && [[ "$path" != */kelvane ]]; }; then
    left+=("$path")
  fi
done <"$work/files"
[ -e /usr/bin/kelvane.dat ] && left+=(/usr/bin/kelvane.dat)
# Nothing of it stays known to dpkg either (no configuration files kept for a purge).
if [ $installed = 0 ] && [ ${#left[@]} = 0 ] && ! dpkg -s kelvane >/dev/null 2>&1; then
  pass "dpkg -r removes the package and leaves none of its $(wc -l <"$work/files") paths behind"
else fail remove "left behind: ${left[*]} $(cat "$work/dpkg.log")"; fi

echo "-- the Windows ZIP $zip"
top=kelvane-$version-windows-x64
want=$(printf '%s\n' "$top/LICENSE.txt" "$top/README.txt" "$top/THIRD_PARTY.txt" "$top/kelvane.exe")
got=$(unzip -Z1 "$zip" | sort)
[ "$got" = "$want" ] && pass "the ZIP holds exactly kelvane.exe, README.txt, LICENSE.txt and THIRD_PARTY.txt" ||
  fail zip-files "$(echo $got)"
unzip -q "$zip" -d "$work/zip"
readme=$(tr -d '\r' <"$work/zip/$top/README.txt")
if [ "$(head -1 <<<"$readme")" = "Kelvane $version for Windows" ] &&
   [ "$(grep -n '^\[日本語\]' <<<"$readme" | cut -d: -f1)" -lt "$(grep -n '^\[English\]' <<<"$readme" | cut -d: -f1)" ]; then
  pass "the ZIP's README names version $version, in Japanese first and then English"
else fail readme "$(head -3 <<<"$readme")"; fi

if [ ! -f "$probe" ] || ! command -v wine >/dev/null || ! command -v xvfb-run >/dev/null; then
  echo "SKIPPED: the exe's version under Wine (needs wine, xvfb-run and $probe from scripts/test-windows.sh)"
else
  bash tests/package/wine_version.sh "$work/zip/$top/kelvane.exe" "$probe" >"$work/probe.log" 2>&1
  want=$(printf '%s\n' "FileVersion=$version" "ProductVersion=$version" "ProductName=Kelvane" "icon=yes" \
    "about=Kelvane $version")
  got=$(grep -E '^(FileVersion|ProductVersion|ProductName|icon|about)=' "$work/probe.log")
  [ "$got" = "$want" ] && pass "under Wine the exe from the ZIP carries version $version, its icon and the about box" ||
    fail exe-version "$(cat "$work/probe.log")"
fi

echo "package: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
