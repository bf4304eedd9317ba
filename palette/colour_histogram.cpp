#include "palette/colour_histogram.hpp"

#include <algorithm>
#include <new>

#include "palette/palette_entry.hpp"

namespace hdrmill {

// calloc, not a vector: the system hands out zeroed pages as they are first touched,
// where a vector would clear all 512 KB for a scan of a few thousand colours.
colour_histogram::colour_histogram()
    : tally_(static_cast<narrow_tally*>(std::calloc(box_count, sizeof(narrow_tally)))) {
    if (!tally_) throw std::bad_alloc();
}

void colour_histogram::add(const std::uint8_t* p, std::size_t count) {
    narrow_tally* tally = tally_.get();
    for (const std::uint8_t* end = p + 3 * count; p != end; p += 3) {
        const std::uint32_t box = box_of(p);
        narrow_tally& t = tally[box];
        if (t.count == 0) {
            met_.push_back(box);
            t.count = met_bit;
        }
        ++t.count;
        t.r += p[0];
        t.g += p[1];
        t.b += p[2];
        if (t.count == (met_bit | spill_at)) spill(box);  // 2^24 * 255 still fits in 32 bits
    }
}

void colour_histogram::add(const colour_histogram& other) {
    for (const std::uint32_t box : other.met_) {
        const wide_tally more = other.totals(box);
        narrow_tally& t = tally_[box];
        if (t.count == 0) {
            met_.push_back(box);
            t.count = met_bit;
        }
        if ((t.count & ~met_bit) + more.count < spill_at) {  // still below a spill, as add() keeps it
            t.count += static_cast<std::uint32_t>(more.count);
            t.r += static_cast<std::uint32_t>(more.r), t.g += static_cast<std::uint32_t>(more.g);
            t.b += static_cast<std::uint32_t>(more.b);
            continue;
        }
        wide_tally& wide = spill(box);
        wide.count += more.count, wide.r += more.r, wide.g += more.g, wide.b += more.b;
    }
}

colour_histogram::wide_tally& colour_histogram::spill(std::uint32_t box) {
    narrow_tally& t = tally_[box];
    auto at = std::find_if(spilled_.begin(), spilled_.end(), [&](const auto& s) { return s.first == box; });
    if (at == spilled_.end()) at = spilled_.insert(spilled_.end(), {box, wide_tally{0, 0, 0, 0}});
    wide_tally& wide = at->second;
    wide.count += t.count & ~met_bit, wide.r += t.r, wide.g += t.g, wide.b += t.b;
    t = narrow_tally{met_bit, 0, 0, 0};
    return wide;
}

colour_histogram::wide_tally colour_histogram::totals(std::uint32_t box) const {
    const narrow_tally& t = tally_[box];
    wide_tally sum{t.count & ~met_bit, t.r, t.g, t.b};
    for (const auto& [at, wide] : spilled_) {  // a few boxes at most: the commonest colours of a large scan
        if (at == box) sum.count += wide.count, sum.r += wide.r, sum.g += wide.g, sum.b += wide.b;
    }
    return sum;
}

void colour_histogram::clear() {
    for (const std::uint32_t box : met_) tally_[box] = narrow_tally{0, 0, 0, 0};
    met_.clear();
    spilled_.clear();
}

std::vector<weighted_colour> colour_histogram::colours() {
    // Box order, so that the ink search sees the same colours in the same order
    // whatever order the pixels met them in.
    std::sort(met_.begin(), met_.end());
    std::vector<weighted_colour> out(met_.size());
    for (std::size_t i = 0; i < met_.size(); ++i) {
        const wide_tally t = totals(met_[i]);
        weighted_colour& w = out[i];
        w.count = t.count;
        w.sum[0] = t.r, w.sum[1] = t.g, w.sum[2] = t.b;
        w.mean = mean_colour(w.sum, w.count);
        w.lab = to_lab(w.mean);
    }
    return out;
}

}  // namespace hdrmill
