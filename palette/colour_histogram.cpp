#include "palette/colour_histogram.hpp"

#include "palette/palette_entry.hpp"

namespace hdrmill {

void colour_histogram::add(const std::uint8_t* p, std::size_t count) {
    cell_tally* tally = tally_.data();
    for (const std::uint8_t* end = p + 3 * count; p != end; p += 3) {
        cell_tally& t = tally[cell_of(p)];
        ++t.count;
        t.r += p[0];
        t.g += p[1];
        t.b += p[2];
    }
}

std::vector<std::uint32_t> colour_histogram::cells_met() const {
    std::vector<std::uint32_t> cells;
    for (std::size_t i = 0; i < cell_count; ++i) {
        if (tally_[i].count != 0) cells.push_back(static_cast<std::uint32_t>(i));
    }
    return cells;
}

weighted_colour colour_histogram::colour_of(std::uint32_t cell) const {
    const cell_tally& t = tally_[cell];
    weighted_colour w;
    w.count = t.count;
    w.sum[0] = t.r, w.sum[1] = t.g, w.sum[2] = t.b;
    w.mean = mean_colour(w.sum, w.count);
    w.lab = to_lab(w.mean);
    return w;
}

std::vector<weighted_colour> colour_histogram::coarse() const {
    constexpr unsigned box_bits = cell_bits - 1;
    constexpr std::uint32_t box_mask = (1U << box_bits) - 1;
    std::vector<cell_tally> boxes(std::size_t{1} << (3 * box_bits), cell_tally{0, 0, 0, 0});
    for (std::uint32_t i = 0; i < cell_count; ++i) {
        const cell_tally& t = tally_[i];
        if (t.count == 0) continue;
        const std::uint32_t r = i >> (2 * cell_bits + 1), g = (i >> (cell_bits + 1)) & box_mask, b = (i >> 1) & box_mask;
        cell_tally& box = boxes[(r << (2 * box_bits)) | (g << box_bits) | b];
        box.count += t.count, box.r += t.r, box.g += t.g, box.b += t.b;
    }
    std::vector<weighted_colour> out;
    for (const cell_tally& t : boxes) {
        if (t.count == 0) continue;
        weighted_colour w;
        w.count = t.count;
        w.sum[0] = t.r, w.sum[1] = t.g, w.sum[2] = t.b;
        w.mean = mean_colour(w.sum, w.count);
        w.lab = to_lab(w.mean);
        out.push_back(w);
    }
    return out;
}

}  // namespace hdrmill
