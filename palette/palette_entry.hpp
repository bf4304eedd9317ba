#pragma once

#include <cstdint>
#include <vector>

#include "palette/cie_lab.hpp"
#include "scan/scan_image.hpp"

namespace hdrmill {

/// A palette entry: its colour and that colour's L*a*b*.
struct palette_entry {
    colour c;
    lab_colour lab;
};

palette_entry entry_of(colour c);

/// A colour as one number, r << 16 | g << 8 | b.
inline std::uint32_t key_of(colour c) { return (std::uint32_t{c.r} << 16) | (std::uint32_t{c.g} << 8) | c.b; }

/// Light to dark; colours of equal L* by r, g, b, highest first: a total order on
/// distinct colours, so that a palette's order never depends on the sort algorithm.
bool lighter(const palette_entry& x, const palette_entry& y);

/// `colours` as entries in the palette's order (lighter() first), each colour once.
std::vector<palette_entry> ordered_entries(const std::vector<colour>& colours);

/// Channel sums over `count` pixels (count > 0) as their mean colour, rounded to nearest.
colour mean_colour(const std::uint64_t sum[3], std::uint64_t count);

}  // namespace hdrmill
