#!/usr/bin/env bash
# Soak runs of the headless simulation: after many steps every value is finite, every particle
# lies within one smoothing radius (0.01) of the box [h, field_size] = [0.01, 0.8] and every body
# centre within the box widened by the largest body size (geom_w_max = geom_h_max = 10 h = 0.1).
#
# Short by default (a CI check of a few minutes: 20,000 steps for the default and ten-body
# runs); TARNWELL_SOAK=long runs the long table
# (about an hour of CPU). TARNWELL_SOAK_STEPS=N caps every run at N steps (for slow builds such
# as the sanitizer one).
set -u
sim="$1/tarnwell-sim"
src="$2"
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT
long=0
case "${TARNWELL_SOAK:-short}" in
    long) long=1 ;;
    short) ;;
    *) echo "TARNWELL_SOAK='${TARNWELL_SOAK}': use 'short' or 'long'" >&2; exit 2 ;;
esac
cap=${TARNWELL_SOAK_STEPS:-0}
[[ $cap =~ ^[0-9]+$ ]] || { echo "TARNWELL_SOAK_STEPS='$cap': use a whole number" >&2; exit 2; }

# name | [phys] lines (\n between) | seed | --stir X,Y,SIGN or empty | short steps | long steps
# - defaults: the program as shipped, 10,000 particles and two bodies.
# - full: the largest particle count the 16-bit indices allow; crowded cells overflow and drop.
# - ten bodies: seed 1279 makes a body with a fan triangle so thin that its rounded Heron
#   product is negative.
# - pull: stirring (left button) every step in the middle of the fluid.
# - corner push / corner pull: the pointer can sit outside the walls (the window shows
#   0..h+field_size); pushing fluid into a corner and pulling it towards a point beyond the
#   corner must not drive it through the walls.
runs=$(cat <<'RUNS'
defaults||7||20000|100000
full|count=65536|3||400|10000
ten bodies|geom_count=10|1279||20000|100000
pull||11|0.4,0.3,1|5000|100000
corner push|geom_count=0|5|0.03,0.03,-1|1500|50000
corner pull|geom_count=0|9|0.805,0.805,1|1500|50000
RUNS
)

status=0
while IFS='|' read -r name phys seed stir short_steps long_steps; do
    steps=$short_steps
    [ "$long" = 1 ] && steps=$long_steps
    [ "$cap" -gt 0 ] && [ "$steps" -gt "$cap" ] && steps=$cap
    printf '[phys]\n%b\n' "$phys" >"$tmp/config.ini"
    args=(--config "$tmp/config.ini" --seed "$seed" --steps "$steps" --dump "$tmp/state.txt")
    [ -n "$stir" ] && args+=(--stir "$stir")
    start=$SECONDS
    if ! "$sim" "${args[@]}" >"$tmp/out" 2>"$tmp/err"; then
        echo "FAIL: $name: tarnwell-sim exited with status $?: $(tail -n 3 "$tmp/err")"
        status=1; continue
    fi
    echo "$name: $(head -n 1 "$tmp/state.txt"), $((SECONDS - start)) s;" \
         "$(grep -o 'median [0-9.]*' "$tmp/out" | head -n 1) ms a step"
    if [[ $phys == *geom_count=10* ]] && ! grep -q ' bodies=10$' "$tmp/state.txt"; then
        echo "FAIL: $name: not all ten bodies were made"; status=1
    fi
    awk -v h=0.01 -v field_size=0.8 -v slack=0.01 -v body_slack=0.1 \
        -f "$src/tests/cli/check_dump.awk" "$tmp/state.txt" | sed "s/^/$name: /"
    [ "${PIPESTATUS[0]}" = 0 ] || status=1
done <<<"$runs"
exit $status
