#!/usr/bin/env bash
# The Wine leg of the test suite: builds the Windows kit (scripts/build-win32.sh) and runs the
# whole CTest suite of the Windows build under Wine, with a private prefix inside the build
# folder and one persistent wineserver for the whole run.
#
# A host whose kernel cannot run 32-bit programs cannot run 32-bit Wine either; the suite then
# runs on the x86_64 Windows build (build-win64/) under wine64, and the 32-bit kit is still
# built and checked. HALYARD_WIN_TEST_ARCH=i686 or x86_64 forces the choice.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/build-win32.sh

arch=${HALYARD_WIN_TEST_ARCH:-}
if [ -z "$arch" ]; then
  if /usr/lib/wine/wine --version >/dev/null 2>&1; then
    arch=i686
  else
    echo "This host cannot run 32-bit programs (/usr/lib/wine/wine does not start);" \
      "the Wine tests run on the x86_64 Windows build under wine64."
    arch=x86_64
  fi
fi
case "$arch" in
  i686) BUILD=build-win32 WINE_LOADER=/usr/lib/wine/wine ;;
  x86_64)
    scripts/build-win32.sh --arch x86_64
    BUILD=build-win64 WINE_LOADER=/usr/lib/wine/wine64
    ;;
  *) echo "test-win32.sh: HALYARD_WIN_TEST_ARCH must be i686 or x86_64" >&2; exit 2 ;;
esac

export WINEPREFIX=$PWD/$BUILD/wineprefix
export WINEDEBUG=-all
# The archive interchange tests compare with the native program when it has been built.
if [ -z "${HALYARD_NATIVE_LZMULTI:-}" ] && [ -x build/app/lzmulti ]; then
  export HALYARD_NATIVE_LZMULTI=$PWD/build/app/lzmulti
fi

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "Creating the Wine prefix $WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  # No Mono or Gecko installers: the tests need neither.
  WINEDLLOVERRIDES="mscoree,mshtml=" "$WINE_LOADER" wineboot -i >/dev/null 2>&1 || true
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
