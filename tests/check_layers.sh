#!/usr/bin/env bash
# The layering the layout promises, checked on every test run: each folder includes only from
# the folders beneath it, the portable core includes no operating-system header, and no two
# modules (a header with its source) include each other's way round.
set -euo pipefail
cd "$(dirname "$0")/.."

# Folder -> the folders its files may include from (besides its own).
allowed() {
  case $1 in
    text) echo "" ;;
    codec) echo "text" ;;
    platform) echo "text" ;;
    platform/posix | platform/web) echo "platform text" ;;
    platform/win32) echo "platform codec text" ;;
    jww) echo "platform text" ;;
    split) echo "jww platform text" ;;
    drawing) echo "split jww platform text" ;;
    render) echo "drawing split jww platform codec text" ;;
    render/cairo) echo "render drawing split jww platform codec text" ;;
    render/pdf) echo "render drawing split jww platform text" ;;
    render/gdi) echo "render drawing split jww platform platform/win32 codec text" ;;
    dxf) echo "drawing split jww platform text" ;;
    app) echo "dxf render drawing split jww platform text" ;;
    app/pictures) echo "app render render/cairo render/pdf drawing split jww platform codec text" ;;
    app/services) echo "app dxf render drawing split jww platform text" ;;
    app/services/posix) echo "app app/services app/pictures dxf render drawing split jww platform platform/posix text" ;;
    app/services/win32) echo "app app/services dxf render drawing split jww platform platform/win32 text" ;;
    app/posix) echo "app app/services app/services/posix app/pictures dxf render drawing split jww platform platform/posix text" ;;
    app/win32) echo "app app/services app/services/win32 dxf render render/gdi render/pdf drawing split jww platform platform/win32 text" ;;
    app/web) echo "app app/services dxf render drawing split jww platform text" ;;
    *) echo "?" ;;
  esac
}
portable="text codec jww split drawing render render/pdf dxf app app/services"

failures=0
fail() { echo "layering: $*"; failures=$((failures + 1)); }

edges=$(mktemp)
trap 'rm -f "$edges"' EXIT
while IFS= read -r file; do
  dir=$(dirname "$file")
  ok=$(allowed "$dir")
  [ "$ok" = "?" ] && { fail "$file: folder $dir has no place in the layering"; continue; }
  while IFS= read -r inc; do
    [ -n "$inc" ] || continue
    incdir=$(dirname "$inc")
    if [ "$incdir" != "$dir" ] && [[ " $ok " != *" $incdir "* ]]; then
      fail "$file includes $inc (from $incdir, not beneath $dir)"
    fi
    echo "${file%.*} ${inc%.*}" >> "$edges"
  done < <(sed -n 's/^#include "\([^"]*\)".*/\1/p' "$file")
  if [[ " $portable " == *" $dir "* ]] && grep -qE '^#include <(windows|unistd|fcntl|iconv|dlfcn|pthread|shlobj|shellapi)\.h>|^#include <sys/' "$file"; then
    fail "$file is portable but includes an operating-system header"
  fi
done < <(git ls-files '*.cpp' '*.h' | grep -vE '^(tests|bench|fuzz|cmake|scripts)/')

# Two modules that include each other's way round.
while read -r a b; do
  [ "$a" = "$b" ] && continue
  if grep -qx "$b $a" "$edges"; then
    [[ "$a" < "$b" ]] && fail "$a and $b include each other"
  fi
done < <(sort -u "$edges")

[ "$failures" = 0 ] && echo "layering: every include goes down the layers"
exit $((failures > 0))
