#!/usr/bin/env bash
# Creates the 32-bit Wine prefix PREFIX unless it has one already: the Windows suite's prefix on
# this machine (scripts/win32-suite.sh) and the test guest's, made once when its image is built
# (scripts/vm32/image.sh). Needs 32-bit Wine (wine32).
#
#   scripts/wine-prefix.sh PREFIX
set -euo pipefail
[ $# -eq 1 ] || { echo "usage: scripts/wine-prefix.sh PREFIX" >&2; exit 2; }
prefix=$1
[ -f "$prefix/system.reg" ] && exit 0
echo "Creating the Wine prefix $prefix"
mkdir -p "$prefix"
export WINEPREFIX=$prefix WINEDEBUG=-all
# No Mono or Gecko installers: the tests need neither.
WINEARCH=win32 WINEDLLOVERRIDES="mscoree,mshtml=" /usr/lib/wine/wine wineboot -i >/dev/null 2>&1 ||
  true
# The registry files are written when the server ends.
wineserver -w || true
grep -qs '^#arch=win32' "$prefix/system.reg" || {
  echo "wine-prefix.sh: creating the 32-bit Wine prefix $prefix failed (/usr/lib/wine/wine wineboot)" >&2
  exit 1
}
