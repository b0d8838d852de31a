#!/usr/bin/env bash
# The Debian 13 root in which 32-bit Windows programs run here: 32-bit Wine with
# its i386 code under qemu-i386 user-mode emulation. Made once under a cache
# directory and reused (about 3.4 GB with its Wine prefix).
#
# Some x86-64 kernels, those of this project's test machines among them, run 64-bit
# user code only (IA-32 emulation off), so no 32-bit program runs natively: the i386
# half of Wine runs under qemu-i386 instead, on every machine alike, so that results
# compare. The host gets no i386 architecture, no 32-bit Wine and no binfmt_misc
# entry. Instead of a binfmt entry, the root's 32-bit Wine loader is moved aside with
# a dpkg diversion and its name given to a script that starts it under qemu-i386.
# Wine starts every 32-bit process through that loader, so nothing else needs
# registering, and no user namespace is needed (a chrooted caller may not create one).
#
# Usage: scripts/win32-root.sh --wrapper FILE
#            writes FILE, a program that runs its arguments under the root's 32-bit
#            Wine in the current directory (CTest's emulator, for example)
#        scripts/win32-root.sh --run DIR... -- COMMAND [ARGS...]
#            makes the root if needed, then runs COMMAND in a private mount and pid
#            namespace in which the root is mounted, with the project and each DIR at
#            the same paths inside it, and one Wine server started for the whole run
# Run as root. Env: ORN2_CACHE  where the root is kept (default /var/cache/liborn2)
set -euo pipefail

project=$(cd "$(dirname "$0")/.." && pwd)
self=$project/scripts/win32-root.sh
cache=${ORN2_CACHE:-/var/cache/liborn2}
root=$cache/wow64-root
# Raised whenever the way the root is made changes, so that an older root is remade.
root_layout=1
prefix=/opt/wine32-prefix  # the Wine prefix, inside the root

log() { printf '\n=== %s ===\n' "$*"; }

in_root() { chroot "$root" "$@"; }

# --- Inside a private mount and pid namespace --------------------------------------

# Everything mounted from here on stays in this namespace. In a chroot "/" is no
# mount point and cannot be made private; then the cache directory is bound onto
# itself and that mount made private, and unmounted again at the end, so that a
# shared host mount receives nothing but that one bind, and only while this runs
# (umount needs /proc for that).
private_mounts() {
  mount --make-rprivate / 2>/dev/null && return 0
  [ -r /proc/self/mountinfo ] || { echo "$0: needs /proc mounted in this chroot" >&2; exit 1; }
  mount --bind "$cache" "$cache"
  mount --make-rprivate "$cache"
  trap 'umount -l "$cache"' EXIT
}

# A minimal Debian 13, from the mirror of the host's apt sources.
make_root() {
  log "win32: making the Debian 13 root with 32-bit Wine and qemu-i386 in $root (once)"
  local mirror
  mirror=$(sed -n 's/^URIs: *//p' /etc/apt/sources.list.d/debian.sources 2>/dev/null | head -1)
  [ -n "$mirror" ] || mirror=$(awk '/^deb /{print $2; exit}' /etc/apt/sources.list 2>/dev/null)
  [ -n "$mirror" ] || mirror=http://deb.debian.org/debian
  if [ -e "$root" ] && [ ! -f "$root/etc/debian_version" ] && [ ! -d "$root/debootstrap" ]; then
    echo "refusing to replace $root: not a Debian root" >&2
    return 1
  fi
  rm -rf "$root"
  debootstrap --variant=minbase trixie "$root" "$mirror" >"$cache/debootstrap.log" 2>&1 ||
    { tail -20 "$cache/debootstrap.log"; return 1; }
  cp /etc/resolv.conf "$root/etc/resolv.conf"
  printf '127.0.0.1\tlocalhost\n::1\tlocalhost\n' >"$root/etc/hosts"
}

# Wine with its 32-bit half, and qemu-i386 alone of the qemu-user package (which is
# statically linked and holds every target, about 450 MB). The 32-bit loader is
# moved aside and its name given to a script that starts it under qemu-i386; "-0"
# keeps that name as argv[0], from which Wine finds the loader for the processes
# it starts.
install_wine() {
  in_root /usr/bin/env DEBIAN_FRONTEND=noninteractive LANG=C.UTF-8 sh -ec '
    dpkg --add-architecture i386
    apt-get update -q
    apt-get install -y -q --no-install-recommends wine wine64 wine32:i386
    cd /tmp && apt-get download -q qemu-user && mkdir q && dpkg-deb -x qemu-user_*.deb q
    install -m 755 q/usr/bin/qemu-i386 /usr/local/bin/qemu-i386 && rm -rf q qemu-user_*.deb
    dpkg-divert --local --rename --divert /usr/lib/wine/wine.i386 --add /usr/lib/wine/wine
    apt-get clean' >"$cache/install.log" 2>&1 || { tail -20 "$cache/install.log"; return 1; }
  # shellcheck disable=SC2016 # expanded by the script written here
  printf '%s\n' '#!/bin/sh' \
    'exec /usr/local/bin/qemu-i386 -0 "$0" /usr/lib/wine/wine.i386 "$@"' >"$root/usr/lib/wine/wine"
  chmod 755 "$root/usr/lib/wine/wine"
}

# The system directories of the root, a fresh /tmp and runtime directory, and the
# project and the given directories at the same paths as outside.
mount_root() {  # directories
  local dir
  mount -t proc proc "$root/proc"
  mount --rbind /dev "$root/dev"
  mount -t tmpfs -o mode=1777 tmpfs "$root/dev/shm"
  mount --rbind /sys "$root/sys"
  mount -t tmpfs -o mode=1777 tmpfs "$root/tmp"
  mkdir -p "$root/run/user/0"
  mount -t tmpfs -o mode=700 tmpfs "$root/run/user/0"
  for dir in "$project" "$@"; do
    [[ $dir != "$project"/* ]] || continue  # already there with the project
    mkdir -p "$root$dir"
    mount --bind "$dir" "$root$dir"
  done
}

start_wine() {
  export WINEPREFIX=$prefix WINEDEBUG=${WINEDEBUG:--all} HOME=/root XDG_RUNTIME_DIR=/run/user/0
  if [ ! -f "$root$prefix/system.reg" ]; then
    echo "preparing the Wine prefix (once)"
    in_root /usr/lib/wine/wine wineboot --init </dev/null >/dev/null 2>&1 || true
    in_root /usr/lib/wine/wineserver -w
  fi
  # One wineserver (64-bit, native) for the whole run, so that programs start
  # faster; the prefix's own background programs start now, so that none of them
  # holds a test's output pipe open.
  in_root /usr/lib/wine/wineserver -p
  in_root /usr/lib/wine/wine wineboot </dev/null >/dev/null 2>&1 || true
}

stop_wine() { in_root /usr/lib/wine/wineserver -k 2>/dev/null || true; }

if [ "${1:-}" = --inside ]; then
  shift
  dirs=()
  while [ "$1" != -- ]; do dirs+=("$1"); shift; done
  shift
  private_mounts
  ready=$(cat "$root/.orn2-layout" 2>/dev/null || true)
  [ "$ready" = "$root_layout" ] || make_root
  mount_root "${dirs[@]}"
  if [ "$ready" != "$root_layout" ]; then
    install_wine
    echo "$root_layout" >"$root/.orn2-layout"
  fi
  start_wine
  rc=0
  "$@" || rc=$?
  stop_wine
  exit $rc  # the pid namespace ends with this process, and every process left in it
fi

# --- Outside ------------------------------------------------------------------------

usage() { echo "usage: $0 --wrapper FILE | --run DIR... -- COMMAND [ARGS...]" >&2; exit 2; }

case ${1:-} in
  --wrapper)
    [ $# = 2 ] || usage
    cat >"$2" <<WRAPPER
#!/bin/sh
# Runs its arguments under the 32-bit Wine of $root, in the current directory.
exec chroot "$root" /bin/sh -c 'cd "\$0" && exec /usr/lib/wine/wine "\$@"' "\$PWD" "\$@"
WRAPPER
    chmod +x "$2"
    ;;
  --run)
    shift
    [ "$(id -u)" = 0 ] || { echo "$0: run as root" >&2; exit 2; }
    dirs=()
    while [ $# -gt 0 ] && [ "$1" != -- ]; do dirs+=("$(cd "$1" && pwd)"); shift; done
    [ $# -ge 2 ] || usage
    shift
    mkdir -p "$cache"
    # One run at a time uses the root and its Wine prefix.
    exec 9>"$cache/wow64-root.lock"
    flock 9
    [ "$(cat "$root/.orn2-layout" 2>/dev/null || true)" = "$root_layout" ] ||
      "$project/scripts/install-deps.sh" debootstrap
    exec unshare --mount --pid --fork --propagation unchanged "$self" --inside "${dirs[@]}" -- "$@"
    ;;
  *) usage ;;
esac
