#!/usr/bin/env bash
# Builds the Linux package (kelvane_VERSION_amd64.deb) and the Windows ZIP
# (kelvane-VERSION-windows-x64.zip) into dist/, from this checkout, with nothing downloaded but
# the Debian packages the builds need when they are missing.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-missing.sh package

jobs=$(nproc)
work=build-package

echo "== the Linux package"
cmake -S . -B "$work/linux" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKELVANE_TESTS=OFF -DKELVANE_BENCH=OFF
cmake --build "$work/linux" -j "$jobs"
(cd "$work/linux" && cpack)

echo "== the Windows ZIP"
cmake -S . -B "$work/windows" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release \
  -DKELVANE_WIN32_TESTS=OFF
cmake --build "$work/windows" -j "$jobs" --target kelvane
(cd "$work/windows" && cpack)

mkdir -p dist
rm -f dist/kelvane_*.deb dist/kelvane-*-windows-x64.zip
cp "$work"/linux/kelvane_*.deb "$work"/windows/kelvane-*-windows-x64.zip dist/
echo "== packages in $(pwd)/dist:"
ls -1 dist
