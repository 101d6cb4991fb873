#!/usr/bin/env bash
# Ten floating bodies in the default fluid for 20,000 steps: every value stays finite, every
# particle stays near the box and every body centre stays within the box widened by the
# largest body size (geom_w_max, geom_h_max: 10 smoothing radii = 0.1). Seed 1279 makes a
# body with a fan triangle so thin that its rounded Heron product is negative.
set -u
sim="$1/tarnwell-sim"
steps=${TARNWELL_LONG_STEPS:-20000}
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT
printf '[phys]\ngeom_count=10\n' >"$tmp/config.ini"

status=0
for seed in 1279; do
    "$sim" --config "$tmp/config.ini" --seed "$seed" --steps "$steps" --dump "$tmp/state.txt" || {
        echo "FAIL: tarnwell-sim exited with status $? (seed $seed)"; exit 1; }
    head -n 1 "$tmp/state.txt"
    grep -q '^# tarnwell-sim state: .* bodies=10$' "$tmp/state.txt" || {
        echo "FAIL: seed $seed did not make all ten bodies"; status=1; }
    awk -v h=0.01 -v field_size=0.8 -v slack=0.1 -f "$2/tests/cli/check_dump.awk" \
        "$tmp/state.txt" || status=1
done
exit $status
