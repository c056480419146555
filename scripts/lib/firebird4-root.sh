# The Debian 13 root that Firebird 4 runs in, next to the Firebird 3 server of this machine.
# Source it from bash after scripts/lib/firebird.sh with FB_VERSION=4; it defines functions only.
#
# The root is made once from the Debian 13 root of debian-root.sh, with Debian 13's
# firebird4.0-server installed, and kept in $FB_ROOT. While the server runs, /proc and the
# databases' directory are mounted there; fb4_root_unmount takes every mount below the root
# away again.

# Names what the root was made with; written last, so that a half-made root is never used and a
# root made for another firebird user id or package set is made anew.
FB4_ROOT_MARK=.fbwarm-firebird4-made
# The sanitizer runtimes let the sanitizer build's fbwarm run there too (scripts/debian13-run).
FB4_ROOT_PACKAGES=("${FB_PACKAGES[@]}" libasan8 libubsan1)

fb4_root_made_with() {
  echo "packages=${FB4_ROOT_PACKAGES[*]} port=$FB_PORT firebird=$(id -u firebird):$(id -g firebird)"
}

fb4_root_is_made() {
  [ "$(cat "$FB_ROOT/$FB4_ROOT_MARK" 2>/dev/null)" = "$(fb4_root_made_with)" ]
}

# Makes the root when it is missing or was made otherwise. Serialised by a lock, so that
# concurrent callers wait for one maker.
fb4_root_make() {
  fb4_root_is_made && return 0
  mkdir -p "$(dirname "$FB_ROOT")"
  (
    flock 8
    fb4_root_is_made && exit 0
    if fb_server_pid >/dev/null; then
      echo "firebird4-root: $FB_ROOT must be made anew, and its server still runs:" \
        "stop it first (FB_VERSION=4 scripts/firebird-down)" >&2
      exit 1
    fi
    fb4_root_unmount || exit 1
    # In a subshell: debian-root.sh's variables would otherwise describe Debian 13 for the caller.
    new=$(
      DEBIAN_SUITE=trixie
      . "$(dirname "${BASH_SOURCE[0]}")/debian-root.sh"
      debian_root_new
    ) || exit 1
    echo "firebird4-root: installing ${FB4_ROOT_PACKAGES[*]} into $new (once; a minute)" >&2
    if ! fb4_root_install "$new" >"$FB_ROOT.log" 2>&1; then
      tail -n 20 "$FB_ROOT.log" >&2
      echo "firebird4-root: the installation failed; the whole log is $FB_ROOT.log" >&2
      fb4_root_unmount_below "$new"
      rm -rf --one-file-system "$new"
      exit 1
    fi
    fb4_root_unmount_below "$new" || exit 1
    fb4_root_made_with >"$new/$FB4_ROOT_MARK"
    rm -rf --one-file-system "$FB_ROOT"
    mv "$new" "$FB_ROOT"
  ) 8>"$FB_ROOT.lock"
}

# Installs the server into the fresh root $1. Debian's package creates its firebird user when it
# is missing; made here first with the host's ids, the files the server creates in the shared
# databases' directory belong to the same user on both sides.
fb4_root_install() {
  local root=$1 uid gid
  uid=$(id -u firebird) && gid=$(id -g firebird) || return 1
  inside() {
    chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root \
      LANG=C.UTF-8 DEBIAN_FRONTEND=noninteractive "$@"
  }
  inside groupadd --system --gid "$gid" firebird &&
    inside useradd --system --uid "$uid" --gid firebird --home-dir /var/lib/firebird \
      --no-create-home --shell /usr/sbin/nologin firebird || return 1
  # No service starts inside the root while packages are installed: the package would start a
  # second server on the port of the host's.
  printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d" &&
    chmod 0755 "$root/usr/sbin/policy-rc.d" || return 1
  # Debian's configuration binds the server to "localhost"; debootstrap writes no hosts file, and
  # the name must mean 127.0.0.1, where the clients connect.
  printf '127.0.0.1\tlocalhost\n::1\tip6-localhost ip6-loopback\n' >"$root/etc/hosts" || return 1
  # The package's own place for the port, which its configuration script keeps when it is set.
  mkdir -p "$root/etc/firebird/4.0" &&
    printf 'RemoteServicePort = %s\n' "$FB_PORT" >"$root/etc/firebird/4.0/service-port.conf" &&
    mount -t proc proc "$root/proc" || return 1
  inside apt-get update -qq &&
    inside apt-get install -y -qq --no-install-recommends "${FB4_ROOT_PACKAGES[@]}" &&
    inside apt-get clean || return 1
  umount "$root/proc" &&
    grep -qx "RemoteServicePort = $FB_PORT" "$root/etc/firebird/4.0/service-port.conf" &&
    grep -q '^ISC_PASSWORD=' "$root/etc/firebird/4.0/SYSDBA.password"
}

# Lists the mount points at or below directory $1, deepest first.
fb4_root_mounts_below() {
  findmnt -rn -o TARGET | { grep -E "^$1(/|$)" || true; } | sort -r
}

# Undoes every mount below directory $1; false when one stays.
fb4_root_unmount_below() {
  local target
  fb4_root_mounts_below "$1" | while read -r target; do
    umount "$target" 2>/dev/null || umount -l "$target" || true
  done
  [ -z "$(fb4_root_mounts_below "$1")" ] || {
    echo "firebird4-root: still mounted below $1: $(fb4_root_mounts_below "$1" | tr '\n' ' ')" >&2
    return 1
  }
}

fb4_root_unmount() {
  [ -d "$FB_ROOT" ] || return 0
  fb4_root_unmount_below "$FB_ROOT"
}

# Mounts what the server needs: /proc (it finds its own files through /proc/self/exe) and the
# databases' directory at the same path as on the host. Mounts left from an earlier run whose
# processes were ended (CI does, and leaves the mounts) are reported and undone first: a second
# bind mount over a stale one would hide nothing but pile up.
fb4_root_mount() {
  local stale
  stale=$(fb4_root_mounts_below "$FB_ROOT")
  if [ -n "$stale" ]; then
    echo "firebird4-root: undoing stale mounts: $(echo "$stale" | tr '\n' ' ')" >&2
    fb4_root_unmount || return 1
  fi
  mkdir -p "$FB_ROOT$FBWARM_DB_DIR"
  mount -t proc proc "$FB_ROOT/proc"
  mount --bind "$FBWARM_DB_DIR" "$FB_ROOT$FBWARM_DB_DIR"
}
