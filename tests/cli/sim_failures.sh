#!/usr/bin/env bash
# Every way a run can fail is named and leaves no half-written file: a blow-up stops with
# status 3 and the step; a dump that cannot be written says why, before stepping;
# an interrupted dump keeps the older one; a lost report on stdout is an error.
set -u
sim="$1/tarnwell-sim"
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT
failed=0
fail() { echo "FAIL: $*"; failed=1; }
: >"$tmp/empty.ini"

# Blow-up: timestep 0.01 is beyond the walls' stable step; an older dump stays as it was.
printf '[phys]\ncount=2000\ntimestep=0.01\n' >"$tmp/unstable.ini"
echo old >"$tmp/state.txt"
"$sim" --config "$tmp/unstable.ini" --seed 3 --steps 5000 --dump "$tmp/state.txt" \
    >"$tmp/out" 2>"$tmp/err"; rc=$?
[ "$rc" -eq 3 ] || fail "timestep=0.01 gave status $rc, want 3"
step=$(sed -n 's/.*blew up at step \([0-9]*\).*/\1/p' "$tmp/err")
[ -n "$step" ] && [ "$step" -ge 1 ] && [ "$step" -lt 5000 ] || fail "no step number: $(cat "$tmp/err")"
grep -q 'Most likely cause: \[phys\] timestep = 0.01' "$tmp/err" || fail "cause not named: $(cat "$tmp/err")"
grep -q '^warning: \[phys\] timestep = 0.01' "$tmp/err" || fail "no warning at start"
[ "$(cat "$tmp/state.txt")" = old ] || fail "the blow-up replaced the older dump"
echo "blow-up noticed at step $step"
# The same run one step short of the blow-up ends normally: the step named is the first bad one.
"$sim" --config "$tmp/unstable.ini" --seed 3 --steps $(( step - 1 )) --dump "$tmp/before.txt" \
    >/dev/null 2>&1; rc=$?
[ "$rc" -eq 0 ] || fail "$(( step - 1 )) steps gave status $rc, want 0"
grep -qiE 'nan|inf' "$tmp/before.txt" && fail "the state before step $step is already not finite"

# A folder that does not exist: refused before the first step, with the reason.
"$sim" --config "$tmp/empty.ini" --seed 1 --steps 50 --dump "$tmp/no/such/state.txt" \
    >"$tmp/out" 2>"$tmp/err"; rc=$?
[ "$rc" -eq 1 ] || fail "missing folder gave status $rc, want 1"
grep -q 'No such file or directory' "$tmp/err" || fail "missing folder: no reason: $(cat "$tmp/err")"
grep -q 'step time' "$tmp/out" && fail "missing folder was reported only after stepping"

# A device is no place for a dump: refused before the first step, and left as it is.
"$sim" --config "$tmp/empty.ini" --seed 1 --steps 2 --dump /dev/full >"$tmp/out" 2>"$tmp/err"; rc=$?
[ "$rc" -eq 1 ] || fail "--dump /dev/full gave status $rc, want 1"
grep -q "cannot write the dump '/dev/full': it is a device, not a regular file" "$tmp/err" ||
    fail "--dump /dev/full: $(cat "$tmp/err")"
grep -q 'step time' "$tmp/out" && fail "--dump /dev/full was refused only after stepping"
[ -c /dev/full ] || fail "/dev/full is no longer a device"
"$sim" --config "$tmp/empty.ini" --seed 1 --steps 2 >/dev/full 2>"$tmp/err"; rc=$?
[ "$rc" -ne 0 ] || fail "a report lost on a full stdout gave status 0"
grep -q 'standard output: No space left on device' "$tmp/err" || fail "stdout /dev/full: $(cat "$tmp/err")"

# Interrupted mid-write (the file size limit kills the process after 50 KiB of the 1.4 MB
# dump): the older dump is whole and no temporary file is left behind.
echo old >"$tmp/state.txt"
(ulimit -f 100; exec "$sim" --config "$tmp/empty.ini" --seed 1 --steps 2 --dump "$tmp/state.txt") \
    >/dev/null 2>&1; rc=$?
[ "$rc" -ne 0 ] || fail "the interrupted run gave status 0"
[ "$(cat "$tmp/state.txt")" = old ] || fail "the interrupted write replaced the older dump"
ls "$tmp" | grep -q 'state.txt.tmp' && fail "a temporary file was left: $(ls "$tmp")"

# Through a link the dump replaces the file linked to; the link stays a link.
ln -s state.txt "$tmp/link.txt"
"$sim" --config "$tmp/empty.ini" --seed 1 --steps 2 --dump "$tmp/link.txt" >/dev/null 2>&1 ||
    fail "dump through a link failed"
[ -L "$tmp/link.txt" ] || fail "the link was replaced by a file"
head -1 "$tmp/state.txt" | grep -q '^# tarnwell-sim state: step=2 time=[^ ]* scene=[^ ]* count=10000' ||
    fail "the linked file does not hold the new dump"
exit $failed
