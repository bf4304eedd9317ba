#!/usr/bin/env python3
"""Makes tests/data/trust_charts.dir: calibrations computed exactly with PROJ
(gdaltransform), then spoiled the way people spoil them, one chart per slip.

    make_trust_charts.py > trust_charts.dir
"""
import math
import subprocess

METRES_PER_PIXEL_PER_SCALE = 0.0001  # 254 dpi scans


def positions(pixels, lat, lon, width, height, scale):
    """(lat, lon) of each pixel on a Mercator chart centred on lat, lon."""
    radius = 6378137.0
    ce = radius * math.radians(lon)
    cn = radius * math.log(math.tan(math.pi / 4 + math.radians(lat) / 2))
    metres = scale * METRES_PER_PIXEL_PER_SCALE / math.cos(math.radians(lat))
    text = "".join(f"{ce + (x - width / 2) * metres!r} {cn - (y - height / 2) * metres!r}\n" for x, y in pixels)
    out = subprocess.run(["gdaltransform", "-output_xy", "-s_srs", "+proj=merc +datum=WGS84 +units=m +no_defs",
                          "-t_srs", "EPSG:4326"], input=text, capture_output=True, text=True, check=True).stdout
    return [(float(b), float(a)) for a, b in (line.split()[:2] for line in out.splitlines())]


def chart(name, pixels, lat, lon, width=4000, height=3000, scale=25000, spoil=None, extra=()):
    """The calibration lines of one chart; `spoil` turns (i, x, y, lat, lon) into the written point."""
    places = positions(pixels, lat, lon, width, height, scale)
    lines = [f"[{name}.tif]", f"FN={name}.KAP", f"WI={width}", f"HE={height}", f"SC={scale}", "PR=1"]
    for i, ((x, y), (plat, plon)) in enumerate(zip(pixels, places)):
        x, y, plat, plon = spoil(i, x, y, plat, plon) if spoil else (x, y, plat, plon)
        lines.append(f"C{i + 1}={x},{y},{plat:.9f},{plon:.9f}")
    corners = positions([(0, 0), (width, 0), (width, height), (0, height)], lat, lon, width, height, scale)
    lines += [f"B{i + 1}={plat:.9f},{plon:.9f}" for i, (plat, plon) in enumerate(corners)]
    return lines + list(extra)


CORNERS = [(0, 0), (4000, 0), (4000, 3000), (0, 3000)]
SPREAD = [(400, 300), (2000, 350), (3600, 280), (420, 1500), (3550, 1560), (2050, 2700)]
CLUSTER = [(900, 800), (1150, 780), (1000, 1000), (880, 1120), (1180, 1090), (3800, 2850)]


def main():
    out = []
    out += chart("corners_slip", CORNERS, 48.4, -4.5,
                 spoil=lambda i, x, y, a, o: (x - 30, y - 22, a, o) if i == 2 else (x, y, a, o))
    out += chart("cluster_far", CLUSTER, 48.4, -4.5,
                 spoil=lambda i, x, y, a, o: (x, y, a + 0.07 / 60, o) if i == 5 else (x, y, a, o))
    out += chart("mirror_y_from_bottom", SPREAD, 48.4, -4.5, spoil=lambda i, x, y, a, o: (x, 3000 - y, a, o))
    out += chart("mirror_southern", SPREAD, -36.8, 174.8, spoil=lambda i, x, y, a, o: (x, y, -a, o))
    out += chart("mirror_western", SPREAD, 48.4, -4.5, spoil=lambda i, x, y, a, o: (x, y, a, -o))
    out += chart("mirror_xy", [(x, y // 2 + 500) for x, y in SPREAD], 48.4, -4.5, width=4000, height=4000,
                 spoil=lambda i, x, y, a, o: (y, x, a, o))
    gap = chart("gap", SPREAD, 48.4, -4.5)
    out += [line for line in gap if not line.startswith("C3=")]
    out += [line if not line.startswith("C3=") else "c3=" + line[3:] for line in chart("lower_case", SPREAD, 48.4, -4.5)]
    doubled = chart("doubled", SPREAD, 48.4, -4.5)
    c4 = next(line for line in doubled if line.startswith("C4="))
    out += doubled + ["C4=" + c4[3:].replace("420,1500", "460,1500", 1)]
    # The same mark typed twice with other rounding; two marks a pixel apart on one pixel.
    rounded = chart("rounded_twice", SPREAD + [(3000, 2000), (3001, 2000)], 48.4, -4.5,
                    spoil=lambda i, x, y, a, o: (3000 if i == 7 else x, y, round(a, 6) if i == 6 else a, o))
    c7 = next(line for line in rounded if line.startswith("C7="))
    out += rounded + ["C9=" + c7[3:]]
    out += chart("lost_sign_90E", SPREAD, 12.0, 90.0, scale=100000,
                 spoil=lambda i, x, y, a, o: (x, y, a, -o) if i == 0 else (x, y, a, o))
    out += chart("off_the_earth", SPREAD, 12.0, 90.0, scale=100000,
                 spoil=lambda i, x, y, a, o: (x, y, a, 1e17) if i == 0 else (x, y, a, o))
    out += chart("three_on_a_line", [(400, 300), (2000, 320), (3600, 340), (2100, 2700)], 48.4, -4.5)
    out += chart("three_nearly_on_a_line", [(400, 300), (2000, 370), (3600, 340), (2100, 2700)], 48.4, -4.5)
    out += chart("three_points", SPREAD[:3], 48.4, -4.5)
    print("\r\n".join(out), end="\r\n")


if __name__ == "__main__":
    main()
