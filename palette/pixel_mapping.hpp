#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "palette/colour_histogram.hpp"
#include "palette/palette_entry.hpp"
#include "scan/scan_image.hpp"

namespace hdrmill {

/// For each box of a colour_histogram: its nearest palette entry (in CIE L*a*b*, first
/// of equals) and the L*a*b* of its pixels' mean colour: 416 KB, small enough to stay
/// in a processor's cache while the pixels are mapped. The boxes without pixels hold whatever an earlier scan left: one
/// mapping serves scan after scan.
struct box_mapping {
    std::vector<std::uint8_t> entry = std::vector<std::uint8_t>(colour_histogram::box_count);
    std::vector<lab_colour> lab = std::vector<lab_colour>(colour_histogram::box_count);
};

/// Fills `mapping` for the boxes of `histogram` that have pixels, from `colours`, its
/// colours() (whose L*a*b* serve as they are). `entries`: 1 to 256.
void map_boxes(const colour_histogram& histogram, const std::vector<weighted_colour>& colours,
               const std::vector<palette_entry>& entries, box_mapping& mapping);

/// Turns the colour scan's pixels into entry indices in place: pixel i's index goes to
/// byte i (the buffer is not shortened; `type` and `palette` are left to the caller).
/// A pixel is its box's entry (nearest its box's mean colour, not its own: the box is
/// as fine as the colours were weighed), unless at least 4 of its 8 neighbours (at the
/// scan's edge, of those inside it) have one other entry, and its box's colour is within
/// delta E 12 of that entry: then it takes that one (of two such, the first of the row
/// above, then its own row, then the row below, left to right). Scanner noise, paper
/// texture and the blends at a tint's edge then give no stray indices, and the runs
/// stay long; a mark farther than that from its surroundings stays whole, however
/// thin. The neighbours are taken as their boxes make them (one pass, rows streamed:
/// 3 rows of scratch). Returns which entries some pixel has. `in_two`: the upper and
/// the lower half are mapped on two threads at once, the same bytes, with the lower
/// half's indices held aside (a byte a pixel of that half) until both are done.
std::array<bool, 256> map_pixels(scan_image& scan, const std::vector<palette_entry>& entries,
                                 const box_mapping& mapping, bool in_two = false);

}  // namespace hdrmill
