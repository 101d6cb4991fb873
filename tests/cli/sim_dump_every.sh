#!/usr/bin/env bash
# --dump-every K writes the state every K steps beside the final dump, named by the step; each
# such dump is the very dump a run stopped at that step writes, and its first line gives the
# step and the simulated time. K must be a whole number from 1 and needs --dump.
set -u
sim="$1/tarnwell-sim"
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT
failed=0
fail() { echo "FAIL: $*"; failed=1; }
printf '[phys]\ncount=500\ntimestep=0.0015\n' >"$tmp/config.ini"
mkdir "$tmp/runs.d"

"$sim" --config "$tmp/config.ini" --seed 9 --steps 700 --dump-every 300 \
       --dump "$tmp/runs.d/out.txt" >/dev/null 2>"$tmp/err" || fail "status $?: $(cat "$tmp/err")"
# The step goes before the extension of the name, not the folder's.
got=$(cd "$tmp/runs.d" && ls | tr '\n' ' ')
[ "$got" = "out-000300.txt out-000600.txt out.txt " ] || fail "files: $got"
for step in 300 600 700; do
    f="$tmp/runs.d/out-$(printf %06d $step).txt"; [ $step = 700 ] && f="$tmp/runs.d/out.txt"
    [ -f "$f" ] || continue
    # The time reads back as steps times the timestep; room for a clock that adds up steps.
    head -n 1 "$f" | awk -v want=$step '
        { for (i = 4; i <= NF; i++) { split($i, kv, "="); field[kv[1]] = kv[2] } }
        END { t = field["time"] + 0; expect = want * 0.0015
              if (field["step"] != want || t - expect > 1e-7 * expect || expect - t > 1e-7 * expect)
                  { print "FAIL: step " want ": header " $0; exit 1 } }' || failed=1
    awk -v h=0.01 -v field_size=0.8 -v slack=0.01 -f "$2/tests/cli/check_dump.awk" "$f" ||
        failed=1
done
"$sim" --config "$tmp/config.ini" --seed 9 --steps 600 --dump "$tmp/plain.txt" >/dev/null ||
    fail "plain run: status $?"
cmp -s "$tmp/plain.txt" "$tmp/runs.d/out-000600.txt" ||
    fail "the dump of step 600 differs from a 600-step run's: $(cmp "$tmp/plain.txt" "$tmp/runs.d/out-000600.txt")"

# A name without an extension takes the step at its end; a run of a whole number of K dumps
# its last step in the series too.
"$sim" --config "$tmp/config.ini" --seed 9 --steps 100 --dump-every 50 --dump "$tmp/state" \
       >/dev/null 2>"$tmp/err" || fail "no extension: status $?: $(cat "$tmp/err")"
for f in state-000050 state-000100 state; do [ -f "$tmp/$f" ] || fail "no extension: no $f"; done
cmp -s "$tmp/state" "$tmp/state-000100" || fail "the last numbered dump differs from the final one"

# Refused before any step: K=0, and K without --dump.
for args in "--dump-every 0 --dump $tmp/z.txt" "--dump-every 10"; do
    # shellcheck disable=SC2086
    "$sim" --config "$tmp/config.ini" --steps 20 $args >"$tmp/out" 2>"$tmp/err"; rc=$?
    [ "$rc" -eq 2 ] || fail "'$args' gave status $rc, want 2"
    grep -q 'usage: tarnwell-sim' "$tmp/err" || fail "'$args': no usage message"
    grep -q -- '--dump-every' "$tmp/err" || fail "'$args': the error does not name --dump-every"
    [ -s "$tmp/out" ] && fail "'$args' ran: $(cat "$tmp/out")"
done
ls "$tmp" | grep -q '^z' && fail "a refused run wrote $(ls "$tmp")"

# A numbered dump that cannot be written: the first is checked before any step, status 1; the
# final dump keeps its older contents.
mkdir "$tmp/out-000010.txt"
echo old >"$tmp/out.txt"
"$sim" --config "$tmp/config.ini" --steps 40 --dump-every 10 --dump "$tmp/out.txt" \
       >"$tmp/out" 2>"$tmp/err"; rc=$?
[ "$rc" -eq 1 ] || fail "a folder in the way gave status $rc, want 1"
grep -q "cannot write the dump '$tmp/out-000010.txt'" "$tmp/err" || fail "folder: $(cat "$tmp/err")"
grep -q 'step time' "$tmp/out" && fail "a folder in the way was refused only after stepping"
[ "$(cat "$tmp/out.txt")" = old ] || fail "the refused run replaced the older dump"
# Found only when its turn comes: the run stops there, the dumps before it stay.
rmdir "$tmp/out-000010.txt"; mkdir "$tmp/out-000020.txt"
"$sim" --config "$tmp/config.ini" --steps 40 --dump-every 10 --dump "$tmp/out.txt" \
       >"$tmp/out" 2>"$tmp/err"; rc=$?
[ "$rc" -eq 1 ] || fail "a folder in the way at step 20 gave status $rc, want 1"
grep -q "cannot write the dump '$tmp/out-000020.txt'" "$tmp/err" || fail "step 20: $(cat "$tmp/err")"
[ -f "$tmp/out-000010.txt" ] || fail "the dump of step 10 is gone"
[ -e "$tmp/out-000030.txt" ] && fail "the run went on after a failed dump"
[ "$(cat "$tmp/out.txt")" = old ] || fail "a run stopped at step 20 replaced the older dump"
ls "$tmp" | grep -q '\.tmp' && fail "a temporary file was left: $(ls "$tmp")"
exit $failed
