#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "scan/scan_image.hpp"

namespace hdrmill {

// The one rule, shared by every platform's decoder, that says whether a scan is a
// palette, grey or colour scan, from the fields of the file itself: never from what a
// decoder makes of them (GDAL's colour interpretation, WIC's pixel format), which
// differ between decoders and so would let one file give a chart on one platform and
// none on another.

/// The five formats scans come in.
enum class scan_container { tiff, png, jpeg, gif, bmp };

/// The first bytes of a scan file: the signature, a PNG's header chunk, a BMP's
/// header size and bits a pixel.
struct file_head {
    std::array<std::uint8_t, 32> bytes{};
    std::size_t size = 0;
};

/// The format the file's signature names; nothing for any other file.
std::optional<scan_container> container_of(const file_head& head);

/// How the scan is to be taken, or why it is not: exactly one of the two is set.
struct scan_layout {
    std::optional<scan_image::kind> type;
    /// Where the scan is a palette scan whose palette the file does not hold as such
    /// (a bilevel or min-is-white TIFF) or holds otherwise than decoders give it (a
    /// TIFF's colour map): the palette the scan has. Empty: the decoder's palette.
    std::vector<colour> palette;
    std::string refusal;  // the layout, named, when it is not one a chart is made from
    /// The size the file's own fields give, where they are read before decoding (a
    /// TIFF's); 0 where the decoder tells it.
    std::uint32_t width = 0;
    std::uint32_t height = 0;
};

/// The fields of a TIFF's first image, as the file holds them; a field the file
/// lacks has its default (photometric has none).
struct tiff_fields {
    std::uint32_t width = 0;           // ImageWidth, ImageLength
    std::uint32_t height = 0;
    std::optional<std::uint32_t> photometric;
    std::uint32_t bits = 1;            // BitsPerSample
    std::uint32_t samples = 1;         // SamplesPerPixel
    std::uint32_t sample_format = 1;   // 1 unsigned, 2 signed, 3 floating point
    std::vector<std::uint32_t> colour_map;  // 3 x 2^bits values: all reds, greens, blues
};

/// A TIFF: min-is-black grey of 2 to 16 bits as grey; min-is-black bilevel, and
/// min-is-white up to 8 bits, as a palette scan with the grey table; a colour map
/// (palette up to 8 bits) as a palette scan; RGB and YCbCr with 3 samples or more as
/// colour. Refused: CMYK, CIELab and other photometrics, grey with more than 2
/// samples, palettes over 8 bits, samples other than unsigned integers (8-bit signed
/// ones are taken as stored), a missing or damaged field.
scan_layout tiff_layout(const tiff_fields& fields);

/// A PNG by the colour type in its header: 0 and 4 grey, 3 palette, 2 and 6 colour.
scan_layout png_layout(const file_head& head);

/// A JPEG by its number of components: 1 grey, 3 colour; 4 (CMYK) refused.
scan_layout jpeg_layout(unsigned components);

/// A GIF: always a palette scan.
scan_layout gif_layout();

/// A BMP by its header: up to 8 bits a pixel a palette scan, more colour. Refused:
/// headers larger than the 64-byte OS/2 one (versions 4 and 5), which GDAL does not
/// read, so that no platform reads them.
scan_layout bmp_layout(const file_head& head);

/// The palette of a TIFF colour map of 2^bits entries a channel. A map whose every
/// value is below 256 is taken as 8-bit, as libtiff and GDAL take it (several writers
/// store it so); otherwise each 16-bit value is narrowed to the nearest 8-bit level.
std::vector<colour> colour_map_palette(const std::vector<std::uint32_t>& map, unsigned bits);

/// The grey table of a bilevel or min-is-white scan of `bits` bits (1 to 8):
/// entry k is k * 255 / top, or (top - k) * 255 / top for min-is-white.
std::vector<colour> grey_table(unsigned bits, bool min_is_white);

}  // namespace hdrmill
