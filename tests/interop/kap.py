"""A minimal BSB/KAP writer: wraps a header made by hdrmill around a blank raster, so
that a real chart reader can be asked what the header means."""

PALETTE = b"RGB/1,255,255,255\r\nRGB/2,0,0,0\r\n"
DEPTH = 2            # bits per palette index: enough for indices 1 and 2
MINIMUM_SIZE = 2000  # readers refuse shorter files


def _row_number(number):
    """Big-endian base 128, bit 7 set on every byte but the last."""
    groups = [number & 0x7F]
    number >>= 7
    while number:
        groups.append(number & 0x7F)
        number >>= 7
    groups.reverse()
    return bytes([g | 0x80 for g in groups[:-1]] + [groups[-1]])


def _run(index, pixels):
    """One run of `pixels` pixels of palette `index`: the first byte holds the index and
    the top bits of the count (pixels - 1); following bytes hold 7 bits each."""
    count = pixels - 1
    first_bits = 7 - DEPTH
    extra = 0
    while count >= 1 << (first_bits + 7 * extra):
        extra += 1
    first = (index << first_bits) | (count >> (7 * extra))
    out = [first | (0x80 if extra else 0)]
    for i in range(extra - 1, -1, -1):
        out.append(((count >> (7 * i)) & 0x7F) | (0x80 if i else 0))
    return bytes(out)


def kap_bytes(header, width, height):
    """The KAP file: header text, palette, 0x1A 0x00, depth, rows, padding, row index."""
    data = bytearray(header + PALETTE + b"\x1a\x00" + bytes([DEPTH]))
    offsets = []
    for row in range(1, height + 1):
        offsets.append(len(data))
        data += _row_number(row) + _run(1, width) + b"\x00"
    if len(data) < MINIMUM_SIZE:
        data += bytes(MINIMUM_SIZE - len(data))
    index_offset = len(data)
    for offset in offsets:
        data += offset.to_bytes(4, "big")
    data += index_offset.to_bytes(4, "big")
    return bytes(data)
