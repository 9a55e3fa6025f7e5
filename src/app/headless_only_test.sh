#!/bin/sh
# headless_only_test.sh PROGRAM: the server program of a build without the operator window
# says so in --help, answers the built-in test request, and, started where a display is
# available and without --headless, says that it has no window and runs headless (into a
# start-up failure here: no alias to serve) rather than failing otherwise or exiting 0.
set -eu
program=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir"
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

"$program" --help >help.txt
grep -q 'always runs headless' help.txt || fail "--help does not say that it runs headless"

# The parser's failure answer: the built-in request names facility VG, which is no number.
printf 'messageID=asdf12345667890&1&header=%s&\n' \
  'INSTRUKSJON;ANLEGGSNR;UTYPE;UTL_OBJ;ANKOMST;AVREISE;PENSJONSTYPE' >expected.out
TAURELIN_CONFIG=$dir/test.conf "$program" --test >test.out || fail "--test failed"
cmp -s expected.out test.out || fail "--test answered $(cat test.out)"

status=0
DISPLAY=:0 QT_QPA_PLATFORM=offscreen "$program" --config "$dir/taurelin.conf" \
  --aliases "$dir/aliases.ini" 2>stderr.txt || status=$?
[ "$status" -eq 1 ] || fail "without an alias it exited with $status, not 1"
grep -q 'this build has no operator window; it runs headless' stderr.txt ||
  fail "it did not say that it has no window: $(cat stderr.txt)"
grep -q 'start-up failed' stderr.txt || fail "it did not run headless: $(cat stderr.txt)"

[ "$failures" -eq 0 ] || exit 1
echo "the headless-only program checks out"
