# Shared definitions for the local Firebird servers that the tests, the demo and the benchmarks
# use. Source it from bash: `. scripts/lib/firebird.sh`; it defines variables and functions only.
#
# FB_VERSION picks the server: 3 (the default) is Debian 12's Firebird 3 installed on this
# machine, on port 3050; 4 is Debian 13's Firebird 4, installed in a Debian 13 root of its own
# (scripts/lib/firebird4-root.sh) and listening on port 3051. Paths below are as the host sees
# them; FB_ROOT is that root, empty for Firebird 3.

FB_VERSION=${FB_VERSION:-3}
FB_HOST=${FB_HOST:-127.0.0.1}
FB_USER=${FB_USER:-SYSDBA}
FB_GUARD=/usr/sbin/fbguard
case $FB_VERSION in
  3)
    FB_PORT=${FB_PORT:-3050}
    FB_ROOT=
    FB_CONF_DIR=/etc/firebird/3.0
    FB_RUN_DIR=/run/firebird3.0
    FB_PACKAGES=(firebird3.0-server firebird3.0-utils libfbclient2 firebird-dev)
    # Where the project's databases live; the directory belongs to the firebird user so that the
    # server can create and open files there.
    FBWARM_DB_DIR=${FBWARM_DB_DIR:-/var/lib/fbwarm}
    # Overrides the password file (a server set up by hand).
    fb_password_override=${FBWARM_FB_PASSWORD:-}
    ;;
  4)
    FB_PORT=${FB_PORT:-3051}
    FB_ROOT=${FBWARM_FB4_ROOT:-/var/cache/fbwarm/firebird4-root}
    FB_CONF_DIR=$FB_ROOT/etc/firebird/4.0
    # Inside the root; $FB_ROOT$FB_RUN_DIR from the host.
    FB_RUN_DIR=/run/firebird4.0
    FB_PACKAGES=(firebird4.0-server firebird4.0-utils libfbclient2)
    # A directory of its own (Firebird 4 cannot open Firebird 3's files), bind-mounted at the same
    # path inside the root, so that the server and a reader on the host name the same file.
    FBWARM_DB_DIR=${FBWARM_FB4_DB_DIR:-/var/lib/fbwarm/fb4}
    fb_password_override=${FBWARM_FB4_PASSWORD:-}
    ;;
  *)
    echo "firebird: no Firebird server '$FB_VERSION' here (FB_VERSION=3 or 4)" >&2
    return 1
    ;;
esac
FB_PASSWORD_FILE=$FB_CONF_DIR/SYSDBA.password
FB_ALIASES_FILE=$FB_CONF_DIR/databases.conf
# fbguard writes the server's process id here; firebird-down reads it.
FB_PID_FILE=$FB_ROOT$FB_RUN_DIR/firebird.pid

# Prints the SYSDBA password: FBWARM_FB_PASSWORD (Firebird 4: FBWARM_FB4_PASSWORD) when set,
# else the ISC_PASSWORD line that Debian's package writes at install time (value with or without
# quotes).
fb_password() {
  if [ -n "$fb_password_override" ]; then
    printf '%s\n' "$fb_password_override"
    return 0
  fi
  local line
  line=$(grep -m1 '^ISC_PASSWORD=' "$FB_PASSWORD_FILE" 2>/dev/null) || {
    echo "firebird: no ISC_PASSWORD line in $FB_PASSWORD_FILE (is ${FB_PACKAGES[0]} installed?)" >&2
    return 1
  }
  line=${line#ISC_PASSWORD=}
  line=${line#\"}
  line=${line%\"}
  printf '%s\n' "$line"
}

# Prints the process id of this version's running server (from fbguard's pid file); false when
# it does not run. The process must be a Firebird server in this version's root, so a stale pid
# file never leads to the other version's server.
fb_server_pid() {
  local pid
  pid=$(cat "$FB_PID_FILE" 2>/dev/null) && [ -n "$pid" ] &&
    [ "$(cat "/proc/$pid/comm" 2>/dev/null)" = firebird ] &&
    [ "$(readlink "/proc/$pid/root")" = "${FB_ROOT:-/}" ] && echo "$pid"
}

# True when something accepts TCP connections on the server's port.
fb_port_open() {
  (exec 3<>"/dev/tcp/$FB_HOST/$FB_PORT") 2>/dev/null
}

# Runs one of the server's own programs (isql-fb, fbsvcmgr, gfix, ...) with the client library
# of its release: Firebird 4's inside its root, with a clean environment. Standard input, output
# and error pass through; the working directory inside the root is /.
fb_tool() {
  if [ -z "$FB_ROOT" ]; then
    "$@"
    return
  fi
  chroot "$FB_ROOT" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 "$@"
}

# True when the service manager answers a version query with the SYSDBA credentials.
# With an argument, the client's messages go to that file instead of being dropped.
fb_service_answers() {
  local out=${1:-/dev/null} pw
  pw=$(fb_password 2>>"$out") || return 1
  fb_tool timeout 10 fbsvcmgr "$FB_HOST/$FB_PORT:service_mgr" user "$FB_USER" password "$pw" \
    info_server_version >"$out" 2>&1
}

# Makes NAME an alias of PATH in the server's databases.conf. Firebird rereads the file when its
# time of change moves on, counted in whole seconds: a change within the second of the one before
# is dated a second later, or the server would not see it.
fb_set_alias() {
  local name=$1 path=$2 tmp before
  if grep -qE "^[[:space:]]*${name}[[:space:]]*=[[:space:]]*${path}[[:space:]]*$" "$FB_ALIASES_FILE"; then
    return 0
  fi
  tmp=$(mktemp)
  grep -vE "^[[:space:]]*${name}[[:space:]]*=" "$FB_ALIASES_FILE" >"$tmp" || true
  printf '%s = %s\n' "$name" "$path" >>"$tmp"
  before=$(stat -c %Y "$FB_ALIASES_FILE")
  cat "$tmp" >"$FB_ALIASES_FILE"
  rm -f "$tmp"
  if [ "$(stat -c %Y "$FB_ALIASES_FILE")" -le "$before" ]; then
    touch -m -d "@$((before + 1))" "$FB_ALIASES_FILE"
  fi
}
