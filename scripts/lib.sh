# Shared helpers of the scripts. Source it; it defines functions only.

# need_packages PKG...: installs the Debian packages that are missing (as root), or names them
# and fails (as another user).
need_packages() {
  local missing=() pkg
  for pkg in "$@"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' ||
      missing+=("$pkg")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "Missing packages: ${missing[*]}" >&2
    echo "Install them with: sudo apt-get install -y ${missing[*]}" >&2
    return 1
  fi
  echo "Installing: ${missing[*]}"
  # An empty package list (a fresh machine) needs an update first; so does a failed install.
  if [ -z "$(ls -A /var/lib/apt/lists 2>/dev/null | grep -v -e lock -e partial)" ]; then
    apt-get update -qq
  fi
  if ! DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null; then
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
  fi
}

# The packages of the native build and its tests (groff checks the manual page).
NATIVE_PACKAGES=(build-essential cmake pkg-config liblzma-dev libgtest-dev libgmock-dev googletest
                 xz-utils python3 groff-base)

# How the native tree is configured, by native_build and by the second build that
# scripts/check-reproducible.sh compares with it.
NATIVE_CMAKE_ARGS=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)

# native_build: configures and builds the native tree in build/. Warnings are errors when
# HALYARD_WERROR is ON (scripts/test.sh sets it).
native_build() {
  need_packages "${NATIVE_PACKAGES[@]}"
  cmake -S . -B build "${NATIVE_CMAKE_ARGS[@]}" -DHALYARD_WERROR="${HALYARD_WERROR:-OFF}" \
    >/dev/null
  cmake --build build -j"$(nproc)"
}

# The packages of the sanitizer and fuzzing builds: clang with its sanitizer and libFuzzer
# runtimes.
SANITIZER_PACKAGES=(clang libclang-rt-dev)

# sanitizer_build: configures and builds build-sanitize/ with clang under AddressSanitizer and
# UndefinedBehaviorSanitizer, with the fuzz targets, warnings as errors unless HALYARD_WERROR=OFF.
# Two jobs at most: it runs alone.
sanitizer_build() {
  need_packages "${NATIVE_PACKAGES[@]}" "${SANITIZER_PACKAGES[@]}"
  CC=clang CXX=clang++ cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DHALYARD_WERROR="${HALYARD_WERROR:-ON}" -DHALYARD_SANITIZE=address,undefined \
    -DHALYARD_FUZZ=ON >/dev/null
  cmake --build build-sanitize -j"$(($(nproc) < 2 ? $(nproc) : 2))"
}
