#!/usr/bin/env bash
# Assembles the Windows kit from a 32-bit cross build: installs the build into a stage
# (`cmake --install BUILD --prefix STAGE --strip`), checks the files there, packs the zip and the
# SHA256SUMS, and only then moves the complete kit to KIT, replacing an older one.
#
#   scripts/pack-kit.sh BUILD KIT
#
# The same files give the same kit, byte for byte. The kit carries one time, that of
# SOURCE_DATE_EPOCH or, when that is not set, of the last commit: in the header of each PE file
# and on every file. The files get fixed permissions, and the zip holds its entries in a fixed
# order, with that time in UTC and without extra fields. THIRD-PARTY-NOTICES.txt must be what
# scripts/third-party-notices.sh makes of the licences of what BUILD links; otherwise no kit.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh
DIE_NOTE="no kit was assembled"

[ $# -eq 2 ] || { echo "usage: scripts/pack-kit.sh BUILD KIT" >&2; exit 2; }
BUILD=$1
KIT=$2
TRIPLET=i686-w64-mingw32
KIT_FILES=(lzmulti.exe halyard4inst.dll halyard4inst.h README.txt halyard4inst.nsh
           example-install.nsi LICENSE THIRD-PARTY-NOTICES.txt)

command -v zip >/dev/null || die "zip not found; install it with: apt-get install -y zip"
command -v "$TRIPLET-objdump" >/dev/null ||
  die "$TRIPLET-objdump not found; install it with: apt-get install -y binutils-mingw-w64-i686"
version=$(cmake_cache "$BUILD" CMAKE_PROJECT_VERSION)
[ -n "$version" ] || die "$BUILD is no configured build folder"
ZIP=halyard4-kit-$version-win32.zip
if [ -n "${SOURCE_DATE_EPOCH:-}" ]; then
  epoch=$SOURCE_DATE_EPOCH
  [[ "$epoch" =~ ^[0-9]+$ ]] || die "SOURCE_DATE_EPOCH ($epoch) is no number of seconds since 1970"
else
  epoch=$(git log -1 --format=%ct 2>/dev/null) ||
    die "no SOURCE_DATE_EPOCH and no commit to take the kit's time from; set SOURCE_DATE_EPOCH"
fi
scripts/third-party-notices.sh "$BUILD" | cmp -s - THIRD-PARTY-NOTICES.txt ||
  die "THIRD-PARTY-NOTICES.txt is not what $BUILD links; make it again with:" \
    "scripts/third-party-notices.sh $BUILD > THIRD-PARTY-NOTICES.txt"

mkdir -p "$(dirname "$KIT")"
STAGE=$(mktemp -d "$KIT.tmp.XXXXXX")
trap 'rm -rf "$STAGE"' EXIT
# strip stamps SOURCE_DATE_EPOCH into the header of each PE file: the kit carries one time.
SOURCE_DATE_EPOCH=$epoch cmake --install "$BUILD" --prefix "$STAGE" --strip >/dev/null

# The install rules of the Windows build give exactly the kit's files.
found=$(cd "$STAGE" && find . -mindepth 1 -printf '%P\n' | LC_ALL=C sort | tr '\n' ' ')
wanted=$(printf '%s\n' "${KIT_FILES[@]}" | LC_ALL=C sort | tr '\n' ' ')
[ "$found" = "$wanted" ] || die "installing $BUILD gave ${found:-nothing }instead of $wanted"
python3 scripts/check-pe.py --objdump "$TRIPLET-objdump" --machine i386 --version "$version" \
  "$STAGE/lzmulti.exe" "$STAGE/halyard4inst.dll" >/dev/null ||
  die "the Windows binaries failed the check (see above)"

chmod 755 "$STAGE" "$STAGE/lzmulti.exe" "$STAGE/halyard4inst.dll"
(cd "$STAGE" && chmod 644 halyard4inst.h README.txt halyard4inst.nsh example-install.nsi LICENSE \
  THIRD-PARTY-NOTICES.txt)
(
  cd "$STAGE"
  touch -d "@$epoch" "${KIT_FILES[@]}"
  TZ=UTC zip -q -X -D "$ZIP" "${KIT_FILES[@]}"
  sha256sum "${KIT_FILES[@]}" "$ZIP" >SHA256SUMS
  chmod 644 "$ZIP" SHA256SUMS
  touch -d "@$epoch" "$ZIP" SHA256SUMS
)

rm -rf "$KIT.old"
[ -d "$KIT" ] && mv "$KIT" "$KIT.old"
mv "$STAGE" "$KIT"
rm -rf "$KIT.old"
trap - EXIT
echo "Kit $version: $KIT/ ($(printf '%s, ' "${KIT_FILES[@]}" "$ZIP")SHA256SUMS)"
