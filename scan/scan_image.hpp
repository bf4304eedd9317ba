#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace hdrmill {

/// One colour of a scan or of a palette, 8 bits a channel.
struct colour {
    std::uint8_t r = 0;
    std::uint8_t g = 0;
    std::uint8_t b = 0;
    friend bool operator==(const colour&, const colour&) = default;
};

/// A decoded scan, held compactly: rows top to bottom, each exactly `width` pixels,
/// one byte a pixel for palette and grey scans, three (r, g, b) for colour scans.
/// Every decoder, whatever the platform, delivers a scan in this form, so that the
/// same scan gives the same chart bytes everywhere.
struct scan_image {
    enum class kind { indexed, grey, colour };
    kind type = kind::colour;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::vector<colour> palette;        // indexed: the colour of each index, at most 256
    std::vector<std::uint8_t> pixels;   // width * height bytes, or 3 * width * height

    std::size_t bytes_per_pixel() const { return type == kind::colour ? 3 : 1; }
    std::size_t row_bytes() const { return std::size_t{width} * bytes_per_pixel(); }
    std::uint8_t* row(std::uint32_t y) { return pixels.data() + y * row_bytes(); }
    const std::uint8_t* row(std::uint32_t y) const { return pixels.data() + y * row_bytes(); }
};

// Steps shared by the decoders, so that each platform turns its native rows into the
// same bytes.

/// `width` palette indices packed most significant bit first, `bits` (1, 2, 4 or 8)
/// each, to one byte each.
void unpack_indices(const std::uint8_t* packed, unsigned bits, std::uint32_t width, std::uint8_t* out);

/// Makes room for the pixels of a scan whose type, width and height are set, without
/// sizing them: a decoder fills them window by window, so a file that claims a vast size
/// but holds little fails at its first missing rows, having touched only what it
/// decoded. False when they could never be held.
bool reserve_pixels(scan_image& scan);

/// A sample of `bits` bits (1 to 16) as 8 bits: the nearest of the 256 levels,
/// (v * 255 + top / 2) / top for top = 2^bits - 1. A value past the top (only in a
/// broken file) counts as the top.
inline std::uint8_t level_of_sample(std::uint32_t v, unsigned bits) {
    const std::uint32_t top = (1U << bits) - 1;
    return static_cast<std::uint8_t>((std::min(v, top) * 255U + top / 2) / top);
}

/// A 16-bit sample as 8 bits: (v * 255 + 32767) / 65535.
inline std::uint8_t narrow_sample(std::uint16_t v) { return level_of_sample(v, 16); }

}  // namespace hdrmill
