#!/usr/bin/env bash
# Runs the whole CTest suite of the Windows build in build-win32/ under 32-bit Wine on this
# machine: with its own prefix (WINEPREFIX, by default build-win32/wineprefix, created on the
# first run) and one persistent wineserver for the run. scripts/test-win32.sh runs it here after
# building, or inside the test guest (scripts/vm32/) where this machine cannot run 32-bit
# programs; either way CTest's summary and status are this script's.
#
#   scripts/win32-suite.sh
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh

[ $# -eq 0 ] || { echo "usage: scripts/win32-suite.sh" >&2; exit 2; }
BUILD=build-win32
export WINEPREFIX=${WINEPREFIX:-$PWD/$BUILD/wineprefix}
export WINEDEBUG=-all
# Wine spells the names of Unix files in the locale's character set, so the names outside ASCII
# that the suite makes need a UTF-8 locale, which a clean environment (no LANG at all) lacks.
# C.UTF-8 also keeps the Windows code page the suite expects (1252) whatever the caller's language.
export LC_ALL=C.UTF-8
# The archive interchange tests compare with the native program when it has been built.
if [ -z "${HALYARD_NATIVE_LZMULTI:-}" ] && [ -x build/app/lzmulti ]; then
  export HALYARD_NATIVE_LZMULTI=$PWD/build/app/lzmulti
fi
scripts/wine-prefix.sh "$WINEPREFIX"
# One wineserver for the whole run: every test program then starts in about a second.
# (A server that still runs for this prefix, from an earlier run, is reused.)
wineserver -p 2>/dev/null || true
trap 'wineserver -k || true' EXIT
# Start Wine's own background processes now, detached from every pipe: started by the first
# test, they would keep its output pipe open and CTest would wait for them.
/usr/lib/wine/wine cmd /c exit 0 </dev/null >/dev/null 2>&1 || true
ctest --test-dir "$BUILD" --output-on-failure -j"$JOBS"
