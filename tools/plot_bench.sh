#!/bin/bash
# Runs tarnwell-bench (or reads a JSON file it wrote) and writes docs/step_time.png, the step
# and outline times against the particle count at each thread count, and docs/step_time.md,
# the same figures with the per-stage times and the speed-up per stage as markdown tables.
#
#   tools/plot_bench.sh [BUILD_DIR | RESULT.json] [THREADS]   (default: build/release, "1,2")
#
# Needs gnuplot (Debian: gnuplot-nox) and python3. Times are wall milliseconds per step over
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
threads=${2:-1,2}
out=$src/docs
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

if [[ -f $arg ]]; then
    json=$arg
else
    json=$out/bench.json
    "$arg/tarnwell-bench" --threads="$threads" --benchmark_filter='^(physics_step|update_surface)/' \
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
    name, n, t = b["run_name"].split("/")[:3]
    rows.setdefault((name, int(n), int(t)), {})[b["aggregate_name"]] = b
counts = sorted({n for (_, n, _) in rows})
threads = sorted({t for (_, _, t) in rows})
for t in threads:
    with open(f"{work}/times{t}.dat", "w") as f:
        f.write("# count step_min step_median surface_min surface_median (wall ms)\n")
        for n in counts:
            s, u = rows[("physics_step", n, t)], rows[("update_surface", n, t)]
            f.write(f"{n} {s['min']['real_time']} {s['median']['real_time']} "
                    f"{u['min']['real_time']} {u['median']['real_time']}\n")
with open(f"{work}/threads.txt", "w") as f:
    f.write(" ".join(str(t) for t in threads))
ctx = data["context"]
# The step's stages in the order it runs them, as the benchmark names its counters.
stages = [k + "_ms" for k in ctx["step_stages"].split(",")]
names = ctx["step_stage_names"].split(",")
with open(table, "w") as f:
    f.write(f"Measured {ctx['date']} on {ctx['num_cpus']} x {ctx['mhz_per_cpu']} MHz, "
            f"load average {', '.join('%.2f' % x for x in ctx.get('load_avg', []))}; "
            "wall milliseconds per step over five repetitions. The stage columns are the "
            "step's own clock, averaged over the least disturbed repetition.\n\n")
    f.write("| particles | threads | step min | step median | " + " | ".join(names) +
            " | outline min | outline median |\n")
    f.write("|---:|---:|---:|---:|" + "---:|" * len(names) + "---:|---:|\n")
    for n in counts:
        for t in threads:
            s, u = rows[("physics_step", n, t)], rows[("update_surface", n, t)]
            cells = [f"{n}", f"{t}", f"{s['min']['real_time']:.3f}",
                     f"{s['median']['real_time']:.3f}"]
            cells += [f"{s['min'][k]:.3f}" for k in stages]
            cells += [f"{u['min']['real_time']:.3f}", f"{u['median']['real_time']:.3f}"]
            f.write("| " + " | ".join(cells) + " |\n")
    if len(threads) > 1:
        t0, t1 = threads[0], threads[-1]
        f.write(f"\nSpeed-up from {t0} to {t1} threads (least disturbed repetitions):\n\n")
        f.write("| particles | step | " + " | ".join(names) + " | outline |\n")
        f.write("|---:|---:|" + "---:|" * len(names) + "---:|\n")
        ratio = lambda a, b: f"{a / b:.2f}" if b > 0 else "-"
        for n in counts:
            s0, s1 = rows[("physics_step", n, t0)]["min"], rows[("physics_step", n, t1)]["min"]
            u0, u1 = rows[("update_surface", n, t0)]["min"], rows[("update_surface", n, t1)]["min"]
            cells = [f"{n}", ratio(s0["real_time"], s1["real_time"])]
            cells += [ratio(s0[k], s1[k]) for k in stages]
            cells += [ratio(u0["real_time"], u1["real_time"])]
            f.write("| " + " | ".join(cells) + " |\n")
PY

plots=""
for t in $(cat "$work/threads.txt"); do
    plots+="\"$work/times$t.dat\" using 1:2 with linespoints lw 2 pt 7 title \"physics step, $t thread(s)\", "
    plots+="\"$work/times$t.dat\" using 1:4 with linespoints lw 2 pt 5 title \"update\\\\_surface, $t thread(s)\", "
done
gnuplot <<GP
set terminal pngcairo size 800,560 font "sans,11"
set output "$out/step_time.png"
set title "Time per step against particle count (least disturbed of five repetitions)"
set xlabel "particles"
set ylabel "milliseconds (wall time)"
set logscale xy
set xtics (2500, 10000, 40000, 65536)
set grid
set key top left
plot ${plots%, }
GP
echo "wrote $out/step_time.png and $out/step_time.md"
