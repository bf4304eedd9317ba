#!/usr/bin/env python3
"""Proves that chart readers nobody here wrote read the charts hdrmill makes as the
calibration means them. Makes the charts of each calibration given with `hdrmill -k`,
then reads every chart made with the tests' own reader (by OpenCPN's rules) and with
GDAL: the raster size, one GCP per REF record at its pixel and position, the
projection and its central meridian, the cutline (the PLY records), the colour table
equal to RGB/ and of 127 entries at most, the night palette under
BSB_PALETTE=NGT, and, where the scan has 127 colours or fewer, every pixel. Every chart
the run says it creates must be there.

    charts_test.py HDRMILL KAP_DUMP CHARTCAL.DIR...

Exits 77 (a skip for CTest) when GDAL's tools are missing, except in CI or under
HDRMILL_STRICT (the full test command)."""

import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)


def run(*command, **options):
    return subprocess.run(command, capture_output=True, check=True, **options).stdout


def header_of(kap):
    """The chart's header records, continuation lines joined with ','."""
    records = []
    for line in kap[:kap.index(b"\x1a")].decode("latin-1").split("\r\n"):
        if line.startswith(" "):
            records[-1] += "," + line.lstrip(" ")
        elif line:
            records.append(line)
    return records


def palette(records, tag):
    return [[int(v) for v in r[len(tag):].split(",")[1:4]] for r in records if r.startswith(tag)]


def longitude_latitude(wkt, gcps):
    """GDAL gives projected GCPs for projected charts: map them back with its own tool."""
    if "PROJCRS" not in wkt:
        return [[g["x"], g["y"]] for g in gcps]
    text = "".join(f"{g['x']!r} {g['y']!r}\n" for g in gcps)
    out = run("gdaltransform", "-s_srs", wkt, "-t_srs", "+proj=longlat +datum=WGS84 +no_defs", "-output_xy",
              input=text.encode()).decode()
    return [[float(v) for v in line.split()] for line in out.splitlines() if line.strip()]


def pixels(path, expand):
    """The colours of an image as r,g,b bytes, through GDAL's own decoding."""
    with tempfile.TemporaryDirectory() as work:
        out = os.path.join(work, "p.ppm")
        run("gdal_translate", "-q", "-of", "PNM", *(["-expand", "rgb"] if expand else []), path, out)
        data = open(out, "rb").read()
    fields = data.split(maxsplit=4)
    return fields[4] if fields[0] == b"P6" and fields[3] == b"255" else None


def check_pixels(name, kap_path, scan_path):
    info = json.loads(run("gdalinfo", "-json", scan_path))
    bands = info["bands"]
    paletted = "colorTable" in bands[0]
    if not (paletted or (len(bands) == 3 and all(b["type"] == "Byte" for b in bands))):
        return
    source = pixels(scan_path, paletted)
    if source is None or len({source[i:i + 3] for i in range(0, len(source), 3)}) > 127:
        return
    check(pixels(kap_path, True) == source, f"{name}: pixels differ from those of its scan {scan_path}")


def check_chart(name, kap_path, scan_path):
    kap = open(kap_path, "rb").read()
    records = header_of(kap)
    dump = subprocess.run([KAP_DUMP, kap_path], capture_output=True, text=True)
    check(dump.returncode == 0, f"{name}: the tests' reader refuses it: {dump.stdout.strip()}")
    info = json.loads(run("gdalinfo", "-json", kap_path))
    raster = next(r for r in records if r.startswith("BSB/")).split("RA=")[1].split(",")[:2]
    check(info["size"] == [int(v) for v in raster], f"{name}: GDAL size {info['size']}, RA={raster}")
    references = [[float(v) for v in r[4:].split(",")[1:]] for r in records if r.startswith("REF/")]
    gcps = info.get("gcps", {}).get("gcpList", [])
    check(len(gcps) == len(references), f"{name}: {len(gcps)} GCPs for {len(references)} REF records")
    places = longitude_latitude(info.get("gcps", {}).get("coordinateSystem", {}).get("wkt", ""), gcps)
    for gcp, place, (x, y, latitude, longitude) in zip(gcps, places, references):
        check(gcp["pixel"] == x and gcp["line"] == y and abs(place[1] - latitude) < 1e-6 and
              abs((place[0] - longitude + 180) % 360 - 180) < 1e-6, f"{name}: GCP {gcp} for REF {x},{y}")
    wkt = info.get("gcps", {}).get("coordinateSystem", {}).get("wkt", "")
    knp = next(r for r in records if r.startswith("KNP/"))
    if ",PR=MERCATOR," in knp:
        check('METHOD["Mercator' in wkt, f"{name}: not Mercator: {wkt[:200]}")
    elif ",PR=TRANSVERSE MERCATOR," in knp:
        meridian = knp.split(",PP=")[1].split(",")[0]
        check('METHOD["Transverse Mercator"' in wkt and f'"Longitude of natural origin",{meridian},' in wkt,
              f"{name}: not transverse Mercator about {meridian}: {wkt[:300]}")
    border = [[float(v) for v in r[4:].split(",")[1:]] for r in records if r.startswith("PLY/")]
    cutline = info.get("metadata", {}).get("", {}).get("BSB_CUTLINE", "")
    corners = [[float(v) for v in pair.split()] for pair in cutline[len("POLYGON (("):-2].split(",") if pair]
    check(len(corners) == len(border) and all(abs(c[0] - lon) < 1e-6 and abs(c[1] - lat) < 1e-6
                                              for c, (lat, lon) in zip(corners, border)),
          f"{name}: cutline {cutline!r} for PLY {border}")
    table = [entry[:3] for entry in info["bands"][0]["colorTable"]["entries"]]
    check(table == palette(records, "RGB/"), f"{name}: GDAL's colour table is not RGB/")
    check(len(table) <= 127, f"{name}: {len(table)} colours, more than a chart holds")
    night = json.loads(run("gdalinfo", "-json", "--config", "BSB_PALETTE", "NGT", kap_path))
    check([e[:3] for e in night["bands"][0]["colorTable"]["entries"]] == palette(records, "NGT/"),
          f"{name}: BSB_PALETTE=NGT does not give NGT/")
    check(len(palette(records, "NGT/")) == len(table) == len(palette(records, "DSK/")),
          f"{name}: palettes of different lengths")
    check_pixels(name, kap_path, scan_path)
    print(f"{name}: {info['size'][0]}x{info['size'][1]}, {len(gcps)} GCPs, {len(table)} colours: as made")


def charts_made(calibration, work):
    """Runs hdrmill -k; gives (chart file, scan) for each chart it says it created."""
    result = subprocess.run([HDRMILL, "-k", calibration], cwd=work, capture_output=True, text=True)
    made = re.findall(r"^Create (.+)$", result.stdout, re.M)
    check(made, f"{calibration}: no chart made: {result.stdout}")
    charts = []
    folder = os.path.dirname(calibration)
    for name in made:
        if not os.path.isfile(os.path.join(work, name)):
            check(False, f"{name}: created but not written: {result.stdout}")
            continue
        section = section_of(calibration, name)
        charts.append((os.path.join(work, name), os.path.join(folder, section.replace("\\", "/"))))
    return charts


def section_of(calibration, chart_name):
    """The section whose FN, or base name and .kap, is `chart_name`."""
    section = None
    for line in open(calibration, encoding="latin-1").read().replace("\r", "").split("\n"):
        if line.startswith("["):
            section = line.strip()[1:-1]
            if section.rsplit(".", 1)[0] + ".kap" == chart_name:
                return section
        elif line == "FN=" + chart_name:
            return section
    raise SystemExit(f"no section for {chart_name}")


def main():
    global HDRMILL, KAP_DUMP
    HDRMILL, KAP_DUMP = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    if not all(shutil.which(tool) for tool in ("gdalinfo", "gdal_translate", "gdaltransform")):
        if os.environ.get("CI") or os.environ.get("HDRMILL_STRICT"):
            print("FAIL: GDAL's tools not found, and the full test run needs them (Debian package gdal-bin)")
            return 1
        print("SKIPPED: GDAL's tools not found; install gdal-bin to read the charts with GDAL")
        return 77
    for calibration in map(os.path.abspath, sys.argv[3:]):
        with tempfile.TemporaryDirectory() as work:
            for kap_path, scan_path in charts_made(calibration, work):
                check_chart(os.path.basename(kap_path), kap_path, scan_path)
    for failure in failures:
        print("FAIL: " + failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
