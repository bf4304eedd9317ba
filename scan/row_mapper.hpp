#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "scan/native_rows.hpp"
#include "scan/scan_image.hpp"

namespace hdrmill {

/// Palette lookup by colour, for rows a decoder gives as grey levels or colours where
/// the scan's layout makes it a palette scan: a bilevel or min-is-white TIFF, a palette
/// BMP that wine widens (an RLE-compressed one). Exact where no colour is in the
/// palette twice; where one is, its first index stands for both.
class palette_index {
public:
    explicit palette_index(const std::vector<colour>& palette);
    /// The index of the colour (0xRRGGBB): -1 where the palette lacks it.
    int find(std::uint32_t rgb) const;

private:
    struct entry {
        std::uint32_t rgb;
        std::uint8_t index;
    };
    std::vector<entry> entries_;
};

/// Turns plain rows (see plain_row) into the scan's rows, whatever the scan's kind.
class row_mapper {
public:
    /// `native`: what the plain rows hold; `decoder_palette`: the decoder's palette,
    /// where its rows are indices. The scan's kind and palette are set.
    row_mapper(layout_class native, const scan_image& scan, const std::vector<colour>& decoder_palette);

    /// One row of `width` pixels into `out`. False for a pixel the scan cannot hold:
    /// an index past the palette (only in a broken file), a colour a palette scan's
    /// palette lacks.
    bool map(const std::uint8_t* plain, std::uint32_t width, std::uint8_t* out) const;

private:
    bool map_one_byte(const std::uint8_t* plain, std::uint32_t width, std::uint8_t* out) const;
    bool map_to_indices(const std::uint8_t* plain, std::uint32_t width, std::uint8_t* out) const;

    bool one_byte_;
    scan_image::kind target_;
    palette_index lookup_;
    std::array<int, 256> result_{};  // for one-byte rows: the scan's byte, or -1
    std::array<colour, 256> shown_{};
};

}  // namespace hdrmill
