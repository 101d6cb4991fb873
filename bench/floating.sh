#!/usr/bin/env bash
# The floating scene with water (solver 1) for SECONDS: how deep each block floats, when it
# comes to rest, and the tank's sloshing, which keeps blocks dropped in moving (bench/floating.py).
# The blocks are 0.1013 of the box from wall to wall, in a box of field_size 0.8 with
# smooth_radius 0.01. Asserts nothing.
# Ten seconds by default: a block counts as at rest only if it stays so to the end, and the
# sloshing's period and decay need a few swings. SCENE (a name or a file, the floating scene by
# default) may place the same blocks elsewhere, as bench/floating_dropped.ini does.
#   bench/floating.sh [BUILD_DIR] [SECONDS] [SCENE]   (default build/release, 10 s, floating)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
sim="${1:-$root/build/release}/tarnwell-sim"
seconds="${2:-10}"
scene="${3:-floating}"
[ -x "$sim" ] || { echo "no $sim: build the release preset first" >&2; exit 1; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
steps=$(python3 -c "print(round($seconds / 0.0015))")
every=$(python3 -c "print(max(1, round(0.1 / 0.0015)))")
"$sim" --scene "$scene" --solver 1 --seed 1 --threads 0 --steps "$steps" --dump "$tmp/f.txt" \
    --dump-every "$every" >/dev/null
python3 "$root/bench/floating.py" "$(python3 -c "print(0.1013 * (0.8 - 0.01))")" 0.01 0.8 \
    "$tmp"/f-*.txt "$tmp/f.txt"
