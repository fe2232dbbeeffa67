#!/usr/bin/env bash
# Cross-builds the Windows kit with mingw-w64 and leaves it in build-win32/kit/:
# lzmulti.exe, halyard4inst.dll with its header halyard4inst.h, README.txt, halyard4inst.nsh,
# example-install.nsi, LICENSE, THIRD-PARTY-NOTICES.txt, a zip of the eight and their SHA256SUMS.
#
#   scripts/build-win32.sh
#
# liblzma is built as a static library from Debian's xz-utils source package and cached under
# the build folder (deps/), so reruns only rebuild the project. As root the script installs what
# is missing (toolchain, Wine, the source package); as another user it names what is missing and
# stops. scripts/pack-kit.sh assembles the kit from the build's install rules, in a temporary
# folder that is moved into place only when the kit is complete.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh

[ $# -eq 0 ] || { echo "usage: scripts/build-win32.sh" >&2; exit 2; }

BUILD=build-win32
TOOLCHAIN=cmake/toolchain-mingw32.cmake
TRIPLET=i686-w64-mingw32

# --- Tools -----------------------------------------------------------------------------------
add_i386
need_packages "${WIN32_PACKAGES[@]}" || die "the packages named above are missing"
command -v "$TRIPLET-g++" >/dev/null ||
  die "$TRIPLET-g++ not found; install it with: apt-get install -y g++-mingw-w64-i686"
command -v "$TRIPLET-windres" >/dev/null ||
  die "$TRIPLET-windres not found; install it with: apt-get install -y binutils-mingw-w64-i686"
[ -f /usr/src/googletest/CMakeLists.txt ] ||
  die "/usr/src/googletest is missing; install it with: apt-get install -y googletest"

# --- liblzma for Windows from Debian's xz-utils source -----------------------------------------
DEPS=$PWD/$BUILD/deps
mkdir -p "$DEPS"

has_source_entries() {
  grep -Eqs '^[[:space:]]*Types:.*deb-src' /etc/apt/sources.list.d/*.sources ||
    grep -Eqs '^[[:space:]]*deb-src[[:space:]]' /etc/apt/sources.list /etc/apt/sources.list.d/*.list
}

fetch_xz_source() {
  local src_dir=$DEPS/source
  ls "$src_dir"/xz-utils_*.orig.tar.* >/dev/null 2>&1 && return 0
  if ! has_source_entries; then
    [ "$(id -u)" -eq 0 ] ||
      die "apt has no deb-src entries, so the xz-utils source is out of reach; run this script as root (it adds them) or add one and run apt-get update"
    [ -f /etc/apt/sources.list.d/debian.sources ] ||
      die "no /etc/apt/sources.list.d/debian.sources to derive source entries from; add a deb-src entry for xz-utils"
    sed -E 's/^Types:.*/Types: deb-src/' /etc/apt/sources.list.d/debian.sources \
      >/etc/apt/sources.list.d/debian-src.sources
    apt_update
  fi
  local tmp
  tmp=$(mktemp -d "$DEPS/source.XXXXXX")
  if ! (cd "$tmp" && apt-get source --download-only -qq xz-utils >/dev/null 2>&1); then
    if [ "$(id -u)" -eq 0 ]; then
      apt_update
      (cd "$tmp" && apt-get source --download-only -qq xz-utils >/dev/null 2>&1) || {
        rm -rf "$tmp"
        die "apt-get source --download-only xz-utils failed; check the deb-src entries and the network"
      }
    else
      rm -rf "$tmp"
      die "apt-get source --download-only xz-utils failed; as root run: apt-get update (with deb-src entries)"
    fi
  fi
  ls "$tmp"/xz-utils_*.orig.tar.* >/dev/null 2>&1 || {
    rm -rf "$tmp"
    die "the xz-utils source package holds no orig tarball"
  }
  rm -rf "$src_dir"
  mv "$tmp" "$src_dir"
}

build_liblzma() {
  local tarball version src build
  tarball=$(ls "$DEPS"/source/xz-utils_*.orig.tar.* | head -n1)
  version=$(basename "$tarball" | sed -E 's/^xz-utils_(.*)\.orig\.tar\..*$/\1/')
  src=$DEPS/xz-$version
  build=$DEPS/xz-$version-i686
  LZMA_INCLUDE=$src/src/liblzma/api
  LZMA_LIBRARY=$build/liblzma.a
  [ -f "$LZMA_LIBRARY" ] && [ -f "$LZMA_INCLUDE/lzma.h" ] && return 0
  echo "Building liblzma $version for $TRIPLET"
  if [ ! -f "$src/CMakeLists.txt" ]; then
    rm -rf "$src" "$src.tmp"
    mkdir -p "$src.tmp"
    tar -xf "$tarball" -C "$src.tmp" --strip-components=1
    mv "$src.tmp" "$src"
  fi
  rm -rf "$build"
  cmake -S "$src" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$PWD/$TOOLCHAIN" \
    -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=OFF >"$DEPS/xz-configure-i686.log" 2>&1 ||
    die "configuring liblzma failed; see $DEPS/xz-configure-i686.log"
  cmake --build "$build" --target liblzma -j"$JOBS" >"$DEPS/xz-build-i686.log" 2>&1 ||
    die "building liblzma failed; see $DEPS/xz-build-i686.log"
  [ -f "$LZMA_LIBRARY" ] || die "the liblzma build left no $LZMA_LIBRARY"
}

fetch_xz_source
build_liblzma

# --- The project ---------------------------------------------------------------------------------
# Debian's Python, which the test guest has too (the tests run there where this machine cannot
# run 32-bit programs).
cmake -S . -B "$BUILD" -DCMAKE_TOOLCHAIN_FILE="$PWD/$TOOLCHAIN" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DHALYARD_WERROR="${HALYARD_WERROR:-OFF}" -DHALYARD_GTEST_SOURCE_DIR=/usr/src/googletest \
  -DLIBLZMA_INCLUDE_DIR="$LZMA_INCLUDE" -DLIBLZMA_LIBRARY="$LZMA_LIBRARY" \
  -DPython3_EXECUTABLE=/usr/bin/python3 >/dev/null
cmake --build "$BUILD" -j"$JOBS"

scripts/pack-kit.sh "$BUILD" "$BUILD/kit"
