#!/usr/bin/env bash
# Makes the test scans beside this script: 23 x 7 pixels each, one file for every
# layout and compression read_scan must take, and the files it must refuse. The made
# files are kept in the tree; run this again only to change them.
#   tests/scans/make_scans.sh
# Needs Debian's /usr/bin/python3 with numpy and GDAL's osgeo bindings (packages
# python3-numpy, python3-gdal); the python3 first on PATH may lack them.
#
# The pictures (x across, y down, i = x + 23 y; tests/read_scan_test.cpp holds the
# same rules):
#   chart      r = 10 x + 5, g = 30 y + 40, b = i * 255 / 160 (integer division)
#   chart 16   each 8-bit sample as the high byte, (97 i + 41 channel) mod 256 as the
#              low byte: its 8-bit reading is narrow_sample of that
#   sixteen    the chart colour of pixel (i mod 16, 0)
#   grey ramp  i * 255 / 160; grey ramp 16 as chart 16 with channel 0
#   bilevel    black where (x + 2 y) mod 3 == 0, white elsewhere
# The palette scans index the chart's colours: entry k is the chart colour of pixel
# k, and pixel i holds index i.
set -euo pipefail
cd "$(dirname "$0")"
rm -f ./*.tif ./*.png ./*.jpg ./*.gif ./*.bmp ./*.ppm ./*.img ./*.txt
export GDAL_PAM_ENABLED=NO

/usr/bin/python3 - <<'PYTHON'
import struct
import zlib
import numpy as np
from osgeo import gdal

gdal.UseExceptions()
W, H = 23, 7
y, x = np.mgrid[0:H, 0:W]
i = x + W * y
chart = np.stack([10 * x + 5, 30 * y + 40, i * 255 // 160], axis=2).astype(np.uint8)
low = np.stack([(97 * i + 41 * c) % 256 for c in range(3)], axis=2)
chart16 = (chart.astype(np.uint16) << 8) | low.astype(np.uint16)
grey = (i * 255 // 160).astype(np.uint8)
grey16 = (grey.astype(np.uint16) << 8) | ((97 * i) % 256).astype(np.uint16)
ink = (x + 2 * y) % 3 == 0
chart_entries = chart.reshape(-1, 3)  # entry k: the chart colour of pixel k


def colour_table(entries):
    table = gdal.ColorTable()
    for k, c in enumerate(entries):
        table.SetColorEntry(k, tuple(int(v) for v in c) + (255,))
    return table


def dataset(driver, name, planes, kind, options=(), table=None):
    """planes: H x W x bands array; written through MEM for drivers without Create."""
    planes = planes if planes.ndim == 3 else planes[:, :, None]
    direct = driver == "GTiff"
    target = gdal.GetDriverByName("GTiff" if direct else "MEM")
    ds = target.Create(name if direct else "", W, H, planes.shape[2], kind, list(options) if direct else [])
    for b in range(planes.shape[2]):
        ds.GetRasterBand(b + 1).WriteArray(planes[:, :, b])
    if table is not None:
        ds.GetRasterBand(1).SetRasterColorTable(table)
    if not direct:
        gdal.GetDriverByName(driver).CreateCopy(name, ds, options=list(options))
    ds = None


byte, word = gdal.GDT_Byte, gdal.GDT_UInt16
rgba = np.concatenate([chart, ((3 * i) % 256).astype(np.uint8)[:, :, None]], axis=2)

for compress in ("NONE", "LZW", "DEFLATE", "PACKBITS"):
    dataset("GTiff", f"tiff_rgb_{compress.lower()}.tif", chart, byte, [f"COMPRESS={compress}"])
dataset("GTiff", "tiff_rgb_jpeg.tif", chart, byte, ["COMPRESS=JPEG", "PHOTOMETRIC=YCBCR", "JPEG_QUALITY=100"])
dataset("GTiff", "tiff_rgb_tiled.tif", chart, byte, ["COMPRESS=LZW", "TILED=YES", "BLOCKXSIZE=16", "BLOCKYSIZE=16"])
dataset("GTiff", "tiff_rgb_planar.tif", chart, byte, ["COMPRESS=DEFLATE", "INTERLEAVE=BAND", "BLOCKYSIZE=3"])
dataset("GTiff", "tiff_rgba.tif", rgba, byte, ["COMPRESS=LZW", "ALPHA=YES"])
dataset("GTiff", "tiff_rgb16.tif", chart16, word, ["COMPRESS=LZW", "PHOTOMETRIC=RGB"])
dataset("GTiff", "tiff_grey.tif", grey, byte, ["COMPRESS=LZW"])
dataset("GTiff", "tiff_grey16.tif", grey16, word, ["COMPRESS=DEFLATE"])
dataset("GTiff", "tiff_grey_miniswhite.tif", 255 - grey, byte, ["PHOTOMETRIC=MINISWHITE"])
dataset("GTiff", "tiff_palette.tif", i.astype(np.uint8), byte, ["COMPRESS=LZW"], colour_table(chart_entries))
dataset("GTiff", "tiff_palette4.tif", (i % 16).astype(np.uint8), byte, ["NBITS=4"],
        colour_table(chart_entries[:16]))
for photometric, compress, bits in (("MINISWHITE", "CCITTFAX4", ink), ("MINISBLACK", "CCITTFAX4", ~ink),
                                    ("MINISWHITE", "CCITTFAX3", ink), ("MINISBLACK", "NONE", ~ink)):
    name = f"tiff_bilevel_{compress.lower()}_{photometric.lower()}.tif"
    dataset("GTiff", name, bits.astype(np.uint8), byte, [f"COMPRESS={compress}", "NBITS=1", f"PHOTOMETRIC={photometric}"])

dataset("PNG", "png_palette.png", i.astype(np.uint8), byte, table=colour_table(chart_entries))
dataset("PNG", "png_palette4.png", (i % 16).astype(np.uint8), byte, ["NBITS=4"], colour_table(chart_entries[:16]))
dataset("PNG", "png_grey.png", grey, byte)
dataset("PNG", "png_grey16.png", grey16, word)
dataset("PNG", "png_grey1.png", (~ink).astype(np.uint8), byte, ["NBITS=1"])
dataset("PNG", "png_grey_alpha.png", np.stack([grey, 255 - grey], axis=2), byte)
dataset("PNG", "png_rgb.png", chart, byte)
dataset("PNG", "png_rgb16.png", chart16, word)
dataset("PNG", "png_rgba.png", rgba, byte)
dataset("JPEG", "jpeg_rgb.jpg", chart, byte, ["QUALITY=100"])
dataset("JPEG", "jpeg_grey.jpg", grey, byte, ["QUALITY=100"])
dataset("GIF", "gif_palette.gif", i.astype(np.uint8), byte, table=colour_table(chart_entries))
dataset("BMP", "bmp_palette.bmp", i.astype(np.uint8), byte, table=colour_table(chart_entries))
dataset("BMP", "bmp_rgb.bmp", chart, byte)
# Colour scans of 127, 128 and 129 distinct colours, around the most a chart holds:
# pixel i has colour i mod n, colour k being (2 k, 37 k + 11, 101 k + 7) mod 256.
for n in (127, 128, 129):
    k = np.arange(n)
    table = (np.stack([2 * k, 37 * k + 11, 101 * k + 7], axis=1) % 256).astype(np.uint8)
    dataset("PNG", f"colours_{n}.png", table[i % n], byte)


def tiff(name, tags, data):
    """A little-endian TIFF of one image: tags as (tag, type 3 short / 4 long, values),
    where the value "data" stands for the offset of `data`, written after the tags."""
    tags = sorted(tags)
    width = lambda kind: 2 if kind == 3 else 4
    at = 8 + 2 + 12 * len(tags) + 4
    data_at = at + sum(width(k) * len(v) for _, k, v in tags if width(k) * len(v) > 4)
    blobs, entries = b"", b""
    for tag, kind, values in tags:
        values = [data_at if v == "data" else v for v in values]
        payload = b"".join(struct.pack("<H" if kind == 3 else "<I", v) for v in values)
        if len(payload) <= 4:
            entries += struct.pack("<HHI", tag, kind, len(values)) + payload.ljust(4, b"\0")
        else:
            entries += struct.pack("<HHII", tag, kind, len(values), at + len(blobs))
            blobs += payload
    with open(name, "wb") as f:
        f.write(struct.pack("<2sHIH", b"II", 42, 8, len(tags)) + entries + b"\0\0\0\0" + blobs + data)


# A colour map whose 16-bit entries are not multiples of 257, so that narrowing by
# rounding and by truncation differ: entry k is the chart 16 colour of pixel k. Tag
# 65000, unknown to libtiff, draws a warning from it.
entries16 = np.zeros((256, 3), np.uint16)
entries16[:W * H] = chart16.reshape(-1, 3)
tiff("tiff_palette_16bit_map.tif",
     [(256, 4, [W]), (257, 4, [H]), (258, 3, [8]), (259, 3, [1]), (262, 3, [3]), (273, 4, ["data"]),
      (277, 3, [1]), (278, 4, [H]), (279, 4, [W * H]), (320, 3, [int(v) for v in entries16.T.reshape(-1)]),
      (65000, 3, [1])],
     i.astype(np.uint8).tobytes())

# Files to refuse.
# Planar so that the header is valid to libtiff: width and height 2^31 - 1 of three
# samples, more bytes than memory can be addressed with.
huge = 2**31 - 1
tiff("bad_huge.tif",
     [(256, 4, [huge]), (257, 4, [huge]), (258, 3, [8, 8, 8]), (259, 3, [1]), (262, 3, [2]),
      (273, 4, ["data"] * 3), (277, 3, [3]), (278, 4, [huge]), (279, 4, [16] * 3), (284, 3, [2])], bytes(16))
# The 4-bit palette scan, indices up to 15, with its palette cut to five colours and
# to fifteen (the last index one past the palette).
with open("png_palette4.png", "rb") as f:
    png = f.read()
plte = png.index(b"PLTE") - 4
length = struct.unpack(">I", png[plte:plte + 4])[0]
for entries, name in ((5, "bad_index_beyond_palette.png"), (15, "bad_index_one_past_palette.png")):
    chunk = b"PLTE" + png[plte + 8:plte + 8 + 3 * entries]
    with open(name, "wb") as f:
        f.write(png[:plte] + struct.pack(">I", 3 * entries) + chunk + struct.pack(">I", zlib.crc32(chunk))
                + png[plte + 12 + length:])
dataset("GTiff", "other_layout_cmyk.tif", rgba, byte, ["PHOTOMETRIC=CMYK"])
dataset("GTiff", "other_layout_three_greys.tif", chart, byte, ["PHOTOMETRIC=MINISBLACK"])
dataset("PNM", "other_format.ppm", chart, byte)
dataset("HFA", "other_format.img", chart, byte)

with open("tiff_rgb_lzw.tif", "rb") as f:
    lzw = bytearray(f.read())
source = gdal.Open("tiff_rgb_lzw.tif")  # kept: its band lives only as long as it does
strip = int(source.GetRasterBand(1).GetMetadataItem("BLOCK_OFFSET_0_0", "TIFF"))
source = None
lzw[strip + 4:strip + 40] = b"\xff" * 36
with open("bad_corrupt_lzw.tif", "wb") as f:
    f.write(lzw)
# Each cut two thirds of the way into its image data (the JPEG's after its headers,
# where libjpeg only warns of the early end).
for source, target in (("png_rgb.png", "bad_truncated.png"), ("jpeg_rgb.jpg", "bad_truncated.jpg"),
                       ("gif_palette.gif", "bad_truncated.gif"), ("tiff_rgb_deflate.tif", "bad_truncated.tif")):
    with open(source, "rb") as f:
        data = f.read()
    start = data.index(b"\xff\xda") if source.endswith(".jpg") else 0
    with open(target, "wb") as f:
        f.write(data[:start + (len(data) - start) * 2 // 3])
with open("not_a_scan.txt", "w") as f:
    f.write("[Harbour.tif]\nFN=HARBOUR.KAP\n")
PYTHON
