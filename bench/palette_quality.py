#!/usr/bin/python3
# Runs with Debian's interpreter /usr/bin/python3: it has numpy and GDAL's osgeo
# bindings (the python3 first on PATH may have neither).
"""Side-by-side quality of the chart colour reduction on synthetic chart scans.

For each scan made by chart_scan.py (its clean printed picture is the reference) it
reduces the scan to at most 127 colours three ways:
  ours     - reduce_colours, through build/palette_harness (raw files in and out);
  pngquant - `pngquant --nofs 127` (no dithering) on the scan's PNG;
  gdal     - `rgb2pct.py -n 127` (median cut, GDAL's dithering) on the scan's TIFF;
and prints for each:
  colours  - palette entries used;
  dE       - mean CIE76 delta E of the reduced picture against the clean one;
  black L* - mean L* of the reduced picture over the clean picture's black ink;
  bytes    - the KAP raster: row numbers, runs and 0x00 row ends at the smallest
             depth d with 2^d > colours (no header, padding or index);
  seconds  - wall time of the run (ours: also the reduction alone, from the harness).

    bench/palette_quality.py --harness build/palette_harness --work /tmp/palette_bench
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


def kap_raster_bytes(indices, colours):
    """Bytes of the KAP rows: row number, runs, 0x00, at the smallest depth d with
    2^d > colours (palette index 0 is never used)."""
    h, w = indices.shape
    depth = 1
    while (1 << depth) <= colours:
        depth += 1
    rows = np.arange(1, h + 1)
    row_number = np.ones(h, dtype=np.int64)
    for k in range(1, 5):
        row_number += rows >= (1 << (7 * k))
    starts = np.ones((h, w), dtype=bool)
    starts[:, 1:] = indices[:, 1:] != indices[:, :-1]
    flat = np.flatnonzero(starts.ravel())
    ends = np.append(flat[1:], h * w)
    row_end = (flat // w + 1) * w
    counts = np.minimum(ends, row_end) - flat - 1  # a run covers count + 1 pixels
    run_bytes = np.ones(len(counts), dtype=np.int64)
    for k in range(0, 6):
        run_bytes += counts >= (1 << (7 - depth + 7 * k))
    return int(row_number.sum() + run_bytes.sum() + h)


def measure(reduced_rgb, indices, clean_lab, black):
    lab = to_lab(reduced_rgb)
    delta_e = float(np.sqrt(((lab - clean_lab) ** 2).sum(-1)).mean())
    black_l = float(lab[..., 0][black].mean())
    colours = len(np.unique(indices))
    # Renumber the used entries 0..colours-1: unused ones would not be written.
    return dict(colours=colours, de=delta_e, black_l=black_l,
                bytes=kap_raster_bytes(np.unique(indices, return_inverse=True)[1].reshape(indices.shape), colours))


def run(command):
    start = time.perf_counter()
    result = subprocess.run(command, check=True, capture_output=True, text=True)
    return time.perf_counter() - start, result.stdout


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--harness", required=True, help="the palette_harness program")
    parser.add_argument("--work", default="/tmp/palette_bench", help="folder for scans and results")
    parser.add_argument("--size", default="2000x2000")
    parser.add_argument("--only-ours", action="store_true", help="skip the anchors (for tuning)")
    args = parser.parse_args(argv)
    width, height = (int(v) for v in args.size.split("x"))
    os.makedirs(args.work, exist_ok=True)

    print(f"{'scan':<14} {'method':<9} {'colours':>7} {'dE':>6} {'black L*':>8} {'bytes':>9} {'x pngq':>6} "
          f"{'x gdal':>6} {'seconds':>8}")
    for kind, seed in SCANS:
        prefix = os.path.join(args.work, f"{kind}{seed}_{width}x{height}")
        if not os.path.exists(prefix + "_scan.tif"):
            chart_scan.make(width, height, kind, seed, prefix)
        clean = read_rgb(prefix + "_clean.png")
        scan = read_rgb(prefix + "_scan.png")
        clean_lab = to_lab(clean)
        black = np.all(clean == chart_scan.INK_RGB[chart_scan.BLACK], axis=-1)
        results = {}

        raw = prefix + "_scan.rgb"
        scan.tofile(raw)
        seconds, out = run([args.harness, raw, str(width), str(height), "127", prefix + "_ours.idx",
                            prefix + "_ours.pal"])
        indices = np.fromfile(prefix + "_ours.idx", dtype=np.uint8).reshape(height, width)
        palette = np.fromfile(prefix + "_ours.pal", dtype=np.uint8).reshape(-1, 3)
        results["ours"] = measure(palette[indices], indices, clean_lab, black)
        reduction = float(out.split(",")[1].split()[0])
        results["ours"]["seconds"] = f"{seconds:.2f} ({reduction:.3f})"
        os.remove(raw)

        if not args.only_ours:
            out_png = prefix + "_pngquant.png"
            seconds, _ = run(["pngquant", "--nofs", "--force", "--output", out_png, "127", prefix + "_scan.png"])
            indices, palette = read_indexed(out_png)
            results["pngquant"] = measure(palette[indices], indices, clean_lab, black)
            results["pngquant"]["seconds"] = f"{seconds:.2f}"

            out_tif = prefix + "_gdal.tif"
            if os.path.exists(out_tif):
                os.remove(out_tif)
            seconds, _ = run(["rgb2pct.py", "-n", "127", prefix + "_scan.tif", out_tif])
            indices, palette = read_indexed(out_tif)
            results["gdal"] = measure(palette[indices], indices, clean_lab, black)
            results["gdal"]["seconds"] = f"{seconds:.2f}"

        for method, r in results.items():
            pngq = r["bytes"] / results["pngquant"]["bytes"] if "pngquant" in results else float("nan")
            gd = r["bytes"] / results["gdal"]["bytes"] if "gdal" in results else float("nan")
            print(f"{kind + str(seed):<14} {method:<9} {r['colours']:>7} {r['de']:>6.2f} {r['black_l']:>8.1f} "
                  f"{r['bytes']:>9} {pngq:>6.2f} {gd:>6.2f} {r['seconds']:>8}", flush=True)
        if not args.only_ours:
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
