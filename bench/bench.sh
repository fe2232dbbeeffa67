#!/usr/bin/env bash
# Measures lzmulti on generated data: compression and extraction throughput and peak memory.
#
#   bench/bench.sh [size-in-MiB] [window-size]     (defaults: 32 and 23)
#
# Uses LZMULTI if set, else build/app/lzmulti (built with native_build when missing). The data:
# one file of mixed text, zero runs and random bytes (the same for the same size) plus a copy of
# a text sample, so that the match finder has work of every kind. Work files go to a temporary
# folder that is removed afterwards. Peak memory is the maximum resident set size reported by
# /usr/bin/time -v.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh

size_mib="${1:-32}"
window="${2:-23}"
lz="${LZMULTI:-build/app/lzmulti}"
if [ ! -x "$lz" ]; then
  native_build
fi
lz="$(cd "$(dirname "$lz")" && pwd)/$(basename "$lz")"
if [ ! -x /usr/bin/time ]; then
  need_packages time
fi

work="$(mktemp -d "${TMPDIR:-/tmp}/lzmulti-bench-XXXXXX")"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/in" "$work/out"

# The generator of the end-to-end tests (tests/archive_util.py), with longer runs.
python3 - "$work/in/mixed.bin" "$size_mib" <<'PY'
import sys
sys.path.insert(0, "tests")
from archive_util import mixed_data
path, size = sys.argv[1], int(sys.argv[2]) << 20
words = [b"alpha", b"beta", b"gamma", b"delta", b"\n", b"archive", b"0123456789"]
with open(path, "wb") as f:
    f.write(mixed_data(size, size, words, longest=(400, 8000, 6000)))
PY
cp samples/readme.txt "$work/in/readme.txt"

in_bytes=$(cat "$work/in/mixed.bin" "$work/in/readme.txt" | wc -c)

# run LABEL DIR ARGS...: runs lzmulti under /usr/bin/time -v in DIR; prints seconds and peak KiB.
run() {
  local label="$1" dir="$2"
  shift 2
  (cd "$dir" && /usr/bin/time -v "$lz" "$@") 2>"$work/$label.time" >/dev/null
  if grep -q '^Error' "$work/$label.time"; then
    grep '^Error' "$work/$label.time" >&2
    exit 1
  fi
  local elapsed peak
  elapsed=$(awk -F': ' '/Elapsed \(wall clock\)/ {print $2}' "$work/$label.time")
  peak=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$work/$label.time")
  python3 - "$label" "$elapsed" "$peak" "$in_bytes" <<'PY'
import sys
label, elapsed, peak_kib, in_bytes = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
seconds = 0.0
for part in elapsed.split(":"):
    seconds = seconds * 60 + float(part)
rate = in_bytes / (1 << 20) / seconds if seconds > 0 else float("inf")
print(f"{label:<11} {seconds:8.2f} s  {rate:8.2f} MiB/s of data  peak {peak_kib / 1024:8.1f} MiB")
PY
}

echo "lzmulti benchmark: ${in_bytes} bytes of input, window size ${window} ($(nproc) cores)"
run compress "$work/in" -w "$window" ../archive.dpc mixed.bin readme.txt
echo "archive: $(wc -c <"$work/archive.dpc") bytes"
run extract "$work/out" ../archive.dpc
cmp "$work/in/mixed.bin" "$work/out/mixed.bin"
cmp "$work/in/readme.txt" "$work/out/readme.txt"
echo "extracted files identical"
