#!/usr/bin/env bash
# The main job of lzmulti, end to end: packs the bundled files of samples/ into one archive, lists
# the archive, unpacks it into a fresh folder and compares every file with its original, showing
# each command before it runs it; at the end it says where to go next. Everything it writes goes
# to demo-out/.
#
# It builds lzmulti alone, without the tests, in build-demo/ (under a minute the first time on
# 2 cores, once the packages are there; installs the few that building needs, as root). LZMULTI
# may name another lzmulti binary to use instead.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh

# run DIR LOG COMMAND...: prints the command as one would type it at the top of the tree
# ("+ (cd DIR && COMMAND 2>LOG)", the parts for DIR "." and LOG "-" left out), then runs it in
# DIR with its standard error into LOG (a path from DIR).
run() {
  local dir=$1 log=$2 shown
  shift 2
  shown=$(printf ' %q' "$@")
  shown=${shown# }
  [ "$log" = - ] || shown+=" 2>$(printf %q "$log")"
  [ "$dir" = . ] || shown="(cd $(printf %q "$dir") && $shown)"
  echo "+ $shown" >&2
  if [ "$log" = - ]; then
    (cd "$dir" && "$@")
  else
    (cd "$dir" && "$@" 2>"$log")
  fi
}

lz="${LZMULTI:-build-demo/app/lzmulti}"
if [ -z "${LZMULTI:-}" ]; then
  echo "== Building lzmulti alone (no tests) in build-demo/"
  need_packages "${BUILD_PACKAGES[@]}"
  run . - cmake -S . -B build-demo -DCMAKE_BUILD_TYPE=Release -DHALYARD_BUILD_TESTS=OFF \
    --log-level=WARNING
  run . - cmake --build build-demo -j"$JOBS" --target lzmulti
fi
# The commands below name the program as one types it once it is on the PATH.
PATH="$(cd "$(dirname "$lz")" && pwd):$PATH"
lz=$(basename "$lz")

out=demo-out
rm -rf "$out"
mkdir -p "$out/unpacked"

# Stored names are relative to samples/, with their folder part.
mapfile -t names < <(cd samples && find . -type f | sed 's|^\./||' | LC_ALL=C sort)

echo "== Packing ${#names[@]} files of samples/ into $out/samples.dpc"
run samples "../$out/pack.log" "$lz" -v 1 "../$out/samples.dpc" "${names[@]}"
sed 's/^/   /' "$out/pack.log"
if grep -q '^Error' "$out/pack.log"; then
  echo "Packing failed" >&2
  exit 1
fi
in_bytes=$(cd samples && cat "${names[@]}" | wc -c)
echo "   ${in_bytes} bytes in, $(wc -c <"$out/samples.dpc") bytes of archive"

echo "== Listing the archive (lzmulti -t)"
run . - "$lz" -t "$out/samples.dpc" | tee "$out/listing.txt" | sed 's/^/   /'

echo "== Unpacking into $out/unpacked"
# -c makes the folders of the stored names.
run "$out/unpacked" ../unpack.log "$lz" -c yes ../samples.dpc
if [ -s "$out/unpack.log" ]; then
  cat "$out/unpack.log"
  echo "Unpacking reported errors" >&2
  exit 1
fi

echo "== Comparing with the originals"
for name in "${names[@]}"; do
  run . - cmp "samples/$name" "$out/unpacked/$name"
done
echo "Done: ${#names[@]} files packed, listed, unpacked and found identical (see $out/)."

cat <<EOF

Where to go next:
  man ./docs/lzmulti.1          the manual page: the options, the log levels, what unpacking
                                writes and refuses
  cmake --build build-demo -j$JOBS && cmake --install build-demo --prefix /usr/local
                                installs lzmulti and its manual page (README.md, "Building")
  scripts/package.sh            Debian packages of lzmulti and of the Windows kit in dist/
                                (docs/packaging.md)
  scripts/build-win32.sh        the Windows kit in build-win32/kit/ (docs/windows-kit.md)
  scripts/test.sh               every test, the Windows build's under Wine: about 13 minutes on
                                2 cores with its package installs (README.md, "Testing")
EOF
