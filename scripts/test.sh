#!/usr/bin/env bash
# Builds everything and runs every test. Installs what is missing first (as root).
#
# HALYARD_SKIP leaves legs out for a quick local run: a comma-separated list of sanitizers, fuzz
# and win32 (CI runs them all).
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh

skip=",${HALYARD_SKIP:-},"
for leg in ${skip//,/ }; do
  case "$leg" in
    sanitizers | fuzz | win32) ;;
    *) die "HALYARD_SKIP has '$leg'; the legs that can be skipped are sanitizers, fuzz and win32" ;;
  esac
done
skipped() { [[ "$skip" == *",$1,"* ]]; }

# step NAME: starts a part of the run; its time is summed up at the end.
parts=()
step_start=$SECONDS
step_name=
step() {
  [ -z "$step_name" ] || parts+=("$step_name $((SECONDS - step_start)) s")
  step_name=$1
  step_start=$SECONDS
  [ -z "$1" ] || echo "== $1"
}

# The test builds, native and Windows, treat every compiler warning as an error.
export HALYARD_WERROR=ON

# Every leg's packages first, in one go: the checks below run the native build's tools, and one
# install finds versions that fit together across amd64 and i386 (wine32), where later installs of
# newer amd64 libraries could leave no i386 twin to match them.
step "packages"
packages=("${NATIVE_PACKAGES[@]}" "${PACKAGE_PACKAGES[@]}")
if ! skipped sanitizers || ! skipped fuzz; then packages+=("${SANITIZER_PACKAGES[@]}"); fi
if ! skipped win32; then
  add_i386
  packages+=("${WIN32_PACKAGES[@]}")
fi
need_packages "${packages[@]}"

# Includes point down the floors of the tree only; every C++ file is formatted; no file keeps the
# marks of a merge left unresolved.
step "checks"
python3 scripts/check-includes.py
scripts/check-format.sh
if git grep -nE '^(<<<<<<<|>>>>>>>) ' -- . ':!*.dpc'; then die "unresolved merge marks above"; fi

step "native build and tests"
native_build
ctest --test-dir build --output-on-failure -j"$JOBS"

# The native suite under AddressSanitizer and UndefinedBehaviorSanitizer, then each fuzz target
# for a minute.
if skipped sanitizers; then
  echo "Skipping the sanitizer build and its tests (HALYARD_SKIP=$HALYARD_SKIP)"
else
  step "sanitizers"
  scripts/test-sanitizers.sh
fi
if skipped fuzz; then
  echo "Skipping the fuzz targets (HALYARD_SKIP=$HALYARD_SKIP)"
else
  step "fuzzing"
  scripts/fuzz.sh
fi

# The Windows build under Wine, then the second build of every deliverable.
if skipped win32; then
  echo "Skipping the Windows build and its Wine tests (HALYARD_SKIP=$HALYARD_SKIP)"
  step "reproducibility"
  scripts/check-reproducible.sh --linux
else
  step "Windows leg"
  scripts/test-win32.sh
  step "reproducibility"
  scripts/check-reproducible.sh --linux --win32
fi
step ""
echo "All tests passed. Time of each part: $(IFS=,; echo "${parts[*]}" | sed 's/,/, /g')"
