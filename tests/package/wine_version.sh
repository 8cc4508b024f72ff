#!/usr/bin/env bash
# Starts a kelvane.exe under Wine in a virtual display and prints what version_probe.exe reads
# of it: its version resource, its icon and the first line of its about box.
# Usage: wine_version.sh KELVANE.exe VERSION_PROBE.exe
set -uo pipefail
exe=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
probe=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
export WINEPREFIX=${WINEPREFIX:-$(dirname "$probe")/../../wineprefix} WINEARCH=win64 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=" LANG=C.UTF-8 LC_ALL=C.UTF-8
winpath() { local p=${1//\//\\}; printf 'Z:%s' "$p"; }

# Everything happens inside one virtual display: this script runs itself again under xvfb-run.
if [ -z "${KELVANE_IN_XVFB:-}" ]; then
  KELVANE_IN_XVFB=1 exec xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" "$exe" "$probe"
fi
timeout 300 wineboot --init >/dev/null 2>&1
timeout 120 wine "$exe" &
pid=$!
timeout 120 wine "$probe" "$(winpath "$exe")" "Kelvane　Ver.1.7" | tr -d '\r'
kill $pid 2>/dev/null
timeout 20 wineserver -k >/dev/null 2>&1
wait $pid 2>/dev/null
rm -f "$(dirname "$exe")/kelvane.dat"
