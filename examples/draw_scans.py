#!/usr/bin/python3
# Run with Debian's interpreter, /usr/bin/python3: it carries numpy and GDAL's osgeo
# bindings, which the python3 first on PATH lacks.
"""Draws the scans of the example calibration (examples/CHARTCAL.DIR) as charts.

    /usr/bin/python3 draw_scans.py [CHARTCAL.DIR [OUTPUT_FOLDER]] [--preview]

Every scan is drawn in its chart's own geometry: a thing at a latitude and longitude is
put at the pixel that the chart's reference points (C1, C2, ...) give for it, in the
chart's projection, so that a chart made from the scan and the calibration shows its
graticule, soundings and marks where they belong. Land and depths are made up from a
fixed seed. The scans are 8-bit palette TIFFs of a few flat colours, without
anti-aliasing, so that a chart maker can keep every colour exactly; the same
calibration gives the same bytes on every run.

The sketch chart of the example has no scan on purpose, so only the charts named in
`DESIGNS` are drawn. `--preview` also writes downscaled PNGs next to the scans.
"""
import math
import os
import sys

import numpy as np
from osgeo import gdal, osr

gdal.UseExceptions()
osr.UseExceptions()
# No .aux.xml beside a scan: the folder is shipped as it is written.
gdal.SetConfigOption("GDAL_PAM_ENABLED", "NO")

KM_PER_DEGREE = 111.32

# ---------------------------------------------------------------------------------
# Palette. Few flat colours: the chart maker reduces a scan's colours to a chart's
# palette, and a scan that already has few keeps them exactly.

PAPER, INK, LAND, DRYING, SHOAL, SHALLOW, CONTOUR, MAGENTA, TOWN, HILL = range(10)
PALETTE = [
    (255, 255, 255),  # paper, and water deeper than 10 m
    (24, 24, 24),     # ink: coastline, graticule, lettering, soundings
    (246, 222, 150),  # land
    (172, 204, 138),  # drying: between chart datum and the coastline
    (150, 198, 234),  # water shallower than 5 m
    (200, 226, 246),  # water of 5 to 10 m
    (96, 122, 156),   # depth contours
    (196, 0, 136),    # magenta: lights, restricted areas, compass rose
    (220, 180, 112),  # built-up areas
    (176, 134, 80),   # height contours
]

# ---------------------------------------------------------------------------------
# Lettering: a 5 x 7 bitmap font, capitals, digits and the signs charts need.

GLYPH_ROWS = {
    "A": ".###. #...# #...# ##### #...# #...# #...#",
    "B": "####. #...# #...# ####. #...# #...# ####.",
    "C": ".###. #...# #.... #.... #.... #...# .###.",
    "D": "###.. #..#. #...# #...# #...# #..#. ###..",
    "E": "##### #.... #.... ####. #.... #.... #####",
    "F": "##### #.... #.... ####. #.... #.... #....",
    "G": ".###. #...# #.... #.### #...# #...# .####",
    "H": "#...# #...# #...# ##### #...# #...# #...#",
    "I": ".###. ..#.. ..#.. ..#.. ..#.. ..#.. .###.",
    "J": "..### ...#. ...#. ...#. ...#. #..#. .##..",
    "K": "#...# #..#. #.#.. ##... #.#.. #..#. #...#",
    "L": "#.... #.... #.... #.... #.... #.... #####",
    "M": "#...# ##.## #.#.# #.#.# #...# #...# #...#",
    "N": "#...# #...# ##..# #.#.# #..## #...# #...#",
    "O": ".###. #...# #...# #...# #...# #...# .###.",
    "P": "####. #...# #...# ####. #.... #.... #....",
    "Q": ".###. #...# #...# #...# #.#.# #..#. .##.#",
    "R": "####. #...# #...# ####. #.#.. #..#. #...#",
    "S": ".#### #.... #.... .###. ....# ....# ####.",
    "T": "##### ..#.. ..#.. ..#.. ..#.. ..#.. ..#..",
    "U": "#...# #...# #...# #...# #...# #...# .###.",
    "V": "#...# #...# #...# #...# .#.#. .#.#. ..#..",
    "W": "#...# #...# #...# #.#.# #.#.# #.#.# .#.#.",
    "X": "#...# #...# .#.#. ..#.. .#.#. #...# #...#",
    "Y": "#...# #...# .#.#. ..#.. ..#.. ..#.. ..#..",
    "Z": "##### ....# ...#. ..#.. .#... #.... #####",
    "0": ".###. #...# #..## #.#.# ##..# #...# .###.",
    "1": "..#.. .##.. ..#.. ..#.. ..#.. ..#.. .###.",
    "2": ".###. #...# ....# ...#. ..#.. .#... #####",
    "3": "##### ...#. ..#.. ...#. ....# #...# .###.",
    "4": "...#. ..##. .#.#. #..#. ##### ...#. ...#.",
    "5": "##### #.... ####. ....# ....# #...# .###.",
    "6": "..##. .#... #.... ####. #...# #...# .###.",
    "7": "##### ....# ...#. ..#.. .#... .#... .#...",
    "8": ".###. #...# #...# .###. #...# #...# .###.",
    "9": ".###. #...# #...# .#### ....# ...#. .##..",
    ".": "..... ..... ..... ..... ..... .##.. .##..",
    ",": "..... ..... ..... ..... .##.. ..#.. .#...",
    "-": "..... ..... ..... ##### ..... ..... .....",
    "°": ".##.. #..#. #..#. .##.. ..... ..... .....",
    "'": "..#.. ..#.. .#... ..... ..... ..... .....",
    "(": "...#. ..#.. .#... .#... .#... ..#.. ...#.",
    ")": ".#... ..#.. ...#. ...#. ...#. ..#.. .#...",
    "/": "..... ....# ...#. ..#.. .#... #.... .....",
    ":": "..... .##.. .##.. ..... .##.. .##.. .....",
    "&": ".#... #.#.. #.#.. .#... #.#.# #..#. .##.#",
}

# An anchorage, drawn as a glyph of its own.
ANCHOR_ROWS = "...###... ...#.#... ...###... ....#.... .#######. ....#.... #...#...# .#..#..#. ..#####.."


def bitmap(rows):
    return np.array([[c == "#" for c in row] for row in rows.split()], dtype=bool)


def trimmed_glyphs():
    # Proportional letters read better than a fixed pitch at the sizes of a title.
    glyphs = {}
    for char, rows in GLYPH_ROWS.items():
        b = bitmap(rows)
        cols = np.nonzero(b.any(axis=0))[0]
        glyphs[char] = b[:, cols[0]:cols[-1] + 1]
    glyphs[" "] = np.zeros((7, 3), dtype=bool)
    return glyphs


GLYPHS = trimmed_glyphs()
ANCHOR = bitmap(ANCHOR_ROWS)


def text_bitmap(text, scale):
    """The lettering of `text` (upper-cased; unknown signs become blanks) as a mask."""
    columns = []
    for char in text.upper():
        g = GLYPHS.get(char, GLYPHS[" "])
        columns.append(g)
        columns.append(np.zeros((7, 1), dtype=bool))
    mask = np.hstack(columns[:-1]) if columns else np.zeros((7, 0), dtype=bool)
    return np.kron(mask, np.ones((scale, scale), dtype=bool))


# ---------------------------------------------------------------------------------
# The calibration file.

def read_calibration(path):
    """Sections in order: (name, fields, continuation lines by key)."""
    sections = []
    with open(path, "rb") as f:
        lines = f.read().decode("latin-1").splitlines()
    current, last_key = None, None
    for line in lines:
        if not line.strip() or line.lstrip().startswith(";"):
            continue
        if line.startswith("["):
            current = (line[1:line.index("]")], {}, {})
            sections.append(current)
            last_key = None
        elif current is None:
            continue
        elif line[0] in " \t":
            # A blank-led line continues the field above it, unless it is a header
            # template line, which is no part of any field.
            if last_key is not None and not line.strip().startswith("BSBHDR"):
                current[2].setdefault(last_key, []).append(line.strip())
        else:
            key, _, value = line.partition("=")
            current[1][key.strip()] = value.strip()
            last_key = key.strip()
    return sections


# ---------------------------------------------------------------------------------
# Chart geometry: latitude and longitude to pixels through the projection and the map
# the reference points fit. Pixel coordinates count from the top-left corner of the
# image, so that pixel (i, j) covers [i, i+1) x [j, j+1) and its centre is (i+.5, j+.5).

def plane_terms(e, n, order):
    terms = [np.ones_like(e), e, n]
    if order == 2:
        terms += [e * e, e * n, n * n]
    return np.stack(terms, axis=-1)


def numbered_values(fields, letter):
    """The comma lists of the keys letter1, letter2, ... up to the first one absent, as rows."""
    rows = []
    while "%s%d" % (letter, len(rows) + 1) in fields:
        rows.append([float(v) for v in fields["%s%d" % (letter, len(rows) + 1)].split(",")])
    return np.array(rows)


class chart_geometry:
    """The pixel map of one chart: projection, fitted map and the border it gives."""

    def __init__(self, fields):
        self.width = int(fields["WI"])
        self.height = int(fields["HE"])
        points = numbered_values(fields, "C")
        # Longitudes are taken continuous about the reference points, so a chart across
        # the 180th meridian (given with longitudes past 180) has no seam.
        self.lon_ref = float(points[:, 3].mean())
        points[:, 3] = self.chart_longitude(points[:, 3])
        projection = fields["PR"]
        if projection == "1":
            # Mercator's x is linear in longitude, so its central meridian only shifts
            # the plane; taken at the chart, it keeps PROJ away from its seam.
            self.proj4 = "+proj=merc +lon_0=%r +datum=WGS84 +units=m +no_defs" % self.lon_ref
            self.projection_name = "MERCATOR"
        elif projection == "2":
            lon0 = float(fields.get("LON0") or fields["PP"])
            self.proj4 = ("+proj=tmerc +lat_0=0 +lon_0=%r +k=1 +x_0=0 +y_0=0 +datum=WGS84 +units=m +no_defs"
                          % lon0)
            self.projection_name = "TRANSVERSE MERCATOR"
        else:
            raise SystemExit("projection PR=%s is not drawn" % projection)
        geographic = osr.SpatialReference()
        geographic.SetWellKnownGeogCS("WGS84")
        geographic.SetAxisMappingStrategy(osr.OAMS_TRADITIONAL_GIS_ORDER)
        plane = osr.SpatialReference()
        plane.ImportFromProj4(self.proj4)
        plane.SetAxisMappingStrategy(osr.OAMS_TRADITIONAL_GIS_ORDER)
        self.to_plane = osr.CoordinateTransformation(geographic, plane)
        self.fit(points)
        corners = numbered_values(fields, "B")
        corners[:, 1] = self.chart_longitude(corners[:, 1])
        self.lat_min, self.lat_max = corners[:, 0].min(), corners[:, 0].max()
        self.lon_min, self.lon_max = corners[:, 1].min(), corners[:, 1].max()
        self.lat_c = (self.lat_min + self.lat_max) / 2
        self.lon_c = (self.lon_min + self.lon_max) / 2
        self.km_east = KM_PER_DEGREE * math.cos(math.radians(self.lat_c))

    def chart_longitude(self, lon):
        return (np.asarray(lon, dtype=float) - self.lon_ref + 180.0) % 360.0 - 180.0 + self.lon_ref

    def plane(self, lat, lon):
        lat = np.asarray(lat, dtype=float)
        lon = self.chart_longitude(lon)
        xy = np.array(self.to_plane.TransformPoints(np.column_stack([lon.ravel(), lat.ravel()])))
        return xy[:, 0].reshape(lat.shape), xy[:, 1].reshape(lat.shape)

    def fit(self, points):
        e, n = self.plane(points[:, 2], points[:, 3])
        self.e0, self.n0 = e.mean(), n.mean()
        pixels = points[:, :2]
        # Affine from projected metres to pixels, by least squares. A reference grid
        # laid out evenly in latitude and longitude on a transverse Mercator chart
        # strays several pixels from any affine map (the meridians converge and the
        # parallels bow); there, with enough points to judge it, the quadratic map
        # through them is taken, so that the graticule still meets every point.
        for order in (1, 2):
            a = plane_terms((e - self.e0) / 1e4, (n - self.n0) / 1e4, order)
            coef = np.linalg.lstsq(a, pixels, rcond=None)[0]
            residual = np.hypot(*(a @ coef - pixels).T)
            if order == 1:
                self.affine_residual = residual
            if residual.max() <= 0.5 or len(points) < 8:
                break
        self.order, self.coef, self.residual = order, coef, residual

    def pixel(self, lat, lon):
        """Pixel coordinates (x, y) of latitudes and longitudes (arrays or numbers)."""
        e, n = self.plane(lat, lon)
        xy = plane_terms((e - self.e0) / 1e4, (n - self.n0) / 1e4, self.order) @ self.coef
        return xy[..., 0], xy[..., 1]

    def geographic(self, x, y):
        """Latitude and longitude of pixel coordinates, by Newton's method on `pixel`."""
        x = np.asarray(x, dtype=float)
        y = np.asarray(y, dtype=float)
        # Start from the plate carree through the border's corners.
        lat = self.lat_max + (self.lat_min - self.lat_max) * y / self.height
        lon = self.lon_min + (self.lon_max - self.lon_min) * x / self.width
        step = 1e-5
        for _ in range(8):
            px, py = self.pixel(lat, lon)
            ax, ay = self.pixel(lat + step, lon)
            bx, by = self.pixel(lat, lon + step)
            j11, j21 = (ax - px) / step, (ay - py) / step
            j12, j22 = (bx - px) / step, (by - py) / step
            det = j11 * j22 - j12 * j21
            rx, ry = x - px, y - py
            lat = lat + (j22 * rx - j12 * ry) / det
            lon = lon + (j11 * ry - j21 * rx) / det
        return lat, lon

    def km(self, lat, lon):
        """The design plane: kilometres east and north of the chart's middle."""
        return ((self.chart_longitude(lon) - self.lon_c) * self.km_east, (lat - self.lat_c) * KM_PER_DEGREE)

    def from_km(self, e, n):
        return self.lat_c + n / KM_PER_DEGREE, self.lon_c + e / self.km_east

    def pixel_km(self, e, n):
        return self.pixel(*self.from_km(e, n))


def pixel_fields(geo, step=16):
    """Latitude and longitude at every pixel centre: exact at every `step`-th pixel,
    bilinear between them (the map is smooth: the error is far below a pixel)."""
    gx = np.arange(0, geo.width - 1 + step, step, dtype=float) + 0.5
    gy = np.arange(0, geo.height - 1 + step, step, dtype=float) + 0.5
    lat, lon = geo.geographic(*np.meshgrid(gx, gy))
    check_x, check_y = geo.pixel(lat, lon)
    assert max(abs(check_x - gx[None, :]).max(), abs(check_y - gy[:, None]).max()) < 1e-6

    def spread(grid):
        u = np.arange(geo.width) / step
        i = np.minimum(u.astype(int), len(gx) - 2)
        t = u - i
        rows = grid[:, i] * (1 - t) + grid[:, i + 1] * t
        v = np.arange(geo.height) / step
        j = np.minimum(v.astype(int), len(gy) - 2)
        s = (v - j)[:, None]
        return rows[j] * (1 - s) + rows[j + 1] * s

    return spread(lat), spread(lon)


# ---------------------------------------------------------------------------------
# Made-up land and sea, defined on the design plane (km about the chart's middle), so
# that every feature has its latitude and longitude whatever the projection.

def shape_inside(shape, e, n):
    """Roughly the distance in km inside a shape (negative outside)."""
    kind = shape[0]
    if kind == "ellipse":
        _, cx, cy, rx, ry, angle = shape
        a = math.radians(angle)
        u = (e - cx) * math.cos(a) + (n - cy) * math.sin(a)
        v = -(e - cx) * math.sin(a) + (n - cy) * math.cos(a)
        k0 = np.hypot(u / rx, v / ry)
        k1 = np.hypot(u / rx ** 2, v / ry ** 2) + 1e-12
        return -k0 * (k0 - 1) / k1
    if kind == "capsule":
        _, x1, y1, x2, y2, r = shape
        dx, dy = x2 - x1, y2 - y1
        t = np.clip(((e - x1) * dx + (n - y1) * dy) / (dx * dx + dy * dy), 0, 1)
        return r - np.hypot(e - x1 - t * dx, n - y1 - t * dy)
    raise ValueError(kind)


def union_inside(shapes, e, n):
    out = None
    for shape in shapes:
        d = shape_inside(shape, e, n)
        out = d if out is None else np.maximum(out, d)
    return out


def value_noise(e, n, rng, cell, octaves, gain=0.5):
    """Smooth noise of about unit amplitude; each octave on a turned grid, so that no
    coastline follows the axes."""
    total = np.zeros(e.shape)
    amplitude, norm = 1.0, 0.0
    for octave in range(octaves):
        size = cell / 2 ** octave
        angle = rng.uniform(0, 2 * math.pi)
        u = (e * math.cos(angle) - n * math.sin(angle)) / size
        v = (e * math.sin(angle) + n * math.cos(angle)) / size
        u0, v0 = math.floor(u.min()), math.floor(v.min())
        nu, nv = int(math.floor(u.max())) - u0 + 2, int(math.floor(v.max())) - v0 + 2
        grid = rng.uniform(-1, 1, size=(nv, nu))
        iu = np.floor(u).astype(np.int64)
        iv = np.floor(v).astype(np.int64)
        tu, tv = u - iu, v - iv
        iu -= u0
        iv -= v0
        fu = tu * tu * tu * (tu * (tu * 6 - 15) + 10)
        fv = tv * tv * tv * (tv * (tv * 6 - 15) + 10)
        top = grid[iv, iu] * (1 - fu) + grid[iv, iu + 1] * fu
        bottom = grid[iv + 1, iu] * (1 - fu) + grid[iv + 1, iu + 1] * fu
        total += amplitude * (top * (1 - fv) + bottom * fv)
        norm += amplitude
        amplitude *= gain
    return total / norm * 2.0


def elevation(design, e, n, rng):
    """Height above chart datum in metres (negative: depth); the coastline is at 4 m."""
    inside = union_inside(design["land"], e, n)
    if design.get("water"):
        inside = np.minimum(inside, -union_inside(design["water"], e, n))
    inside = inside + design["coast_wobble"] * value_noise(e, n, rng, design["coast_cell"], 5)
    hill = value_noise(e, n, rng, design["hill_cell"], 3)
    slope = design["slope"] * np.exp(0.6 * value_noise(e, n, rng, design["coast_cell"] * 2, 3))
    bottom = value_noise(e, n, rng, design["bottom_cell"], 4)
    off = np.maximum(-inside, 0)
    reef = design.get("reef", 0.0)
    if reef:
        reef_width = reef * np.clip(1 + 0.8 * value_noise(e, n, rng, design["coast_cell"], 3), 0.1, None)
        flat = np.minimum(off, reef_width)
        off = off - flat
        top = 4 - 3 * flat / reef_width
    else:
        top = 4.0
    deep = design["deep"]
    depth = deep * (1 - np.exp(-slope * off / deep)) + design["bottom_swell"] * bottom * (1 - np.exp(-off / 0.5))
    land = 4 + design["hill_height"] * (1 - np.exp(-np.maximum(inside, 0) / design["hill_km"])) * (0.75 + 0.4 * hill)
    h = np.where(inside >= 0, land, top - depth)
    for shape in design.get("reefs", []):
        h = np.where((shape_inside(shape, e, n) + 0.15 * bottom > 0) & (h < 1.0), 1.0, h)
    for shape in design.get("works", []):
        h = np.where(shape_inside(shape, e, n) > 0, np.maximum(h, 6.0), h)
    return h


# ---------------------------------------------------------------------------------
# Drawing on the palette image.

def level_lines(field, levels):
    """Thin lines where `field` passes `levels`: of two neighbouring pixels astride a
    level, the one whose centre lies nearer to it, so that every line lies within half a
    pixel of where it belongs and no line breaks."""
    levels = np.asarray(levels, dtype=float)
    k = np.searchsorted(levels, field, side="right")
    mask = np.zeros(field.shape, dtype=bool)
    for axis in (0, 1):
        a = [slice(None), slice(None)]
        b = [slice(None), slice(None)]
        a[axis] = slice(None, -1)
        b[axis] = slice(1, None)
        a, b = tuple(a), tuple(b)
        ka, kb = k[a], k[b]
        across = ka != kb
        level = levels[np.minimum(np.minimum(ka, kb), len(levels) - 1)]
        nearer_a = np.abs(field[a] - level) <= np.abs(field[b] - level)
        mask[a] |= across & nearer_a
        mask[b] |= across & ~nearer_a
    return mask


def dilate(mask, radius):
    out = mask.copy()
    h, w = mask.shape
    for dy in range(-radius, radius + 1):
        for dx in range(-radius, radius + 1):
            if dx * dx + dy * dy > radius * radius + radius:
                continue
            out[max(dy, 0):h + min(dy, 0), max(dx, 0):w + min(dx, 0)] |= \
                mask[max(-dy, 0):h + min(-dy, 0), max(-dx, 0):w + min(-dx, 0)]
    return out


class canvas:
    """The palette image, and what of it lettering and symbols already hold."""

    def __init__(self, width, height):
        self.img = np.full((height, width), PAPER, dtype=np.uint8)
        self.taken = np.zeros((height, width), dtype=bool)

    def stamp(self, mask, left, top, colour, take=True, margin=0):
        h, w = self.img.shape
        mh, mw = mask.shape
        x0, y0 = max(left, 0), max(top, 0)
        x1, y1 = min(left + mw, w), min(top + mh, h)
        if x0 >= x1 or y0 >= y1:
            return
        part = mask[y0 - top:y1 - top, x0 - left:x1 - left]
        self.img[y0:y1, x0:x1][part] = colour
        if take:
            self.taken[max(y0 - margin, 0):y1 + margin, max(x0 - margin, 0):x1 + margin] = True

    def text(self, text, x, y, scale, colour=INK, anchor="lt", take=True, margin=None, avoid=None):
        """Lettering placed by an anchor: l/c/r horizontally, t/m/b vertically; none
        where it would overlap the rectangle `avoid` (left, top, width, height)."""
        mask = text_bitmap(text, scale)
        mh, mw = mask.shape
        left = int(round(x - {"l": 0, "c": mw / 2, "r": mw}[anchor[0]]))
        top = int(round(y - {"t": 0, "m": mh / 2, "b": mh}[anchor[1]]))
        if avoid is not None and (left < avoid[0] + avoid[2] and avoid[0] < left + mw and
                                  top < avoid[1] + avoid[3] and avoid[1] < top + mh):
            return None
        self.stamp(mask, left, top, colour, take, scale * 2 if margin is None else margin)
        return left, top, mw, mh

    def box_clear(self, left, top, w, h, allowed):
        H, W = self.img.shape
        if left < 0 or top < 0 or left + w > W or top + h > H:
            return False
        if self.taken[top:top + h, left:left + w].any():
            return False
        return np.isin(self.img[top:top + h, left:left + w], allowed).all()

    def dots(self, xs, ys, radius, colour):
        """Round dots of `radius` pixels centred at (xs, ys): pixels whose centres lie
        within the radius."""
        xs = np.atleast_1d(np.asarray(xs, dtype=float))
        ys = np.atleast_1d(np.asarray(ys, dtype=float))
        H, W = self.img.shape
        r = int(math.ceil(radius)) + 1
        for dy in range(-r, r + 1):
            for dx in range(-r, r + 1):
                px = np.floor(xs).astype(int) + dx
                py = np.floor(ys).astype(int) + dy
                near = (px + 0.5 - xs) ** 2 + (py + 0.5 - ys) ** 2 <= radius * radius
                ok = near & (px >= 0) & (px < W) & (py >= 0) & (py < H)
                self.img[py[ok], px[ok]] = colour
                self.taken[py[ok], px[ok]] = True

    def polyline(self, xs, ys, width, colour, dash=None):
        """A line through the points; `dash` (on, off) in pixels makes it dashed."""
        xs, ys = np.asarray(xs, dtype=float), np.asarray(ys, dtype=float)
        seg = np.hypot(np.diff(xs), np.diff(ys))
        along = np.concatenate([[0], np.cumsum(seg)])
        s = np.arange(0, along[-1] + 0.25, 0.25)
        px, py = np.interp(s, along, xs), np.interp(s, along, ys)
        if dash is not None:
            keep = (s % (dash[0] + dash[1])) < dash[0]
            px, py = px[keep], py[keep]
        self.dots(px, py, max(width / 2, 0.75), colour)

    def polygon(self, xs, ys, colour):
        """Fills the pixels whose centres lie inside the polygon (even-odd)."""
        xs, ys = np.asarray(xs, dtype=float), np.asarray(ys, dtype=float)
        H, W = self.img.shape
        x0, x1 = max(int(xs.min()), 0), min(int(xs.max()) + 1, W)
        y0, y1 = max(int(ys.min()), 0), min(int(ys.max()) + 1, H)
        if x0 >= x1 or y0 >= y1:
            return
        cx, cy = np.meshgrid(np.arange(x0, x1) + 0.5, np.arange(y0, y1) + 0.5)
        inside = np.zeros(cx.shape, dtype=bool)
        for i in range(len(xs)):
            ax, ay, bx, by = xs[i - 1], ys[i - 1], xs[i], ys[i]
            if ay == by:
                continue
            crosses = (ay > cy) != (by > cy)
            at = ax + (cy - ay) * (bx - ax) / (by - ay)
            inside ^= crosses & (cx < at)
        self.img[y0:y1, x0:x1][inside] = colour
        self.taken[y0:y1, x0:x1] |= inside


def dms(value, positive, negative, whole_degrees=False):
    """A latitude or longitude as chart lettering, e.g. 48°25'N; 180° has no side."""
    side = positive if value >= 0 else negative
    minutes = int(round(abs(value) * 60))
    d, m = divmod(minutes, 60)
    if minutes == 180 * 60 or minutes == 0:
        side = ""
    return ("%d°" % d if whole_degrees and m == 0 else "%d°%02d'" % (d, m)) + side


def longitude_text(lon):
    lon = (lon + 180.0) % 360.0 - 180.0
    if abs(abs(lon) - 180.0) < 1e-9:
        return "180°"
    return dms(lon, "E", "W")


def scale_text(sc):
    digits = str(int(sc))
    groups = []
    while digits:
        groups.insert(0, digits[-3:])
        digits = digits[:-3]
    return "SCALE 1:" + " ".join(groups)


# ---------------------------------------------------------------------------------
# The charts.

def draw_rose(c, jac, cx, cy, rkm, variation, s):
    """A true compass rose of `rkm` km about pixel (cx, cy); `jac`: pixels per km east
    and north there."""
    def rose_point(bearing_deg, r_km):
        b = np.radians(bearing_deg)
        v = jac @ np.array([r_km * np.sin(b), r_km * np.cos(b)])
        return cx + v[0], cy + v[1]

    ring = np.arange(0, 360.25, 0.25)
    for r in (1.0, 0.92):
        c.polyline(*rose_point(ring, r * rkm), 2 if r == 1.0 else 1.5, MAGENTA)
    for bearing in range(0, 360, 5):
        inner = 0.80 if bearing % 30 == 0 else 0.86 if bearing % 10 == 0 else 0.89
        px, py = zip(rose_point(bearing, inner * rkm), rose_point(bearing, 0.92 * rkm))
        c.polyline(px, py, 1.5, MAGENTA)
        if bearing % 30 == 0:
            lx, ly = rose_point(bearing, 1.1 * rkm)
            c.text(str(bearing), float(lx), float(ly), max(s - 1, 2), MAGENTA, "cm")
    star = [rose_point(0, 0.78 * rkm), rose_point(-6, 0.6 * rkm), rose_point(6, 0.6 * rkm)]
    c.polygon([p[0] for p in star], [p[1] for p in star], MAGENTA)
    for bearing in range(0, 360, 90):
        px, py = zip(rose_point(bearing, 0.15 * rkm), rose_point(bearing, 0.6 * rkm))
        c.polyline(px, py, 1.5, MAGENTA)
    c.dots([cx], [cy], 1.2 * s, MAGENTA)
    c.text(variation, cx, float(rose_point(180, 0.35 * rkm)[1]), max(s - 1, 2), MAGENTA, "cm")
    ys = [rose_point(b, 1.2 * rkm)[1] for b in range(0, 360, 10)]
    xs = [rose_point(b, 1.2 * rkm)[0] for b in range(0, 360, 10)]
    c.taken[max(int(min(ys)), 0):int(max(ys)) + 1, max(int(min(xs)), 0):int(max(xs)) + 1] = True


DESIGNS = {
    "Harbour.tif": dict(
        seed=7401, text=3, coast_width=1, sounding_spacing=102,
        land=[("ellipse", 3.4, 5.2, 4.6, 4.9, 10), ("ellipse", -1.6, 2.7, 1.7, 0.55, -25),
              ("ellipse", 3.6, -5.6, 4.2, 4.6, 0), ("ellipse", 0.9, -1.6, 1.1, 0.55, 30),
              ("ellipse", -3.0, -4.2, 0.35, 0.22, 20)],
        water=[("ellipse", 3.1, 0.1, 1.5, 1.6, 0), ("capsule", 0.2, 0.3, 2.5, 0.1, 0.55)],
        works=[("capsule", 0.05, 1.35, 0.55, 0.55, 0.035), ("capsule", 1.35, -1.1, 1.05, -0.35, 0.035)],
        coast_wobble=0.16, coast_cell=0.8, slope=40.0, deep=38.0, bottom_cell=1.5, bottom_swell=5.0,
        hill_cell=2.0, hill_height=70.0, hill_km=1.2, hill_step=20.0,
        contours=[2, 5, 10, 20, 30], town=[("ellipse", 3.2, 2.6, 1.8, 0.9, 0)],
        grid_step=1.0, bar_step=1.0, tick_step=0.1,
        title_at=(2.3, 4.2),
        names=[("NORTH HEAD", -1.7, 3.35), ("SOUTH HEAD", 2.6, -2.6), ("INNER HARBOUR", 3.1, 0.45),
               ("OUTER ROAD", -2.0, -0.4)],
        lights=[(0.55, 0.55, "FL.G.4S 6M", 135), (1.05, -0.35, "FL.R.4S 6M", 225),
                (-3.1, 2.6, "FL(3)WR.15S 18M", 200)],
        restricted=[(-2.9, -1.6), (-1.4, -1.9), (-1.0, -3.4), (-2.6, -3.2)], restricted_text="RESTRICTED AREA",
        anchorages=[(-2.2, 0.9)]),
    "Brest_TM.tif": dict(
        seed=7400, text=3, coast_width=1, sounding_spacing=102,
        land=[("ellipse", 4, 20.5, 26, 14.5, 0), ("ellipse", -12.5, 7.5, 5.5, 3.4, -15),
              ("ellipse", 8, -5.0, 15, 5.5, 5), ("ellipse", -2.5, 0.6, 4.2, 1.7, 5),
              ("ellipse", -1.0, -1.8, 4.5, 2.6, 20), ("ellipse", -7.0, -4.0, 3.0, 1.4, -10),
              ("ellipse", 6, -26.5, 34, 11, 0), ("ellipse", 26, 0, 11, 20, 0),
              ("ellipse", -16.5, 13.5, 1.0, 0.6, 0), ("ellipse", -19.0, -9.5, 0.6, 0.4, 0)],
        water=[("ellipse", 7.5, 1.2, 7.2, 3.4, -8), ("ellipse", 12.5, -2.2, 3.5, 2.4, 30),
               ("capsule", 10.5, 3.2, 17.5, 6.5, 0.5), ("capsule", 13.5, -3.5, 19, -6.5, 0.45),
               ("capsule", -9.0, 3.3, 1.5, 2.6, 0.9)],
        coast_wobble=0.5, coast_cell=4.0, slope=12.0, deep=62.0, bottom_cell=6.0, bottom_swell=9.0,
        hill_cell=8.0, hill_height=120.0, hill_km=4.0, hill_step=60.0,
        contours=[5, 10, 20, 50], town=[("ellipse", 2.5, 7.3, 3.2, 1.6, 5)],
        grid_step=5.0, bar_step=1.0, tick_step=0.2,
        title_at=(9.5, 12.2),
        names=[("BREST", 2.5, 7.6), ("GOULET DE BREST", -4.5, 4.6), ("RADE DE BREST", 7.5, 1.8),
               ("PRESQU'ILE DE CROZON", 3.0, -6.5), ("IROISE", -15.5, 2.2), ("BAIE DE DOUARNENEZ", -2.0, -11.5)],
        lights=[(-16.0, 6.0, "FL(3)WR.15S 29M", 225), (-4.5, 3.8, "OC(2)WRG.6S 15M", 315),
                (-6.8, 1.8, "FL.G.2.5S 8M", 225)],
        restricted=[(9.0, 4.2), (13.5, 4.0), (13.0, 1.2), (8.5, 1.6)], restricted_text="PROHIBITED AREA",
        anchorages=[(5.0, -1.2), (-16.5, 0.5)],
        rose=(-14.9, -4.6, 2.3), variation="VAR 4°35'W 2004 (7'E)"),
    "Fiji_Taveuni.tif": dict(
        seed=62, text=2, coast_width=1, reef=0.5, sounding_spacing=88,
        land=[("ellipse", -50, 27, 30, 15, -10), ("ellipse", -29, 12.5, 16, 4.5, 12),
              ("ellipse", 5, -9.5, 19.5, 6.5, 48), ("ellipse", 25.5, 9.5, 4.0, 2.2, 30),
              ("ellipse", 33, 4.5, 2.0, 1.5, 0), ("ellipse", 10, 23, 8, 4, 15)],
        reefs=[("ellipse", -20, -19.5, 6, 1.1, 15), ("ellipse", 37, -8, 3, 0.9, -30)],
        coast_wobble=0.8, coast_cell=7.0, slope=45.0, deep=420.0, bottom_cell=10.0, bottom_swell=40.0,
        hill_cell=10.0, hill_height=800.0, hill_km=4.0, hill_step=250.0,
        contours=[10, 20, 50, 100, 200], town=[],
        grid_step=10.0, bar_step=1.0, tick_step=1.0,
        title_at=(33, -21),
        names=[("VANUA LEVU", -42, 19), ("TAVEUNI", 3.5, -9.0), ("SOMOSOMO STRAIT", -12.0, -5.0),
               ("QAMEA", 25.5, 6.0), ("RABI", 10, 21.5), ("RAINBOW REEF", -20, -22.5)],
        lights=[(-6.3, -13.0, "FL.5S 8M", 225), (22.5, 9.5, "FL(2)10S 10M", 315)],
        restricted=[(-29, -15.5), (-12, -15.5), (-12, -24.5), (-29, -24.5)], restricted_text="MARINE RESERVE",
        anchorages=[(-3.5, 2.5)]),
}


def draw_chart(name, fields, more, design):
    geo = chart_geometry(fields)
    rng = np.random.default_rng(design["seed"])
    c = canvas(geo.width, geo.height)
    s = design["text"]
    lat, lon = pixel_fields(geo)
    e, n = geo.km(lat, lon)
    h = elevation(design, e, n, rng)

    # Distance in pixels inside each side of the border, from how fast latitude and
    # longitude change across the pixels there.
    g_lat = np.hypot(*np.gradient(lat))
    g_lon = np.hypot(*np.gradient(lon))
    inside_top = (geo.lat_max - lat) / g_lat
    inside_bottom = (lat - geo.lat_min) / g_lat
    inside_left = (lon - geo.lon_min) / g_lon
    inside_right = (geo.lon_max - lon) / g_lon
    del g_lat, g_lon
    face = np.minimum(np.minimum(inside_top, inside_bottom), np.minimum(inside_left, inside_right))

    img = c.img
    img[h < 4] = PAPER
    img[(h >= -10) & (h < -5)] = SHALLOW
    img[(h >= -5) & (h < 0)] = SHOAL
    img[(h >= 0) & (h < 4)] = DRYING
    img[h >= 4] = LAND
    if design["town"]:
        town = union_inside(design["town"], e, n) + 0.4 * value_noise(e, n, rng, 0.6, 2) > 0
        img[town & (h >= 8)] = TOWN
    img[level_lines(h, 4 + design["hill_step"] * np.arange(1, 40)) & (h >= 4)] = HILL
    img[level_lines(h, [-d for d in sorted(design["contours"], reverse=True)] + [0.0])] = CONTOUR
    coast = level_lines(h, [4.0])
    img[dilate(coast, design["coast_width"])] = INK
    land = h >= 4
    del e, n

    # Graticule lines across the face.
    step = design["grid_step"] / 60
    lat_lines = np.arange(math.ceil(geo.lat_min / step + 1e-9), math.floor(geo.lat_max / step - 1e-9) + 1) * step
    lon_lines = np.arange(math.ceil(geo.lon_min / step + 1e-9), math.floor(geo.lon_max / step - 1e-9) + 1) * step
    grid = level_lines(lat, lat_lines) | level_lines(lon, lon_lines)
    img[grid & (face >= 0)] = INK

    to_px = geo.pixel_km

    # Restricted area: magenta dashes with ticks turned inwards.
    corners = design["restricted"] + design["restricted"][:1]
    t = np.linspace(0, 1, 200)
    ring_e = np.concatenate([a[0] + (b[0] - a[0]) * t for a, b in zip(corners, corners[1:])])
    ring_n = np.concatenate([a[1] + (b[1] - a[1]) * t for a, b in zip(corners, corners[1:])])
    rx, ry = to_px(ring_e, ring_n)
    c.polyline(rx, ry, 2 * s / 3 + 1, MAGENTA, dash=(9 * s, 5 * s))
    area = np.sum(rx[:-1] * ry[1:] - rx[1:] * ry[:-1])
    seg = np.hypot(np.diff(rx), np.diff(ry))
    along = np.concatenate([[0], np.cumsum(seg)])
    for s_at in np.arange(4.5 * s, along[-1], 14 * s):
        i = min(np.searchsorted(along, s_at), len(rx) - 1)
        dx, dy = rx[i] - rx[i - 1], ry[i] - ry[i - 1]
        norm = math.hypot(dx, dy)
        inward = np.sign(area) * np.array([-dy, dx]) / norm
        c.polyline([rx[i], rx[i] + inward[0] * 4 * s], [ry[i], ry[i] + inward[1] * 4 * s], 2 * s / 3 + 1, MAGENTA)
    mx, my = to_px(np.mean([p[0] for p in design["restricted"]]), np.mean([p[1] for p in design["restricted"]]))
    c.text(design["restricted_text"], float(mx), float(my), s - 1 if s > 2 else 2, MAGENTA, "cm")

    # Anchorages.
    for ae, an in design["anchorages"]:
        ax, ay = to_px(ae, an)
        glyph = np.kron(ANCHOR, np.ones((s + 1, s + 1), dtype=bool))
        c.stamp(glyph, int(round(float(ax) - glyph.shape[1] / 2)), int(round(float(ay) - glyph.shape[0] / 2)),
                MAGENTA, margin=2 * s)

    # Lights: a dot at the light, a magenta flare, and its character.
    coast_y, coast_x = np.nonzero(coast & land)
    for le, ln, text, bearing in design["lights"]:
        tx, ty = to_px(le, ln)
        k = np.argmin((coast_x + 0.5 - tx) ** 2 + (coast_y + 0.5 - ty) ** 2)
        x0, y0 = coast_x[k] + 0.5, coast_y[k] + 0.5
        b = math.radians(bearing)
        ux, uy = math.sin(b), -math.cos(b)
        length, half = 14 * s, 3.2 * s
        tipx, tipy = x0 + ux * 2 * s, y0 + uy * 2 * s
        angles = np.linspace(-math.pi / 2, math.pi / 2, 24)
        fx = x0 + ux * (length - half) + half * (ux * np.cos(angles) - uy * np.sin(angles))
        fy = y0 + uy * (length - half) + half * (uy * np.cos(angles) + ux * np.sin(angles))
        c.polygon(np.concatenate([[tipx], fx]), np.concatenate([[tipy], fy]), MAGENTA)
        c.dots([x0], [y0], 1.6 * s, INK)
        lx = x0 + ux * (length + 3 * s)
        ly = y0 + uy * (length + 3 * s)
        c.text(text, lx, ly, max(s - 1, 2), MAGENTA, ("l" if ux >= 0 else "r") + "m")

    # Compass rose, drawn on the ground: a circle of its radius in km, bearings true,
    # so that a bearing laid off from it is true on the chart. Where the reference
    # points make the pixels far from square, that circle is an ellipse on the scan,
    # which reads as a fault: such a chart gets no rose, its magenta marks suffice.
    if "rose" in design:
        re_, rn_, rkm = design["rose"]
        cx, cy = (float(v) for v in to_px(re_, rn_))
        east = np.array([float(v) for v in to_px(re_ + 0.01, rn_)]) - (cx, cy)
        north = np.array([float(v) for v in to_px(re_, rn_ + 0.01)]) - (cx, cy)
        if abs(math.log(np.linalg.norm(east) / np.linalg.norm(north))) < 0.1:
            draw_rose(c, np.column_stack([east, north]) / 0.01, cx, cy, rkm, design["variation"], s)

    # Names.
    for text, ne, nn in design["names"]:
        x, y = to_px(ne, nn)
        c.text(text, float(x), float(y), s, INK, "cm")

    # Title block on land: the chart's title (NA and its continuation), then its scale,
    # depths and datum.
    titles = [fields.get("NA", "")] + more.get("NA", [])
    lines = [(titles[0], 3 * s)] + [(t, 2 * s) for t in titles[1:]]
    lines.append(("", s))
    if fields.get("SC"):
        lines.append((scale_text(fields["SC"]), s + 1))
    lines.append(("DEPTHS IN METRES", s))
    if fields.get("SD"):
        lines.append(("REDUCED TO " + fields["SD"], s))
    lines.append(("PROJECTION: " + geo.projection_name, s))
    if fields.get("GD"):
        lines.append(("HORIZONTAL DATUM: " + fields["GD"], s))
    if fields.get("NU"):
        lines.append(("CHART " + fields["NU"], s))
    masks = [text_bitmap(t, sc) for t, sc in lines]
    gap = 3 * s
    width = max(m.shape[1] for m in masks) + 12 * s
    height = sum(m.shape[0] + gap for m in masks) + 10 * s
    tx, ty = (float(v) for v in to_px(*design["title_at"]))
    left, top = int(round(tx - width / 2)), int(round(ty - height / 2))
    # Kept clear of the border and its labels.
    clear = 8 * s + 4 * s + 8 * s + 12 * s
    tl = [int(v) for v in geo.pixel(geo.lat_max, geo.lon_min)]
    br = [int(v) for v in geo.pixel(geo.lat_min, geo.lon_max)]
    left = min(max(left, tl[0] + clear), br[0] - clear - width)
    top = min(max(top, tl[1] + clear), br[1] - clear - height)
    title_box = (left, top, width, height)
    frame = np.ones((height, width), dtype=bool)
    c.stamp(frame, left, top, INK)
    c.stamp(np.ones((height - 2 * s, width - 2 * s), dtype=bool), left + s, top + s, PAPER)
    y = top + 6 * s
    for m in masks:
        c.stamp(m, left + (width - m.shape[1]) // 2, y, INK)
        y += m.shape[0] + gap

    # Soundings: candidates spread evenly over the chart in latitude and longitude,
    # kept where the water is clear around them; depths below 21 m in metres and
    # decimetres (the decimetres smaller and lower), deeper ones in whole metres, both
    # cut down rather than rounded, as charts give depths.
    water = (PAPER, SHOAL, SHALLOW)
    spacing = design["sounding_spacing"]
    rows = int(geo.height / spacing)
    cols = int(geo.width / spacing)
    jitter = rng.uniform(-0.35, 0.35, size=(rows, cols, 2))
    placed = 0
    for j in range(rows):
        for i in range(cols):
            fx = (i + 0.5 + jitter[j, i, 0]) / cols
            fy = (j + 0.5 + jitter[j, i, 1]) / rows
            slat = geo.lat_max + (geo.lat_min - geo.lat_max) * fy
            slon = geo.lon_min + (geo.lon_max - geo.lon_min) * fx
            x, y = (float(v) for v in geo.pixel(slat, slon))
            px, py = int(x), int(y)
            if not (0 <= px < geo.width and 0 <= py < geo.height) or h[py, px] >= -0.3:
                continue
            depth = -h[py, px]
            if depth < 21:
                whole, tenth = int(depth), int((depth - int(depth)) * 10)
                big = text_bitmap(str(whole), s)
                small = text_bitmap(str(tenth), max(s - 1, 1)) if tenth else np.zeros((0, 0), dtype=bool)
                mask = np.zeros((big.shape[0] + small.shape[0] // 2, big.shape[1] + small.shape[1] + (s if tenth else 0)),
                                dtype=bool)
                mask[:big.shape[0], :big.shape[1]] = big
                if tenth:
                    mask[mask.shape[0] - small.shape[0]:, big.shape[1] + s:] = small
            else:
                mask = text_bitmap(str(int(depth)), s)
            # The whole metres stand centred on the sounding's position.
            left = int(round(x - (big.shape[1] if depth < 21 else mask.shape[1]) / 2))
            top = int(round(y - 3.5 * s))
            pad = 3 * s
            if not c.box_clear(left - pad, top - pad, mask.shape[1] + 2 * pad, mask.shape[0] + 2 * pad, water):
                continue
            if (face[max(top - pad, 0):top + mask.shape[0] + pad, max(left - pad, 0):left + mask.shape[1] + pad]
                    < 40 * s).any():
                continue
            c.stamp(mask, left, top, INK, margin=s)
            placed += 1

    # Border: neatline, minute bars, tick marks, labels; outside it, bare paper.
    frame_w, gap_w, band = 2 * s, 2 * s, 8 * s
    tick = 4 * s
    bar_in = frame_w + gap_w
    bar_out = bar_in + band
    img[face < 0] = PAPER
    sides = [(inside_top, lon, geo.lon_min), (inside_bottom, lon, geo.lon_min),
             (inside_left, lat, geo.lat_min), (inside_right, lat, geo.lat_min)]
    in_face = face >= 0
    for dist, along_field, origin in sides:
        edge = in_face & (dist < bar_out + tick)
        img[edge & (dist < bar_out)] = PAPER
        bar = np.floor((along_field - origin) / (design["bar_step"] / 60) + 1e-9).astype(np.int64) % 2 == 1
        img[edge & (dist >= bar_in) & (dist < bar_out) & bar] = INK
    for dist, along_field, origin in sides:
        img[in_face & (dist < frame_w)] = INK
        img[in_face & (((dist >= bar_in) & (dist < bar_in + 1)) | ((dist >= bar_out - 1) & (dist < bar_out)))
            & (face >= bar_in)] = INK

    def marks(field, minutes):
        step = minutes / 60
        return level_lines(field, np.arange(math.floor(field.min() / step), math.ceil(field.max() / step) + 1) * step)

    for dist, along_field, origin in sides:
        ticks = marks(along_field, design["tick_step"])
        img[ticks & (dist >= bar_out) & (dist < bar_out + tick) & (face >= bar_out)] = INK
        bars = marks(along_field, design["bar_step"])
        img[bars & (dist >= bar_out) & (dist < bar_out + 2 * tick) & (face >= bar_out)] = INK
    c.taken[face < bar_out + 2 * tick] = True
    label = max(s - 1, 2) + (1 if s >= 3 else 0)
    off = bar_out + 2 * tick + 3 * s
    for L in lat_lines:
        for lon_edge, anchor, sign in ((geo.lon_min, "lb", 1), (geo.lon_max, "rb", -1)):
            x, y = (float(v) for v in geo.pixel(L, lon_edge))
            c.text(dms(L, "N", "S"), x + sign * off, y - 2 * s, label, INK, anchor, avoid=title_box)
    for L in lon_lines:
        for lat_edge, anchor, sign in ((geo.lat_max, "lt", 1), (geo.lat_min, "lb", -1)):
            x, y = (float(v) for v in geo.pixel(lat_edge, L))
            c.text(longitude_text(L), x + 2 * s, y + sign * off, label, INK, anchor, avoid=title_box)

    # The margin outside the neatline, where the scan has one.
    tl = [float(v) for v in geo.pixel(geo.lat_max, geo.lon_min)]
    br = [float(v) for v in geo.pixel(geo.lat_min, geo.lon_max)]
    if tl[1] > 12 * s:
        c.text(fields.get("NU", ""), tl[0], tl[1] / 2, 2 * s, INK, "lm")
        c.text(scale_text(fields["SC"]) if fields.get("SC") else "", br[0], tl[1] / 2, s + 1, INK, "rm")
    if geo.height - br[1] > 12 * s:
        c.text(longitude_text(geo.lon_min) + " TO " + longitude_text(geo.lon_max), tl[0],
               (br[1] + geo.height) / 2, s, INK, "lm")
        c.text(fields.get("NA", "").upper(), br[0], (br[1] + geo.height) / 2, s, INK, "rm")
    return geo, img, placed


def write_scan(path, img):
    height, width = img.shape
    driver = gdal.GetDriverByName("GTiff")
    ds = driver.Create(path, width, height, 1, gdal.GDT_Byte,
                       options=["COMPRESS=DEFLATE", "ZLEVEL=12", "BLOCKYSIZE=256"])
    band = ds.GetRasterBand(1)
    table = gdal.ColorTable()
    for i, rgb in enumerate(PALETTE):
        table.SetColorEntry(i, rgb + (255,))
    band.SetRasterColorTable(table)
    band.SetRasterColorInterpretation(gdal.GCI_PaletteIndex)
    band.WriteArray(img)
    ds = None


# For the preview only: of each block, the colour that matters most, so that thin lines
# survive the scaling down.
PREVIEW_RANK = [0, 9, 1, 2, 3, 4, 8, 7, 5, 6]  # rank of each palette index


def write_preview(path, img, factor):
    h, w = img.shape[0] // factor * factor, img.shape[1] // factor * factor
    rank = np.array(PREVIEW_RANK, dtype=np.uint8)
    order = np.argsort(PREVIEW_RANK).astype(np.uint8)
    blocks = rank[img[:h, :w]].reshape(h // factor, factor, w // factor, factor)
    small = order[blocks.max(axis=(1, 3))]
    mem = gdal.GetDriverByName("MEM").Create("", small.shape[1], small.shape[0], 1, gdal.GDT_Byte)
    table = gdal.ColorTable()
    for i, rgb in enumerate(PALETTE):
        table.SetColorEntry(i, rgb + (255,))
    mem.GetRasterBand(1).SetRasterColorTable(table)
    mem.GetRasterBand(1).WriteArray(small)
    gdal.GetDriverByName("PNG").CreateCopy(path, mem)


def main(argv):
    preview = "--preview" in argv
    args = [a for a in argv if a != "--preview"]
    here = os.path.dirname(os.path.abspath(__file__))
    calibration = args[0] if args else os.path.join(here, "CHARTCAL.DIR")
    folder = args[1] if len(args) > 1 else here
    for name, fields, more in read_calibration(calibration):
        design = DESIGNS.get(name)
        if design is None:
            print("%s: no scan drawn" % name)
            continue
        geo, img, placed = draw_chart(name, fields, more, design)
        path = os.path.join(folder, name)
        write_scan(path, img)
        print("%s: %d x %d, %s, map of order %d from %d points (largest residual %.3f px; affine %.3f px), "
              "%d soundings" % (name, geo.width, geo.height, geo.projection_name, geo.order, len(geo.residual),
                                geo.residual.max(), geo.affine_residual.max(), placed))
        if preview:
            base = os.path.join(folder, "preview", os.path.splitext(name)[0])
            os.makedirs(os.path.dirname(base), exist_ok=True)
            write_preview(base + "_small.png", img, 3)
            write_preview(base + "_full.png", img, 1)


if __name__ == "__main__":
    main(sys.argv[1:])
