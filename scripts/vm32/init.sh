#!/bin/sh
# PID 1 of the test guest. Mounts the host's source tree (9p, tag "host0") at the path it has
# on the host, runs the payload the host left in the run folder with a time limit, writes its
# exit status beside it and powers the guest off, whatever happened.
#
# From the kernel command line: halyard_share (the tree's host path), halyard_run (the run
# folder inside it), halyard_timeout (seconds).
PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
export PATH HOME=/root LANG=C.UTF-8

poweroff_now() {
  sync
  # PID 1 must outlive the power-off request, or the kernel panics first.
  sleep 30 &
  echo o >/proc/sysrq-trigger
  wait
}

# The initial ramdisk has mounted some of these already.
mountpoint -q /proc || mount -t proc proc /proc
mountpoint -q /sys || mount -t sysfs sys /sys
mountpoint -q /dev || mount -t devtmpfs dev /dev
mkdir -p /dev/pts /dev/shm
mount -t devpts devpts /dev/pts
mount -t tmpfs tmpfs /dev/shm
mount -t tmpfs tmpfs /tmp
mount -t tmpfs tmpfs /run
# The console is a serial line: no carriage returns added to the host's log.
stty -onlcr </dev/console 2>/dev/null
hostname halyard-vm32

if [ -z "$halyard_share" ] || [ -z "$halyard_run" ]; then
  echo "vm32 guest: no share named on the kernel command line"
  poweroff_now
fi
modprobe 9pnet_virtio && modprobe 9p
mkdir -p "$halyard_share"
# Through the page cache: without it (cache=none, the default), Wine 8 loads a program from the
# share with the later part of its code as zeros, and the program faults at its first call
# there (lzmulti.exe in main, reading its argument count as an address). Nothing on the host
# changes the tree while the guest runs, so a loose cache shows it as it is.
if ! mount -t 9p -o "trans=virtio,version=9p2000.L,msize=262144,cache=${halyard_9p_cache:-loose}" \
  host0 "$halyard_share"
then
  echo "vm32 guest: mounting the host's tree at $halyard_share failed"
  poweroff_now
fi

run="$halyard_share/$halyard_run"
cd "$halyard_share"
echo "vm32 guest: up after $(cut -d' ' -f1 /proc/uptime) s, running the payload"
timeout -k 10 "${halyard_timeout:-3000}" bash "$run/payload.sh" </dev/null
status=$?
[ "$status" -eq 124 ] && echo "vm32 guest: the payload ran out of time (${halyard_timeout} s)"
echo "$status" >"$run/status"
cd /
umount "$halyard_share"
poweroff_now
