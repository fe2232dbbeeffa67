#!/usr/bin/env bash
# Unpacking over an installation (an upgrade or a repair) against unpacking into an empty folder,
# for the Linux build and, where 32-bit Wine runs, for the 32-bit Windows build: the table of
# docs/performance.md between the markers of this script (bench/upgrade.py says how).
#
#   bench/upgrade.sh      (about a minute; the Windows build is scripts/build-win32.sh's)
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh

bench_build

exe=()
if [ -f build-win32/app/lzmulti.exe ] && command -v wine >/dev/null &&
  WINEPREFIX=$PWD/build-win32/wineprefix WINEDEBUG=-all wine build-win32/app/lzmulti.exe \
    </dev/null >/dev/null 2>&1; then
  export WINEPREFIX=$PWD/build-win32/wineprefix WINEDEBUG=-all
  exe=("$PWD/build-win32/app/lzmulti.exe")
  trap 'wineserver -k 2>/dev/null || true' EXIT
else
  echo "No 32-bit build that runs under Wine here: the Linux build only" >&2
fi
work=$(bench_folder upgrade)
trap 'rm -rf "$work"; [ ${#exe[@]} -eq 0 ] || wineserver -k 2>/dev/null || true' EXIT
python3 bench/upgrade.py "$work" docs/performance.md "$PWD/build-bench/app/lzmulti" "${exe[@]}"
