#!/usr/bin/env bash
# The window program's command line: --help and --version answer without a window, malformed
# arguments are refused with status 2 and the usage, a --config file that cannot be read stops
# the program with status 1. No X server is offered: any attempt to open a window would fail.
set -u
program="$1/tarnwell"
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT
failed=0
fail() { echo "FAIL: $*"; failed=1; }
unset DISPLAY

"$program" --help >"$tmp/help" 2>"$tmp/err"; rc=$?
[ "$rc" -eq 0 ] || fail "--help gave status $rc: $(head -3 "$tmp/err")"
[ -s "$tmp/err" ] && fail "--help wrote to stderr: $(head -3 "$tmp/err")"
for opt in --config --seed --frames --screenshot --dump --help --version; do
    grep -q -- "$opt" "$tmp/help" || fail "--help does not document $opt"
done
# Every key with its own line: the key column, then what it does.
for key in Space 'n or \.' 'r ' 'l ' '0 1 2' 'c ' 'g ' '\+ - wheel' '\[ \]' 't ' 's or F12' \
           'h or F1' 'f ' 'q or Esc'; do
    grep -Eq "^  $key" "$tmp/help" || fail "--help does not list the key '$key'"
done

"$program" --version >"$tmp/out" 2>&1; rc=$?
[ "$rc" -eq 0 ] || fail "--version gave status $rc"
[ "$(cat "$tmp/out")" = "Tarnwell SPH v 1.09a" ] || fail "--version printed '$(cat "$tmp/out")'"

# An answer that cannot be written is no success.
for program_and_option in "$program --help" "$program --version" "$1/tarnwell-sim --help"; do
    $program_and_option >/dev/full 2>"$tmp/err"; rc=$?
    [ "$rc" -eq 1 ] || fail "$program_and_option >/dev/full gave status $rc, want 1"
    grep -q 'cannot write to standard output: No space left on device' "$tmp/err" ||
        fail "$program_and_option >/dev/full: $(cat "$tmp/err")"
done

# Each line: arguments that must be refused (| separates them), then the text the error must show.
while IFS='|' read -r a b expect; do
    args=("$a"); [ -n "$b" ] && args+=("$b")
    "$program" "${args[@]}" >"$tmp/out" 2>"$tmp/err"; rc=$?
    [ "$rc" -eq 2 ] || fail "'${args[*]}' gave status $rc, want 2"
    grep -q 'usage: tarnwell' "$tmp/err" || fail "'${args[*]}': no usage message"
    grep -qF -- "$expect" "$tmp/err" || fail "'${args[*]}': error does not mention '$expect'"
    [ -s "$tmp/out" ] && fail "'${args[*]}' wrote to stdout (the banner?)"
done <<'CASES'
--bogus||--bogus
-x||-x
stray||stray
--seed||--seed
--seed|-1|-1
--seed|4294967296|4294967296
--seed|12abc|12abc
--seed| 5| 5
--frames|0|0
--frames|1000000001|1000000001
--frames|-3|-3
--frames|1e3|1e3
--frames|99999999999999999999999|99999999999999999999999
--frames||--frames
--screenshot||--screenshot
--config||--config
--dump||--dump
-display||-display
--seed=||--seed
CASES

# A settings file named on the command line must exist; the banner and the path come first.
"$program" --config "$tmp/missing.ini" --frames 1 >"$tmp/out" 2>"$tmp/err"; rc=$?
[ "$rc" -eq 1 ] || fail "--config of a missing file gave status $rc, want 1"
grep -qF "$tmp/missing.ini" "$tmp/err" || fail "the error does not name the missing file"
grep -qx "Load config from file: $tmp/missing.ini" "$tmp/out" || fail "no config path line"

# Accepted values reach the settings check: a refused file stops there with status 1, before
# any window (none could open here).
printf '[phys]\ncount=70000\n' >"$tmp/bad.ini"
"$program" --config "$tmp/bad.ini" --seed 4294967295 --frames 1000000000 \
    --screenshot "$tmp/x.png" --dump "$tmp/d.txt" -geometry 300x300 -sync \
    >"$tmp/out" 2>"$tmp/err"; rc=$?
[ "$rc" -eq 1 ] || fail "largest values and GLUT options: status $rc, want 1 (refused settings): $(head -3 "$tmp/err")"
grep -q 'count = 70000' "$tmp/err" || fail "the settings refusal is missing: $(head -3 "$tmp/err")"
exit $failed
