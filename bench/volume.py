"""Reads two dumps of a water run (tarnwell-sim --dump) and prints how the fluid kept its volume:
its area at the end over its area at the start (each particle's area is its mass over its
density, so the sum is what the particles stand for) and the density / rest_density of the
interior (more than three smoothing radii below the free surface above it), mean and largest.

Usage: volume.py H REST_DENSITY FIRST_DUMP LAST_DUMP
"""
import sys


def read(path):
    points = []
    for line in open(path):
        if line.startswith("p "):
            w = line.split()
            points.append((float(w[2]), float(w[3]), float(w[8])))
    return points


def interior(points, h, rest):
    """Compressions of the particles more than 3 h below the highest particle within a
    smoothing radius of their column."""
    tops = {}
    for x, y, _ in points:
        k = int(x / h)
        tops[k] = max(tops.get(k, -1.0), y)
    out = []
    for x, y, inv in points:
        k = int(x / h)
        top = max(tops.get(k + d, -1.0) for d in (-1, 0, 1))
        if y < top - 3.0 * h:
            out.append(1.0 / (inv * rest))
    return out


def main():
    h, rest = float(sys.argv[1]), float(sys.argv[2])
    first, last = read(sys.argv[3]), read(sys.argv[4])
    area = sum(p[2] for p in last) / sum(p[2] for p in first)
    inner = interior(last, h, rest)
    print("  area %.1f %% of the start's" % (100.0 * area))
    if inner:
        print("  interior (%d particles): density / rest_density %.4f on average, %.4f at most"
              % (len(inner), sum(inner) / len(inner), max(inner)))


main()
