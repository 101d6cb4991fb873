"""Pixel counts of a binary PPM screenshot, for the X11 tests.

Usage: ppm_stats.py <file.ppm> [top_fraction]
Prints key=value lines: width, height, and counts over the whole picture of
  lit      pixels brighter than black (any channel above 24),
  white    pixels with all channels at 245 or more,
  coloured pixels whose channels differ by more than 60 (clearly not grey),
  levels   distinct brightness values among lit pixels,
and white_top: white pixels within the top `top_fraction` of the rows (default 0.25).
"""
import sys


def read_ppm(path):
    data = open(path, "rb").read()
    fields = []
    pos = 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        if data[pos:pos + 1] == b"#":
            pos = data.index(b"\n", pos)
            continue
        end = pos
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[pos:end])
        pos = end
    pos += 1
    if fields[0] != b"P6" or int(fields[3]) != 255:
        sys.exit("not an 8-bit binary PPM: " + path)
    w, h = int(fields[1]), int(fields[2])
    return w, h, data[pos:pos + 3 * w * h]


def main():
    w, h, px = read_ppm(sys.argv[1])
    top = float(sys.argv[2]) if len(sys.argv) > 2 else 0.25
    top_rows = int(h * top)
    lit = white = coloured = white_top = 0
    levels = set()
    for i in range(0, len(px), 3):
        r, g, b = px[i], px[i + 1], px[i + 2]
        hi, lo = max(r, g, b), min(r, g, b)
        if hi > 24:
            lit += 1
            levels.add(r + g + b)
        if lo >= 245:
            white += 1
            if i // (3 * w) < top_rows:
                white_top += 1
        if hi - lo > 60:
            coloured += 1
    for key, value in (("width", w), ("height", h), ("lit", lit), ("white", white),
                       ("coloured", coloured), ("levels", len(levels)), ("white_top", white_top)):
        print(f"{key}={value}")


main()
