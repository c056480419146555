#!/usr/bin/env bash
# Tests fbwarm-check (packaging/fbwarm-check.in) against a stand-in for fbwarm that writes
# chosen bytes and exits with a chosen status: the helper's exit status for each kind of last
# line, its standard output equal to the program's byte for byte, standard error passed on, the
# arguments handed over unchanged. The real runs against the server are in scripts/test-package.
# Usage: check_helper_test.sh PATH-OF-CONFIGURED-fbwarm-check
set -uo pipefail
helper=$1
. "$(dirname "$0")/lib.sh"
work=$scratch

cat >"$work/fake" <<'FAKE'
#!/bin/bash
printf '%s\0' "$@" >"$FAKE_DIR/args"
cat "$FAKE_DIR/stdout"
printf 'fbwarm: Hinweis vom Programm\n' >&2
exit "$(cat "$FAKE_DIR/status")"
FAKE
chmod +x "$work/fake"
export FAKE_DIR=$work FBWARM_PROGRAM=$work/fake

# name | bytes on standard output (printf format) | program's status | helper's expected status
cases=(
  "result line last|Natives FileCache Start...\r\nNatives FileCache Fertig.\r\n\r\nFertig! (DB=127.0.0.1:/db/a.fdb)\r\n|0|0"
  "result line without line end|Fertig! (DB=127.0.0.1:/db/a.fdb)|0|0"
  "error line last|Natives FileCache Start...\r\nFEHLER Fehler aufgetreten\r\n|0|1"
  "several error lines|FEHLER Unable to complete network request to host \"127.0.0.1\".\r\nFEHLER Failed to establish a connection.\r\n|0|1"
  "result line not last|Fertig! (DB=x)\r\nFEHLER Zu wenig Arbeitsspeicher\r\n|0|1"
  "empty line after the result line|Fertig! (DB=x)\r\n\r\n|0|1"
  "result line indented|  Fertig! (DB=x)\r\n|0|1"
  "no output||0|1"
  "bytes of any value|\x00\xff\xfe caf\xc3\xa9 \xe9\r\nFEHLER \x00x\r|0|1"
  "result line but the program failed|Fertig! (DB=x)\r\n|1|2"
  "error line and the program failed|FEHLER Fehler aufgetreten\r\n|1|2"
)

for entry in "${cases[@]}"; do
  IFS='|' read -r name bytes status expected <<<"$entry"
  printf "$bytes" >"$work/stdout"
  echo "$status" >"$work/status"
  "$helper" >"$work/out" 2>"$work/err"
  got=$?
  [ "$got" -eq "$expected" ] || fail "$name: exit status $got, expected $expected"
  cmp -s "$work/stdout" "$work/out" || fail "$name: standard output differs from the program's"
  head -n 1 "$work/err" | grep -qx 'fbwarm: Hinweis vom Programm' ||
    fail "$name: the program's standard error was not passed on first"
  lines=$(wc -l <"$work/err")
  if [ "$expected" -eq 0 ]; then
    [ "$lines" -eq 1 ] || fail "$name: a successful run added to standard error"
  else
    [ "$lines" -eq 2 ] && tail -n 1 "$work/err" | grep -q '^fbwarm: fbwarm-check: ' ||
      fail "$name: no single line of the helper's own on standard error"
  fi
done

# Arguments reach the program unchanged: blanks, empty ones, characters of the shell.
printf 'Fertig! (DB=x)\r\n' >"$work/stdout"
echo 0 >"$work/status"
args=("/DB:/data/my db.fdb" "" '/PASSWORD:a$b"c*' "?")
"$helper" "${args[@]}" >/dev/null 2>&1 || fail "arguments: the run failed"
printf '%s\0' "${args[@]}" >"$work/args.expected"
cmp -s "$work/args.expected" "$work/args" || fail "arguments: the program got other arguments"

# Output that cannot be passed on is a failure, even after a result line.
"$helper" >/dev/full 2>/dev/null
got=$?
[ "$got" -eq 2 ] || fail "unwritable standard output: exit status $got, expected 2"

# A program that is not there.
FBWARM_PROGRAM=$work/missing "$helper" >/dev/null 2>"$work/err"
got=$?
[ "$got" -eq 2 ] || fail "missing program: exit status $got, expected 2"

# The helper's copy of the output does not outlive it.
TMPDIR=$work/tmp
mkdir "$TMPDIR"
TMPDIR=$TMPDIR "$helper" >/dev/null 2>&1
[ -z "$(ls -A "$TMPDIR")" ] || fail "the temporary copy was left behind"

finish fbwarm-check
