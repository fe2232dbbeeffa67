#!/usr/bin/env bash
# Checks that two builds of the same sources give the same bytes: builds the deliverables a second
# time, from a copy of the tree in another folder into another build folder, and compares them
# with the first build, file for file.
#
#   scripts/check-reproducible.sh [--linux] [--win32]      (both when neither is given)
#   scripts/check-reproducible.sh --compare FIRST SECOND   (only the comparison of two folders)
#
#   --linux  `cmake --install` of build/ against that of the second native build: lzmulti, the
#            manual page, the README, LICENSE and THIRD-PARTY-NOTICES.txt; and the Debian package
#            lzmulti made from each
#   --win32  build-win32/kit/ against a kit packed from the second cross build: lzmulti.exe,
#            halyard4inst.dll, halyard4inst.h, README.txt, halyard4inst.nsh,
#            example-install.nsi, LICENSE, THIRD-PARTY-NOTICES.txt, the zip and SHA256SUMS; and the
#            Debian package halyard4-kit-win32 made from each
#
# The first builds must exist (scripts/test.sh makes them before it calls this). The second
# builds make the deliverables only, without the tests, and take the liblzma that the first cross
# build made in build-win32/deps/: it is an input of the build, not what is checked here. Both
# kits take their time from the same SOURCE_DATE_EPOCH, by default the time of the last commit.
# When the builds differ, the second one is kept for a closer look.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh

# compare NAME FIRST SECOND: the same file names with the same bytes below both folders.
compare() {
  local name=$1 first=$2 second=$3 differ=() file
  diff <(cd "$first" && find . -type f | LC_ALL=C sort) \
    <(cd "$second" && find . -type f | LC_ALL=C sort) >&2 ||
    die "$name: the two builds made different files ($first against $second)"
  while IFS= read -r file; do
    cmp -s "$first/$file" "$second/$file" || differ+=("${file#./}")
  done < <(cd "$first" && find . -type f | LC_ALL=C sort)
  [ ${#differ[@]} -eq 0 ] ||
    die "$name: the two builds differ in ${differ[*]} ($first against $second)"
  echo "Reproducible, $name: $(cd "$first" && find . -type f | wc -l) files the same in both builds"
}

usage="usage: scripts/check-reproducible.sh [--linux] [--win32] | --compare FIRST SECOND"
linux=0
win32=0
while [ $# -gt 0 ]; do
  case "$1" in
    --linux) linux=1 ;;
    --win32) win32=1 ;;
    --compare)
      [ $# -eq 3 ] && [ -d "$2" ] && [ -d "$3" ] || { echo "$usage" >&2; exit 2; }
      compare "folders" "$2" "$3"
      exit 0
      ;;
    *) echo "$usage" >&2; exit 2 ;;
  esac
  shift
done
[ $linux = 1 ] || [ $win32 = 1 ] || { linux=1; win32=1; }

[ $linux = 0 ] || [ -f build/CMakeCache.txt ] ||
  die "no native build in build/; run scripts/test.sh first"
[ $win32 = 0 ] || [ -f build-win32/kit/SHA256SUMS ] ||
  die "no kit in build-win32/kit/; run scripts/build-win32.sh first"
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}

work=$(mktemp -d "${TMPDIR:-/tmp}/halyard4-second-build.XXXXXX")
trap 'rm -rf "$work"' EXIT
# The files git knows or would add, as they are in the working tree.
git ls-files -z --cached --others --exclude-standard |
  while IFS= read -r -d '' file; do [ -e "$file" ] && printf '%s\0' "$file"; done |
  tar --null -T - -cf - | (mkdir "$work/tree" && tar -xf - -C "$work/tree")

# check NAME FIRST SECOND: compare, keeping the second build when they differ.
check() {
  if ! (compare "$@"); then
    trap - EXIT
    exit 1
  fi
}

# check_package NAME FIRST SECOND: the Debian package made from each of two builds, compared.
check_package() {
  scripts/package.sh --from "$2" --out "$work/first-$1" >/dev/null
  "$work/tree/scripts/package.sh" --from "$3" --out "$work/second-$1" >/dev/null
  check "Debian package $1" "$work/first-$1" "$work/second-$1"
}

if [ $linux = 1 ]; then
  start=$SECONDS
  cmake -S "$work/tree" -B "$work/native" "${NATIVE_CMAKE_ARGS[@]}" -DHALYARD_BUILD_TESTS=OFF \
    >/dev/null
  cmake --build "$work/native" -j"$JOBS" --target lzmulti >/dev/null
  cmake --install build --prefix "$work/first-linux" >/dev/null
  cmake --install "$work/native" --prefix "$work/second-linux" >/dev/null
  check "Linux" "$work/first-linux" "$work/second-linux"
  check_package lzmulti build "$work/native"
  echo "  (second build and comparison: $((SECONDS - start)) s)"
fi

if [ $win32 = 1 ]; then
  start=$SECONDS
  cache() { cmake_cache build-win32 "$1"; }
  cmake -S "$work/tree" -B "$work/win32" \
    -DCMAKE_TOOLCHAIN_FILE="$work/tree/cmake/toolchain-mingw32.cmake" \
    -DCMAKE_BUILD_TYPE="$(cache CMAKE_BUILD_TYPE)" -DHALYARD_BUILD_TESTS=OFF \
    -DLIBLZMA_INCLUDE_DIR="$(cache LIBLZMA_INCLUDE_DIR)" \
    -DLIBLZMA_LIBRARY="$(cache LIBLZMA_LIBRARY)" >/dev/null
  cmake --build "$work/win32" -j"$JOBS" --target lzmulti halyard4inst >/dev/null
  "$work/tree/scripts/pack-kit.sh" "$work/win32" "$work/kit" >/dev/null
  check "Windows kit" build-win32/kit "$work/kit"
  check_package halyard4-kit-win32 build-win32 "$work/win32"
  echo "  (second build and comparison: $((SECONDS - start)) s)"
fi
