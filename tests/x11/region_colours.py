"""Colour counts in a rectangle of a screenshot, for the X11 tests of the liquid look.

Usage: region_colours.py <file.ppm> X Y W H [R G B TOLERANCE]
Prints key=value lines over the rectangle (origin top left): pixels, background (every channel
at 24 or below), warm (red above blue by more than 60) and cool (blue above red by more than
60), and, with a colour, near (every channel within TOLERANCE of it).
"""
import sys

sys.path.insert(0, __file__.rsplit("/", 1)[0])
from ppm_stats import read_ppm  # noqa: E402

w, h, data = read_ppm(sys.argv[1])
x0, y0, rw, rh = (int(v) for v in sys.argv[2:6])
want = [int(v) for v in sys.argv[6:10]] if len(sys.argv) >= 10 else None
pixels = background = near = warm = cool = 0
for y in range(max(0, y0), min(h, y0 + rh)):
    row = data[3 * w * y:3 * w * (y + 1)]
    for x in range(max(0, x0), min(w, x0 + rw)):
        r, g, b = row[3 * x], row[3 * x + 1], row[3 * x + 2]
        pixels += 1
        if r <= 24 and g <= 24 and b <= 24:
            background += 1
        warm += r > b + 60
        cool += b > r + 60
        if want and all(abs(c - t) <= want[3] for c, t in zip((r, g, b), want[:3])):
            near += 1
print(f"pixels={pixels}\nbackground={background}\nnear={near}\nwarm={warm}\ncool={cool}")
