#!/usr/bin/python3
# Runs with Debian's interpreter /usr/bin/python3: it has numpy and GDAL's osgeo
# bindings (the python3 first on PATH may have neither).
"""Synthetic scans of printed nautical charts, for measuring colour reduction.

Makes one chart picture of 12 to 22 flat printed inks, the way a paper chart is
printed: no blends, every pixel exactly one ink. On it:
  - land (buff) with built-up blocks (grey, dark outline) and brown height contours;
  - water in depth bands: drying (green), two or three shallow blues, deep water
    left as paper; depth contours (thin blue-grey lines) between the bands and a
    black coastline;
  - a graticule (thin black lines) and a black border with an alternating scale bar;
  - lettering from a 5 x 7 bitmap font drawn at 2 to 4 pixels a font dot: black
    soundings in the water, black and dark-blue names, magenta notes;
  - magenta marks: light rings, anchorage circles, a dashed limit and a wide tint
    band in light magenta; red and green buoys, yellow and orange marks.
Then a scanner's view of it: an optical blur in linear light (Gaussian, sigma 0.7 to
1.1 pixels: thin strokes come out grey, as they do), a per-channel gain and offset
(colour cast: the paper comes out yellowish or bluish), a faint paper mottle, and
per-pixel noise (3 to 5 levels a channel, part of it shared by the channels).

Three kinds: "harbour" (much land, built-up areas, lettering; 21 or 22 inks), "coast"
(open water tints, contours, noisier and softer scan; 16 inks) and "approach"
(graticule, magenta marks, sharper scan; 13 inks). The picture is a function of size,
kind and seed alone (10000 x 10000 takes about a minute and 6 GB).

Writes PREFIX_clean.png (the printed picture), PREFIX_scan.png and PREFIX_scan.tif
(the scan, LZW TIFF).  Usage:
    bench/chart_scan.py --size 2000x2000 --kind harbour --seed 1 --out /tmp/h1
The ink table is INKS; BLACK is the index of the black ink (quality measures use it).
"""

import argparse
import sys

import numpy as np
from osgeo import gdal

gdal.UseExceptions()

# Printed inks, sRGB. Index order is fixed: the kinds pick subsets by name.
INKS = {
    "paper": (251, 250, 244),
    "land": (243, 222, 164),
    "shallow_1": (168, 210, 236),
    "shallow_2": (201, 228, 244),
    "shallow_3": (140, 190, 228),
    "drying": (176, 208, 146),
    "black": (22, 21, 24),
    "contour": (92, 124, 164),
    "magenta": (196, 38, 150),
    "magenta_tint": (238, 196, 226),
    "red": (218, 44, 44),
    "green": (36, 150, 72),
    "yellow": (246, 216, 40),
    "orange": (238, 148, 44),
    "brown": (150, 98, 52),
    "dark_blue": (24, 62, 140),
    "built_up": (206, 200, 190),
    "building": (96, 92, 90),
    "violet": (128, 64, 160),
    "grey": (150, 150, 150),
    "light_green": (214, 232, 196),
    "mud": (200, 180, 150),
}
INK_NAMES = list(INKS)
INK_RGB = np.array([INKS[n] for n in INK_NAMES], dtype=np.uint8)
BLACK = INK_NAMES.index("black")

KINDS = {
    "harbour": dict(inks=INK_NAMES, land=0.55, bands=3, soundings=1 / 2500, grid=0,
                    blur=0.9, noise=4.0, cast=((0.985, 1), (0.985, 0), (0.95, 0))),
    "coast": dict(inks=["paper", "land", "shallow_1", "shallow_2", "shallow_3", "drying",
                        "black", "contour", "magenta", "magenta_tint", "red", "green",
                        "yellow", "brown", "dark_blue", "light_green"],
                  land=0.35, bands=3, soundings=1 / 4000, grid=0,
                  blur=1.1, noise=5.0, cast=((0.97, 0), (0.985, 1), (1.0, 3))),
    "approach": dict(inks=["paper", "land", "shallow_1", "shallow_2", "drying", "black",
                           "contour", "magenta", "magenta_tint", "red", "green", "yellow",
                           "orange"],
                     land=0.2, bands=2, soundings=1 / 6000, grid=6,
                     blur=0.7, noise=3.0, cast=((1.0, 2), (0.98, 0), (0.95, -1))),
}

# 5 x 7 font: seven rows of five dots a glyph; a blank is any other character.
FONT = {
    "0": [".###.", "#...#", "#..##", "#.#.#", "##..#", "#...#", ".###."],
    "1": ["..#..", ".##..", "..#..", "..#..", "..#..", "..#..", ".###."],
    "2": [".###.", "#...#", "....#", "...#.", "..#..", ".#...", "#####"],
    "3": ["#####", "...#.", "..#..", "...#.", "....#", "#...#", ".###."],
    "4": ["...#.", "..##.", ".#.#.", "#..#.", "#####", "...#.", "...#."],
    "5": ["#####", "#....", "####.", "....#", "....#", "#...#", ".###."],
    "6": ["..##.", ".#...", "#....", "####.", "#...#", "#...#", ".###."],
    "7": ["#####", "....#", "...#.", "..#..", ".#...", ".#...", ".#..."],
    "8": [".###.", "#...#", "#...#", ".###.", "#...#", "#...#", ".###."],
    "9": [".###.", "#...#", "#...#", ".####", "....#", "...#.", ".##.."],
    "A": [".###.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"],
    "B": ["####.", "#...#", "#...#", "####.", "#...#", "#...#", "####."],
    "C": [".###.", "#...#", "#....", "#....", "#....", "#...#", ".###."],
    "E": ["#####", "#....", "#....", "####.", "#....", "#....", "#####"],
    "G": [".###.", "#...#", "#....", "#.###", "#...#", "#...#", ".####"],
    "H": ["#...#", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"],
    "I": [".###.", "..#..", "..#..", "..#..", "..#..", "..#..", ".###."],
    "K": ["#...#", "#..#.", "#.#..", "##...", "#.#..", "#..#.", "#...#"],
    "L": ["#....", "#....", "#....", "#....", "#....", "#....", "#####"],
    "N": ["#...#", "##..#", "#.#.#", "#..##", "#...#", "#...#", "#...#"],
    "O": [".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."],
    "P": ["####.", "#...#", "#...#", "####.", "#....", "#....", "#...."],
    "R": ["####.", "#...#", "#...#", "####.", "#.#..", "#..#.", "#...#"],
    "S": [".####", "#....", "#....", ".###.", "....#", "....#", "####."],
    "T": ["#####", "..#..", "..#..", "..#..", "..#..", "..#..", "..#.."],
    "U": ["#...#", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."],
    "W": ["#...#", "#...#", "#...#", "#.#.#", "#.#.#", "#.#.#", ".#.#."],
    "Y": ["#...#", "#...#", ".#.#.", "..#..", "..#..", "..#..", "..#.."],
    "D": ["####.", "#...#", "#...#", "#...#", "#...#", "#...#", "####."],
    "F": ["#####", "#....", "#....", "####.", "#....", "#....", "#...."],
    "M": ["#...#", "##.##", "#.#.#", "#.#.#", "#...#", "#...#", "#...#"],
}
NAMES = ["HARBOUR", "POINT", "ROCK", "BAY", "ISLE", "SHOAL", "WRECK", "LIGHT", "CABLE",
         "PORT", "BANK", "NEW TOWN", "SUNK ROCK", "WEST BAY"]
NOTES = ["ANCH", "CABLE", "PROHIBITED", "TRAFFIC"]


def glyph(ch):
    rows = FONT.get(ch, ["....."] * 7)
    return np.array([[c == "#" for c in row] for row in rows], dtype=bool)


def smooth_field(h, w, cell, rng):
    """Blobby noise in [0, 1]: a coarse random grid, bilinearly enlarged."""
    gh, gw = h // cell + 2, w // cell + 2
    grid = rng.random((gh, gw)).astype(np.float32)
    ys = np.arange(h, dtype=np.float32) / cell
    xs = np.arange(w, dtype=np.float32) / cell
    y0 = ys.astype(np.int32)
    x0 = xs.astype(np.int32)
    fy = (ys - y0)[:, None]
    fx = (xs - x0)[None, :]
    fy = fy * fy * (3 - 2 * fy)
    fx = fx * fx * (3 - 2 * fx)
    top = grid[y0][:, x0] * (1 - fx) + grid[y0][:, x0 + 1] * fx
    bottom = grid[y0 + 1][:, x0] * (1 - fx) + grid[y0 + 1][:, x0 + 1] * fx
    return top * (1 - fy) + bottom * fy


def boundaries(labels):
    """Pixels whose right or lower neighbour has another label."""
    edge = np.zeros(labels.shape, dtype=bool)
    edge[:, :-1] |= labels[:, :-1] != labels[:, 1:]
    edge[:-1, :] |= labels[:-1, :] != labels[1:, :]
    return edge


def thicken(mask, radius):
    out = mask.copy()
    for dy in range(-radius, radius + 1):
        for dx in range(-radius, radius + 1):
            if dy * dy + dx * dx <= radius * radius:
                out |= np.roll(np.roll(mask, dy, axis=0), dx, axis=1)
    return out


class Painter:
    def __init__(self, h, w, inks):
        self.h, self.w = h, w
        self.ink = {name: INK_NAMES.index(name) for name in inks}
        self.labels = np.full((h, w), self.ink["paper"], dtype=np.uint8)

    def has(self, name):
        return name in self.ink

    def fill(self, mask, name):
        self.labels[mask] = self.ink[name]

    def text(self, x, y, s, scale, name):
        for i, ch in enumerate(s):
            bits = np.kron(glyph(ch), np.ones((scale, scale), dtype=bool))
            gx = x + i * 6 * scale
            y1, x1 = min(y + bits.shape[0], self.h), min(gx + bits.shape[1], self.w)
            if y < 0 or gx < 0 or y1 <= y or x1 <= gx:
                continue
            view = self.labels[y:y1, gx:x1]
            view[bits[: y1 - y, : x1 - gx]] = self.ink[name]

    def disc(self, cx, cy, r_out, r_in, name, dash=0):
        y0, y1 = max(0, int(cy - r_out) - 1), min(self.h, int(cy + r_out) + 2)
        x0, x1 = max(0, int(cx - r_out) - 1), min(self.w, int(cx + r_out) + 2)
        if y1 <= y0 or x1 <= x0:
            return
        yy, xx = np.mgrid[y0:y1, x0:x1]
        d2 = (yy - cy) ** 2 + (xx - cx) ** 2
        mask = (d2 <= r_out * r_out) & (d2 >= r_in * r_in)
        if dash:
            angle = np.arctan2(yy - cy, xx - cx)
            mask &= (np.floor(angle / np.pi * dash) % 2) == 0
        self.labels[y0:y1, x0:x1][mask] = self.ink[name]

    def segment(self, xa, ya, xb, yb, half_width, name, dash=0):
        y0 = max(0, int(min(ya, yb) - half_width) - 1)
        y1 = min(self.h, int(max(ya, yb) + half_width) + 2)
        x0 = max(0, int(min(xa, xb) - half_width) - 1)
        x1 = min(self.w, int(max(xa, xb) + half_width) + 2)
        if y1 <= y0 or x1 <= x0:
            return
        yy, xx = np.mgrid[y0:y1, x0:x1].astype(np.float32)
        dx, dy = xb - xa, yb - ya
        length2 = max(dx * dx + dy * dy, 1e-9)
        t = np.clip(((xx - xa) * dx + (yy - ya) * dy) / length2, 0, 1)
        d2 = (xx - xa - t * dx) ** 2 + (yy - ya - t * dy) ** 2
        mask = d2 <= half_width * half_width
        if dash:
            mask &= (np.floor(t * np.sqrt(length2) / dash) % 2) == 0
        self.labels[y0:y1, x0:x1][mask] = self.ink[name]


def paint_chart(h, w, kind, seed):
    """The printed picture as ink indices (into INKS), h x w."""
    cfg = KINDS[kind]
    rng = np.random.default_rng(seed)
    p = Painter(h, w, cfg["inks"])
    unit = max(min(h, w) // 2000, 1)  # features keep their size in pixels per 2000

    height = 0.65 * smooth_field(h, w, 260 * unit, rng) + 0.35 * smooth_field(h, w, 70 * unit, rng)
    level = np.quantile(height[:: 8 * unit, :: 8 * unit], 1 - cfg["land"])
    land = height > level
    depth = level - height  # > 0 in the water
    band = np.zeros((h, w), dtype=np.uint8)  # 0 deep, 1.. shallower, 9 drying, 10 land
    steps = [0.14, 0.09, 0.05][: cfg["bands"]]
    blues = ["shallow_2", "shallow_1", "shallow_3"]
    for i, step in enumerate(steps):
        band[(depth > 0) & (depth <= step)] = i + 1
        p.fill((depth > 0) & (depth <= step), blues[i])
    drying = (depth > 0) & (depth <= 0.012)
    band[drying] = 9
    p.fill(drying, "drying")
    band[land] = 10
    p.fill(land, "land")
    if p.has("mud"):
        p.fill((depth > 0.012) & (depth <= 0.02) & (smooth_field(h, w, 40 * unit, rng) > 0.6), "mud")

    # Depth contours between the water bands, the coastline in black.
    water_edges = boundaries(np.where(land, 0, band)) & ~land
    p.fill(water_edges, "contour")
    coast = boundaries(land.astype(np.uint8))
    p.fill(thicken(coast, 1), "black")

    # On land: height contours and built-up blocks.
    if p.has("brown"):
        relief = (height - level) / max(float(height.max() - level), 1e-6)
        rings = np.floor(relief * 6).astype(np.int8)
        p.fill(boundaries(rings) & land & ~coast, "brown")
    if p.has("built_up"):
        for _ in range(int(h * w / 90000)):
            x, y = int(rng.integers(0, w)), int(rng.integers(0, h))
            bw, bh = int(rng.integers(12, 60)) * unit, int(rng.integers(12, 60)) * unit
            if land[min(y + bh // 2, h - 1), min(x + bw // 2, w - 1)]:
                region = (slice(y, min(y + bh, h)), slice(x, min(x + bw, w)))
                p.labels[region] = p.ink["built_up"]
                if p.has("building"):
                    p.labels[region][::7, ::9] = p.ink["building"]
    if p.has("light_green"):
        p.fill(land & (smooth_field(h, w, 120 * unit, rng) > 0.7), "light_green")

    # Magenta: a tint band, a dashed limit, anchorage circles.
    for _ in range(2):
        xa, ya, xb, yb = rng.random(4) * [w, h, w, h]
        p.segment(xa, ya, xb, yb, 9 * unit, "magenta_tint")
        p.segment(xa, ya, xb, yb, 1.2 * unit, "magenta", dash=14 * unit)
    for _ in range(max(1, int(h * w / 1.5e6))):
        cx, cy = rng.random(2) * [w, h]
        p.disc(cx, cy, 60 * unit, 57 * unit, "magenta", dash=16)
        p.text(int(cx) - 12 * unit, int(cy) - 3 * unit, "ANCH", unit, "magenta")

    # Buoys and lights.
    marks = [n for n in ("red", "green", "yellow", "orange", "violet") if p.has(n)]
    water = ~land
    for _ in range(int(h * w / 40000)):
        x, y = int(rng.integers(8, w - 8)), int(rng.integers(8, h - 8))
        if not water[y, x]:
            continue
        name = marks[int(rng.integers(0, len(marks)))]
        p.disc(x, y, 4.5 * unit, 0, name)
        p.disc(x, y, 6 * unit, 5 * unit, "black")
        p.disc(x + 9 * unit, y - 9 * unit, 14 * unit, 12 * unit, "magenta", dash=3)

    # Graticule and border.
    grid = cfg["grid"]
    if grid:
        for i in range(1, grid):
            p.labels[:, i * w // grid] = p.ink["black"]
            p.labels[i * h // grid, :] = p.ink["black"]
    m = 20 * unit
    p.labels[m : m + 3 * unit, m : w - m] = p.ink["black"]
    p.labels[h - m - 3 * unit : h - m, m : w - m] = p.ink["black"]
    p.labels[m : h - m, m : m + 3 * unit] = p.ink["black"]
    p.labels[m : h - m, w - m - 3 * unit : w - m] = p.ink["black"]
    p.labels[: m, :] = p.ink["paper"]
    p.labels[h - m + 1 :, :] = p.ink["paper"]
    bar = (np.arange(w) // (40 * unit)) % 2 == 0
    p.labels[m + 3 * unit : m + 9 * unit, m:w - m][:, bar[m:w - m]] = p.ink["black"]

    # Lettering: soundings in the water, names, notes.
    for _ in range(int(h * w * cfg["soundings"])):
        x, y = int(rng.integers(m, w - m)), int(rng.integers(m, h - m))
        if water[y, x]:
            value = str(int(rng.integers(1, 60)))
            if rng.random() < 0.3:
                value += str(int(rng.integers(0, 10)))  # a subscript decimetre
            p.text(x, y, value, 2 * unit, "black")
    for _ in range(max(3, int(h * w / 300000))):
        x, y = int(rng.integers(m, w - m)), int(rng.integers(m, h - m))
        name = NAMES[int(rng.integers(0, len(NAMES)))]
        scale = int(rng.integers(3, 5)) * unit
        colour = "black" if land[y, x] or not p.has("dark_blue") else "dark_blue"
        p.text(x, y, name, scale, colour)
    for _ in range(max(2, int(h * w / 1e6))):
        x, y = int(rng.integers(m, w - m)), int(rng.integers(m, h - m))
        p.text(x, y, NOTES[int(rng.integers(0, len(NOTES)))], 2 * unit, "magenta")
    return p.labels


def blur_channel(channel, sigma):
    radius = max(1, int(3 * sigma + 0.5))
    x = np.arange(-radius, radius + 1, dtype=np.float32)
    kernel = np.exp(-0.5 * (x / sigma) ** 2)
    kernel /= kernel.sum()
    padded = np.pad(channel, radius, mode="edge")
    rows = sum(k * padded[:, i : i + channel.shape[1]] for i, k in enumerate(kernel))
    return sum(k * rows[i : i + channel.shape[0], :] for i, k in enumerate(kernel))


def scan(clean, kind, seed):
    """The scanner's view of the printed picture: blur in linear light (as optics
    blend), cast, mottle, noise."""
    cfg = KINDS[kind]
    rng = np.random.default_rng(seed + 1000)
    h, w, _ = clean.shape
    unit = max(min(h, w) // 2000, 1)
    mottle = (smooth_field(h, w, 30 * unit, rng) - 0.5) * 3.0
    shared = rng.normal(0, cfg["noise"] * 0.5, (h, w)).astype(np.float32)
    to_linear = ((np.arange(256) / 255 + 0.055) / 1.055) ** 2.4
    to_linear[:11] = np.arange(11) / 255 / 12.92
    out = np.empty_like(clean)
    for c, (gain, offset) in enumerate(cfg["cast"]):
        channel = to_linear.astype(np.float32)[clean[:, :, c]] * gain
        channel = np.clip(blur_channel(channel, cfg["blur"]), 0, 1)
        channel = np.where(channel <= 0.0031308, channel * 12.92, 1.055 * channel ** (1 / 2.4) - 0.055) * 255
        channel += offset + mottle + shared
        channel += rng.normal(0, cfg["noise"] * 0.85, (h, w)).astype(np.float32)
        out[:, :, c] = np.clip(np.rint(channel), 0, 255).astype(np.uint8)
    return out


def write_rgb(path, rgb, driver, options=()):
    h, w, _ = rgb.shape
    mem = gdal.GetDriverByName("MEM").Create("", w, h, 3, gdal.GDT_Byte)
    for c in range(3):
        mem.GetRasterBand(c + 1).WriteArray(rgb[:, :, c])
    gdal.GetDriverByName(driver).CreateCopy(path, mem, options=list(options))


def make(width, height, kind, seed, out):
    labels = paint_chart(height, width, kind, seed)
    clean = INK_RGB[labels]
    scanned = scan(clean, kind, seed)
    write_rgb(out + "_clean.png", clean, "PNG")
    write_rgb(out + "_scan.png", scanned, "PNG")
    write_rgb(out + "_scan.tif", scanned, "GTiff", ["COMPRESS=LZW", "PHOTOMETRIC=RGB"])
    return labels


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--size", default="2000x2000", help="WIDTHxHEIGHT in pixels")
    parser.add_argument("--kind", default="harbour", choices=sorted(KINDS))
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--out", required=True, help="prefix of the files written")
    args = parser.parse_args(argv)
    width, height = (int(v) for v in args.size.lower().split("x"))
    labels = make(width, height, args.kind, args.seed, args.out)
    used = np.unique(labels)
    print(f"{args.out}: {width}x{height} {args.kind} seed {args.seed}, {len(used)} inks")


if __name__ == "__main__":
    main(sys.argv[1:])
