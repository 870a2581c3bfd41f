#!/bin/sh
# The installed program (cmake --install into a temporary prefix) is the
# product: no fault-injection option in its help, its parser or its binary,
# and no test build beside it.
set -eu
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
program=$prefix/bin/cleanup-agent
fail() { echo "installed_program_test: $*" >&2; exit 1; }

[ -x "$program" ] || fail "no $program"
[ ! -e "$prefix/bin/cleanup-agent-test" ] || fail "the test build was installed"
"$program" --help >"$prefix/help" || fail "--help failed"
grep -q 'Advanced options:' "$prefix/help" || fail "--help is not the program's help"
! grep -qi -e inject -e 'test option' "$prefix/help" || fail "--help lists a test option"
status=0
"$program" --inject-write-faults 0,1 2>"$prefix/err" >/dev/null || status=$?
[ "$status" -eq 2 ] || fail "--inject-write-faults gave exit $status, not 2"
grep -qx "cleanup-agent: unrecognised option '--inject-write-faults'" "$prefix/err" ||
  fail "unexpected error: $(cat "$prefix/err")"
! grep -aq -e inject-write-faults -e inject-disk-space -e cleanup-write-faults "$program" ||
  fail "the fault injection is compiled into $program"
echo "installed_program_test: ok"
