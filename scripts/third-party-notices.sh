#!/usr/bin/env bash
# Writes the text of THIRD-PARTY-NOTICES.txt to standard output: the licences of the code of others
# that the deliverables contain, each reproduced from the file that the builds take it from.
#
#   scripts/third-party-notices.sh BUILD > THIRD-PARTY-NOTICES.txt
#
# BUILD is a configured Windows cross build (build-win32). Its liblzma source (the xz-utils source
# package that scripts/build-win32.sh unpacks) gives COPYING and AUTHORS; its compiler finds the
# runtime files that -static links into lzmulti.exe and halyard4inst.dll, and dpkg names the
# packages that hold them, whose copyright files follow. The native lzmulti links Debian's
# liblzma5 dynamically: its copyright file closes the text. scripts/pack-kit.sh compares the
# committed file with this output and assembles no kit when they differ.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh
DIE_NOTE="no notices were written"

[ $# -eq 1 ] || { echo "usage: scripts/third-party-notices.sh BUILD" >&2; exit 2; }
BUILD=$1
cache() { cmake_cache "$BUILD" "$1"; }
include=$(cache LIBLZMA_INCLUDE_DIR)
[ -n "$include" ] || die "$BUILD is no configured build folder"
xz=$(realpath -s "$include/../../..")
version_h=$xz/src/liblzma/api/lzma/version.h
[ -f "$xz/COPYING" ] && [ -f "$version_h" ] || die "$xz is no xz-utils source tree"
xz_version=$(for part in MAJOR MINOR PATCH; do
  sed -n "s/^#define LZMA_VERSION_$part \([0-9]*\).*/\1/p" "$version_h"
done | paste -sd.)
compiler=$(sed -n 's/^set(CMAKE_CXX_COMPILER "\(.*\)")$/\1/p' "$BUILD"/CMakeFiles/*/CMakeCXXCompiler.cmake)
[ -x "$compiler" ] || die "the compiler of $BUILD (${compiler:-none found}) is missing"

# What -static links in besides liblzma, as the link maps of both binaries show it: the component
# and its files.
COMPONENTS=(
  "the mingw-w64 runtime:crt2.o dllcrt2.o libmingw32.a libmingwex.a libmoldname.a libmsvcrt.a"
  "winpthreads, the thread library of mingw-w64:libpthread.a"
  "the GCC runtime libraries libgcc and libstdc++:crtbegin.o crtend.o libgcc.a libgcc_eh.a libstdc++.a"
)
copyrights=()      # the copyright files, in order of first use
declare -A covers  # copyright file -> the components it covers
declare -A holders # copyright file -> the packages whose copyright file it is
for entry in "${COMPONENTS[@]}"; do
  component=${entry%%:*}
  for file in ${entry#*:}; do
    path=$(realpath -s "$("$compiler" -print-file-name="$file")")
    [ -f "$path" ] || die "$compiler finds no $file"
    package=$(dpkg -S "$path" 2>/dev/null | sed 's/:.*//') || die "no package holds $path"
    copyright=$(realpath "/usr/share/doc/$package/copyright") ||
      die "$package has no /usr/share/doc/$package/copyright"
    [ -n "${covers[$copyright]:-}" ] || copyrights+=("$copyright")
    [[ "${covers[$copyright]:-}" == *"$component"* ]] ||
      covers[$copyright]+="${covers[$copyright]:+$'\n'}$component"
    [[ "${holders[$copyright]:-}" == *" $package,"* ]] ||
      holders[$copyright]+=" $package,"
  done
done
native=/usr/share/doc/liblzma5/copyright
[ -f "$native" ] || die "$native is missing (package liblzma5)"

rule=$(printf '=%.0s' {1..78})
# section LINE...: a heading of one or more lines between two rules.
section() {
  printf '\n%s\n' "$rule"
  printf '%s\n' "$@"
  printf '%s\n\n' "$rule"
}
cat <<EOF
Third-party notices
===================

halyard4's own code is under the MIT licence (LICENSE). The programs built from it contain code
of others, under the licences that follow, each reproduced from the file that the build takes it
from:

  lzmulti.exe        liblzma $xz_version (XZ Utils), the mingw-w64 runtime, winpthreads and the
                     GCC runtime libraries libgcc and libstdc++, all linked statically
  halyard4inst.dll   the mingw-w64 runtime, winpthreads and the GCC runtime libraries libgcc and
                     libstdc++, linked statically
  lzmulti (Linux)    liblzma of Debian's package liblzma5, linked dynamically
EOF
section "liblzma $xz_version (XZ Utils)" \
  "in lzmulti.exe, from COPYING and AUTHORS of the xz-utils $xz_version source"
cat "$xz/COPYING"
printf '\n'
cat "$xz/AUTHORS"
for copyright in "${copyrights[@]}"; do
  packages=${holders[$copyright]%,}
  section "${covers[$copyright]}" "in lzmulti.exe and halyard4inst.dll, from" \
    "/usr/share/doc/PACKAGE/copyright of the Debian package(s)$packages"
  cat "$copyright"
done
section "liblzma" "in the Linux lzmulti, from $native of the Debian package liblzma5"
cat "$native"
