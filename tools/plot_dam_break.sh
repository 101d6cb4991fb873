#!/usr/bin/env bash
# Runs bench/dam_break.sh and draws docs/dam_break.png: the front's advance Z(T) of both fluid
# models beside Martin and Moyce's measurements (1952), and the water's curve 0.2 later in T
# (their gate took that long to open). Needs gnuplot (Debian: gnuplot-nox).
#   tools/plot_dam_break.sh [BUILD_DIR]   (default build/release)
set -euo pipefail
command -v gnuplot >/dev/null || {
    echo "plot_dam_break.sh needs gnuplot: sudo apt-get install gnuplot-nox" >&2
    exit 1
}
root="$(cd "$(dirname "$0")/.." && pwd)"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
CURVE_DIR="$tmp" bash "$root/bench/dam_break.sh" "${1:-$root/build/release}" 1
printf '1.19 1.44\n1.43 1.67\n1.63 1.89\n1.98 2.33\n2.20 2.56\n2.51 3.00\n' >"$tmp/measured.txt"
gnuplot <<GP
set terminal pngcairo size 640,420 font ",10"
set output "$root/docs/dam_break.png"
set xlabel "T = t sqrt(2 g / a)"
set ylabel "Z = front / a"
set key top left
set grid
set xrange [0:3]
set yrange [1:4]
plot "$tmp/measured.txt" with points pt 7 ps 1.3 lc rgb "black" title "Martin and Moyce (1952)", \
     "$tmp/solver0.txt" with lines lw 2 lc rgb "#999999" title "solver 0, the particle model", \
     "$tmp/solver1.txt" with lines lw 2 lc rgb "#1f77b4" title "solver 1, water", \
     "$tmp/solver1.txt" using (\$1 + 0.2):2 with lines lw 2 dt 2 lc rgb "#1f77b4" title "water, 0.2 later"
GP
echo "docs/dam_break.png"
