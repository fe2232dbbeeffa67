#!/usr/bin/env bash
# The sanitizer leg of the test suite: builds the native tree with clang under AddressSanitizer
# (leak checking on) and UndefinedBehaviorSanitizer into build-sanitize/, and runs the native
# suite in it, the tests labelled "slow" left out. Any report fails the run: the programs stop
# at the first finding with a failing status and the report on standard error (the options are
# sanitizer_build's, scripts/lib.sh). The same tree carries the fuzz targets (scripts/fuzz.sh).
#
# scripts/test.sh runs it; HALYARD_SKIP=sanitizers skips it there.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh

sanitizer_build
ctest --test-dir build-sanitize --output-on-failure -LE slow -j"$JOBS"
