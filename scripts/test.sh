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

# The Windows build under Wine; developers may skip it with HALYARD_SKIP_WIN32=1 (CI runs it).
if [ "${HALYARD_SKIP_WIN32:-0}" = 1 ]; then
  echo "Skipping the Windows build and its Wine tests (HALYARD_SKIP_WIN32=1)"
  scripts/check-reproducible.sh --linux
else
  scripts/test-win32.sh
  scripts/check-reproducible.sh --linux --win32
fi
