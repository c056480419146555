#!/usr/bin/env bash
# wine-run, the emulator the Windows tests start through: a start that Wine ended without a byte
# written is tried again (three starts at most); a success, or a failure that wrote anything,
# comes back as it was, after one start. A stand-in for wine plays each case.
set -u
wine_run=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cat >"$work/wine" <<'FAKE'
#!/usr/bin/env bash
count=$(cat "$WORK/starts" 2>/dev/null || echo 0)
echo $((count + 1)) >"$WORK/starts"
case $1 in
  silent-once) [ "$count" -eq 0 ] && exit 3; echo "ran $*"; exit 0 ;;
  silent-always) exit 5 ;;
  fails-loudly) echo "[  FAILED  ] a test"; exit 1 ;;
  writes-to-stderr-only) echo "a missing DLL" >&2; exit 53 ;;
  succeeds-silently) exit 0 ;;
esac
FAKE
chmod +x "$work/wine"
export WORK=$work
failures=0
# case | status | starts | standard output | standard error, its lines joined by "/"
while IFS='|' read -r what status starts out err; do
  rm -f "$work/starts"
  got_out=$("$wine_run" "$work/wine" "$what" x 2>"$work/err")
  got_status=$?
  got_starts=$(cat "$work/starts")
  got_err=$(paste -sd/ "$work/err")
  if [ "$got_status|$got_starts|$got_out|$got_err" != "$status|$starts|$out|$err" ]; then
    echo "$what: got '$got_status|$got_starts|$got_out|$got_err'," \
      "expected '$status|$starts|$out|$err'"
    failures=$((failures + 1))
  fi
done <<'CASES'
silent-once|0|2|ran silent-once x|wine-run: Wine ended silent-once with status 3 before it wrote anything; starting it again
silent-always|5|3||wine-run: Wine ended silent-always with status 5 before it wrote anything; starting it again/wine-run: Wine ended silent-always with status 5 before it wrote anything; starting it again
fails-loudly|1|1|[  FAILED  ] a test|
writes-to-stderr-only|53|1||a missing DLL
succeeds-silently|0|1||
CASES
exit $((failures > 0))
