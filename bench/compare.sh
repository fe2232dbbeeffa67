#!/usr/bin/env bash
# Measures lzmulti against xz's raw LZMA1 with identical settings, both interleaved in one run, and
# writes the tables of docs/performance.md and the plot docs/performance.png.
#
#   bench/compare.sh [--quick]      (about 5 minutes on 2 cores; --quick: fewer runs, about 3)
#
# Builds a Release lzmulti in build-bench/, makes the corpora (bench/make_corpus.py) on tmpfs
# (/dev/shm, or TMPDIR when it is not tmpfs, which the tables then say), and runs
# bench/compare.py. Installs what it needs (as root): the native build's packages (xz-utils among them),
# gnuplot-nox and time.
#
# Its sibling bench/scaling.sh measures how the time and memory grow with the number of files
# (1,000 to 100,000 tiny files, --million adds 1,000,000) and with the bytes (one file of 1 to
# 64 MiB), packing, listing and unpacking against tar + xz; it writes the section "Scaling" of
# docs/performance.md.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh

bench_run compare performance.png "$@"
