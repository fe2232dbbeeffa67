# Shared helpers of the scripts (scripts/README.md lists who uses what). Source it from the top of
# the tree; it defines constants and functions only.

# Jobs of every build and test run: two at most, the machines are shared.
JOBS=$(nproc 2>/dev/null || echo 2)
[ "$JOBS" -le 2 ] || JOBS=2

# die MESSAGE...: names the script and the fault on standard error and fails. A script that
# always means the same by failing sets DIE_NOTE (pack-kit.sh: "no kit was assembled").
die() {
  echo "${0##*/}: $*${DIE_NOTE:+; $DIE_NOTE}" >&2
  exit 1
}

# apt_update: refreshes apt's package lists. A mirror caught in a sync serves an index that does
# not match its release file, and apt-get update fails: it tries twice more, 20 s apart, then
# says what failed and goes on, so that an installation that needs none of the missing lists
# still works (one that does fails with apt's own message).
apt_update() {
  local try
  for try in 1 2 3; do
    apt-get update -qq && return 0
    [ "$try" -eq 3 ] || { echo "apt-get update failed; trying again in 20 s" >&2; sleep 20; }
  done
  echo "apt-get update failed three times (see above); going on with the lists it got" >&2
}

# need_packages PKG...: installs the Debian packages that are missing (as root), or names them
# and fails (as another user). Says how long the installation took.
need_packages() {
  local missing=() pkg start=$SECONDS
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
    apt_update
  fi
  # Another installation running on the machine holds dpkg's lock: wait for it.
  local install=(apt-get install -y -qq -o DPkg::Lock::Timeout=600)
  if ! DEBIAN_FRONTEND=noninteractive "${install[@]}" "${missing[@]}" >/dev/null; then
    apt_update
    # When one architecture's list of the security suite could not be fetched (a mirror caught
    # mid-sync), an i386 package cannot match the version of its amd64 twin from that suite:
    # the release's own versions, which both architectures have, then make a consistent set.
    DEBIAN_FRONTEND=noninteractive "${install[@]}" "${missing[@]}" >/dev/null ||
      DEBIAN_FRONTEND=noninteractive "${install[@]}" -t "$(. /etc/os-release && echo "$VERSION_CODENAME")" \
        "${missing[@]}" >/dev/null || {
      echo "apt-get install ${missing[*]} failed (apt-get's message above)" >&2
      return 1
    }
  fi
  echo "Installed in $((SECONDS - start)) s: ${missing[*]}"
}

# debian_mirror: the address of Debian's archive that this machine's apt takes bookworm from (in
# debian.sources the URIs of the stanza whose Suites name bookworm, else the first bookworm line of
# sources.list), so that no host name is written into a script. Prints nothing when there is none.
debian_mirror() {
  {
    awk -v RS= '{
      suites = ""; uris = ""
      n = split($0, lines, "\n")
      for (i = 1; i <= n; i++) {
        if (lines[i] ~ /^Suites:/) suites = " " substr(lines[i], 8) " "
        if (lines[i] ~ /^URIs:/) uris = substr(lines[i], 6)
      }
      if (suites ~ /[ \t]bookworm[ \t]/) { split(uris, u, " "); print u[1]; exit }
    }' /etc/apt/sources.list.d/debian.sources 2>/dev/null || true
    awk '$1 == "deb" && $2 !~ /^\[/ && $3 == "bookworm" { print $2; exit }' /etc/apt/sources.list \
      2>/dev/null || true
  } | head -n1
}

# source_date_epoch: the one time of a kit or package: SOURCE_DATE_EPOCH when set (checked), else
# the time of the last commit. Prints it, or fails naming what is missing.
source_date_epoch() {
  if [ -n "${SOURCE_DATE_EPOCH:-}" ]; then
    [[ "$SOURCE_DATE_EPOCH" =~ ^[0-9]+$ ]] ||
      die "SOURCE_DATE_EPOCH ($SOURCE_DATE_EPOCH) is no number of seconds since 1970"
    echo "$SOURCE_DATE_EPOCH"
  else
    git log -1 --format=%ct 2>/dev/null ||
      die "no SOURCE_DATE_EPOCH and no commit to take the time from; set SOURCE_DATE_EPOCH"
  fi
}

# The packages that building the programs needs, without the tests (scripts/demo.sh).
BUILD_PACKAGES=(build-essential cmake liblzma-dev)

# The packages of the native build and its tests (groff checks the manual page).
NATIVE_PACKAGES=("${BUILD_PACKAGES[@]}" pkg-config libgtest-dev libgmock-dev googletest xz-utils
                 python3 groff-base)

# How the native tree is configured, by native_build and by the second build that
# scripts/check-reproducible.sh compares with it.
NATIVE_CMAKE_ARGS=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)

# cmake_cache BUILD NAME: the value of the entry NAME in the CMake cache of the build folder BUILD;
# empty when the folder has no cache or the cache no such entry.
cmake_cache() {
  sed -n "s/^$2:[A-Z]*=//p" "$1/CMakeCache.txt" 2>/dev/null || true
}

# native_build: configures and builds the native tree in build/. Warnings are errors when
# HALYARD_WERROR is ON (scripts/test.sh sets it).
native_build() {
  need_packages "${NATIVE_PACKAGES[@]}"
  cmake -S . -B build "${NATIVE_CMAKE_ARGS[@]}" -DHALYARD_WERROR="${HALYARD_WERROR:-OFF}" \
    >/dev/null
  cmake --build build -j"$JOBS"
}

# The packages that making the Debian packages takes (scripts/package.sh): cpack's DEB generator
# finds the programs with file and computes lzmulti's dependencies with dpkg-shlibdeps.
PACKAGE_PACKAGES=(dpkg-dev file)

# The packages of the sanitizer and fuzzing builds: clang with its sanitizer and libFuzzer
# runtimes.
SANITIZER_PACKAGES=(clang libclang-rt-dev)

# The packages of the Windows leg: the cross compiler, 32-bit Wine (apt's i386 architecture, see
# add_i386), nsis (makensis builds the test installer and the kit's example installer), xz-utils to
# unpack the xz-utils source, git for the kit's time (scripts/pack-kit.sh).
WIN32_PACKAGES=(g++-mingw-w64-i686 binutils-mingw-w64-i686 wine wine32:i386 nsis cmake make python3
                googletest zip xz-utils git)

# add_i386: adds apt's i386 architecture (for wine32), as root; names the command otherwise.
add_i386() {
  dpkg --print-foreign-architectures | grep -qx i386 && return 0
  [ "$(id -u)" -eq 0 ] ||
    die "apt has no i386 architecture for wine32; as root run: dpkg --add-architecture i386 &&" \
      "apt-get update && apt-get install -y ${WIN32_PACKAGES[*]}"
  dpkg --add-architecture i386
  apt_update
}

# sanitizer_build: configures and builds build-sanitize/ with clang under AddressSanitizer and
# UndefinedBehaviorSanitizer, with the fuzz targets, warnings as errors unless HALYARD_WERROR=OFF,
# and sets the sanitizers' options for what runs in it: leak checking on, stop at the first
# finding of either sanitizer.
sanitizer_build() {
  need_packages "${NATIVE_PACKAGES[@]}" "${SANITIZER_PACKAGES[@]}"
  CC=clang CXX=clang++ cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DHALYARD_WERROR="${HALYARD_WERROR:-ON}" -DHALYARD_SANITIZE=address,undefined \
    -DHALYARD_FUZZ=ON >/dev/null
  cmake --build build-sanitize -j"$JOBS"
  export ASAN_OPTIONS=detect_leaks=1:halt_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1
  export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
}

# The 32-bit Wine prefix inside the test guest, made when its image is built.
VM32_WINEPREFIX=/var/lib/halyard/wineprefix

# vm32_setting KEY DEFAULT: the test guest's setting KEY from HALYARD_VM32, a comma-separated
# list of KEY=VALUE (timeout, memory, boot, accel, cache; scripts/README.md), else DEFAULT.
vm32_setting() {
  local item value=$2 settings=${HALYARD_VM32:-}
  for item in ${settings//,/ }; do
    case "${item%%=*}" in
      timeout | memory | boot | accel | cache) ;;
      *) die "HALYARD_VM32 has '$item'; its settings are timeout, memory, boot, accel and cache" ;;
    esac
    [ "${item%%=*}" = "$1" ] && value=${item#*=}
  done
  echo "$value"
}

# bench_build: the Release build of lzmulti in build-bench/ that the benchmarks measure.
bench_build() {
  need_packages "${NATIVE_PACKAGES[@]}" "$@"
  cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DHALYARD_BUILD_TESTS=OFF >/dev/null
  cmake --build build-bench -j"$JOBS" --target lzmulti >/dev/null
}

# bench_folder NAME: a new folder on tmpfs (/dev/shm; TMPDIR, with a warning, where that is no
# tmpfs), printed; the caller removes it.
bench_folder() {
  local base=/dev/shm
  if [ "$(stat -f -c %T "$base" 2>/dev/null)" != tmpfs ]; then
    base="${TMPDIR:-/tmp}"
    echo "warning: /dev/shm is no tmpfs; working in $base" >&2
  fi
  mktemp -d "$base/lzmulti-$1-XXXXXX"
}

# bench_run NAME PLOT [ARG...]: bench/NAME.py on the Release build and a tmpfs folder of its own,
# writing its section of docs/performance.md and the plot docs/PLOT.
bench_run() {
  local name=$1 plot=$2
  shift 2
  bench_build gnuplot-nox time
  BENCH_WORK=$(bench_folder "$name")
  trap 'rm -rf "$BENCH_WORK"' EXIT
  python3 "bench/$name.py" "$PWD/build-bench/app/lzmulti" "$BENCH_WORK/run" docs/performance.md \
    "docs/$plot" "$@"
}
