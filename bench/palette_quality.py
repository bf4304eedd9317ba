#!/usr/bin/python3
# Runs with Debian's interpreter /usr/bin/python3: it has numpy and GDAL's osgeo
# bindings (the python3 first on PATH may have neither).
"""Side-by-side quality of the charts hdrmill makes from real and synthetic chart scans.

For each scan it makes a chart three ways, each with `hdrmill -k` and a calibration
with a point in each corner:
  ours     - from the scan itself (LZW TIFF): hdrmill's own palette;
  pngquant - from `pngquant --nofs 127` (no dithering) of the scan's PNG;
  gdal     - from `rgb2pct.py -n 127` (GDAL's median cut) of the scan's TIFF;
(hdrmill keeps the 127 colours of the anchors exactly) and reads each chart back with
the tests' reader, kap_dump, in its day and its night palette. The scans:
  real      - the photographs and scans of printed maps in --scans (see the README
              there), each cut to the area it gives; one that is absent is skipped.
              The reference is the scan itself.
  synthetic - made by chart_scan.py; the reference is its clean printed picture.
It prints for each:
  colours  - palette entries of the chart;
  dE       - mean CIE76 delta E of the chart's pixels against the reference;
  dark L*  - mean L* of the chart's pixels over the reference's darkest 3% (real;
             the scan's own in the row "scan"), or over its black ink (synthetic);
  marks    - small coloured marks kept: 8-connected groups of 8 to 399 pixels whose
             C* exceeds max(25, the paper's C* + 10) (the paper: the median L*a*b*
             of the scan), kept when the chart's mean colour over the group is within
             20 degrees of hue and has at least half the chroma of the scan's;
  night    - night contrast: (ink - paper) L* in the NGT palette over the L* of
             the night ceiling (a grey of a quarter of the day palette's brightest
             channel), divided by the day's (paper - ink) / paper L*; the paper is the
             chart's commonest colour, the ink its commonest over the reference's
             darkest 3%;
  bytes    - the chart file's size, and as a share of the anchors';
  seconds  - wall time (ours: hdrmill -k from the scan, decoding included; anchors: the tool).
Then the goals, met or MISSED, per scan.

    bench/palette_quality.py --hdrmill build/release/hdrmill --kap-dump build/release/tests/kap_dump \\
        [--scans ../shared/scans] [--only real|synthetic]
"""

import argparse
import os
import subprocess
import sys
import time

import numpy as np
from scipy import ndimage
from osgeo import gdal

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import chart_scan  # noqa: E402

gdal.UseExceptions()

SCANS = [("harbour", 1), ("coast", 2), ("approach", 3), ("harbour", 4)]

# The real scans and the area of each to measure (x0, y0, width, height; None: whole).
REAL_SCANS = [("goodwin_sands_chart.jpg", (40, 45, 1570, 1355)),
              ("letts_kent_1881.jpg", None),
              ("usgs_hesperia_1902.jpg", (471, 1300, 3000, 3000))]


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


def read_ppm(path):
    ds = gdal.Open(path)
    return np.dstack([ds.GetRasterBand(i + 1).ReadAsArray() for i in range(3)]).astype(np.uint8)


def small_marks(ref_lab):
    """The reference's small coloured marks: (labels, group numbers, mean a*, b* of each)."""
    paper = np.median(ref_lab.reshape(-1, 3), axis=0)
    chroma = np.hypot(ref_lab[..., 1], ref_lab[..., 2])
    coloured = chroma > max(25.0, float(np.hypot(paper[1], paper[2])) + 10)
    labels, count = ndimage.label(coloured, structure=np.ones((3, 3)))
    sizes = np.bincount(labels.ravel(), minlength=count + 1)
    groups = np.nonzero((sizes >= 8) & (sizes <= 399))[0]
    groups = groups[groups > 0]
    return labels, groups, group_means(ref_lab, labels, groups)


def group_means(lab, labels, groups):
    index = labels.ravel()
    size = np.bincount(index, minlength=int(labels.max()) + 1).astype(np.float64)
    means = [np.bincount(index, weights=lab[..., c].ravel(), minlength=size.size)[groups] / size[groups]
             for c in (1, 2)]
    return np.stack(means, -1)


def marks_kept(chart_lab, marks):
    labels, groups, ref = marks
    if groups.size == 0:
        return 0, 0
    got = group_means(chart_lab, labels, groups)
    hue_off = np.abs((np.degrees(np.arctan2(got[:, 1], got[:, 0]) - np.arctan2(ref[:, 1], ref[:, 0])) + 180)
                     % 360 - 180)
    kept = (hue_off <= 20) & (np.hypot(got[:, 0], got[:, 1]) >= 0.5 * np.hypot(ref[:, 0], ref[:, 1]))
    return int(kept.sum()), int(groups.size)


def night_contrast(day, night, dark):
    """The night contrast of a chart over its day contrast (see the module's help)."""
    keys = day[..., 0].astype(np.int64) << 16 | day[..., 1].astype(np.int64) << 8 | day[..., 2]
    paper_key = np.bincount(keys.ravel()).argmax()
    ink_key = np.bincount(keys[dark].ravel()).argmax()
    l_day, l_night = to_lab(day)[..., 0], to_lab(night)[..., 0]
    paper, ink = keys == paper_key, keys == ink_key
    ceiling = int(day.max()) // 4
    ceiling_l = float(to_lab(np.array([[[ceiling] * 3]], dtype=np.uint8))[0, 0, 0])
    day_contrast = (l_day[paper][0] - l_day[ink][0]) / l_day[paper][0]
    night_value = (l_night[ink][0] - l_night[paper][0]) / ceiling_l if ceiling_l > 0 else 0.0
    return night_value / day_contrast if day_contrast > 0 else float("nan")


def measure(chart_ppms, ref_lab, dark, marks):
    day = read_ppm(chart_ppms[0])
    lab = to_lab(day)
    kept, groups = marks_kept(lab, marks) if marks is not None else (0, 0)
    return dict(de=float(np.sqrt(((lab - ref_lab) ** 2).sum(-1)).mean()), dark_l=float(lab[..., 0][dark].mean()),
                marks=kept, groups=groups, night=night_contrast(day, read_ppm(chart_ppms[1]), dark))


def make_chart(hdrmill, kap_dump, image, width, height, work):
    """The chart hdrmill makes of `image`: (seconds, colours, bytes, its pixels as PPM by day and night)."""
    folder, name = os.path.split(image)
    with open(os.path.join(folder, "CHARTCAL.DIR"), "w", newline="\r\n") as f:
        f.write(f"[{name}]\nFN=bench.KAP\nSC=25000\nPR=1\nC1=0,0,48.5,-4.5\nC2={width},0,48.5,-4.4\n"
                f"C3={width},{height},48.4,-4.4\nC4=0,{height},48.4,-4.5\nB1=48.5,-4.5\nB2=48.5,-4.4\n"
                f"B3=48.4,-4.4\nB4=48.4,-4.5\n")
    seconds, _ = run([hdrmill, "-k", os.path.join(folder, "CHARTCAL.DIR")], cwd=work)
    chart = os.path.join(work, "bench.KAP")
    ppms = [os.path.join(work, "bench_day.ppm"), os.path.join(work, "bench_ngt.ppm")]
    summary = subprocess.run([kap_dump, chart, ppms[0], "DAY"], check=True, capture_output=True, text=True).stdout
    subprocess.run([kap_dump, chart, ppms[1], "NGT"], check=True, capture_output=True, text=True)
    return seconds, int(summary.split(", ")[1].split()[0]), os.path.getsize(chart), ppms


def run(command, cwd=None):
    start = time.perf_counter()
    result = subprocess.run(command, check=True, capture_output=True, text=True, cwd=cwd)
    return time.perf_counter() - start, result.stdout


def anchors(prefix):
    """The two anchors' images of the scan at PREFIX_scan.png / .tif, with their tools' seconds."""
    images = {}
    seconds, _ = run(["pngquant", "--nofs", "--force", "--output", prefix + "_pngquant.png", "127",
                      prefix + "_scan.png"])
    images["pngquant"] = (prefix + "_pngquant.png", seconds)
    if os.path.exists(prefix + "_gdal.tif"):
        os.remove(prefix + "_gdal.tif")
    seconds, _ = run(["rgb2pct.py", "-n", "127", prefix + "_scan.tif", prefix + "_gdal.tif"])
    images["gdal"] = (prefix + "_gdal.tif", seconds)
    return images


def compare(name, prefix, ref_lab, dark, marks, args, hdrmill, kap_dump):
    height, width = ref_lab.shape[:2]
    images = {"ours": (prefix + "_scan.tif", None)}
    images.update(anchors(prefix))
    results = {}
    for method, (image, tool_seconds) in images.items():
        seconds, colours, size, ppms = make_chart(hdrmill, kap_dump, image, width, height, args.work)
        results[method] = dict(measure(ppms, ref_lab, dark, marks), colours=colours, bytes=size,
                               seconds=tool_seconds if tool_seconds is not None else seconds)
    for method, r in results.items():
        marks_text = f"{r['marks']}/{r['groups']}" if marks is not None else "-"
        print(f"{name:<14} {method:<9} {r['colours']:>7} {r['de']:>6.2f} {r['dark_l']:>7.1f} {marks_text:>9} "
              f"{r['night']:>5.2f} {r['bytes']:>9} {r['bytes'] / results['pngquant']['bytes']:>6.2f} "
              f"{r['bytes'] / results['gdal']['bytes']:>6.2f} {r['seconds']:>8.2f}", flush=True)
    return results


def goals(results, names_met):
    print(f"{'':<14} goals: " + ", ".join(f"{n} {'met' if m else 'MISSED'}" for n, m in names_met), flush=True)


def synthetic_goals(results):
    ours, anchor = results["ours"], [results["pngquant"], results["gdal"]]
    goals(results, [("dE <= better anchor", ours["de"] <= min(a["de"] for a in anchor)),
                    ("dark L* <= darker anchor + 2", ours["dark_l"] <= min(a["dark_l"] for a in anchor) + 2),
                    ("bytes <= 0.4 pngquant", ours["bytes"] <= 0.4 * results["pngquant"]["bytes"]),
                    ("bytes <= 0.85 gdal", ours["bytes"] <= 0.85 * results["gdal"]["bytes"])])


def real_goals(results, scan_dark_l):
    ours, anchor = results["ours"], [results["pngquant"], results["gdal"]]
    goals(results, [("marks >= 0.97 better anchor", ours["marks"] >= 0.97 * max(a["marks"] for a in anchor)),
                    ("dE <= gdal", ours["de"] <= results["gdal"]["de"]),
                    ("dark L* within 3", abs(ours["dark_l"] - scan_dark_l) <= 3),
                    ("bytes <= 0.6 pngquant", ours["bytes"] <= 0.6 * results["pngquant"]["bytes"]),
                    ("night >= 0.6", ours["night"] >= 0.6)])


def real_scans(args, hdrmill, kap_dump):
    for name, area in REAL_SCANS:
        source = os.path.join(args.scans, name)
        if not os.path.exists(source):
            print(f"{name}: absent, skipped")
            continue
        prefix = os.path.join(args.work, os.path.splitext(name)[0])
        window = ["-srcwin"] + [str(v) for v in area] if area else []
        for out, options in ((prefix + "_scan.tif", ["-co", "COMPRESS=LZW"]), (prefix + "_scan.png", ["-of", "PNG"])):
            if not os.path.exists(out):
                subprocess.run(["gdal_translate", "-q", "-b", "1", "-b", "2", "-b", "3"] + window + options +
                               [source, out], check=True)
        scan = read_rgb(prefix + "_scan.tif")
        ref_lab = to_lab(scan)
        dark = ref_lab[..., 0] <= np.percentile(ref_lab[..., 0], 3)
        scan_dark_l = float(ref_lab[..., 0][dark].mean())
        label = os.path.splitext(name)[0][:14]
        print(f"{label:<14} {'scan':<9} {'':>7} {'':>6} {scan_dark_l:>7.1f}")
        real_goals(compare(label, prefix, ref_lab, dark, small_marks(ref_lab), args, hdrmill, kap_dump), scan_dark_l)


def synthetic_scans(args, hdrmill, kap_dump):
    width, height = (int(v) for v in args.size.split("x"))
    for kind, seed in SCANS:
        prefix = os.path.join(args.work, f"{kind}{seed}_{width}x{height}")
        if not os.path.exists(prefix + "_scan.tif"):
            chart_scan.make(width, height, kind, seed, prefix)
        clean = read_rgb(prefix + "_clean.png")
        black = np.all(clean == chart_scan.INK_RGB[chart_scan.BLACK], axis=-1)
        synthetic_goals(compare(kind + str(seed), prefix, to_lab(clean), black, None, args, hdrmill, kap_dump))


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--hdrmill", required=True)
    parser.add_argument("--kap-dump", required=True, help="the tests' chart reader")
    parser.add_argument("--work", default="/tmp/palette_bench", help="folder for scans and charts")
    parser.add_argument("--size", default="2000x2000", help="of the synthetic scans")
    parser.add_argument("--scans", default=os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..",
                                                        "shared", "scans"), help="folder of the real scans")
    parser.add_argument("--only", choices=["real", "synthetic"])
    args = parser.parse_args(argv)
    os.makedirs(args.work, exist_ok=True)
    hdrmill, kap_dump = os.path.abspath(args.hdrmill), os.path.abspath(args.kap_dump)

    print(f"{'scan':<14} {'method':<9} {'colours':>7} {'dE':>6} {'dark L*':>7} {'marks':>9} {'night':>5} "
          f"{'bytes':>9} {'x pngq':>6} {'x gdal':>6} {'seconds':>8}")
    if args.only != "synthetic":
        real_scans(args, hdrmill, kap_dump)
    if args.only != "real":
        synthetic_scans(args, hdrmill, kap_dump)


if __name__ == "__main__":
    main(sys.argv[1:])
