#!/bin/sh
# orvex-datalogger without any display, as over ssh: --help and --version print
# and exit 0 before a platform plugin is loaded; a start without them says how to
# get a display and exits 2 instead of aborting in the plugin.
# usage: check_no_display.sh PROGRAM
prog="$1"
home="$(mktemp -d)"
trap 'rm -rf "$home"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
run() { env -i PATH=/usr/bin:/bin HOME="$home" "$prog" "$@" >"$home/out" 2>"$home/err"; }

run --help; rc=$?
[ "$rc" -eq 0 ] || fail "--help exited with $rc: $(cat "$home/err")"
for o in --port --nosplash --version --help; do
  grep -q -- "$o" "$home/out" || fail "--help does not list $o"
done

run --version; rc=$?
[ "$rc" -eq 0 ] || fail "--version exited with $rc: $(cat "$home/err")"
grep -q "1\.0" "$home/out" || fail "--version printed: $(cat "$home/out")"

run -h --port /dev/ttyUSB0; rc=$?
[ "$rc" -eq 0 ] || fail "-h with another option exited with $rc"

run; rc=$?
[ "$rc" -eq 2 ] || fail "a start without a display exited with $rc, not 2: $(cat "$home/err")"
for hint in "No display found" "inside that session" "ssh -X" "xvfb-run -a"; do
  grep -q -- "$hint" "$home/err" || fail "no hint '$hint' in: $(cat "$home/err")"
done
# It gave up before reading or writing any settings.
[ ! -e "$home/.config" ] && [ ! -e "$home/.local" ] || fail "settings folders were created"
echo "orvex-datalogger: --help, --version and the missing display answered without a display"
