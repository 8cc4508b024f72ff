#!/usr/bin/env bash
# Installs the Debian packages that the purposes named on the command line need (see
# scripts/packages.txt) and that are not installed yet.
#   scripts/install-missing.sh PURPOSE...          install what is missing
#   scripts/install-missing.sh --list PURPOSE...   print the packages, one a line, install nothing
set -euo pipefail
list=$(dirname "$0")/packages.txt
only_list=0
if [ "${1:-}" = --list ]; then only_list=1; shift; fi
[ $# -gt 0 ] || { echo "usage: $0 [--list] PURPOSE... (purposes: $(sed -n 's/^\([a-z-]*\):.*/\1/p' "$list" | sort -u | tr '\n' ' '))" >&2; exit 2; }

# The packages of one purpose, with those of the purposes it takes in.
packages_of() {
  local purpose=$1 name found=0
  while read -r name; do
    found=1
    if [[ "$name" == +* ]]; then packages_of "${name#+}"; else echo "$name"; fi
  done < <(sed -n "s/^$purpose:\(.*\)/\1/p" "$list" | tr ' ' '\n' | grep -v '^$')
  [ $found = 1 ] || { echo "$0: no purpose '$purpose' in $list" >&2; return 1; }
}

packages=()
for purpose in "$@"; do
  names=$(packages_of "$purpose") || exit 2
  packages+=($names)
done
mapfile -t packages < <(printf '%s\n' "${packages[@]}" | awk '!seen[$0]++')
if [ $only_list = 1 ]; then printf '%s\n' "${packages[@]}"; exit 0; fi

missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
[ ${#missing[@]} -gt 0 ] || exit 0
sudo=()
[ "$(id -u)" = 0 ] || sudo=(sudo)
"${sudo[@]}" apt-get update
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
