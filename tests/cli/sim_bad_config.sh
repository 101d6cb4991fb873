#!/usr/bin/env bash
# Settings the simulation cannot run with are refused before anything is allocated: status 1
# and a message naming the key and its value.
set -u
sim="$1/tarnwell-sim"
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT
failed=0
fail() { echo "FAIL: $*"; failed=1; }

# Each line: section, key, value; the message must name the key and show the value as written
# (a saturated integer and an overflowing float read as other numbers).
while read -r section key value; do
    printf '[%s]\n%s=%s\n' "$section" "$key" "$value" >"$tmp/config.ini"
    "$sim" --config "$tmp/config.ini" --seed 1 --steps 5 --dump "$tmp/state.txt" \
        >"$tmp/out" 2>"$tmp/err"; rc=$?
    [ "$rc" -eq 1 ] || fail "$key=$value gave status $rc, want 1"
    grep -q -- "$key" "$tmp/err" || fail "$key=$value: message does not name the key: $(cat "$tmp/err")"
    grep -qF -- "$value" "$tmp/err" || fail "$key=$value: message does not show the value: $(cat "$tmp/err")"
    [ -e "$tmp/state.txt" ] && fail "$key=$value: a state was written"
    rm -f "$tmp/state.txt"
done <<'CASES'
phys count 70000
phys count -5
phys smooth_radius 0
phys field_size -1
phys count 99999999999
graph window_size 1e3
phys timestep 1e99
CASES

# --surface builds the outline whatever render_type says: its settings are checked as in mode 1.
for setting in surf_radius=0 surf_resolution=5000; do
    printf '[graph]\nrender_type=0\n%s\n' "$setting" >"$tmp/config.ini"
    "$sim" --config "$tmp/config.ini" --seed 1 --steps 5 --surface >"$tmp/out" 2>"$tmp/err"; rc=$?
    [ "$rc" -eq 1 ] || fail "--surface with $setting gave status $rc, want 1"
    grep -q "error: \[graph\] ${setting%%=*} = ${setting#*=} .*is not accepted" "$tmp/err" ||
        fail "--surface with $setting: $(cat "$tmp/err")"
done
exit $failed
