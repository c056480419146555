#!/usr/bin/env bash
# Tests the layout that `cmake --install` makes (the package is made from the same rules):
# the program with its link on PATH and without the tests' settings, the parameter file with
# mode 0600 reached through a link beside the program, the helper beside the program with its
# link on PATH, the units naming the installed helper, the manual page compressed with its link;
# and that a second install keeps an edited parameter file.
# Usage: install_layout_test.sh BUILD-DIR INSTALL-PREFIX SYSCONFDIR
set -uo pipefail
build=$1 prefix=$2 sysconfdir=$3
. "$(dirname "$0")/lib.sh"
dest=$scratch/root
log=$scratch/install.log

install_once() {
  DESTDIR=$dest cmake --install "$build" >"$log" 2>&1 || { cat "$log" >&2; fail "cmake --install"; }
}
install_once
p=$dest$prefix
ini=$dest$sysconfdir/fbwarm/fbwarm.INI

[ -x "$p/lib/fbwarm/fbwarm" ] || fail "no program in lib/fbwarm"
# Test settings live in build/fbwarm-test-hooks only: the installed program reads none.
grep -q FBWARM_TEST_ "$p/lib/fbwarm/fbwarm" && fail "the installed program holds FBWARM_TEST_ text"
[ -z "$(find "$dest" -name 'fbwarm-test-hooks*' -o -name 'fbwarm-deny-syscall*')" ] ||
  fail "a test program was installed"
[ "$(readlink "$p/bin/fbwarm")" = ../lib/fbwarm/fbwarm ] || fail "bin/fbwarm does not link to the program"
[ "$(readlink "$p/lib/fbwarm/fbwarm.INI")" = "$sysconfdir/fbwarm/fbwarm.INI" ] ||
  fail "lib/fbwarm/fbwarm.INI does not link to the parameter file"
[ "$(stat -c %a "$ini")" = 600 ] || fail "the parameter file's mode is $(stat -c %a "$ini"), not 600"
# The helper runs the fbwarm beside its own real path.
[ -x "$p/lib/fbwarm/fbwarm-check" ] || fail "no helper beside the program in lib/fbwarm"
[ "$(readlink "$p/bin/fbwarm-check")" = ../lib/fbwarm/fbwarm-check ] ||
  fail "bin/fbwarm-check does not link to the helper"
unit=$(find "$dest" -name fbwarm.service)
grep -qx "ExecStart=$prefix/bin/fbwarm-check /SKIPCACHED" "$unit" ||
  fail "the unit does not start the installed helper"
template=$(find "$dest" -name 'fbwarm@.service')
grep -qx "ExecStart=$prefix/bin/fbwarm-check /SKIPCACHED \"/DB:%I\"" "$template" ||
  fail "the template unit does not start the installed helper with its instance as /DB:"
gzip -t "$p/share/man/man1/fbwarm.1.gz" || fail "the manual page is not gzip-compressed"
[ "$(readlink "$p/share/man/man1/fbwarm-check.1.gz")" = fbwarm.1.gz ] || fail "no manual page link for fbwarm-check"
# What the program reads of the file as installed: no [STARTPARAMS] section, no parameter.
grep -qi '^\[STARTPARAMS\]' "$ini" && fail "the installed parameter file has an active section"

printf '[STARTPARAMS]\n/DB:edited\n' >"$ini"
install_once
grep -qx '/DB:edited' "$ini" || fail "a second install replaced the edited parameter file"

finish "install layout"
