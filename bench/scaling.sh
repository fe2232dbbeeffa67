#!/usr/bin/env bash
# Measures how lzmulti's time and memory grow with the number of files (1,000 to 100,000 tiny
# files) and with the bytes (one file of 1 to 64 MiB), against tar + xz, for packing, listing and
# unpacking, and writes its section of docs/performance.md and the plot docs/scaling.png.
#
#   bench/scaling.sh [--quick] [--million]
#
# --quick makes fewer runs (2 minutes on 2 cores); --million adds a tree of 1,000,000 files,
# measured once, which needs up to 10 GiB of tmpfs while it runs (9 to 12 minutes in all).
#
# Builds a Release lzmulti in build-bench/ and works on tmpfs (/dev/shm, or TMPDIR when it is not
# tmpfs, which the tables then say), like bench/compare.sh; bench/scaling.py does the runs.
# Installs what it needs (as root): the native build's packages, gnuplot-nox and time.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh

bench_run scaling scaling.png "$@"
