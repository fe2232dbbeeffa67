#!/usr/bin/env bash
# Makes the Debian packages with CPack (docs/packaging.md): lzmulti_<version>_<arch>.deb from the
# native build and halyard4-kit-win32_<version>_all.deb from the Windows build.
#
#   scripts/package.sh                             builds build/ (native_build) and build-win32/
#                                                  (scripts/build-win32.sh), then both packages
#                                                  into dist/
#   scripts/package.sh --from BUILD... --out OUT   the package of each configured and built
#                                                  folder BUILD, into OUT (nothing is built)
#
# A package holds its build's install components (cmake/Install.cmake), in the form that
# cmake/Package.cmake and cmake/PackageStage.cmake give them. Every time in a package is that of
# SOURCE_DATE_EPOCH or, when that is not set, of the last commit: the same commit gives the same
# bytes. OUT gets the new packages only once all of them are made.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh
DIE_NOTE="no package was made"

usage="usage: scripts/package.sh [--from BUILD... --out OUT]"
builds=()
out=
while [ $# -gt 0 ]; do
  case "$1" in
    --from) [ $# -ge 2 ] || { echo "$usage" >&2; exit 2; }; builds+=("$2"); shift ;;
    --out) [ $# -ge 2 ] || { echo "$usage" >&2; exit 2; }; out=$2; shift ;;
    *) echo "$usage" >&2; exit 2 ;;
  esac
  shift
done
if [ ${#builds[@]} -eq 0 ]; then
  [ -z "$out" ] || { echo "$usage" >&2; exit 2; }
  out=dist
  # A folder that scripts/test.sh built keeps its warnings-as-errors setting: packaging after the
  # tests builds nothing again.
  HALYARD_WERROR=${HALYARD_WERROR:-$(cmake_cache build HALYARD_WERROR)}
  export HALYARD_WERROR=${HALYARD_WERROR:-OFF}
  native_build >/dev/null
  scripts/build-win32.sh >/dev/null
  builds=(build build-win32)
fi
[ -n "$out" ] || { echo "$usage" >&2; exit 2; }
need_packages "${PACKAGE_PACKAGES[@]}"
SOURCE_DATE_EPOCH=$(source_date_epoch)
export SOURCE_DATE_EPOCH

mkdir -p "$out"
work=$(mktemp -d "$out/.package.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir "$work/made"
for build in "${builds[@]}"; do
  [ -f "$build/CPackConfig.cmake" ] ||
    die "$build is no build folder configured by this tree's CMake (no CPackConfig.cmake)"
  cpack_dir=$(mktemp -d "$work/cpack.XXXXXX")
  cpack --config "$build/CPackConfig.cmake" -B "$cpack_dir" >"$cpack_dir.log" 2>&1 || {
    cat "$cpack_dir.log" >&2
    die "cpack failed on $build (its output above)"
  }
  shopt -s nullglob
  debs=("$cpack_dir"/*.deb)
  shopt -u nullglob
  [ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] ||
    die "cpack made ${#debs[@]} packages of $build instead of one: ${debs[*]##*/}"
  mv "${debs[0]}" "$work/made/"
done
made=()
for deb in "$work"/made/*.deb; do
  mv "$deb" "$out/"
  made+=("$out/${deb##*/}")
done
echo "Packages: ${made[*]}"
