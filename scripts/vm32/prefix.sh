#!/bin/sh
# Run once in the test guest when its image is built: creates the 32-bit Wine prefix that
# every later run of the guest starts from.
export WINEPREFIX=/var/lib/halyard/wineprefix WINEARCH=win32 WINEDEBUG=-all
mkdir -p "$WINEPREFIX"
# No Mono or Gecko installers: the tests need neither.
WINEDLLOVERRIDES="mscoree,mshtml=" /usr/lib/wine/wine wineboot -i >/dev/null 2>&1
# The registry files are written when the server ends.
wineserver -w
test -f "$WINEPREFIX/system.reg" && grep -q '^#arch=win32' "$WINEPREFIX/system.reg"
