#!/usr/bin/env bash
# The Wine leg of the test suite: builds the 32-bit Windows kit (scripts/build-win32.sh) and runs
# the whole CTest suite of build-win32/ under 32-bit Wine, with its own prefix and one persistent
# wineserver for the whole run.
#
# Where this machine's kernel cannot run 32-bit programs, the suite runs inside a test guest
# instead: a Debian 12 PC emulated by qemu (scripts/vm32/), built once from Debian's packages
# and kept in build-vm32/, with this tree shared into it.
#
#   HALYARD_WIN32_GUEST=1   run the suite in the guest even where it could run here
#   HALYARD_SKIP_GUEST=1    never start the guest: where the suite cannot run here, only the
#                           kit is built (scripts/test.sh's HALYARD_SKIP_WIN32=1 skips the leg)
#   HALYARD_VM32_TIMEOUT=S  the suite's time limit in the guest (default 2400 s)
#   scripts/test-win32.sh --suite   runs the suite only, here (what the guest runs)
set -euo pipefail
cd "$(dirname "$0")/.."

BUILD=build-win32
WINE_LOADER=/usr/lib/wine/wine

# run_suite: the suite of the built tree under 32-bit Wine, on this machine.
run_suite() {
  export WINEPREFIX=${WINEPREFIX:-$PWD/$BUILD/wineprefix}
  export WINEDEBUG=-all
  # The archive interchange tests compare with the native program when it has been built.
  if [ -z "${HALYARD_NATIVE_LZMULTI:-}" ] && [ -x build/app/lzmulti ]; then
    export HALYARD_NATIVE_LZMULTI=$PWD/build/app/lzmulti
  fi
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "Creating the Wine prefix $WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    # No Mono or Gecko installers: the tests need neither.
    WINEARCH=win32 WINEDLLOVERRIDES="mscoree,mshtml=" "$WINE_LOADER" wineboot -i \
      >/dev/null 2>&1 || true
    # The registry files are written when the server ends.
    wineserver -w || true
    [ -f "$WINEPREFIX/system.reg" ] || {
      echo "test-win32.sh: creating the Wine prefix failed ($WINE_LOADER wineboot)" >&2
      exit 1
    }
  fi
  # One wineserver for the whole run: every test program then starts in about a second.
  # (A server that still runs for this prefix, from an earlier run, is reused.)
  wineserver -p 2>/dev/null || true
  trap 'wineserver -k || true' EXIT
  # Start Wine's own background processes now, detached from every pipe: started by the first
  # test, they would keep its output pipe open and CTest would wait for them.
  "$WINE_LOADER" cmd /c exit 0 </dev/null >/dev/null 2>&1 || true
  ctest --test-dir "$BUILD" --output-on-failure -j"$(($(nproc) < 2 ? $(nproc) : 2))"
}

if [ "${1:-}" = --suite ]; then
  run_suite
  exit
fi
[ $# -eq 0 ] || { echo "usage: scripts/test-win32.sh [--suite]" >&2; exit 2; }

scripts/build-win32.sh

if [ "${HALYARD_WIN32_GUEST:-0}" != 1 ] && "$WINE_LOADER" --version >/dev/null 2>&1; then
  run_suite
  exit
fi
if [ "${HALYARD_WIN32_GUEST:-0}" = 1 ]; then
  echo "Running the Wine tests in the test guest (HALYARD_WIN32_GUEST=1)"
else
  echo "This machine cannot run 32-bit programs ($WINE_LOADER does not start);" \
    "the Wine tests run in the test guest (scripts/vm32/)."
  if [ "${HALYARD_SKIP_GUEST:-0}" = 1 ]; then
    echo "Skipping the test guest (HALYARD_SKIP_GUEST=1): the 32-bit kit is built, not tested"
    exit 0
  fi
fi
scripts/vm32/image.sh
# The guest starts from its own prefix, made when its image was built.
scripts/vm32/run.sh --timeout "${HALYARD_VM32_TIMEOUT:-2400}" -- \
  env WINEPREFIX=/var/lib/halyard/wineprefix HALYARD_TEST_GUEST=1 scripts/test-win32.sh --suite
