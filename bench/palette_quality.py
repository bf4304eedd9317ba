#!/usr/bin/python3
# Runs with Debian's interpreter /usr/bin/python3: it has numpy and GDAL's osgeo
# bindings (the python3 first on PATH may have neither).
"""Side-by-side quality of the charts hdrmill makes from synthetic chart scans.

For each scan made by chart_scan.py (its clean printed picture is the reference) it
makes a chart three ways, each with `hdrmill -k` and a calibration with a point in
each corner:
  ours     - from the scan itself (LZW TIFF): hdrmill's own palette;
  pngquant - from `pngquant --nofs 127` (no dithering) of the scan's PNG;
  gdal     - from `rgb2pct.py -n 127` (GDAL's median cut) of the scan's TIFF;
(hdrmill keeps the 127 colours of the anchors exactly) and reads each chart back with
the tests' reader, kap_dump. It prints for each:
  colours  - palette entries of the chart;
  dE       - mean CIE76 delta E of the chart's pixels against the clean picture;
  black L* - mean L* of the chart's pixels over the clean picture's black ink;
  bytes    - the chart file's size;
  seconds  - wall time (ours: hdrmill -k from the scan, decoding included; anchors: the tool).

    bench/palette_quality.py --hdrmill build/release/hdrmill --kap-dump build/release/tests/kap_dump
"""

import argparse
import os
import subprocess
import sys
import time

import numpy as np
from osgeo import gdal

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import chart_scan  # noqa: E402

gdal.UseExceptions()

SCANS = [("harbour", 1), ("coast", 2), ("approach", 3), ("harbour", 4)]


def read_rgb(path):
    ds = gdal.Open(path)
    if ds.RasterCount >= 3:
        return np.dstack([ds.GetRasterBand(i + 1).ReadAsArray() for i in range(3)]).astype(np.uint8)
    band = ds.GetRasterBand(1)
    return read_indexed(path)[1][band.ReadAsArray()]


def read_indexed(path):
    """(indices, palette as N x 3 uint8) of a one-band paletted file."""
    ds = gdal.Open(path)
    band = ds.GetRasterBand(1)
    table = band.GetColorTable()
    palette = np.array([table.GetColorEntry(i)[:3] for i in range(table.GetCount())], dtype=np.uint8)
    return band.ReadAsArray(), palette


def to_lab(rgb):
    c = rgb.astype(np.float64) / 255
    linear = np.where(c <= 0.04045, c / 12.92, ((c + 0.055) / 1.055) ** 2.4)
    m = np.array([[0.4124564, 0.3575761, 0.1804375],
                  [0.2126729, 0.7151522, 0.0721750],
                  [0.0193339, 0.1191920, 0.9503041]])
    xyz = linear @ m.T / np.array([0.95047, 1.0, 1.08883])
    f = np.where(xyz > 216 / 24389, np.cbrt(xyz), xyz * 841 / 108 + 4 / 29)
    return np.stack([116 * f[..., 1] - 16, 500 * (f[..., 0] - f[..., 1]), 200 * (f[..., 1] - f[..., 2])], -1)


def measure(chart_ppm, clean_lab, black):
    ds = gdal.Open(chart_ppm)
    lab = to_lab(np.dstack([ds.GetRasterBand(i + 1).ReadAsArray() for i in range(3)]).astype(np.uint8))
    return dict(de=float(np.sqrt(((lab - clean_lab) ** 2).sum(-1)).mean()), black_l=float(lab[..., 0][black].mean()))


def make_chart(hdrmill, kap_dump, image, width, height, work):
    """The chart hdrmill makes of `image`: (seconds, colours, bytes, its pixels as PPM)."""
    folder, name = os.path.split(image)
    with open(os.path.join(folder, "CHARTCAL.DIR"), "w", newline="\r\n") as f:
        f.write(f"[{name}]\nFN=bench.KAP\nSC=25000\nPR=1\nC1=0,0,48.5,-4.5\nC2={width},0,48.5,-4.4\n"
                f"C3={width},{height},48.4,-4.4\nC4=0,{height},48.4,-4.5\nB1=48.5,-4.5\nB2=48.5,-4.4\n"
                f"B3=48.4,-4.4\nB4=48.4,-4.5\n")
    seconds, _ = run([hdrmill, "-k", os.path.join(folder, "CHARTCAL.DIR")], cwd=work)
    chart, ppm = os.path.join(work, "bench.KAP"), os.path.join(work, "bench.ppm")
    summary = subprocess.run([kap_dump, chart, ppm, "DAY"], check=True, capture_output=True, text=True).stdout
    return seconds, int(summary.split(", ")[1].split()[0]), os.path.getsize(chart), ppm


def run(command, cwd=None):
    start = time.perf_counter()
    result = subprocess.run(command, check=True, capture_output=True, text=True, cwd=cwd)
    return time.perf_counter() - start, result.stdout


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--hdrmill", required=True)
    parser.add_argument("--kap-dump", required=True, help="the tests' chart reader")
    parser.add_argument("--work", default="/tmp/palette_bench", help="folder for scans and charts")
    parser.add_argument("--size", default="2000x2000")
    args = parser.parse_args(argv)
    width, height = (int(v) for v in args.size.split("x"))
    os.makedirs(args.work, exist_ok=True)
    hdrmill, kap_dump = os.path.abspath(args.hdrmill), os.path.abspath(args.kap_dump)

    print(f"{'scan':<14} {'method':<9} {'colours':>7} {'dE':>6} {'black L*':>8} {'bytes':>9} {'x pngq':>6} "
          f"{'x gdal':>6} {'seconds':>8}")
    for kind, seed in SCANS:
        prefix = os.path.join(args.work, f"{kind}{seed}_{width}x{height}")
        if not os.path.exists(prefix + "_scan.tif"):
            chart_scan.make(width, height, kind, seed, prefix)
        clean = read_rgb(prefix + "_clean.png")
        clean_lab = to_lab(clean)
        black = np.all(clean == chart_scan.INK_RGB[chart_scan.BLACK], axis=-1)
        images = {"ours": (prefix + "_scan.tif", None)}
        seconds, _ = run(["pngquant", "--nofs", "--force", "--output", prefix + "_pngquant.png", "127",
                          prefix + "_scan.png"])
        images["pngquant"] = (prefix + "_pngquant.png", seconds)
        if os.path.exists(prefix + "_gdal.tif"):
            os.remove(prefix + "_gdal.tif")
        seconds, _ = run(["rgb2pct.py", "-n", "127", prefix + "_scan.tif", prefix + "_gdal.tif"])
        images["gdal"] = (prefix + "_gdal.tif", seconds)
        results = {}
        for method, (image, tool_seconds) in images.items():
            seconds, colours, size, ppm = make_chart(hdrmill, kap_dump, image, width, height, args.work)
            results[method] = dict(measure(ppm, clean_lab, black), colours=colours, bytes=size,
                                   seconds=tool_seconds if tool_seconds is not None else seconds)
        for method, r in results.items():
            print(f"{kind + str(seed):<14} {method:<9} {r['colours']:>7} {r['de']:>6.2f} {r['black_l']:>8.1f} "
                  f"{r['bytes']:>9} {r['bytes'] / results['pngquant']['bytes']:>6.2f} "
                  f"{r['bytes'] / results['gdal']['bytes']:>6.2f} {r['seconds']:>8.2f}", flush=True)
        ours, anchors = results["ours"], [results["pngquant"], results["gdal"]]
        met = [ours["de"] <= min(a["de"] for a in anchors),
               ours["black_l"] <= min(a["black_l"] for a in anchors) + 2,
               ours["bytes"] <= 0.4 * results["pngquant"]["bytes"],
               ours["bytes"] <= 0.85 * results["gdal"]["bytes"]]
        names = ["dE <= better anchor", "black L* <= darker anchor + 2", "bytes <= 0.4 pngquant",
                 "bytes <= 0.85 gdal"]
        print(f"{'':<14} goals: " + ", ".join(f"{n} {'met' if m else 'MISSED'}" for n, m in zip(names, met)))


if __name__ == "__main__":
    main(sys.argv[1:])
