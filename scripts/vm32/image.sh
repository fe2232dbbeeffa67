#!/usr/bin/env bash
# Builds the test guest's image in build-vm32/ unless the one there was made from the same
# recipe (this script, init.sh, packages.txt and scripts/wine-prefix.sh): a Debian 12 root made
# with debootstrap from Debian's archive (the mirror this machine's apt uses), Debian's kernel and
# 32-bit Wine, with a Wine prefix created by booting it once. The image is only ever started as a
# snapshot afterwards, so it stays as built.
#
#   scripts/vm32/image.sh [BUILD_DIR]      default build-vm32
#
# Prints one line naming what failed and the log to read when a step fails.
set -euo pipefail
cd "$(dirname "$0")/../.."
. scripts/lib.sh

OUT=${1:-build-vm32}
recipe=$(cat scripts/vm32/image.sh scripts/vm32/init.sh scripts/vm32/packages.txt \
  scripts/wine-prefix.sh | sha256sum | cut -d' ' -f1)
if [ -f "$OUT/image/recipe" ] && [ "$(cat "$OUT/image/recipe")" = "$recipe" ]; then
  exit 0
fi

need_packages debootstrap qemu-system-x86 e2fsprogs || {
  echo "vm32: the packages named above are needed to build the test guest" >&2
  exit 1
}
MIRROR=$(debian_mirror)
[ -n "$MIRROR" ] || {
  echo "vm32: this machine's apt sources name no mirror of bookworm to build the guest from" >&2
  exit 1
}
mkdir -p "$OUT"
OUT=$(cd "$OUT" && pwd)
LOG=$OUT/image.log
: >"$LOG"
WORK=$OUT/image.new
ROOT=$WORK/root
fail() {
  echo "vm32: building the guest image failed: $* (log: $LOG)" >&2
  exit 1
}
unmount_root() {
  local m
  for m in dev/pts dev sys proc; do
    mountpoint -q "$ROOT/$m" 2>/dev/null && umount -l "$ROOT/$m"
  done
  return 0
}
trap unmount_root EXIT

echo "vm32: building the test guest's image in $OUT (a few minutes; log: $LOG)"
start=$SECONDS
unmount_root
rm -rf "$WORK"
mkdir -p "$WORK"

debootstrap --variant=minbase bookworm "$ROOT" "$MIRROR" >>"$LOG" 2>&1 ||
  fail "debootstrap bookworm from $MIRROR"
echo "vm32: debootstrap took $((SECONDS - start)) s" | tee -a "$LOG"

mount -t proc proc "$ROOT/proc"
mount -t sysfs sys "$ROOT/sys"
mount --bind /dev "$ROOT/dev"
mount --bind /dev/pts "$ROOT/dev/pts"
# No service starts while packages are installed.
printf '#!/bin/sh\nexit 101\n' >"$ROOT/usr/sbin/policy-rc.d"
chmod +x "$ROOT/usr/sbin/policy-rc.d"
mapfile -t packages < <(grep -v -e '^#' -e '^$' scripts/vm32/packages.txt)
step=$SECONDS
chroot "$ROOT" /bin/sh -c "dpkg --add-architecture i386 && apt-get update -qq &&
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends ${packages[*]} &&
  apt-get clean" >>"$LOG" 2>&1 || fail "installing the guest's packages (${packages[*]})"
echo "vm32: the guest's packages took $((SECONDS - step)) s" | tee -a "$LOG"
rm -f "$ROOT/usr/sbin/policy-rc.d"
unmount_root
install -m 755 scripts/vm32/init.sh "$ROOT/sbin/halyard-init"
echo "/dev/vda / ext4 rw 0 1" >"$ROOT/etc/fstab"
cp "$ROOT"/boot/vmlinuz-* "$WORK/vmlinuz" || fail "the guest has no kernel"
cp "$ROOT"/boot/initrd.img-* "$WORK/initrd.img" || fail "the guest has no initial ramdisk"

step=$SECONDS
mke2fs -q -t ext4 -d "$ROOT" -L root "$WORK/root.img" 8G >>"$LOG" 2>&1 ||
  fail "making the ext4 image (mke2fs -d)"
rm -rf "$ROOT"
echo "vm32: the ext4 image took $((SECONDS - step)) s" | tee -a "$LOG"

# One boot with the image writable creates the Wine prefix inside it.
step=$SECONDS
scripts/vm32/run.sh --image "$WORK" --writable --timeout 600 -- \
  scripts/wine-prefix.sh "$VM32_WINEPREFIX" >>"$LOG" 2>&1 || fail "creating the Wine prefix in the guest"
echo "vm32: the Wine prefix took $((SECONDS - step)) s (boot included)" | tee -a "$LOG"

echo "$recipe" >"$WORK/recipe"
rm -rf "$OUT/image"
mv "$WORK" "$OUT/image"
echo "vm32: the guest's image is ready after $((SECONDS - start)) s"
