"""Pixel counts of a binary PPM screenshot (8 or 16 bits a channel), for the X11 tests.

Usage: ppm_stats.py <file.ppm> [top_fraction]
Prints key=value lines: width, height, and counts over the whole picture of
  lit      pixels brighter than black (any channel above 24),
  white    pixels with all channels at 245 or more,
  coloured pixels whose channels differ by more than 60 (clearly not grey),
  levels   distinct brightness values among lit pixels,
white_top: white pixels within the top `top_fraction` of the rows (default 0.25), and
median_blob: the median size in pixels of the 4-connected groups of lit pixels; a lone point of
a few pixels' size keeps it small, drops or merged areas make it large.
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
    w, h, maxval = int(fields[1]), int(fields[2]), int(fields[3])
    if fields[0] != b"P6" or maxval not in (255, 65535):
        sys.exit("not a binary PPM of 8 or 16 bits: " + path)
    if maxval == 255:
        return w, h, data[pos:pos + 3 * w * h]
    # 16 bits a channel, big-endian: keep the high byte.
    return w, h, data[pos:pos + 6 * w * h:2]


def median_blob(w, h, lit):
    """Median pixel count of the 4-connected groups of lit pixels (0 when none)."""
    mark = bytearray(lit)
    sizes = []
    for start in range(w * h):
        if mark[start] != 1:
            continue
        mark[start] = 2
        stack = [start]
        size = 0
        while stack:
            i = stack.pop()
            size += 1
            x = i % w
            for j in (i - 1 if x > 0 else -1, i + 1 if x < w - 1 else -1, i - w, i + w):
                if 0 <= j < w * h and mark[j] == 1:
                    mark[j] = 2
                    stack.append(j)
        sizes.append(size)
    sizes.sort()
    return sizes[len(sizes) // 2] if sizes else 0


def main():
    w, h, px = read_ppm(sys.argv[1])
    top = float(sys.argv[2]) if len(sys.argv) > 2 else 0.25
    top_rows = int(h * top)
    lit = white = coloured = white_top = 0
    levels = set()
    lit_map = bytearray(w * h)
    for i in range(0, len(px), 3):
        r, g, b = px[i], px[i + 1], px[i + 2]
        hi, lo = max(r, g, b), min(r, g, b)
        if hi > 24:
            lit += 1
            lit_map[i // 3] = 1
            levels.add(r + g + b)
        if lo >= 245:
            white += 1
            if i // (3 * w) < top_rows:
                white_top += 1
        if hi - lo > 60:
            coloured += 1
    for key, value in (("width", w), ("height", h), ("lit", lit), ("white", white),
                       ("coloured", coloured), ("levels", len(levels)), ("white_top", white_top),
                       ("median_blob", median_blob(w, h, lit_map))):
        print(f"{key}={value}")


if __name__ == "__main__":
    main()
