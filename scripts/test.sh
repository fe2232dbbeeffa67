#!/usr/bin/env bash
# Builds everything and runs every test. Installs what is missing first (as root).
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh

# The test builds, native and Windows, treat every compiler warning as an error.
export HALYARD_WERROR=ON

# Includes point down the floors of the tree only (see scripts/check-includes.py).
python3 scripts/check-includes.py
native_build
ctest --test-dir build --output-on-failure -j"$(nproc)"

# The native suite under AddressSanitizer and UndefinedBehaviorSanitizer, then each fuzz target
# for a minute; developers may skip them with HALYARD_SKIP_SANITIZERS=1 and HALYARD_SKIP_FUZZ=1
# (CI runs both).
if [ "${HALYARD_SKIP_SANITIZERS:-0}" = 1 ]; then
  echo "Skipping the sanitizer build and its tests (HALYARD_SKIP_SANITIZERS=1)"
else
  scripts/test-sanitizers.sh
fi
if [ "${HALYARD_SKIP_FUZZ:-0}" = 1 ]; then
  echo "Skipping the fuzz targets (HALYARD_SKIP_FUZZ=1)"
else
  scripts/fuzz.sh
fi

# The Windows build under Wine; developers may skip it with HALYARD_SKIP_WIN32=1 (CI runs it).
if [ "${HALYARD_SKIP_WIN32:-0}" = 1 ]; then
  echo "Skipping the Windows build and its Wine tests (HALYARD_SKIP_WIN32=1)"
  scripts/check-reproducible.sh --linux
else
  scripts/test-win32.sh
  scripts/check-reproducible.sh --linux --win32
fi
