#!/usr/bin/env bash
# tarnwell-sim refuses malformed arguments with status 2 and a usage message, and documents
# every option under --help.
set -u
sim="$1/tarnwell-sim"
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT
failed=0
fail() { echo "FAIL: $*"; failed=1; }

# Each line: arguments that must be refused (| separates them), then the text the error must show.
while IFS='|' read -r a b expect; do
    args=("$a"); [ -n "$b" ] && args+=("$b")
    "$sim" "${args[@]}" >"$tmp/out" 2>"$tmp/err"; rc=$?
    [ "$rc" -eq 2 ] || fail "'${args[*]}' gave status $rc, want 2"
    grep -q 'usage: tarnwell-sim' "$tmp/err" || fail "'${args[*]}': no usage message"
    grep -qF -- "$expect" "$tmp/err" || fail "'${args[*]}': error does not mention '$expect'"
    [ -s "$tmp/out" ] && fail "'${args[*]}' wrote to stdout"
done <<'CASES'
--bogus||--bogus
--steps||--steps
--steps|-1|-1
--steps|1000000001|1000000001
--steps|12x|12x
--steps| 5| 5
--steps|1e3|1e3
--steps|99999999999999999999999|99999999999999999999999
--seed|-1|-1
--seed|4294967296|4294967296
--seed|0x10|0x10
--seed||--seed
--stir|0.4,0.3|0.4,0.3
--stir|0.4,0.3,2|0.4,0.3,2
--stir|0.4,,1|0.4,,1
--stir|nan,0.3,1|nan,0.3,1
--stir|0.4,1e39,1|0.4,1e39,1
--stir|0.4,0.3,1,|0.4,0.3,1,
--dump||--dump
--dump-every||--dump-every
--dump-every|0|0
--dump-every|-300|-300
--dump-every|1000000001|1000000001
--dump-every|3.5|3.5
--threads|-1|-1
--threads|257|257
--threads|two|two
CASES

# The largest accepted values parse (zero steps: nothing runs, so no settings are needed).
"$sim" --seed 4294967295 --threads 256 --steps 0 --config /dev/null >/dev/null 2>"$tmp/err"; rc=$?
[ "$rc" -ne 2 ] || fail "--seed 4294967295 --steps 0 refused: $(cat "$tmp/err")"

"$sim" --help >"$tmp/help" 2>&1; rc=$?
[ "$rc" -eq 0 ] || fail "--help gave status $rc"
for opt in --config --seed --steps --dump --dump-every --stir --surface --threads --print-settings \
           --print-settings-table --help; do
    grep -q -- "$opt" "$tmp/help" || fail "--help does not document $opt"
done

# The README's settings tables: one row for each key of the settings file it would write.
"$sim" --print-settings-table >"$tmp/table" 2>"$tmp/err"; rc=$?
[ "$rc" -eq 0 ] || fail "--print-settings-table gave status $rc: $(cat "$tmp/err")"
"$sim" --print-settings >"$tmp/ini" 2>&1
keys=$(grep -c '^[a-z_]*=' "$tmp/ini")
rows=$(grep -c '^| `[a-z_]*` |' "$tmp/table")
[ "$keys" -gt 0 ] && [ "$rows" = "$keys" ] ||
    fail "--print-settings-table has $rows rows for the $keys keys of --print-settings"
exit $failed
