#include "palette/colour_histogram.hpp"

#include <algorithm>
#include <new>

#include "palette/palette_entry.hpp"

namespace hdrmill {

// calloc, not a vector: the system hands out zeroed pages as they are first touched,
// where a vector would clear all 4 MB for a scan of a few thousand colours.
colour_histogram::colour_histogram()
    : tally_(static_cast<narrow_tally*>(std::calloc(cell_count, sizeof(narrow_tally)))) {
    if (!tally_) throw std::bad_alloc();
}

void colour_histogram::add(const std::uint8_t* p, std::size_t count) {
    narrow_tally* tally = tally_.get();
    for (const std::uint8_t* end = p + 3 * count; p != end; p += 3) {
        const std::uint32_t cell = cell_of(p);
        narrow_tally& t = tally[cell];
        if (t.count == 0) {
            met_.push_back(cell);
            t.count = met_bit;
        }
        ++t.count;
        t.r += p[0];
        t.g += p[1];
        t.b += p[2];
        if (t.count == (met_bit | spill_at)) spill(cell);  // 2^24 * 255 still fits in 32 bits
    }
}

void colour_histogram::spill(std::uint32_t cell) {
    narrow_tally& t = tally_[cell];
    auto at = std::find_if(spilled_.begin(), spilled_.end(), [&](const auto& s) { return s.first == cell; });
    if (at == spilled_.end()) at = spilled_.insert(spilled_.end(), {cell, cell_tally{0, 0, 0, 0}});
    cell_tally& wide = at->second;
    wide.count += t.count & ~met_bit, wide.r += t.r, wide.g += t.g, wide.b += t.b;
    t = narrow_tally{met_bit, 0, 0, 0};
}

colour_histogram::cell_tally colour_histogram::totals(std::uint32_t cell) const {
    const narrow_tally& t = tally_[cell];
    cell_tally sum{t.count & ~met_bit, t.r, t.g, t.b};
    for (const auto& [at, wide] : spilled_) {  // a few cells at most: the commonest colours of a large scan
        if (at == cell) sum.count += wide.count, sum.r += wide.r, sum.g += wide.g, sum.b += wide.b;
    }
    return sum;
}

namespace {

// The pixels of a cell or box as the ink search takes them: count, sums, mean, L*a*b*.
weighted_colour weighed(std::uint64_t count, std::uint64_t r, std::uint64_t g, std::uint64_t b) {
    weighted_colour w;
    w.count = count;
    w.sum[0] = r, w.sum[1] = g, w.sum[2] = b;
    w.mean = mean_colour(w.sum, w.count);
    w.lab = to_lab(w.mean);
    return w;
}

}  // namespace

void colour_histogram::clear() {
    for (const std::uint32_t cell : met_) tally_[cell] = narrow_tally{0, 0, 0, 0};
    met_.clear();
    spilled_.clear();
}

weighted_colour colour_histogram::colour_of(std::uint32_t cell) const {
    const cell_tally t = totals(cell);
    return weighed(t.count, t.r, t.g, t.b);
}

std::vector<weighted_colour> colour_histogram::coarse() {
    constexpr unsigned box_bits = cell_bits - 1;
    constexpr std::uint32_t box_mask = (1U << box_bits) - 1;
    std::vector<cell_tally>& boxes = boxes_;
    boxes.resize(std::size_t{1} << (3 * box_bits), cell_tally{0, 0, 0, 0});
    std::vector<std::uint32_t> boxes_met;
    for (const std::uint32_t i : met_) {
        const cell_tally t = totals(i);
        const std::uint32_t r = i >> (2 * cell_bits + 1), g = (i >> (cell_bits + 1)) & box_mask, b = (i >> 1) & box_mask;
        const std::uint32_t at = (r << (2 * box_bits)) | (g << box_bits) | b;
        cell_tally& box = boxes[at];
        if (box.count == 0) boxes_met.push_back(at);
        box.count += t.count, box.r += t.r, box.g += t.g, box.b += t.b;
    }
    std::sort(boxes_met.begin(), boxes_met.end());
    std::vector<weighted_colour> out;
    for (const std::uint32_t at : boxes_met) {
        const cell_tally& t = boxes[at];
        out.push_back(weighed(t.count, t.r, t.g, t.b));
        boxes[at] = cell_tally{0, 0, 0, 0};
    }
    return out;
}

}  // namespace hdrmill
