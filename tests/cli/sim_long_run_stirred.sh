#!/usr/bin/env bash
# A long run stirred every step near the middle of the box (pulling) stays physical: every
# value finite, every particle and body centre within one smoothing radius of the box.
set -u
sim="$1/tarnwell-sim"
steps=${TARNWELL_LONG_STEPS:-20000}
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT
printf '; every setting at its default\n' >"$tmp/config.ini"

"$sim" --config "$tmp/config.ini" --seed 11 --steps "$steps" --stir 0.4,0.3,1 \
       --dump "$tmp/state.txt" || { echo "FAIL: tarnwell-sim exited with status $?"; exit 1; }
head -n 1 "$tmp/state.txt"
awk -v h=0.01 -v field_size=0.8 -v slack=0.01 -f "$2/tests/cli/check_dump.awk" "$tmp/state.txt"
