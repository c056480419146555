# Shared definitions for the local Firebird 3 server that the tests, the demo and the benchmarks
# use. Source it from bash: `. scripts/lib/firebird.sh`; it defines variables and functions only.

FB_HOST=${FB_HOST:-127.0.0.1}
FB_PORT=${FB_PORT:-3050}
FB_USER=${FB_USER:-SYSDBA}
FB_CONF_DIR=/etc/firebird/3.0
FB_PASSWORD_FILE=$FB_CONF_DIR/SYSDBA.password
FB_ALIASES_FILE=$FB_CONF_DIR/databases.conf
FB_RUN_DIR=/run/firebird3.0
FB_GUARD=/usr/sbin/fbguard
# fbguard writes the server's process id here; firebird-down reads it.
FB_PID_FILE=$FB_RUN_DIR/firebird.pid
FB_PACKAGES=(firebird3.0-server firebird3.0-utils libfbclient2 firebird-dev)
# Where the project's databases live; the directory belongs to the firebird user so that the
# server can create and open files there.
FBWARM_DB_DIR=${FBWARM_DB_DIR:-/var/lib/fbwarm}

# Prints the SYSDBA password: FBWARM_FB_PASSWORD when set, else the ISC_PASSWORD line that Debian's
# package writes at install time (value with or without quotes).
fb_password() {
  if [ -n "${FBWARM_FB_PASSWORD:-}" ]; then
    printf '%s\n' "$FBWARM_FB_PASSWORD"
    return 0
  fi
  local line
  line=$(grep -m1 '^ISC_PASSWORD=' "$FB_PASSWORD_FILE" 2>/dev/null) || {
    echo "firebird: no ISC_PASSWORD line in $FB_PASSWORD_FILE (is firebird3.0-server installed?)" >&2
    return 1
  }
  line=${line#ISC_PASSWORD=}
  line=${line#\"}
  line=${line%\"}
  printf '%s\n' "$line"
}

# True when something accepts TCP connections on the server's port.
fb_port_open() {
  (exec 3<>"/dev/tcp/$FB_HOST/$FB_PORT") 2>/dev/null
}

# True when the service manager answers a version query with the SYSDBA credentials.
# With an argument, the client's messages go to that file instead of being dropped.
fb_service_answers() {
  local out=${1:-/dev/null} pw
  pw=$(fb_password 2>>"$out") || return 1
  timeout 10 fbsvcmgr "$FB_HOST/$FB_PORT:service_mgr" user "$FB_USER" password "$pw" \
    info_server_version >"$out" 2>&1
}

# Makes NAME an alias of PATH in the server's databases.conf (Firebird rereads the file when it
# changes). A DB value that is an alias names no local file, so the tool skips its read-through
# and runs the statistics action alone.
fb_set_alias() {
  local name=$1 path=$2 tmp
  if grep -qE "^[[:space:]]*${name}[[:space:]]*=[[:space:]]*${path}[[:space:]]*$" "$FB_ALIASES_FILE"; then
    return 0
  fi
  tmp=$(mktemp)
  grep -vE "^[[:space:]]*${name}[[:space:]]*=" "$FB_ALIASES_FILE" >"$tmp" || true
  printf '%s = %s\n' "$name" "$path" >>"$tmp"
  cat "$tmp" >"$FB_ALIASES_FILE"
  rm -f "$tmp"
}
