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
run() { "$sim" --config "$tmp/config.ini" --seed 9 "$@" >"$tmp/out" 2>"$tmp/err"; }
mkdir "$tmp/runs.d"

# The step goes before the extension of the name, not the folder's.
run --steps 700 --dump-every 300 --dump "$tmp/runs.d/out.txt" || fail "status $?: $(cat "$tmp/err")"
got=$(cd "$tmp/runs.d" && ls | tr '\n' ' ')
[ "$got" = "out-000300.txt out-000600.txt out.txt " ] || fail "files: $got"
for f in out-000300.txt out-000600.txt out.txt; do
    # The time reads back as steps times the timestep; room for a clock that adds up steps.
    head -n 1 "$tmp/runs.d/$f" | awk '
        { for (i = 4; i <= NF; i++) { split($i, kv, "="); field[kv[1]] = kv[2] } }
        END { t = field["time"] + 0; e = field["step"] * 0.0015
              if (t - e > 1e-7 * e || e - t > 1e-7 * e) { print "FAIL: time: " $0; exit 1 } }' ||
        failed=1
    awk -v h=0.01 -v field_size=0.8 -v slack=0.01 -f "$2/tests/cli/check_dump.awk" \
        "$tmp/runs.d/$f" || failed=1
done
head -n 1 "$tmp/runs.d/out-000600.txt" | grep -q '^# tarnwell-sim state: step=600 ' ||
    fail "header of the step 600 dump: $(head -n 1 "$tmp/runs.d/out-000600.txt")"
run --steps 600 --dump "$tmp/plain.txt" || fail "plain run: status $?"
cmp -s "$tmp/plain.txt" "$tmp/runs.d/out-000600.txt" ||
    fail "the dump of step 600 differs from a 600-step run's"

# A name without an extension takes the step at its end; a last step that is a multiple of K
# is in the series too.
run --steps 100 --dump-every 50 --dump "$tmp/state" || fail "no extension: status $?"
cmp -s "$tmp/state" "$tmp/state-000100" && [ -f "$tmp/state-000050" ] ||
    fail "no extension: $(ls "$tmp")"

# Refused before any step with the usage: K=0, and K without --dump.
for args in "--dump-every 0 --dump $tmp/z.txt" "--dump-every 10"; do
    # shellcheck disable=SC2086
    run --steps 20 $args; rc=$?
    [ "$rc" -eq 2 ] && grep -q 'usage: tarnwell-sim' "$tmp/err" && [ ! -s "$tmp/out" ] ||
        fail "'$args' gave status $rc, want 2 and the usage: $(cat "$tmp/out" "$tmp/err")"
    grep -q -- '--dump-every' "$tmp/err" || fail "'$args': the error does not name --dump-every"
done

# A numbered dump that cannot be written: the first is checked before any step; a later one
# stops the run there. Status 1 either way, and PATH keeps its older contents.
echo old >"$tmp/out.txt"
for step in 000010 000020; do
    mkdir "$tmp/out-$step.txt"
    run --steps 40 --dump-every 10 --dump "$tmp/out.txt"; rc=$?
    [ "$rc" -eq 1 ] || fail "a folder at step $step gave status $rc, want 1"
    [ $step = 000010 ] && grep -q 'step time' "$tmp/out" && fail "refused only after stepping"
    grep -q "cannot write the dump '$tmp/out-$step.txt'" "$tmp/err" || fail "$(cat "$tmp/err")"
    [ "$(cat "$tmp/out.txt")" = old ] || fail "a run stopped at step $step replaced the older dump"
    rmdir "$tmp/out-$step.txt"
done
[ -f "$tmp/out-000010.txt" ] && [ ! -e "$tmp/out-000030.txt" ] ||
    fail "stopped at step 20: $(ls "$tmp")"
ls "$tmp" | grep -q '\.tmp' && fail "a temporary file was left: $(ls "$tmp")"
exit $failed
