#!/usr/bin/env bash
# The README's first command and the package command on a fresh Debian machine: each of
# scripts/example.sh and scripts/package.sh runs in its own fresh copy of a minimal Debian root,
# in a clean clone of this checkout's HEAD, and what it made is checked. Both must install every
# package they need themselves (scripts/packages.txt), so a list that lacks one fails here.
#
#   tests/fresh_machine/test_fresh_machine.sh [example] [package]      (default: both)
#
# Needs root (chroot, mounts) and mmdebstrap. The root is built once per machine from the
# machine's own apt sources and kept as a tarball in the cache folder, outside the work tree:
# KELVANE_FRESH_CACHE, default /var/cache/kelvane-fresh-root. Beside it: debs/, the packages
# downloaded so far, linked into every fresh root so that each is downloaded once per machine but
# installed afresh, and ccache/, the compiler cache of the roots' builds (KELVANE_FRESH_CCACHE=0:
# none). KELVANE_FRESH_REV names the commit to clone (default HEAD).
# Exit status: 0 passed, 1 failed, 77 skipped (the root could not be built or the archive not
# reached), with the line "fresh machine check: SKIPPED: REASON".
set -uo pipefail
cd "$(dirname "$0")/../.."
repo=$(pwd)
cache=${KELVANE_FRESH_CACHE:-/var/cache/kelvane-fresh-root}
rev=${KELVANE_FRESH_REV:-HEAD}
use_ccache=${KELVANE_FRESH_CCACHE:-1}
scripts=("$@")
[ ${#scripts[@]} -gt 0 ] || scripts=(example package)
for s in "${scripts[@]}"; do
  case "$s" in example | package) ;; *) echo "usage: $0 [example] [package]" >&2; exit 2 ;; esac
done

passed=0
failed=0
pass() { passed=$((passed + 1)); echo "PASS $1"; }
fail() { failed=$((failed + 1)); echo "FAIL $1: $2"; }
skip() { echo "fresh machine check: SKIPPED: $1"; exit 77; }

[ "$(id -u)" = 0 ] || skip "needs root, to build the Debian root and run in it"
commit=$(git rev-parse --verify "$rev^{commit}" 2>/dev/null) || { echo "fresh machine: no commit $rev" >&2; exit 2; }
if ! command -v mmdebstrap >/dev/null; then
  scripts/install-missing.sh fresh-machine >/dev/null 2>&1 || skip "mmdebstrap is missing and could not be installed"
fi

work=$(mktemp -d "${TMPDIR:-/var/tmp}/kelvane-fresh.XXXXXX")
runners=()
# Whether a process still runs in one of the roots.
busy() {
  local p
  for p in /proc/[0-9]*; do
    case "$(readlink "$p/root" 2>/dev/null)" in "$work"/*) return 0 ;; esac
  done
  return 1
}
cleanup() {
  local pid i
  # The runs first: killing a run's unshare kills its process namespace, and all within it.
  for pid in $(cat "$work"/*.pid 2>/dev/null); do kill -KILL "$pid" 2>/dev/null; done
  for pid in "${runners[@]}"; do kill "$pid" 2>/dev/null; done
  for pid in "${runners[@]}"; do wait "$pid" 2>/dev/null; done
  for i in $(seq 50); do busy || break; sleep 0.2; done
  if busy; then echo "fresh machine: processes still run in $work; left in place" >&2; return; fi
  # The mounts live in the runners' own mount namespaces and end with them; should one show here
  # all the same, it goes before anything below it is removed.
  if grep -q " $work/" /proc/self/mounts; then
    grep " $work/" /proc/self/mounts | cut -d' ' -f2 | sort -r | xargs -r -n1 umount -l
  fi
  if grep -q " $work/" /proc/self/mounts; then echo "fresh machine: $work still has mounts; left in place" >&2
  else rm -rf "$work"; fi
}
trap cleanup EXIT
trap 'exit 1' INT TERM

# -- the root: one tarball per suite, variant and sources, rebuilt when missing or unreadable
suite=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
[ -n "$suite" ] || skip "this machine's Debian release has no code name in /etc/os-release"
sources=()
for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources; do
  [ -s "$f" ] && sources+=("$f")
done
[ ${#sources[@]} -gt 0 ] || skip "no apt sources on this machine (/etc/apt/sources.list*)"
include=()
[ "$use_ccache" = 1 ] && include=(--include=ccache)
key=$( { echo "$suite minbase ${include[*]}"; cat "${sources[@]}"; } | sha256sum | cut -c1-12)
mkdir -p "$cache/debs" "$cache/ccache"
tarball=$cache/root-$suite-$key.tar
usable() { [ -s "$tarball" ] && tar -tf "$tarball" ./usr/bin/apt-get ./usr/bin/dpkg >/dev/null 2>&1; }
start=$(date +%s)
exec 9>"$cache/lock"
flock 9
if ! usable; then
  echo "-- building the fresh Debian root ($suite, minbase) into $tarball"
  rm -rf "$cache"/root-*.tar "$cache/building.tar"
  if ! mmdebstrap --variant=minbase --format=tar "${include[@]}" "$suite" "$cache/building.tar" "${sources[@]}" \
       >"$work/mmdebstrap.log" 2>&1 || ! mv "$cache/building.tar" "$tarball" || ! usable; then
    rm -rf "$cache/building.tar" "$tarball"
    skip "the Debian root could not be built (no archive reachable?): $(grep -v '^I: ' "$work/mmdebstrap.log" | tail -n 3 | tr '\n' ' ')"
  fi
  echo "fresh machine: root built in $(($(date +%s) - start)) s ($(du -m "$tarball" | cut -f1) MB)"
fi
flock -u 9

# Runs one script in its own fresh root; its output goes to $work/NAME.log, its status to
# $work/NAME.status, its seconds to $work/NAME.seconds.
run_fresh() {
  local name=$1 script=$2 root=$work/$1
  mkdir -p "$root"
  tar -xf "$tarball" -C "$root" || { echo 1 >"$work/$name.status"; echo "unpacking the root failed" >"$work/$name.log"; return; }
  cp -L /etc/resolv.conf "$root/etc/resolv.conf"
  # Every package downloaded on this machine before, linked in: found by apt, installed by dpkg.
  find "$cache/debs" -maxdepth 1 -name '*.deb' -exec ln -f -t "$root/var/cache/apt/archives" {} + 2>/dev/null ||
    find "$cache/debs" -maxdepth 1 -name '*.deb' -exec cp -t "$root/var/cache/apt/archives" {} +
  mkdir -p "$root/root/kelvane" "$root/var/cache/kelvane-ccache"
  { git -C "$root/root/kelvane" init -q && git -C "$root/root/kelvane" fetch -q --depth 1 "file://$repo" "$commit" &&
      git -C "$root/root/kelvane" checkout -q FETCH_HEAD; } >"$work/$name.log" 2>&1
  local env=(HOME=/root PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 TERM=dumb)
  [ "$use_ccache" = 1 ] && env+=(CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache
    CCACHE_DIR=/var/cache/kelvane-ccache CCACHE_BASEDIR=/root/kelvane)
  local begin status
  begin=$(date +%s)
  # A mount namespace of its own, so that every mount ends with it, and a process namespace, so
  # that nothing started inside outlives it.
  unshare --mount --propagation private --pid --kill-child -- bash -c '
    set -e
    root=$1 ccache=$2; shift 2
    mount --bind /dev "$root/dev"
    mount -t proc proc "$root/proc"
    mount -t sysfs sysfs "$root/sys" 2>/dev/null || true
    mount --bind "$ccache" "$root/var/cache/kelvane-ccache"
    # The archive answers, or the check says it cannot run rather than that the script failed.
    # Asked into a folder of its own, so that the script still finds the root without indexes.
    mkdir -p "$root/tmp/probe-lists/partial"
    chroot "$root" apt-get -qq -o Dir::State::Lists=/tmp/probe-lists update >/dev/null 2>&1 ||
      { echo "KELVANE-FRESH: no archive"; exit 75; }
    rm -rf "$root/tmp/probe-lists"
    exec chroot "$root" /usr/bin/timeout 3000 /usr/bin/env -i "$@"
  ' _ "$root" "$cache/ccache" "${env[@]}" bash -c "cd /root/kelvane && $script" >>"$work/$name.log" 2>&1 &
  echo $! >"$work/$name.pid"
  wait $!
  status=$?
  rm -f "$work/$name.pid"
  echo $(($(date +%s) - begin)) >"$work/$name.seconds"
  echo $status >"$work/$name.status"
  # Packages new to this machine, kept for the next root.
  local deb
  for deb in "$root"/var/cache/apt/archives/*.deb; do
    [ -e "$deb" ] && [ ! -e "$cache/debs/${deb##*/}" ] && { ln -f "$deb" "$cache/debs/" 2>/dev/null || cp "$deb" "$cache/debs/"; }
  done
}

for s in "${scripts[@]}"; do
  run_fresh "$s" "scripts/$s.sh" &
  runners+=($!)
done
for pid in "${runners[@]}"; do wait "$pid"; done
runners=()

# The end of a script's output, when it failed.
tail_of() { echo "---- last lines of scripts/$1.sh in the fresh root:"; tail -n 40 "$work/$1.log"; echo "----"; }

for s in "${scripts[@]}"; do
  if grep -q '^KELVANE-FRESH: no archive' "$work/$s.log"; then
    skip "no Debian archive reachable from the fresh root (apt-get update failed)"
  fi
done

for s in "${scripts[@]}"; do
  status=$(cat "$work/$s.status" 2>/dev/null || echo 1)
  seconds=$(cat "$work/$s.seconds" 2>/dev/null || echo 0)
  out=$work/$s/root/kelvane
  if [ "$status" != 0 ]; then
    fail "scripts/$s.sh" "exit status $status after $seconds s on a fresh Debian root"
    tail_of "$s"
    continue
  fi
  pass "scripts/$s.sh runs on a fresh Debian root ($seconds s)"
  case "$s" in
    example)
      ex=$out/build-example/example
      if [ "$(head -c 8 "$ex/plan.png" 2>/dev/null | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ]; then
        pass "it draws the plan build-example/example/plan.png"
      else fail plan "build-example/example/plan.png is missing or no PNG"; fi
      jww=$(find "$ex/sheets" -maxdepth 1 -name '*.jww' -size +0 2>/dev/null | wc -l)
      pdf=0
      while IFS= read -r f; do
        [ "$(head -c 5 "${f%.jww}.pdf" 2>/dev/null)" = %PDF- ] && pdf=$((pdf + 1))
      done < <(find "$ex/sheets" -maxdepth 1 -name '*.jww' 2>/dev/null)
      files=$(find "$ex/sheets" -maxdepth 1 -type f 2>/dev/null | wc -l)
      if [ "$jww" = 6 ] && [ "$pdf" = 6 ] && [ "$files" = 12 ]; then
        pass "it writes six sheets, each with its PDF, into build-example/example/sheets"
      else fail sheets "$jww sheets, $pdf with a PDF beside them, $files files: $(ls "$ex/sheets" 2>/dev/null | tr '\n' ' ')"; fi
      ;;
    package)
      debs=("$out"/dist/kelvane_*_amd64.deb)
      if [ ${#debs[@]} = 1 ] && dpkg-deb -f "${debs[0]}" Package 2>/dev/null | grep -qx kelvane; then
        pass "it makes the Debian package dist/${debs[0]##*/}"
      else fail deb "no Debian package in dist/: $(ls "$out/dist" 2>/dev/null | tr '\n' ' ')"; fi
      zips=("$out"/dist/kelvane-*-windows-x64.zip)
      if [ ${#zips[@]} = 1 ] && [ "$(head -c 4 "${zips[0]}" 2>/dev/null | od -An -tx1 | tr -d ' \n')" = 504b0304 ]; then
        pass "it makes the Windows ZIP dist/${zips[0]##*/}"
      else fail zip "no Windows ZIP in dist/: $(ls "$out/dist" 2>/dev/null | tr '\n' ' ')"; fi
      ;;
  esac
done

echo "fresh-machine: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
