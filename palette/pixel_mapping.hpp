#pragma once

#include <array>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "palette/colour_histogram.hpp"
#include "palette/palette_entry.hpp"
#include "scan/scan_image.hpp"

namespace hdrmill {

/// For each cell of a colour_histogram that has pixels: its nearest palette entry (in
/// CIE L*a*b*, first of equals) and the L*a*b* of its pixels' mean colour. 3.3 MB of
/// the system's zeroed pages, touched only where cells have pixels. The cells without
/// pixels hold whatever an earlier scan left: one mapping serves scan after scan.
struct cell_mapping {
    struct free_deleter {
        void operator()(void* p) const { std::free(p); }
    };
    std::unique_ptr<std::uint8_t[], free_deleter> entry;
    std::unique_ptr<lab_colour[], free_deleter> lab;

    cell_mapping();
};

/// Fills `mapping` for the cells of `histogram` that have pixels. `entries`: 1 to 256.
void map_cells(const colour_histogram& histogram, const std::vector<palette_entry>& entries, cell_mapping& mapping);

/// Turns the colour scan's pixels into entry indices in place: pixel i's index goes to
/// byte i (the buffer is not shortened; `type` and `palette` are left to the caller).
/// A pixel is its cell's entry, unless at least 4 of its 8 neighbours (at the scan's
/// edge, of those inside it) have one other entry, and its colour is within delta E 12
/// of that entry: then it takes that one (of two such, the first of the row above, then
/// its own row, then the row below, left to right). Scanner noise, paper
/// texture and the blends at a tint's edge then give no stray indices, and the runs
/// stay long; a mark farther than that from its surroundings stays whole, however
/// thin. The neighbours are taken as their cells make them (one pass, rows streamed:
/// 3 rows of scratch). Returns which entries some pixel has.
std::array<bool, 256> map_pixels(scan_image& scan, const std::vector<palette_entry>& entries,
                                 const cell_mapping& mapping);

}  // namespace hdrmill
