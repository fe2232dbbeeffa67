#!/usr/bin/env bash
# The main job of lzmulti, end to end: packs the bundled files of samples/ into one archive, lists
# the archive, unpacks it into a fresh folder and compares every file with its original.
# Everything it writes goes to demo-out/. Builds the native tree first when lzmulti is missing;
# LZMULTI may name another lzmulti binary to use instead.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh

lz="${LZMULTI:-build/app/lzmulti}"
if [ ! -x "$lz" ]; then
  echo "== Building lzmulti (native build in build/)"
  native_build
fi
lz="$(cd "$(dirname "$lz")" && pwd)/$(basename "$lz")"

out=demo-out
rm -rf "$out"
mkdir -p "$out/unpacked"

# Stored names are relative to samples/, with their folder part.
mapfile -t names < <(cd samples && find . -type f | sed 's|^\./||' | LC_ALL=C sort)

echo "== Packing ${#names[@]} files of samples/ into $out/samples.dpc"
(cd samples && "$lz" -v 1 "../$out/samples.dpc" "${names[@]}") 2>"$out/pack.log"
cat "$out/pack.log"
if grep -q '^Error' "$out/pack.log"; then
  echo "Packing failed" >&2
  exit 1
fi
in_bytes=$(cd samples && cat "${names[@]}" | wc -c)
echo "   ${in_bytes} bytes in, $(wc -c <"$out/samples.dpc") bytes of archive"

echo "== Listing the archive (lzmulti -t)"
"$lz" -t "$out/samples.dpc" | tee "$out/listing.txt" | sed 's/^/   /'

echo "== Unpacking into $out/unpacked"
# Extraction creates files, not folders: make the folders of the stored names first.
while IFS= read -r name; do
  case "$name" in */*) mkdir -p "$out/unpacked/${name%/*}" ;; esac
done <"$out/listing.txt"
(cd "$out/unpacked" && "$lz" ../samples.dpc) 2>"$out/unpack.log"
if [ -s "$out/unpack.log" ]; then
  cat "$out/unpack.log"
  echo "Unpacking reported errors" >&2
  exit 1
fi

echo "== Comparing with the originals"
for name in "${names[@]}"; do
  cmp "samples/$name" "$out/unpacked/$name"
  printf '   same: %s (%s bytes)\n' "$name" "$(wc -c <"samples/$name")"
done
echo "Done: ${#names[@]} files packed, listed, unpacked and found identical (see $out/)."
