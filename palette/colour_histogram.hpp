#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <utility>
#include <vector>

#include "palette/cie_lab.hpp"
#include "scan/scan_image.hpp"

namespace hdrmill {

/// Pixels of like colour taken together: how many, the sums of their channels, and
/// from those their mean colour and its L*a*b*.
struct weighted_colour {
    colour mean;
    lab_colour lab;
    std::uint64_t count = 0;
    std::uint64_t sum[3] = {0, 0, 0};
};

/// The colours of a colour scan's pixels (three bytes r, g, b each), gathered in cells
/// of 4 levels a channel: 262,144 cells of 16 bytes (4 MB of address space, whatever the
/// scan's size; the system's zeroed pages, so that a small scan touches few of them).
/// A pixel's cell is cell_of() its bytes. Counts and sums are 32 bits a cell, spilled
/// into 64 bits every 2^24 pixels of a cell: no scan overflows them. Not copyable. One
/// histogram serves scan after scan: clear() empties only the cells met, so that a run
/// of small scans neither asks the system for fresh pages nor clears 4 MB for each.
class colour_histogram {
public:
    static constexpr unsigned cell_bits = 6;
    static constexpr std::size_t cell_count = std::size_t{1} << (3 * cell_bits);

    static std::uint32_t cell_of(const std::uint8_t* p) {
        constexpr unsigned drop = 8 - cell_bits;
        return (std::uint32_t{p[0]} >> drop << (2 * cell_bits)) | (std::uint32_t{p[1]} >> drop << cell_bits) |
               (std::uint32_t{p[2]} >> drop);
    }

    colour_histogram();

    /// Adds `count` pixels, three bytes each, from `p`.
    void add(const std::uint8_t* p, std::size_t count);

    /// Takes every pixel out: as new, at the cost of the cells met.
    void clear();

    /// The cells that have pixels, in the order first met.
    const std::vector<std::uint32_t>& cells_met() const { return met_; }

    /// The pixels of `cell` (one that has some).
    weighted_colour colour_of(std::uint32_t cell) const;

    /// The pixels in boxes of 8 levels a channel (8 cells each), the boxes that have
    /// any, in box order: the few thousand colours the inks are chosen from.
    std::vector<weighted_colour> coarse();

private:
    struct cell_tally {
        std::uint64_t count, r, g, b;
    };
    // A cell's pixels since its last spill (at most 2^24, so that the sums fit in 32
    // bits): 16 bytes, half the cache a cell_tally takes. The count's top bit says the
    // cell was met.
    struct narrow_tally {
        std::uint32_t count, r, g, b;
    };
    static constexpr std::uint32_t met_bit = std::uint32_t{1} << 31;
    static constexpr std::uint32_t spill_at = std::uint32_t{1} << 24;
    struct free_deleter {
        void operator()(void* p) const { std::free(p); }
    };

    void spill(std::uint32_t cell);
    cell_tally totals(std::uint32_t cell) const;

    std::unique_ptr<narrow_tally[], free_deleter> tally_;
    std::vector<std::uint32_t> met_;  // the cells that have pixels, as first met
    std::vector<std::pair<std::uint32_t, cell_tally>> spilled_;  // cells of more pixels, and those
    std::vector<cell_tally> boxes_;   // coarse()'s, kept zeroed between calls
};

}  // namespace hdrmill
