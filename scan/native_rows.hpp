#pragma once

#include <cstddef>
#include <cstdint>

namespace hdrmill {

// The rows a platform decoder hands over in its own pixel format, and how each becomes
// a plain row by the shared steps, so that every platform gives the same bytes: WIC's
// own converter rounds narrow samples otherwise than GDAL does, and cannot widen
// palette, bilevel or grey rows everywhere (wine's fails on them).

/// What a native pixel holds.
enum class layout_class {
    indices,  // palette indices of `bits` bits, packed most significant bit first
    levels,   // grey levels of `bits` bits, packed alike; 16 bits little-endian
    samples,  // `samples` channels of `bits` bits (8, or 16 little-endian), red, green, blue at r, g, b
    packed,   // 16-bit little-endian words with 5 bits of red, 5 or 6 of green, 5 of blue
};

struct native_layout {
    layout_class type;
    unsigned bits;     // of a sample, or of a whole pixel for indices, levels and packed
    unsigned samples;  // in a pixel
    unsigned r, g, b;  // sample positions; for packed, the shifts of the red and green bits
};

/// The native formats widened here: those WIC's decoders give for scans. Alpha, where
/// there is one, is dropped; premultiplied samples are taken as stored, as GDAL takes
/// them.
enum class native_format {
    indexed1, indexed2, indexed4, indexed8,
    grey1, grey2, grey4, grey8, grey16,
    bgr24, rgb24, bgrx32, bgra32, pbgra32, rgbx32, rgba32, prgba32,
    rgb48, bgr48, rgbx64, rgba64, prgba64, bgra64, pbgra64,
    bgr555, bgr565,
};

const native_layout& layout_of(native_format format);

/// Bits a native pixel takes.
std::size_t bits_a_pixel(const native_layout& layout);

/// True for rows whose plain form is one byte a pixel (an index or a grey level).
bool one_byte_a_pixel(layout_class type);

/// One native row of `width` pixels as a plain row: one byte a pixel (a palette index,
/// or an 8-bit grey level) for indices and levels, three (r, g, b) for the others.
/// Narrow samples become the nearest of the 256 levels (level_of_sample); a 16-bit BMP's
/// fields too, where WIC's converter repeats their top bits (3 of 31: 24 here, 25 there).
void plain_row(const native_layout& layout, const std::uint8_t* row, std::uint32_t width, std::uint8_t* out);

}  // namespace hdrmill
