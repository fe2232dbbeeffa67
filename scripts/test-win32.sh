#!/usr/bin/env bash
# The Wine leg of the test suite: builds the 32-bit Windows kit (scripts/build-win32.sh) and runs
# the Windows build's CTest suite under 32-bit Wine (scripts/win32-suite.sh).
#
# Where this machine's kernel cannot run 32-bit programs, the suite runs inside a test guest
# instead: a Debian 12 PC emulated by qemu (scripts/vm32/), built once from Debian's packages
# and kept in build-vm32/, with this tree shared into it. HALYARD_WIN32_GUEST says when:
#
#   auto     (default) only where the suite cannot run on this machine
#   always   also where it could (to try the guest on such a machine)
#   never    not at all: where the suite cannot run here, the kit is built but not tested
#
# HALYARD_VM32 tunes the guest (scripts/README.md); its timeout (default 2400 s) limits the suite.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh

[ $# -eq 0 ] || { echo "usage: scripts/test-win32.sh" >&2; exit 2; }
guest=${HALYARD_WIN32_GUEST:-auto}
case "$guest" in
  auto | always | never) ;;
  *) die "HALYARD_WIN32_GUEST is '$guest'; use auto, always or never" ;;
esac
timeout=$(vm32_setting timeout 2400)

scripts/build-win32.sh

if [ "$guest" != always ] && /usr/lib/wine/wine --version >/dev/null 2>&1; then
  exec scripts/win32-suite.sh
fi
if [ "$guest" = always ]; then
  echo "Running the Wine tests in the test guest (HALYARD_WIN32_GUEST=always)"
else
  echo "This machine cannot run 32-bit programs (/usr/lib/wine/wine does not start);" \
    "the Wine tests run in the test guest (scripts/vm32/)."
  if [ "$guest" = never ]; then
    echo "Skipping the test guest (HALYARD_WIN32_GUEST=never): the 32-bit kit is built, not tested"
    exit 0
  fi
fi
scripts/vm32/image.sh
# The guest starts from its own prefix, made when its image was built.
scripts/vm32/run.sh --timeout "$timeout" -- env WINEPREFIX="$VM32_WINEPREFIX" scripts/win32-suite.sh
