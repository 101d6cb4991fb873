#!/usr/bin/env bash
# How fast the water runs: the dam break (scene dam_break, 10,082 particles) and the same dam
# break in a box 1.41 and 2 times as wide (20,000 and 40,000 particles, the same column in
# smoothing radii per particle), each for SECONDS of simulated time with the physics alone
# (tarnwell-sim), on one and on two threads. Prints simulated seconds per wall second (1.0 is
# real time) and the median step; the particle model's figure at 10,000 beside them. Asserts
# nothing; the load average is printed with the figures, since other work on the machine shows
# in every one of them.
#   bench/water_speed.sh [BUILD_DIR] [SECONDS]   (default build/release, 3 s)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build/release}"
seconds="${2:-3}"
sim="$build/tarnwell-sim"
[ -x "$sim" ] || { echo "no $sim: build the release preset first" >&2; exit 1; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
steps=$(python3 -c "print(round($seconds / 0.0015))")

# scene FILE FIELD_SIZE: the dam break in a box of that size.
scene() {
    sed "s/^field_size=.*/field_size=$2/" "$root/data/scenes/dam_break.ini" >"$1"
}
scene "$tmp/d10.ini" 1.434
scene "$tmp/d20.ini" 2.0237
scene "$tmp/d40.ini" 2.858

echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "$seconds s of the dam break, $steps steps"
printf '  %-8s %-10s %-8s %-22s %s\n' solver particles threads "simulated s / wall s" "median step ms"
run() {
    local solver="$1" file="$2" threads="$3" out start end
    start=$(date +%s.%N)
    out=$("$sim" --scene "$file" --solver "$solver" --seed 1 --threads "$threads" --steps "$steps" 2>&1)
    end=$(date +%s.%N)
    local count median
    count=$(printf '%s\n' "$out" | sed -n 's/.* \([0-9]*\) particles.*/\1/p' | head -n 1)
    median=$(printf '%s\n' "$out" | sed -n 's/.*median \([0-9.]*\) .*/\1/p' | head -n 1)
    printf '  %-8s %-10s %-8s %-22s %s\n' "$solver" "$count" "$threads" \
        "$(python3 -c "print('%.2f' % ($seconds / ($end - $start)))")" "$median"
}
for file in d10 d20 d40; do
    for threads in 1 2; do
        run 1 "$tmp/$file.ini" "$threads"
    done
done
run 0 "$tmp/d10.ini" 1
run 0 "$tmp/d10.ini" 2
