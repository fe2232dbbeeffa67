#!/usr/bin/env bash
# Checks that every C++ file git tracks is formatted as .clang-format says (clang-format
# --dry-run -Werror); prints each departure and fails on any. Installs clang-format when it is
# missing (as root). `clang-format -i FILE` formats a file.
#
#   scripts/check-format.sh
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh

need_packages clang-format git
mapfile -d '' files < <(git ls-files -z -- '*.cpp' '*.h')
[ ${#files[@]} -gt 0 ] || die "git tracks no C++ files here"
clang-format --dry-run -Werror "${files[@]}"
echo "Formatted as .clang-format says: ${#files[@]} C++ files"
