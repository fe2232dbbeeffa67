#!/usr/bin/env bash
# Boots the test guest (scripts/vm32/image.sh builds it) and runs one command in it, in the
# current folder, which must lie inside the source tree: the tree is shared into the guest at
# the path it has here. The command's output shows here, its exit status is this script's, and
# the guest powers off afterwards; a guest that overruns the time limit is stopped.
#
#   scripts/vm32/run.sh [--image DIR] [--writable] [--timeout SECONDS] -- COMMAND [ARG...]
#
# The environment's HALYARD_* variables and WINEDEBUG are passed on to the command. The image
# starts as a snapshot (changes are dropped) unless --writable. HALYARD_VM32 tunes the guest
# (comma-separated KEY=VALUE): memory, MiB (default 4096; it always gets both processors); accel,
# tcg (default, software emulation) or kvm (nested, it did not boot on these machines); cache,
# the share's cache mode (default loose; see init.sh); boot, the seconds a guest may take to
# come up before it is stopped (default 300).
set -euo pipefail
here=$(pwd -P)
tree=$(cd "$(dirname "$0")/../.." && pwd -P)
. "$tree/scripts/lib.sh"
memory=$(vm32_setting memory 4096)
accel=$(vm32_setting accel tcg)
cache=$(vm32_setting cache "")
boot_limit=$(vm32_setting boot 300)

image=$tree/build-vm32/image
writable=0
limit=2400
while [ $# -gt 0 ]; do
  case "$1" in
    --image) image=$(cd "$2" && pwd -P); shift 2 ;;
    --writable) writable=1; shift ;;
    --timeout) limit=$2; shift 2 ;;
    --) shift; break ;;
    *) echo "usage: scripts/vm32/run.sh [--image DIR] [--writable] [--timeout S] -- COMMAND..." >&2
       exit 2 ;;
  esac
done
[ $# -gt 0 ] || { echo "vm32: no command to run" >&2; exit 2; }
for f in vmlinuz initrd.img root.img; do
  [ -f "$image/$f" ] || { echo "vm32: no guest image in $image (run scripts/vm32/image.sh)" >&2
                          exit 1; }
done
case "$here/" in "$tree"/*) ;; *) echo "vm32: $here is outside the tree $tree" >&2; exit 2 ;; esac
case "$tree" in *[[:space:]]*) echo "vm32: the tree's path has a space: $tree" >&2; exit 2 ;; esac
command -v qemu-system-x86_64 >/dev/null ||
  { echo "vm32: qemu-system-x86_64 is missing (apt-get install qemu-system-x86)" >&2; exit 1; }

mkdir -p "$tree/build-vm32"
run=$(mktemp -d "$tree/build-vm32/run.XXXXXX")
console=$tree/build-vm32/console.log
{
  echo "cd $(printf %q "$here") || exit 1"
  while IFS='=' read -r name _; do
    case "$name" in HALYARD_*|WINEDEBUG) echo "export $name=$(printf %q "${!name}")" ;; esac
  done < <(env)
  printf 'exec'
  printf ' %q' "$@"
  printf '\n'
} >"$run/payload.sh"

drive="file=$image/root.img,if=virtio,format=raw"
[ "$writable" = 1 ] || drive+=",snapshot=on"
case "$accel" in
  tcg) accel=(-accel tcg,thread=multi) ;;
  kvm) accel=(-accel kvm -accel tcg,thread=multi) ;;
  *) die "HALYARD_VM32 has accel=$accel; use tcg or kvm" ;;
esac

qemu_pid=
stop_guest() {
  [ -n "$qemu_pid" ] && kill "$qemu_pid" 2>/dev/null
  rm -rf "$run"
  return 0
}
trap stop_guest EXIT
trap 'exit 130' INT TERM

# The guest's own limit stops the command; this one stops a guest that never comes back.
timeout -k 10 $((limit + 300)) qemu-system-x86_64 "${accel[@]}" -smp "$(nproc)" \
  -m "$memory" -display none -monitor none -serial stdio -no-reboot \
  -nic none -kernel "$image/vmlinuz" -initrd "$image/initrd.img" -drive "$drive" \
  -virtfs "local,path=$tree,mount_tag=host0,security_model=none,id=host0" \
  -append "root=/dev/vda rw console=ttyS0 quiet loglevel=3 panic=-1 init=/sbin/halyard-init \
halyard_share=$tree halyard_run=${run#"$tree"/} halyard_timeout=$limit${cache:+ halyard_9p_cache=$cache}" \
  </dev/null > >(tee "$console") 2>&1 &
qemu_pid=$!
# A guest that has not reached its init script after boot_limit seconds will not.
for ((waited = 0; waited < boot_limit; waited++)); do
  grep -q 'vm32 guest: up' "$console" 2>/dev/null && break
  kill -0 "$qemu_pid" 2>/dev/null || break
  sleep 1
done
if ! grep -q 'vm32 guest: up' "$console" 2>/dev/null && kill -0 "$qemu_pid" 2>/dev/null; then
  echo "vm32: the guest did not come up within $boot_limit s (console: $console)" >&2
  exit 1
fi
wait "$qemu_pid" || true
qemu_pid=

if [ ! -f "$run/status" ]; then
  echo "vm32: the guest stopped without the command's exit status (console: $console)" >&2
  exit 1
fi
exit "$(cat "$run/status")"
