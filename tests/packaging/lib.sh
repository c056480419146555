# Sourced by the packaging tests: a scratch directory that is removed on exit, failures counted
# so that one run reports them all.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0

fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# finish NAME: the test's end, failed when any check failed.
finish() {
  [ "$failures" -eq 0 ] || exit 1
  echo "$1: all checks passed"
}
