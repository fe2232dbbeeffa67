#!/usr/bin/env bash
# The sanitizer leg of the test suite: builds the native tree with clang under AddressSanitizer
# (leak checking on) and UndefinedBehaviorSanitizer into build-sanitize/, and runs the native
# suite in it, the tests labelled "slow" left out. Any report fails the run: the programs stop
# at the first finding with a failing status and the report on standard error. The same tree
# carries the fuzz targets (scripts/fuzz.sh).
#
# scripts/test.sh runs it; HALYARD_SKIP_SANITIZERS=1 skips it there.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh

sanitizer_build
# Leak checking is on by default with AddressSanitizer on Linux; say so, and stop at the first
# finding of either sanitizer.
export ASAN_OPTIONS=detect_leaks=1:halt_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
ctest --test-dir build-sanitize --output-on-failure -LE slow -j"$(($(nproc) < 2 ? $(nproc) : 2))"
