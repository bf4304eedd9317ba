#!/usr/bin/env python3
"""Writes a TIFF with exactly the fields asked for, with the standard library alone, for
the tests and the bench: layouts no converter writes on request (an 8-bit colour map,
three min-is-black samples) and scans that claim far more pixels than their bytes hold.

    make_tiff.py OUT WIDTH HEIGHT [photometric=2] [samples=3] [bits=8] [map=16|8]
                 [fill=chart|zero|noise] [deflate=1] [extra=GDAL_METADATA_XML]

The picture is the chart rule of tests/scans (r = 10 x + 5, g = 30 y + 40, b = i * 255
/ 160, i = x + 23 y), each sample taken modulo 2^bits; a palette scan holds index
(x + y) mod 2^bits, and its map gives entry k the colour (k * 7, k * 7 + 50, k * 7 + 100)
mod 256, times 257 for a 16-bit map. With fill=zero and deflate=1 every strip is the one
compressed strip of zeros: a file of a few kilobytes that decodes to the full size.
"""
import os
import struct
import sys
import zlib


def main():
    out, width, height = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    options = dict(arg.split("=", 1) for arg in sys.argv[4:])
    photometric = int(options.get("photometric", 2))
    samples = int(options.get("samples", 3))
    bits = int(options.get("bits", 8))
    fill = options.get("fill", "chart")
    deflate = options.get("deflate") == "1"
    rows_per_strip = max(1, min(height, (1 << 16) // max(1, width * samples * bits // 8)))
    strip_rows = [min(rows_per_strip, height - y) for y in range(0, height, rows_per_strip)]

    def row(y):
        if fill == "zero":
            return bytes(width * samples * bits // 8)
        if fill == "noise":
            return os.urandom(width * samples * bits // 8)
        top = (1 << bits) - 1
        values = []
        for x in range(width):
            i = x + 23 * y
            if photometric == 3:
                values.append((x + y) & top)
            else:
                colour = [(10 * x + 5) & top, (30 * y + 40) & top, (i * 255 // 160) & top]
                values += (colour + [top] * samples)[:samples]
        if bits == 8:
            return bytes(values)
        if bits == 16:
            return struct.pack("<%dH" % len(values), *values)
        packed, acc, n = bytearray(), 0, 0
        for v in values:
            acc, n = acc << bits | v, n + bits
            if n == 8:
                packed.append(acc)
                acc, n = 0, 0
        if n:
            packed.append(acc << (8 - n))
        return bytes(packed)

    strips, offsets, counts = [], [], []
    data = bytearray()
    shared = None
    y = 0
    for rows in strip_rows:
        if fill == "zero" and shared is not None and rows == strip_rows[0]:
            offsets.append(offsets[0])
            counts.append(counts[0])
            y += rows
            continue
        raw = b"".join(row(y + r) for r in range(rows))
        body = zlib.compress(raw, 9) if deflate else raw
        offsets.append(8 + len(data))
        counts.append(len(body))
        data += body
        if len(data) % 2:
            data += b"\0"
        shared = True
        y += rows

    entries = []  # (tag, type, values): type 3 SHORT, 4 LONG, 2 ASCII

    def tag(number, kind, values):
        entries.append((number, kind, values))

    tag(256, 4, [width])
    tag(257, 4, [height])
    tag(258, 3, [bits] * samples)
    tag(259, 3, [8 if deflate else 1])
    tag(262, 3, [photometric])
    tag(273, 4, offsets)
    tag(277, 3, [samples])
    tag(278, 4, [rows_per_strip])
    tag(279, 4, counts)
    tag(284, 3, [1])
    if photometric == 3:
        scale = 257 if options.get("map", "16") == "16" else 1
        entries_count = 1 << bits
        tag(320, 3, [((k * 7 + 50 * c) % 256) * scale for c in range(3) for k in range(entries_count)])
    if "extra" in options:
        tag(42112, 2, options["extra"].encode() + b"\0")
    entries.sort()

    header = bytearray(b"II*\0")
    ifd_at = 8 + len(data)
    header += struct.pack("<I", ifd_at)
    extra = bytearray()
    ifd = bytearray(struct.pack("<H", len(entries)))
    extra_at = ifd_at + 2 + 12 * len(entries) + 4
    for number, kind, values in entries:
        if kind == 2:
            payload, count = values, len(values)
        else:
            payload = struct.pack("<%d%s" % (len(values), "H" if kind == 3 else "I"), *values)
            count = len(values)
        if len(payload) <= 4:
            ifd += struct.pack("<HHI", number, kind, count) + payload.ljust(4, b"\0")
        else:
            ifd += struct.pack("<HHII", number, kind, count, extra_at + len(extra))
            extra += payload
            if len(extra) % 2:
                extra += b"\0"
    ifd += struct.pack("<I", 0)
    with open(out, "wb") as f:
        f.write(header + data + ifd + extra)


if __name__ == "__main__":
    main()
