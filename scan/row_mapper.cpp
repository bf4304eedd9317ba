#include "scan/row_mapper.hpp"

#include <algorithm>
#include <climits>
#include <cstring>

namespace hdrmill {

namespace {

std::uint32_t packed_colour(colour c) { return std::uint32_t{c.r} << 16 | std::uint32_t{c.g} << 8 | c.b; }

std::uint32_t packed_colour(const std::uint8_t* rgb) { return packed_colour(colour{rgb[0], rgb[1], rgb[2]}); }

}  // namespace

palette_index::palette_index(const std::vector<colour>& palette) {
    for (std::size_t k = 0; k < palette.size(); ++k) {
        entries_.push_back({packed_colour(palette[k]), static_cast<std::uint8_t>(k)});
    }
    std::stable_sort(entries_.begin(), entries_.end(), [](const entry& a, const entry& b) { return a.rgb < b.rgb; });
}

int palette_index::find(std::uint32_t rgb) const {
    const auto at = std::lower_bound(entries_.begin(), entries_.end(), rgb,
                                     [](const entry& e, std::uint32_t v) { return e.rgb < v; });
    return at == entries_.end() || at->rgb != rgb ? -1 : at->index;
}

row_mapper::row_mapper(layout_class native, const scan_image& scan, const std::vector<colour>& decoder_palette)
    : one_byte_(one_byte_a_pixel(native)), target_(scan.type), lookup_(scan.palette) {
    if (!one_byte_) {
        return;
    }
    // Each value of a one-byte row stands for a colour: an index for the entry of the
    // decoder's palette, a level for that grey. What the scan holds for it follows.
    const bool index = native == layout_class::indices;
    for (unsigned v = 0; v < 256; ++v) {
        const auto level = static_cast<std::uint8_t>(v);
        const bool known = !index || v < decoder_palette.size();
        shown_[v] = index ? (known ? decoder_palette[v] : colour{}) : colour{level, level, level};
        switch (target_) {
        case scan_image::kind::indexed:
            result_[v] = index ? (v < scan.palette.size() ? static_cast<int>(v) : -1)
                               : lookup_.find(packed_colour(shown_[v]));
            break;
        case scan_image::kind::grey:
            result_[v] = known ? shown_[v].r : -1;
            break;
        case scan_image::kind::colour:
            result_[v] = known ? 0 : -1;
            break;
        }
    }
}

bool row_mapper::map(const std::uint8_t* plain, std::uint32_t width, std::uint8_t* out) const {
    if (one_byte_) {
        return map_one_byte(plain, width, out);
    }
    switch (target_) {
    case scan_image::kind::colour:
        std::memcpy(out, plain, 3 * std::size_t{width});
        return true;
    case scan_image::kind::grey:
        for (std::uint32_t x = 0; x < width; ++x) {
            out[x] = plain[3 * std::size_t{x}];
        }
        return true;
    case scan_image::kind::indexed:
        break;
    }
    return map_to_indices(plain, width, out);
}

bool row_mapper::map_one_byte(const std::uint8_t* plain, std::uint32_t width, std::uint8_t* out) const {
    for (std::uint32_t x = 0; x < width; ++x) {
        const int result = result_[plain[x]];
        if (result < 0) {
            return false;
        }
        if (target_ == scan_image::kind::colour) {
            const colour& c = shown_[plain[x]];
            *out++ = c.r;
            *out++ = c.g;
            *out++ = c.b;
        } else {
            *out++ = static_cast<std::uint8_t>(result);
        }
    }
    return true;
}

bool row_mapper::map_to_indices(const std::uint8_t* plain, std::uint32_t width, std::uint8_t* out) const {
    // Runs of one colour are common in a chart: each is looked up once.
    std::uint32_t last = UINT32_MAX;
    int index = -1;
    for (std::uint32_t x = 0; x < width; ++x) {
        const std::uint32_t rgb = packed_colour(plain + 3 * std::size_t{x});
        if (rgb != last) {
            last = rgb;
            index = lookup_.find(rgb);
            if (index < 0) {
                return false;
            }
        }
        out[x] = static_cast<std::uint8_t>(index);
    }
    return true;
}

}  // namespace hdrmill
