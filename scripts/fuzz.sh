#!/usr/bin/env bash
# Runs each libFuzzer target of fuzz/ for a fixed time (HALYARD_FUZZ_SECONDS, 60 by default) on
# a copy of its seed corpus, and fails on the first finding: a crash, a sanitizer report, a leak,
# an input that runs longer than 10 s or a process that grows beyond 2 GiB. The findings are kept
# in build-sanitize/fuzz-findings/ (see fuzz/README.md for reproducing them).
#
#   scripts/fuzz.sh [TARGET...]       targets: fuzz_extract fuzz_list fuzz_cmdline fuzz_message
#
# scripts/test.sh runs it after the sanitizer leg; HALYARD_SKIP=fuzz skips it there.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh

seconds=${HALYARD_FUZZ_SECONDS:-60}
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(fuzz_extract fuzz_list fuzz_cmdline fuzz_message)

sanitizer_build
findings=$PWD/build-sanitize/fuzz-findings
mkdir -p "$findings"
for target in "${targets[@]}"; do
  work=$(mktemp -d)
  # The archive targets start from the committed archives and fuzz/seeds/; the others from nothing.
  case "$target" in
    fuzz_extract | fuzz_list) cp tests/files/*.dpc fuzz/seeds/*.dpc "$work"/ ;;
  esac
  echo "Fuzzing $target for ${seconds} s"
  # liblzma reserves the dictionary that a header claims (up to 4 GiB of address space, backed
  # only as data arrive): single allocations up to that are allowed, resident memory is not.
  # Inputs stay below 16 KiB: an archive that small can still decode to a hundred megabytes.
  if ! "build-sanitize/fuzz/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -malloc_limit_mb=4200 -max_len=16384 -print_final_stats=1 \
      -artifact_prefix="$findings/$target-" "$work" >"$findings/$target.log" 2>&1; then
    tail -n 60 "$findings/$target.log" >&2
    echo "fuzz.sh: $target found a fault; the input is in $findings" >&2
    rm -rf "$work"
    exit 1
  fi
  grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb)' "$findings/$target.log" || true
  rm -rf "$work"
done
