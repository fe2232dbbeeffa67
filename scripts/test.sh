#!/usr/bin/env bash
# Builds everything and runs every test. Installs what is missing first (as root).
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh

native_build
ctest --test-dir build --output-on-failure -j"$(nproc)"
