#!/usr/bin/env bash
# The part of .ci/run that runs as the first process of a mount and PID namespace of its own
# (unshare --mount --propagation private --pid --fork --kill-child): mounts what the suite needs
# into the fresh root ROOT, clones the commit from PROJECT/halyard4.bundle into /root/halyard4
# there, and runs the README's two commands in it as a new user would, as root through chroot
# with a clean environment and a time limit each: scripts/test.sh, then scripts/demo.sh; after a
# passing test.sh also scripts/check-packages.sh, which installs the Debian packages made from the
# tested builds, uses them and removes them again (a fresh root is the machine to do that on).
# Afterwards, or when stopped, it ends every process left in the namespace and unmounts in
# reverse order. Exit status: test.sh's when it failed, else demo.sh's when it failed, else
# check-packages.sh's.
#
#   .ci/in-root.sh ROOT PROJECT
set -uo pipefail
[ $# -eq 2 ] || { echo "usage: .ci/in-root.sh ROOT PROJECT" >&2; exit 2; }
root=$1
project=$2
# kill -1 below must reach this namespace's processes only.
[ $$ -eq 1 ] || { echo "in-root.sh: not the first process of a PID namespace of its own" >&2; exit 2; }

mounted=()
finish() {
  local i
  trap - EXIT TERM
  # This process is the namespace's first: kill -1 reaches every other process in it (Wine's
  # server, a stuck apt), and nothing then holds the mounts.
  disown -a
  kill -KILL -1 2>/dev/null
  wait 2>/dev/null
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
    umount "${mounted[i]}" || umount -l "${mounted[i]}"
  done
}
trap finish EXIT
trap 'echo "ci: stopped" >&2; exit 143' TERM
# mnt ARGS... TARGET: mount, and remember TARGET for the unmounting.
mnt() {
  mount "$@" || exit 1
  mounted+=("${!#}")
}
mnt -t proc proc "$root/proc"
mnt --bind /sys "$root/sys"
mnt --bind /dev "$root/dev"
mnt --bind /dev/pts "$root/dev/pts"
mnt -t tmpfs -o mode=1777,nosuid,nodev tmpfs "$root/dev/shm"
mkdir -p "$root/mnt/project"
mnt --bind -o ro "$project" "$root/mnt/project"

# in_root LIMIT COMMAND: COMMAND (bash) in the root as root, with a clean environment; in the
# background so that a TERM reaches this script while it runs.
in_root() {
  timeout -k 30 "$1" chroot "$root" /usr/bin/env -i HOME=/root \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    /bin/bash -c "$2" </dev/null &
  local status=0
  wait $! || status=$?
  [ "$status" -ne 124 ] || echo "ci: '$2' ran out of its $1 s" >&2
  return "$status"
}

in_root 600 "git clone -q -c advice.detachedHead=false /mnt/project/halyard4.bundle /root/halyard4" || {
  echo "ci: cloning the commit into the root failed" >&2
  exit 1
}
# run LIMIT SCRIPT: SCRIPT of the clone, in the root, between a line at its start and one with its
# status and time at its end; returns its status.
run() {
  local begin=$SECONDS status=0
  echo "ci: $2"
  in_root "$1" "cd /root/halyard4 && $2" || status=$?
  echo "ci: $2 ended with status $status after $((SECONDS - begin)) s"
  return "$status"
}
status=0
run 4200 scripts/test.sh || status=$?
tested=$status
# demo.sh runs after a failed test.sh too (it tells whether the main job works), not after one
# that ran out of time.
if [ "$tested" -ne 124 ]; then
  run 600 scripts/demo.sh || { s=$?; [ "$status" -ne 0 ] || status=$s; }
fi
# The packages hold what test.sh tested: after a failed test.sh there is nothing to package.
if [ "$tested" -eq 0 ]; then
  run 1200 scripts/check-packages.sh || { s=$?; [ "$status" -ne 0 ] || status=$s; }
fi
exit "$status"
