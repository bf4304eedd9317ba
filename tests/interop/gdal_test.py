#!/usr/bin/env python3
"""Proves that a chart reader nobody here wrote reads our headers as the calibration
file means them. Converts examples/CHARTCAL.DIR with the real binary, wraps each header
around a blank raster as a KAP file, and asks GDAL (gdalinfo -json) for the raster
size, the ground control points, the projection and the cutline.

    gdal_test.py HDRMILL CHARTCAL.DIR

Exits 77 (a skip for CTest) with a message when gdalinfo is missing, except in CI or under HDRMILL_STRICT (the full test command)."""

import json
import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import kap  # noqa: E402

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)


def close(a, b):
    return abs(a - b) <= 1e-6


def calibration_charts(path):
    """The charts of a well-formed calibration file: section name and first non-empty
    value of each key, continuation lines joined."""
    charts = []
    lines = open(path, "rb").read().replace(b"\r", b"").decode("latin-1").split("\n")
    for line in lines:
        if not line.strip() or line.startswith(";"):
            continue
        if line.startswith("["):
            charts.append({"section": line.strip()[1:-1], "fields": [], "keys": {}})
        elif line.startswith(" "):
            charts[-1]["fields"][-1] += "\n" + line.strip()
        else:
            charts[-1]["fields"].append(line.strip())
    for chart in charts:
        for field in chart["fields"]:
            key, _, value = field.partition("=")
            if value and key not in chart["keys"]:
                chart["keys"][key] = value
    return charts


def numbered(keys, letter):
    points = []
    while (letter + str(len(points) + 1)) in keys:
        points.append([float(v) for v in keys[letter + str(len(points) + 1)].split(",")])
    return points


def normalised(longitude):
    return longitude - 360.0 if longitude > 180.0 else longitude


def to_longitude_latitude(wkt, gcps):
    """GDAL gives projected GCPs for projected charts: map them back with its own tool."""
    points = "".join("%r %r\n" % (g["x"], g["y"]) for g in gcps)
    out = subprocess.run(["gdaltransform", "-s_srs", wkt, "-t_srs", "+proj=longlat +datum=WGS84 +no_defs",
                          "-output_xy"], input=points, capture_output=True, text=True, check=True).stdout
    return [[float(v) for v in line.split()] for line in out.splitlines() if line.strip()]


def check_chart(chart, kap_path):
    name, keys = chart["section"], chart["keys"]
    result = subprocess.run(["gdalinfo", "-json", kap_path], capture_output=True, text=True)
    if "WI" not in keys or "HE" not in keys:
        # Without a raster size a reader must refuse the chart rather than guess one.
        check(result.returncode != 0, "%s: GDAL opened a chart without RA" % name)
        print("%s: no raster size; GDAL refuses it, as it should" % name)
        return
    if result.returncode != 0:
        failures.append("%s: GDAL could not open it: %s" % (name, result.stderr.strip()))
        return
    info = json.loads(result.stdout)
    check(info["size"] == [int(keys["WI"]), int(keys["HE"])], "%s: size %s" % (name, info["size"]))

    references = numbered(keys, "C")
    gcps = info.get("gcps", {}).get("gcpList", [])
    wkt = info.get("gcps", {}).get("coordinateSystem", {}).get("wkt", "")
    check(len(gcps) == len(references), "%s: %d GCPs for %d points" % (name, len(gcps), len(references)))
    if gcps and len(gcps) == len(references):
        places = to_longitude_latitude(wkt, gcps) if "PROJCRS" in wkt else [[g["x"], g["y"]] for g in gcps]
        for n, (gcp, place, point) in enumerate(zip(gcps, places, references), 1):
            x, y, latitude, longitude = point
            check(gcp["pixel"] == int(x) and gcp["line"] == int(y), "%s: GCP %d at pixel %s, line %s"
                  % (name, n, gcp["pixel"], gcp["line"]))
            check(close(place[1], latitude) and close(normalised(place[0]), normalised(longitude)),
                  "%s: GCP %d at %s, expected latitude %s longitude %s" % (name, n, place, latitude, longitude))

    projection = keys.get("PR")
    if projection == "1":
        check('METHOD["Mercator' in wkt, "%s: not Mercator: %s" % (name, wkt[:200]))
    elif projection == "2":
        meridian = keys.get("PP", keys.get("LON0"))
        check('METHOD["Transverse Mercator"' in wkt, "%s: not transverse Mercator" % name)
        check('PARAMETER["Longitude of natural origin",%s,' % meridian in wkt,
              "%s: central meridian is not %s" % (name, meridian))

    border = numbered(keys, "B")
    cutline = info.get("metadata", {}).get("", {}).get("BSB_CUTLINE", "")
    corners = [[float(v) for v in pair.split()] for pair in cutline[len("POLYGON (("):-2].split(",") if pair]
    check(cutline.startswith("POLYGON ((") and len(corners) == len(border) and
          all(close(c[0], normalised(lon)) and close(c[1], lat) for c, (lat, lon) in zip(corners, border)),
          "%s: cutline %r for border points %s" % (name, cutline, border))
    print("%s: %dx%d, %d GCPs, %s, %d-point cutline: as calibrated"
          % (name, info["size"][0], info["size"][1], len(gcps), keys.get("GD", "no datum"), len(border)))


def main():
    hdrmill, calibration = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    if shutil.which("gdalinfo") is None or shutil.which("gdaltransform") is None:
        if os.environ.get("CI") or os.environ.get("HDRMILL_STRICT"):
            print("FAIL: gdalinfo not found, and the full test run needs it (Debian package gdal-bin)")
            return 1
        print("SKIPPED: gdalinfo not found; install gdal-bin to check headers against GDAL")
        return 77
    with tempfile.TemporaryDirectory() as work:
        subprocess.run([hdrmill, calibration], cwd=work, check=True, stdout=subprocess.DEVNULL)
        charts = calibration_charts(calibration)
        check(len(charts) > 0, "no chart in %s" % calibration)
        for chart in charts:
            base = chart["section"].rsplit(".", 1)[0]
            header = open(os.path.join(work, base + ".hdr"), "rb").read()
            keys = chart["keys"]
            kap_path = os.path.join(work, base + ".KAP")
            with open(kap_path, "wb") as out:
                out.write(kap.kap_bytes(header, int(keys.get("WI", 1)), int(keys.get("HE", 1))))
            check_chart(chart, kap_path)
    for failure in failures:
        print("FAIL: " + failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
