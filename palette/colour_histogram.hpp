#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
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
/// of 4 levels a channel: 262,144 cells of 32 bytes (8 MB of address space, whatever the
/// scan's size; the system's zeroed pages, so that a small scan touches few of them).
/// A pixel's cell is cell_of() its bytes. Counts and sums are 64 bits: no scan
/// overflows them. Not copyable. One histogram serves scan after scan: clear() empties
/// only the cells met, so that a run of small scans neither asks the system for fresh
/// pages nor clears 8 MB for each.
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
    struct free_deleter {
        void operator()(cell_tally* p) const { std::free(p); }
    };
    std::unique_ptr<cell_tally[], free_deleter> tally_;
    std::vector<std::uint32_t> met_;  // the cells that have pixels, as first met
    std::vector<cell_tally> boxes_;   // coarse()'s, kept zeroed between calls
};

}  // namespace hdrmill
