"""Compares two tarnwell-sim dumps of the same run made by different builds.

Usage:
  dump_stats.py match A B MAX_POS MAX_VEL MEDIAN_POS
      Pairs particles by their colour, which without colour diffusion is a fixed label made from
      the seeded position (the dump lists particles in cell order, which may differ between the
      builds), and bodies by index. Prints the largest position and velocity differences and the
      median position difference, and fails (status 1) if one exceeds its bound.
  dump_stats.py stats A B REL_HEIGHT REL_ENERGY REL_SPREAD
      Prints mean height, kinetic energy per unit mass (mean of |v|^2 / 2) and the standard
      deviation of x and of y for each dump, and fails if the relative difference of the mean
      height, the energy or either spread exceeds its bound.
"""
import math
import sys


def read_dump(path):
    particles, bodies = [], []
    with open(path) as f:
        header = f.readline()
        if not header.startswith("# tarnwell-sim state:"):
            sys.exit(f"{path}: not a tarnwell-sim dump")
        for line in f:
            field = line.split()
            if field[0] == "p":
                x, y, vx, vy = (float(v) for v in field[2:6])
                particles.append((x, y, vx, vy, tuple(field[10:13])))
            elif field[0] == "b":
                bodies.append(tuple(float(v) for v in field[2:8]))
    if not particles:
        sys.exit(f"{path}: no particles")
    return particles, bodies


def pair_by_colour(pa, pb):
    """Pairs of particles whose colours agree within 1e-6: the builds may round the seeded
    colour differently in the last bit (x87 keeps the quotient in 80 bits), and two seeded
    particles closer than that in colour are rare enough to leave out."""
    cell = 1e-4
    def key(p):
        return (int(float(p[4][1]) / cell), int(float(p[4][2]) / cell))
    grid = {}
    for p in pb:
        grid.setdefault(key(p), []).append(p)
    pairs = []
    for p in pa:
        gx, gy = key(p)
        near = [q for dx in (-1, 0, 1) for dy in (-1, 0, 1) for q in grid.get((gx + dx, gy + dy), ())
                if max(abs(float(p[4][i]) - float(q[4][i])) for i in range(3)) < 1e-6]
        if len(near) == 1:
            pairs.append((p, near[0]))
    return pairs


def match(a, b, max_pos, max_vel, max_median):
    (pa, ba), (pb, bb) = read_dump(a), read_dump(b)
    pairs = pair_by_colour(pa, pb)
    # A colour rounded differently in one build would silently shrink the comparison.
    if len(pairs) < 0.99 * len(pa) or len(pa) != len(pb) or len(ba) != len(bb):
        print(f"FAIL: only {len(pairs)} of {len(pa)} particles pair up by colour "
              f"({len(ba)} and {len(bb)} bodies)")
        return 1
    dpos = max(math.hypot(p[0] - q[0], p[1] - q[1]) for p, q in pairs)
    dvel = max(math.hypot(p[2] - q[2], p[3] - q[3]) for p, q in pairs)
    # Most particles stay far closer than the worst few, which sit in the tightest clusters.
    median_pos = sorted(math.hypot(p[0] - q[0], p[1] - q[1]) for p, q in pairs)[len(pairs) // 2]
    speed = max(math.hypot(p[2], p[3]) for p, _ in pairs)
    for u, v in zip(ba, bb):
        dpos = max(dpos, math.hypot(u[0] - v[0], u[1] - v[1]))
        dvel = max(dvel, math.hypot(u[3] - v[3], u[4] - v[4]))
    print(f"{len(pairs)} particles and {len(ba)} bodies paired: "
          f"max position difference {dpos:.3g} (bound {max_pos:g}), "
          f"max velocity difference {dvel:.3g} (bound {max_vel:g}); "
          f"median position difference {median_pos:.3g} (bound {max_median:g}); "
          f"fastest particle {speed:.3g}")
    ok = dpos <= max_pos and dvel <= max_vel and median_pos <= max_median
    if not ok:
        print("FAIL: the builds drifted apart faster than rounding explains")
    return 0 if ok else 1


def figures(particles):
    n = len(particles)
    mean_x = sum(p[0] for p in particles) / n
    mean_y = sum(p[1] for p in particles) / n
    energy = sum(p[2] * p[2] + p[3] * p[3] for p in particles) / (2 * n)
    spread_x = math.sqrt(sum((p[0] - mean_x) ** 2 for p in particles) / n)
    spread_y = math.sqrt(sum((p[1] - mean_y) ** 2 for p in particles) / n)
    return {"mean height": mean_y, "kinetic energy": energy,
            "spread x": spread_x, "spread y": spread_y}


def stats(a, b, rel_height, rel_energy, rel_spread):
    fa, fb = figures(read_dump(a)[0]), figures(read_dump(b)[0])
    bound = {"mean height": rel_height, "kinetic energy": rel_energy,
             "spread x": rel_spread, "spread y": rel_spread}
    failed = 0
    for key in fa:
        rel = abs(fa[key] - fb[key]) / max(abs(fa[key]), abs(fb[key]), 1e-30)
        verdict = "ok" if rel <= bound[key] else "FAIL"
        failed |= rel > bound[key]
        print(f"{key:15s} {fa[key]:.6g} vs {fb[key]:.6g}: relative difference {rel:.3g} "
              f"(bound {bound[key]:g}) {verdict}")
    return failed


def main():
    if len(sys.argv) == 7 and sys.argv[1] == "match":
        return match(sys.argv[2], sys.argv[3], *(float(v) for v in sys.argv[4:7]))
    if len(sys.argv) == 7 and sys.argv[1] == "stats":
        return stats(sys.argv[2], sys.argv[3], *(float(v) for v in sys.argv[4:7]))
    sys.exit(__doc__)


sys.exit(main())
