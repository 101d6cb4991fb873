#!/bin/bash
# Runs tarnwell-bench (or reads a JSON file it wrote) and writes docs/step_time.png, the step
# and outline times against the particle count, and docs/step_time.md, the same figures with
# the per-stage shares as a markdown table.
#
#   tools/plot_bench.sh [BUILD_DIR | RESULT.json]    (default: build/release)
#
# Needs gnuplot (Debian: gnuplot-nox) and python3. Times are per step in milliseconds over
# five repetitions: "min" is the least disturbed repetition, which is the one to compare on a
# shared machine; "median" shows how loaded the machine was.
set -euo pipefail
# The only tool that needs gnuplot, so the install script leaves it out.
command -v gnuplot >/dev/null || {
    echo "plot_bench.sh needs gnuplot: sudo apt-get install gnuplot-nox" >&2
    exit 1
}
src=$(cd "$(dirname "$0")/.." && pwd)
arg=${1:-$src/build/release}
out=$src/docs
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

if [[ -f $arg ]]; then
    json=$arg
else
    json=$out/bench.json
    "$arg/tarnwell-bench" --benchmark_filter='^(physics_step|update_surface)/' \
        --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
        --benchmark_out_format=json --benchmark_out="$json" >/dev/null
fi

python3 - "$json" "$work" "$out/step_time.md" <<'PY'
import json, sys
data = json.load(open(sys.argv[1]))
work, table = sys.argv[2], sys.argv[3]
rows = {}
for b in data["benchmarks"]:
    if b.get("run_type") != "aggregate":
        continue
    name, n = b["run_name"].split("/")[:2]
    rows.setdefault((name, int(n)), {})[b["aggregate_name"]] = b
counts = sorted({n for (_, n) in rows})
with open(work + "/times.dat", "w") as f:
    f.write("# count step_min step_median surface_min surface_median (ms, thread CPU time)\n")
    for n in counts:
        s, u = rows[("physics_step", n)], rows[("update_surface", n)]
        f.write(f"{n} {s['min']['cpu_time']} {s['median']['cpu_time']} "
                f"{u['min']['cpu_time']} {u['median']['cpu_time']}\n")
ctx = data["context"]
stages = ["sort_grid_ms", "neighbours_ms", "density_ms", "forces_ms", "bodies_ms", "integrate_ms"]
with open(table, "w") as f:
    f.write(f"Measured {ctx['date']} on {ctx['num_cpus']} x {ctx['mhz_per_cpu']} MHz, "
            f"load average {', '.join('%.2f' % x for x in ctx.get('load_avg', []))}; "
            "milliseconds per step, single thread, median of five repetitions "
            "(step and outline also the minimum; thread CPU time, wall time in brackets). "
            "The stage columns are mean wall times from the step's own clock, so on a loaded "
            "machine they add up to more than the CPU time.\n\n")
    f.write("| particles | step min | step median | sort+grid | neighbours | density | forces "
            "| bodies | integrate | outline min | outline median |\n")
    f.write("|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n")
    for n in counts:
        s, u = rows[("physics_step", n)], rows[("update_surface", n)]
        med = s["median"]
        cells = [f"{n}",
                 f"{s['min']['cpu_time']:.3f} ({s['min']['real_time']:.3f})",
                 f"{med['cpu_time']:.3f} ({med['real_time']:.3f})"]
        cells += [f"{med[k]:.3f}" for k in stages]
        cells += [f"{u['min']['cpu_time']:.3f}", f"{u['median']['cpu_time']:.3f}"]
        f.write("| " + " | ".join(cells) + " |\n")
PY

gnuplot <<GP
set terminal pngcairo size 800,560 font "sans,11"
set output "$out/step_time.png"
set title "Time per step against particle count (single thread)"
set xlabel "particles"
set ylabel "milliseconds (thread CPU time)"
set logscale xy
set xtics (2500, 10000, 40000, 65536)
set grid
set key top left
plot "$work/times.dat" using 1:2 with linespoints lw 2 pt 7 title "physics step, min", \
     "" using 1:3 with linespoints lw 1 pt 6 dt 2 title "physics step, median", \
     "" using 1:4 with linespoints lw 2 pt 5 title "update\\\\_surface, min", \
     "" using 1:5 with linespoints lw 1 pt 4 dt 2 title "update\\\\_surface, median"
GP
echo "wrote $out/step_time.png and $out/step_time.md"
