#!/usr/bin/env bash
# Checks the Debian packages as a user of the build host meets them (docs/packaging.md): makes
# them (scripts/package.sh, into dist/), runs lintian on both (an error fails the check), installs
# both with apt-get, uses what they installed, removes them and purges them, and compares the
# files of the machine before and after.
#
#   scripts/check-packages.sh
#
# Using them: the installed /usr/bin/lzmulti runs the demo (packs, lists and unpacks samples/,
# scripts/demo.sh), man finds and shows its manual page, and makensis builds the installed example
# installer against the installed kit in /usr/share/halyard4/win32/, from the demo's archive.
#
# It needs root, and a machine without either package, since it installs and removes both; .ci/run
# runs it in a fresh root after scripts/test.sh. The files of the machine are compared by path,
# type, mode and owner, leaving out what changes on its own: the kernel's and the run's file
# systems, temporary folders, logs and caches, dpkg's and apt's state, the home folders and the
# folder that holds this tree (builds run beside it).
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh

[ $# -eq 0 ] || { echo "usage: scripts/check-packages.sh" >&2; exit 2; }
[ "$(id -u)" -eq 0 ] || die "installing and removing the packages needs root"
PACKAGES=(lzmulti halyard4-kit-win32)
KIT=/usr/share/halyard4/win32
# state PACKAGE: what dpkg knows of it: installed, config-files, not-installed, ... or nothing.
state() { dpkg-query -W -f='${db:Status-Status}' "$1" 2>/dev/null || true; }
gone() { [[ "$(state "$1")" =~ ^(not-installed)?$ ]]; }
for package in "${PACKAGES[@]}"; do
  gone "$package" || die "$package is on this machine already ($(state "$package")); the check" \
    "installs and removes it itself: purge it first"
done

echo "== Making the packages"
scripts/package.sh
version=$(cmake_cache build CMAKE_PROJECT_VERSION)
[ -n "$version" ] || die "build/ is no configured build folder after scripts/package.sh"
debs=("dist/lzmulti_${version}_$(dpkg --print-architecture).deb"
      "dist/halyard4-kit-win32_${version}_all.deb")
need_packages lintian man-db nsis

echo "== lintian"
# Errors fail the check; docs/packaging.md says why each warning that it prints stays.
lintian --fail-on error "${debs[@]}" || die "lintian found errors in the packages (see above)"

tree=$PWD
files() {
  find / -xdev \( -path /proc -o -path /sys -o -path /dev -o -path /run -o -path /tmp \
    -o -path /var/tmp -o -path /var/log -o -path /var/cache -o -path /var/lib/apt \
    -o -path /var/lib/dpkg -o -path /root -o -path /home -o -path "${tree%/*}" \) -prune \
    -o -printf '%y %m %u %p\n' | LC_ALL=C sort
}
work=$(mktemp -d "${TMPDIR:-/tmp}/halyard4-packages.XXXXXX")
# On any failure the packages go again, so that the machine stays as it was.
trap 'for p in "${PACKAGES[@]}"; do gone "$p" || apt-get purge -y -qq "$p" >/dev/null; done
  rm -rf "$work"' EXIT
files >"$work/before"

# install: both packages, from the files, with apt-get.
install() {
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    -o DPkg::Lock::Timeout=600 "${debs[@]/#/./}" >/dev/null || die "apt-get install failed"
  for package in "${PACKAGES[@]}"; do
    [ "$(state "$package")" = installed ] || die "$package is not installed after apt-get install"
  done
}
echo "== Installing ${debs[*]}"
install

echo "== The installed lzmulti"
[ "$(command -v lzmulti)" = /usr/bin/lzmulti ] || die "lzmulti is not /usr/bin/lzmulti"
lzmulti 2>"$work/usage.txt" || die "/usr/bin/lzmulti failed"
shown=$(head -n1 "$work/usage.txt")
[ "$shown" = "Version: $version" ] || die "/usr/bin/lzmulti says '$shown', not 'Version: $version'"
LZMULTI=/usr/bin/lzmulti scripts/demo.sh

echo "== man lzmulti"
page=$(man --where lzmulti) || die "man does not find lzmulti's manual page"
[ "$page" = /usr/share/man/man1/lzmulti.1.gz ] || die "man finds $page, not the installed page"
man -P cat lzmulti >"$work/man.txt" 2>&1 || true
grep -q 'lzmulti - pack files into one LZMA archive' "$work/man.txt" || {
  cat "$work/man.txt" >&2
  die "man lzmulti does not show the page's NAME line"
}
echo "   $page"

echo "== makensis on the installed example, against $KIT"
makensis -V2 -WX -DKIT="$KIT" -DPAYLOAD="$tree/demo-out/samples.dpc" \
  -DOUTFILE="$work/example-install.exe" "$KIT/example-install.nsi" >"$work/makensis.log" 2>&1 || {
  cat "$work/makensis.log" >&2
  die "makensis failed on $KIT/example-install.nsi"
}
echo "   $(wc -c <"$work/example-install.exe") bytes of installer"

# uninstall remove|purge: both packages go with apt-get, and with them every file they brought:
# the machine's files are those from before the installation.
uninstall() {
  DEBIAN_FRONTEND=noninteractive apt-get "$1" -y -qq -o DPkg::Lock::Timeout=600 "${PACKAGES[@]}" \
    >/dev/null || die "apt-get $1 failed"
  for package in "${PACKAGES[@]}"; do
    # Neither has configuration files: removing leaves nothing of it, as purging does.
    gone "$package" || die "$package is still $(state "$package") after apt-get $1"
  done
  files >"$work/after"
  diff "$work/before" "$work/after" >&2 ||
    die "after apt-get $1 the files differ from before the installation (< before, > after)"
  echo "   after apt-get $1: the same $(wc -l <"$work/before") paths as before the installation"
}
echo "== Removing, installing again and purging"
uninstall remove
install
uninstall purge
echo "Packages checked: ${debs[*]}"
