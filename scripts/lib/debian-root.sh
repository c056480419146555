# A fresh Debian root to install into: Debian 12 for scripts/test-package, Debian 13 for the
# Firebird 4 server (scripts/lib/firebird4.sh). Source it from bash; it defines variables and
# functions only. Set DEBIAN_SUITE=trixie before sourcing for Debian 13; bookworm is the default.
#
# The first call of debian_root_new makes a minimal root with debootstrap from Debian's mirror
# and keeps it in $DEBIAN_ROOT_CACHE; every call copies that cache into a new directory, so each
# user starts from an untouched system and only the first one waits for the download.

DEBIAN_SUITE=${DEBIAN_SUITE:-bookworm}
DEBIAN_MIRROR=${FBWARM_DEBIAN_MIRROR:-http://deb.debian.org/debian}
case $DEBIAN_SUITE in
  bookworm)
    DEBIAN_ROOT_CACHE=${FBWARM_DEBIAN_ROOT_CACHE:-/var/cache/fbwarm/debian12-root}
    # A minimal system as a server has it: systemd, so that the unit can be verified there, and
    # man-db, so that the unit's manual page reference can be.
    DEBIAN_ROOT_INCLUDE=--include=systemd,man-db
    ;;
  trixie)
    DEBIAN_ROOT_CACHE=${FBWARM_DEBIAN13_ROOT_CACHE:-/var/cache/fbwarm/debian13-root}
    DEBIAN_ROOT_INCLUDE=
    ;;
  *)
    echo "debian-root: no root for Debian '$DEBIAN_SUITE' (bookworm, trixie)" >&2
    return 1
    ;;
esac
# Written last, so that an interrupted debootstrap is never taken for a cache; it names what
# the cache was made with, so that a cache made otherwise is made anew.
DEBIAN_ROOT_MARK=.fbwarm-root-made
DEBIAN_ROOT_MADE="debootstrap --variant=minbase${DEBIAN_ROOT_INCLUDE:+ $DEBIAN_ROOT_INCLUDE} $DEBIAN_SUITE"

debian_root_cache() {
  local cache=$DEBIAN_ROOT_CACHE
  mkdir -p "$(dirname "$cache")"
  (
    flock 8
    [ "$(cat "$cache/$DEBIAN_ROOT_MARK" 2>/dev/null)" = "$DEBIAN_ROOT_MADE" ] && exit 0
    rm -rf --one-file-system "$cache.new"
    echo "debian-root: debootstrap $DEBIAN_SUITE into $cache (once; a few minutes)" >&2
    $DEBIAN_ROOT_MADE "$cache.new" "$DEBIAN_MIRROR" \
      >"$cache.log" 2>&1 || {
      tail -n 20 "$cache.log" >&2
      echo "debian-root: debootstrap failed; the whole log is $cache.log" >&2
      exit 1
    }
    echo "$DEBIAN_ROOT_MADE" >"$cache.new/$DEBIAN_ROOT_MARK"
    rm -rf --one-file-system "$cache"
    mv "$cache.new" "$cache"
  ) 8>"$cache.lock"
}

# Prints the path of a new root copied from the cache. Mode 0755: apt's download user and any
# other user inside must be able to pass through its top directory.
debian_root_new() {
  local root
  debian_root_cache
  root=$(mktemp -d /var/tmp/fbwarm-root.XXXXXX)
  chmod 0755 "$root"
  cp -a "$DEBIAN_ROOT_CACHE/." "$root/"
  rm -f "$root/$DEBIAN_ROOT_MARK"
  cp /etc/resolv.conf "$root/etc/resolv.conf"
  printf '%s\n' "$root"
}

# True when anything is still mounted at or below $1.
debian_root_has_mounts() {
  findmnt -rn -o TARGET | grep -q -E "^$1(/|$)"
}

# Undoes every mount below the root (deepest first) and deletes the root. A root from which a
# mount could not be taken away is left in place: deleting it would delete what is mounted there.
debian_root_remove() {
  local root=$1 target
  [ -n "$root" ] && [ -d "$root" ] || return 0
  findmnt -rn -o TARGET | grep -E "^$root/" | sort -r | while read -r target; do
    umount "$target" 2>/dev/null || umount -l "$target" || true
  done
  if debian_root_has_mounts "$root"; then
    echo "debian-root: still mounted below $root; left in place" >&2
    return 1
  fi
  rm -rf --one-file-system "$root"
}
