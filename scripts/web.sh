#!/usr/bin/env bash
# Builds Kelvane for the browser (Debian's emscripten, no network) into build-web/site/ and
# serves that folder at http://127.0.0.1:PORT/ (default 8034). --build-only: build and stop.
# The folder is static: copy it to any web server or static host as it is.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-missing.sh web
# Debian's emscripten finds its JavaScript tools (acorn) through NODE_PATH.
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}

emcmake cmake -S . -B build-web -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-web -j "$(nproc)"
ls -l build-web/site/
[ "${1:-}" = "--build-only" ] && exit 0

port=${1:-8034}
echo "serving build-web/site at http://127.0.0.1:$port/ (Ctrl-C stops)"
exec python3 -m http.server "$port" --bind 127.0.0.1 --directory build-web/site
