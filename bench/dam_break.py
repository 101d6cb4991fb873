"""Reads the dumps of a dam-break run (tarnwell-sim --scene dam_break --dump-every K) and prints
the front's advance beside Martin and Moyce's measurements (1952, their column of width a and
height 2a: Z = front / a against T = t sqrt(2 g / a)), then how the fluid's volume and density
fare at the end, and the most energy it had at any dump against its first (nothing does work on
it, so more is energy a solver made up).

Usage: dam_break.py A H FIELD DUMP...   (A the column width, H smooth_radius, FIELD field_size)
"""
import math
import os
import sys

# Martin and Moyce (1952), the front of a column of height 2a: T and Z.
MEASURED = [(1.19, 1.44), (1.43, 1.67), (1.63, 1.89), (1.98, 2.33), (2.20, 2.56), (2.51, 3.00)]
GRAVITY = 9.8
# Particles ahead of the body of the fluid (spray) are not its front: the front is where the
# tenth particle from the right stands, among those near the floor.
SPRAY = 10
SHIFT = 0.2


def read(path):
    header = open(path).readline().split()
    fields = dict(f.split("=", 1) for f in header if "=" in f)
    points = []
    for line in open(path):
        if line.startswith("p "):
            w = line.split()
            points.append((float(w[2]), float(w[3]), float(w[8]), float(w[4]), float(w[5])))
    return float(fields["time"]), points


def front(points, a, h):
    near_floor = sorted((p[0] for p in points if p[1] < h + 0.25 * a), reverse=True)
    if len(near_floor) < SPRAY:
        return float("nan")
    return (near_floor[SPRAY - 1] - h) / a


def main():
    a, h, field = (float(v) for v in sys.argv[1:4])
    runs = [read(p) for p in sys.argv[4:]]
    scale = math.sqrt(2.0 * GRAVITY / a)
    curve = [(t * scale, front(points, a, h)) for t, points in runs]
    def ours(t_m):
        # Our Z at T, by linear interpolation between the dumps.
        for (t0, z0), (t1, z1) in zip(curve, curve[1:]):
            if t0 <= t_m <= t1:
                return z0 + (z1 - z0) * (t_m - t0) / (t1 - t0)
        return float("nan")

    # The experiment's gate took time to open; the column here is let go at once. The second
    # column compares theirs at T with ours at T - SHIFT.
    print("  T      Martin-Moyce Z   ours Z   difference   ours at T-%.1f   difference" % SHIFT)
    for t_m, z_m in MEASURED:
        z, zs = ours(t_m), ours(t_m - SHIFT)
        print("  %.2f   %6.2f           %6.2f   %+6.1f %%      %6.2f         %+6.1f %%"
              % (t_m, z_m, z, 100.0 * (z - z_m) / z_m, zs, 100.0 * (zs - z_m) / z_m))
    # With DAM_BREAK_CURVE set, our Z(T) also goes to that file, "T Z" a line, for a plot.
    curve_file = os.environ.get("DAM_BREAK_CURVE")
    if curve_file:
        with open(curve_file, "w") as f:
            for t_c, z_c in curve:
                f.write("%.4f %.4f\n" % (t_c, z_c))
    t, points = runs[-1]
    inv = [p[2] for p in points]
    start_t, start_points = runs[0]
    # Area each particle stands for, relative to the start: sum of 1/density now over then.
    now = sum(inv)
    then = sum(p[2] for p in start_points)
    print("after %.2f s: the fluid's area is %.1f %% of its area at %.2f s" % (t, 100.0 * now / then, start_t))
    # Kinetic and potential energy per unit mass, summed over the particles.
    def energy(pts):
        return sum(0.5 * (p[3] * p[3] + p[4] * p[4]) + GRAVITY * p[1] for p in pts)
    first = energy(start_points)
    most_t, most = max(((t_e, energy(pts)) for t_e, pts in runs), key=lambda e: e[1])
    print("its most energy: %.1f %% of its energy at %.2f s, at %.2f s"
          % (100.0 * most / first, start_t, most_t))


main()
