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

/// The colours of a colour scan's pixels (three bytes r, g, b each), gathered in boxes
/// of 8 levels a channel: 32,768 boxes of 16 bytes (512 KB, whatever the scan's size;
/// the system's zeroed pages, so that a small scan touches few of them). A pixel's box
/// is box_of() its bytes. Counts and sums are 32 bits a box, spilled into 64 bits
/// every 2^24 pixels of a box: no scan overflows them. Not copyable. One histogram
/// serves scan after scan: clear() empties only the boxes met, so that a run of small
/// scans neither asks the system for fresh pages nor clears 512 KB for each.
class colour_histogram {
public:
    static constexpr unsigned box_bits = 5;
    static constexpr std::size_t box_count = std::size_t{1} << (3 * box_bits);

    static std::uint32_t box_of(const std::uint8_t* p) {
        constexpr unsigned drop = 8 - box_bits;
        return (std::uint32_t{p[0]} >> drop << (2 * box_bits)) | (std::uint32_t{p[1]} >> drop << box_bits) |
               (std::uint32_t{p[2]} >> drop);
    }

    colour_histogram();

    /// Adds `count` pixels, three bytes each, from `p`.
    void add(const std::uint8_t* p, std::size_t count);

    /// Adds the pixels of `other` (as if they had been added here: the same totals).
    void add(const colour_histogram& other);

    /// Takes every pixel out: as new, at the cost of the boxes met.
    void clear();

    /// The boxes that have pixels: in the order first met, in box order once
    /// colours() has run (until the next add()).
    const std::vector<std::uint32_t>& boxes_met() const { return met_; }

    /// The pixels of each box that has any, in box order: colours()[i] are those of
    /// boxes_met()[i]. The few thousand colours the inks are chosen from, each weighed
    /// (mean colour, L*a*b*) once.
    std::vector<weighted_colour> colours();

private:
    struct wide_tally {
        std::uint64_t count, r, g, b;
    };
    // A box's pixels since its last spill (at most 2^24, so that the sums fit in 32
    // bits): 16 bytes, half the cache a wide_tally takes. The count's top bit says the
    // box was met.
    struct narrow_tally {
        std::uint32_t count, r, g, b;
    };
    static constexpr std::uint32_t met_bit = std::uint32_t{1} << 31;
    static constexpr std::uint32_t spill_at = std::uint32_t{1} << 24;
    struct free_deleter {
        void operator()(void* p) const { std::free(p); }
    };

    wide_tally& spill(std::uint32_t box);  // the box's wide tally, which now holds all its pixels
    wide_tally totals(std::uint32_t box) const;

    std::unique_ptr<narrow_tally[], free_deleter> tally_;
    std::vector<std::uint32_t> met_;  // the boxes that have pixels
    std::vector<std::pair<std::uint32_t, wide_tally>> spilled_;  // boxes of more pixels, and those
};

}  // namespace hdrmill
