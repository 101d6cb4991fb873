"""Reads the dumps of a run of the floating scene (tarnwell-sim --scene floating --dump-every K)
and prints, for each block, how much of it is under the surface at the end and when it came to
rest: its speed (of the centre, and of the corners through the turning) stays below REST of
sqrt(g a) from then on, with a = a quarter of the box as in the dam break.

Usage: floating.py SIDE H FIELD DUMP...   (SIDE the blocks' side, H smooth_radius, FIELD field_size)
"""
import math
import sys

GRAVITY = 9.8
REST = 0.01
SETTLE = 3.0  # s: the plunge's splashes are over by then


def read(path):
    header = open(path).readline().split()
    fields = dict(f.split("=", 1) for f in header if "=" in f)
    points, bodies = [], []
    for line in open(path):
        w = line.split()
        if w and w[0] == "p":
            points.append((float(w[2]), float(w[3])))
        elif w and w[0] == "b":
            bodies.append(tuple(float(v) for v in w[2:8]))
    return float(fields["time"]), points, bodies


def corners(body, side):
    cx, cy, angle = body[0], body[1], body[2]
    c, s = math.cos(angle), math.sin(angle)
    half = 0.5 * side
    return [(cx + c * x - s * y, cy + s * x + c * y)
            for x, y in ((-half, -half), (half, -half), (half, half), (-half, half))]


def area(poly):
    return 0.5 * abs(sum(x0 * y1 - x1 * y0 for (x0, y0), (x1, y1) in zip(poly, poly[1:] + poly[:1])))


def below(poly, level):
    """The part of the convex polygon under the line y = level (Sutherland-Hodgman)."""
    out = []
    for (x0, y0), (x1, y1) in zip(poly, poly[1:] + poly[:1]):
        if y0 <= level:
            out.append((x0, y0))
        if (y0 < level) != (y1 < level):
            t = (level - y0) / (y1 - y0)
            out.append((x0 + t * (x1 - x0), level))
    return out


def surface(points, bodies, side, h, spacing):
    """The free surface away from the blocks: the median over columns one h wide of the
    highest particle, half a lattice spacing above its centre."""
    tops = {}
    for x, y in points:
        k = int(x / h)
        tops[k] = max(tops.get(k, -1.0), y)
    clear = [y for k, y in tops.items()
             if all(abs((k + 0.5) * h - b[0]) > 0.75 * side + 2 * h for b in bodies)]
    clear.sort()
    return clear[len(clear) // 2] + 0.5 * spacing if clear else float("nan")


def main():
    side, h, field = (float(v) for v in sys.argv[1:4])
    runs = [read(p) for p in sys.argv[4:]]
    runs.sort(key=lambda r: r[0])
    a = 0.25 * (field - h)
    limit = REST * math.sqrt(GRAVITY * a)
    spacing = 0.5 * h
    t_end, points, bodies = runs[-1]
    level = surface(points, bodies, side, h, spacing)
    print("after %.2f s: the surface stands at %.4f (box units)" % (t_end, level))
    print("  block   under the surface   centre y   at rest (speed < %.4f) from" % limit)
    for k, body in enumerate(bodies):
        poly = corners(body, side)
        fraction = area(below(poly, level)) / area(poly)
        rest_from = None
        for t, _, bs in runs:
            b = bs[k]
            # Speed of the fastest point: the centre's plus the turning at a corner.
            speed = math.hypot(b[3], b[4]) + abs(b[5]) * side / math.sqrt(2.0)
            if speed >= limit:
                rest_from = None
            elif rest_from is None:
                rest_from = t
        print("  %d       %5.1f %%             %.4f     %s" % (
            k, 100.0 * fraction, body[1], "%.2f s" % rest_from if rest_from is not None else "not yet"))
    sloshing(runs, h, field, level)


def sloshing(runs, h, field, level):
    """What keeps the light blocks moving: the tank's first sloshing mode, which their plunge
    sets off. Its period by linear wave theory, T = 2 pi / sqrt(g k tanh(k d)) with k = pi / L
    (L the width between the walls, d the depth), beside the period of the water's tilt (the
    surface at the left wall less the surface at the right one) from SETTLE s on, and the rate
    at which the tilt's swings die away (a least-squares line through their logarithms)."""
    width, depth = field - h, level - h
    k = math.pi / width
    omega = math.sqrt(GRAVITY * k * math.tanh(k * depth))
    times, tilt = [], []
    for t, points, _ in runs:
        left = max((y for x, y in points if x < h + 3 * h), default=float("nan"))
        right = max((y for x, y in points if x > field - 3 * h), default=float("nan"))
        times.append(t)
        tilt.append(left - right)
    crossings = []
    for i in range(1, len(times)):
        if times[i - 1] >= SETTLE and (tilt[i - 1] < 0.0) != (tilt[i] < 0.0):
            crossings.append(times[i - 1] + (times[i] - times[i - 1]) *
                             tilt[i - 1] / (tilt[i - 1] - tilt[i]))
    print("sloshing: linear theory's first mode %.3f s" % (2.0 * math.pi / omega), end="")
    if len(crossings) < 6:
        print(", too few swings after %.0f s to measure (run it for 8 s or more)" % SETTLE)
        return
    period = 2.0 * (crossings[-1] - crossings[0]) / (len(crossings) - 1)
    swings = []
    for a, b in zip(crossings, crossings[1:]):
        peak = max(abs(v) for t, v in zip(times, tilt) if a <= t <= b)
        swings.append((0.5 * (a + b), math.log(peak)))
    n = len(swings)
    mt = sum(t for t, _ in swings) / n
    ml = sum(v for _, v in swings) / n
    slope = sum((t - mt) * (v - ml) for t, v in swings) / sum((t - mt) ** 2 for t, _ in swings)
    print(", the water's %.3f s (from %.0f s on); its swings shrink %.0f %% a second "
          "(%.1f %% of critical damping)" % (period, SETTLE, 100.0 * (1.0 - math.exp(slope)),
                                             100.0 * -slope / (2.0 * math.pi / period)))


main()
