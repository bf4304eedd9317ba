#!/usr/bin/env python3
"""The calibration check against PROJ: calibrations made with GDAL's gdaltransform.

    check_accuracy_test.py HDRMILL

Charts are laid out on the projected plane (Mercator on WGS84, transverse Mercator
about a central meridian), each pixel's position is computed by gdaltransform, and
`hdrmill -c` must then say the points agree within 1 pixel; with up to 2 pixels of
clicking noise it must find no error (four well-spread points anywhere, and 10,000
points in one scan, included); and each planted slip must be found and named
with its point, and no other point blamed. Skips with exit 77 where gdaltransform is
missing, except in CI or under HDRMILL_STRICT (the full test command), where that is
a failure.
"""
import math
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile

HDRMILL = os.path.abspath(sys.argv[1])
GROUND_PER_SCALE = 0.0001  # metres of ground per pixel per unit of scale (254 dpi)


def transform(points, source, target):
    """gdaltransform on (a, b) pairs; returns (a, b) pairs."""
    text = "".join(f"{a!r} {b!r}\n" for a, b in points)
    out = subprocess.run(["gdaltransform", "-output_xy", "-s_srs", source, "-t_srs", target],
                         input=text, capture_output=True, text=True, check=True).stdout
    return [tuple(float(v) for v in line.split()[:2]) for line in out.splitlines() if line.strip()]


class Chart:
    """A chart: its projection, size, scale, centre and reference pixels."""

    def __init__(self, name, proj, width, height, scale, lat, lon, central_meridian=None, points=9, corners=False,
                 spread=None, scattered=False):
        self.name, self.width, self.height, self.scale = name, width, height, scale
        self.central_meridian = central_meridian
        if central_meridian is None:
            self.srs = "+proj=merc +datum=WGS84 +units=m +no_defs"
        else:
            self.srs = f"+proj=tmerc +lon_0={central_meridian!r} +k=1 +datum=WGS84 +units=m +no_defs"
        self.pr = proj
        ground = scale * GROUND_PER_SCALE
        # The chart's centre on the plane, near enough: it needs not be exact, since
        # every position of the chart is computed from the plane by PROJ.
        radius = 6378137.0
        if central_meridian is None:
            ce, cn = radius * math.radians(lon), radius * math.log(math.tan(math.pi / 4 + math.radians(lat) / 2))
        else:
            ce = radius * math.radians(lon - central_meridian) * math.cos(math.radians(lat))
            cn = radius * math.radians(lat)
        # The plane is true to the ground at the centre: Mercator stretches by 1/cos.
        k = 1.0 / math.cos(math.radians(lat)) if central_meridian is None else 1.0
        self.metres = ground * k
        self.ground = ground
        self.ce, self.cn = ce, cn
        rng = random.Random(name)
        grid = int(math.ceil(math.sqrt(points)))
        self.pixels = []
        for i in range(points):
            gx, gy = i % grid, i // grid
            x = int((gx + 0.5) / grid * width + rng.uniform(-0.2, 0.2) * width / grid)
            y = int((gy + 0.5) / grid * height + rng.uniform(-0.2, 0.2) * height / grid)
            self.pixels.append((min(max(x, 0), width), min(max(y, 0), height)))
        if corners:
            self.pixels = [(0, 0), (width, 0), (width, height), (0, height)]
        if scattered:
            # Distinct pixels anywhere in the scan: many closer together than the tolerance.
            self.pixels = [divmod(i, height + 1) for i in rng.sample(range((width + 1) * (height + 1)), points)]
        if spread:
            # Points anywhere, at least `spread` pixels apart: some nearly on a line, some
            # far from the rest, as people click them.
            while True:
                self.pixels = [(rng.randrange(0, width + 1), rng.randrange(0, height + 1)) for _ in range(points)]
                if all(math.dist(a, b) >= spread for i, a in enumerate(self.pixels) for b in self.pixels[:i]):
                    break

    def plane(self, noise):
        """Where the reference points, clicked with `noise`, and the corners lie on the plane."""
        rng = random.Random(self.name + "noise")
        clicked = [(x + rng.uniform(-noise, noise) / math.sqrt(2), y + rng.uniform(-noise, noise) / math.sqrt(2))
                   for x, y in self.pixels]
        corners = [(0, 0), (self.width, 0), (self.width, self.height), (0, self.height)]
        return [(self.ce + (x - self.width / 2) * self.metres, self.cn - (y - self.height / 2) * self.metres)
                for x, y in clicked + corners]

    def lines(self, positions, slips=()):
        """The chart's calibration lines from the (lat, lon) of its plane points; `slips`
        maps a point index to a slip name."""
        out = [f"[{self.name}.tif]", f"FN={self.name}.KAP", f"NA={self.name}", f"WI={self.width}",
               f"HE={self.height}", f"SC={self.scale}", f"PR={self.pr}", f"DX={self.ground!r}",
               f"DY={self.ground!r}"]
        if self.central_meridian is not None:
            out.append(f"LON0={self.central_meridian!r}")
        for i, ((x, y), (lat, lon)) in enumerate(zip(self.pixels, positions)):
            slip = dict(slips).get(i)
            if slip == "swap":
                lat, lon = lon, lat
            elif slip == "latitude sign":
                lat = -lat
            elif slip == "longitude sign":
                lon = -lon
            elif slip == "xy":
                x, y = y, x
            elif slip == "digit":
                lat += 0.01
            out.append(f"C{i + 1}={x},{y},{lat:.9f},{lon:.9f}")
        for i, (lat, lon) in enumerate(positions[len(self.pixels):]):
            out.append(f"B{i + 1}={lat:.9f},{lon:.9f}")
        return out


def calibrations(charts, noise=0.0, slips=None):
    """The calibration lines of all `charts`, with one gdaltransform run per projection;
    `slips` maps a chart's name to its slips."""
    placed = {}
    for srs in {chart.srs for chart in charts}:
        group = [chart for chart in charts if chart.srs == srs]
        planes = [chart.plane(noise) for chart in group]
        positions = [(lat, lon) for lon, lat in transform([p for plane in planes for p in plane], srs, "EPSG:4326")]
        for chart, plane in zip(group, planes):
            placed[chart.name], positions = positions[:len(plane)], positions[len(plane):]
    slips = slips or {}
    return [line for chart in charts for line in chart.lines(placed[chart.name], slips.get(chart.name, {}).items())]


SLIP_WORDS = {
    "swap": "latitude and longitude look swapped",
    "latitude sign": "the latitude looks to have lost its sign",
    "longitude sign": "the longitude looks to have lost its sign",
    "xy": "x and y look swapped",
    "digit": None,
}


def check(lines, tolerance=None):
    work = tempfile.mkdtemp()
    try:
        path = os.path.join(work, "CHARTCAL.DIR")
        with open(path, "w", newline="\r\n") as f:
            f.write("\n".join(lines) + "\n")
        options = ["-t", tolerance] if tolerance else []
        result = subprocess.run([HDRMILL, "-c", *options, path], capture_output=True, text=True, cwd=work)
        if os.listdir(work) != ["CHARTCAL.DIR"]:
            raise SystemExit(f"FAIL: -c created files: {os.listdir(work)}")
        return result.stdout.splitlines()
    finally:
        shutil.rmtree(work)


def main():
    if not shutil.which("gdaltransform"):
        if os.environ.get("CI") or os.environ.get("HDRMILL_STRICT"):
            print("FAIL: gdaltransform not found, and the full test run needs it (Debian package gdal-bin)")
            return 1
        print("SKIPPED: gdaltransform not found")
        return 77
    failures = []
    charts = []
    # Mercator: scales 1:5,000 to 1:1,000,000, up to 10,000 pixels square, 80S to 80N,
    # across the 180th meridian included.
    for scale in (5000, 50000, 1000000):
        for width, height in ((2000, 1500), (10000, 10000)):
            for lat, lon in ((-76.0, 20.0), (-45.5, -70.3), (0.2, 100.0), (48.4, -4.5), (75.0, 179.9)):
                extent = height * scale * GROUND_PER_SCALE / 111000.0 / 2
                if abs(lat) + extent > 80.0:
                    lat = math.copysign(80.0 - extent, lat)
                charts.append(Chart(f"M{scale}_{width}_{int(lat)}_{int(lon)}", 1, width, height, scale, lat, lon))
    # Transverse Mercator within 3 degrees of its meridian, 1:100,000 and larger.
    for scale in (10000, 100000):
        for width, height in ((3000, 2000), (10000, 10000)):
            for lat, offset in ((48.3, 2.5), (-33.9, -2.6), (60.0, 0.0)):
                charts.append(Chart(f"T{scale}_{width}_{int(lat)}_{offset}", 2, width, height, scale, lat,
                                    -4.5 + offset, central_meridian=-4.5))

    # The calibration people make most: a point in each corner.
    for scale, lat, lon in ((5000, 48.4, -4.5), (50000, -36.8, 174.8), (1000000, 60.0, 179.9)):
        for width, height in ((2000, 1500), (10000, 10000)):
            charts.append(Chart(f"K{scale}_{width}_{int(lat)}", 1, width, height, scale, lat, lon, corners=True))
    charts.append(Chart("K_tm_corners", 2, 4000, 3000, 50000, 48.3, -2.0, central_meridian=-4.5, corners=True))

    # Exact and noisy calibrations.
    worst = {1: 0.0, 2: 0.0}
    for line in check(calibrations(charts), "1"):
        m = re.match(r"(\S+): ok: (\d+) reference points agree within ([0-9.]+) pixels$", line)
        if m:
            proj = 1 if m.group(1).startswith("M") else 2
            worst[proj] = max(worst[proj], float(m.group(3)))
            if float(m.group(3)) > 1.0:
                failures.append(f"exact: {line}")
        elif not line.endswith(f"{len(charts)} charts checked: {len(charts)} ok, 0 with warnings, 0 with errors"):
            failures.append(f"exact: {line}")
    for line in check(calibrations(charts, noise=2.0)):
        if ": error: " in line:
            failures.append(f"2 pixels of noise: {line}")
    # Four points anywhere, well spread: where the others place a point poorly, their
    # own clicking noise is many pixels at it, and must be no error (a point the others
    # hardly check is a warning).
    spread = [Chart(f"F{n}", 1 + n % 2, 4000, 3000, 50000, 48.4, -4.5 + (n % 2) * 1.5,
                    central_meridian=-4.5 if n % 2 else None, points=4, spread=200) for n in range(80)]
    for tolerance, noise in (("1", 0.0), (None, 2.0)):
        for line in check(calibrations(spread, noise=noise), tolerance):
            if ": error: " in line:
                failures.append(f"four points, {noise} pixels of noise: {line}")
    # 10,000 points in one scan, many of them closer together than the tolerance: their
    # clicking noise is no error, neither of a point nor of a pair.
    many = Chart("N10000", 1, 4000, 3000, 50000, 48.4, -4.5, points=10000, scattered=True)
    for line in check(calibrations([many], noise=2.0)):
        if not re.match(r"N10000: ok: 10000 reference points agree within [0-9.]+ pixels$|1 charts checked: 1 ok", line):
            failures.append(f"10,000 points, 2 pixels of noise: {line}")

    # Planted slips, one chart each, away from the equator and the meridians so that a
    # lost sign really moves the point.
    slip_cases = []
    for number, slip in enumerate(SLIP_WORDS):
        for points in (4, 9):
            chart = Chart(f"S{number}_{points}", 1, 4000, 3000, 50000, 48.4 if number % 2 else -36.8,
                          -4.5 if number % 2 else 174.8, points=points)
            index = 1 if slip != "xy" else [i for i, (x, y) in enumerate(chart.pixels) if abs(x - y) > 1000][0]
            slip_cases.append((chart, {index: slip}))
    two = Chart("S_two_of_ten", 1, 4000, 3000, 50000, 48.4, -4.5, points=10)
    slip_cases.append((two, {2: "digit", 7: "swap"}))
    tm = Chart("S_tm_swap", 2, 4000, 3000, 50000, 48.4, -4.5 + 1.5, central_meridian=-4.5)
    slip_cases.append((tm, {4: "swap"}))
    # Each slip planted in an exact calibration and in one clicked with 2 pixels of noise:
    # the slipped point is named, and no good point with it.
    for noise in (0.0, 2.0):
        lines = calibrations([chart for chart, _ in slip_cases], noise=noise,
                             slips={chart.name: slips for chart, slips in slip_cases})
        output = check(lines)
        if os.environ.get("SHOW"):
            print("\n".join(output))
        for chart, slips in slip_cases:
            errors = [line for line in output if line.startswith(chart.name + ": error: ")]
            blamed = {int(m.group(1)) - 1 for line in errors if (m := re.match(r"\S+: error: C(\d+)\b", line))}
            if blamed != set(slips):
                failures.append(f"{chart.name}, noise {noise}: planted {slips}, blamed {sorted(blamed)}: {errors}")
                continue
            for index, slip in slips.items():
                line = next(l for l in errors if re.match(rf"{chart.name}: error: C{index + 1}\b", l))
                if SLIP_WORDS[slip] and SLIP_WORDS[slip] not in line:
                    failures.append(f"{chart.name}, noise {noise}: slip '{slip}' not named: {line}")
                if len(chart.pixels) == 4 and " pixels from where " in line and "the likeliest" not in line:
                    failures.append(f"{chart.name}, noise {noise}: not called the likeliest: {line}")

    print(f"{len(charts)} exact charts: worst agreement {worst[1]:.1f} pixels (Mercator), "
          f"{worst[2]:.1f} pixels (transverse Mercator); {len(slip_cases)} charts with slips")
    for failure in failures:
        print("FAIL:", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
