#!/usr/bin/env bash
# The dam break of Martin and Moyce (1952) with each fluid model: the front's advance beside
# their measurements, and the fluid's area at the end. Prints figures; asserts nothing.
#   bench/dam_break.sh [BUILD_DIR] [SECONDS]   (default build/release, 1 s of simulated time)
# With CURVE_DIR set, each model's Z(T) is also written there (solver0.txt, solver1.txt) for
# tools/plot_dam_break.sh.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build/release}"
seconds="${2:-1}"
sim="$build/tarnwell-sim"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
# The scene's box: field_size 1.434, smooth_radius 0.01, the column a quarter of the inner width.
h=0.01
field=1.434
a=$(python3 -c "print(0.25 * ($field - $h))")
steps=$(python3 -c "print(round($seconds / 0.0015))")
every=20
for solver in 0 1; do
    echo "solver $solver: $seconds s of the dam break (a = $a)"
    start=$(date +%s.%N)
    "$sim" --scene dam_break --solver "$solver" --seed 1 --threads 0 --steps "$steps" \
        --dump "$tmp/s$solver.txt" --dump-every "$every" >/dev/null
    end=$(date +%s.%N)
    python3 -c "print('  %.1f s of wall time for %s s simulated' % ($end - $start, $seconds))"
    DAM_BREAK_CURVE="${CURVE_DIR:+$CURVE_DIR/solver$solver.txt}" \
        python3 "$root/bench/dam_break.py" "$a" "$h" "$field" $(ls "$tmp"/s$solver-*.txt | sort) "$tmp/s$solver.txt"
done
