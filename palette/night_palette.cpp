#include "palette/night_palette.hpp"

#include <algorithm>
#include <cstdint>

#include "palette/cie_lab.hpp"

namespace hdrmill {
namespace {

// From this chroma (hundredths of C*ab) on, an entry keeps its day hue in full; below
// it, it goes the more to grey the nearer it is to grey by day.
constexpr std::int64_t full_chroma = 3000;

std::uint8_t brightness(const colour& c) { return std::max({c.r, c.g, c.b}); }

// Day lightness (L* in hundredths) to night brightness: the lightest entry (the paper)
// goes to 0 and the darkest (the strokes) to the ceiling, the rest in proportion to
// their L* between them, so that the whole range the ceiling allows is used.
struct lightness_range {
    std::int64_t lightest = 0, darkest = 0;

    std::int64_t value(std::int64_t lightness, std::int64_t ceiling) const {
        if (lightest <= darkest) return lightness >= 5000 ? 0 : ceiling;  // one lightness: paper or ink
        return ceiling * (lightest - std::clamp(lightness, darkest, lightest)) / (lightest - darkest);
    }
};

colour darkened(const colour& day, const lightness_range& range, std::int64_t ceiling) {
    const lab_colour lab = to_lab(day);
    const std::int64_t value = range.value(lab.l, ceiling);
    const std::int64_t chroma = std::min<std::int64_t>(distance(lab_colour{0, lab.a, lab.b}, lab_colour{}), full_chroma);
    const std::int64_t top = brightness(day);
    const auto channel = [&](std::uint8_t level) {
        // The hue: the channel scaled so that the brightest is `value`; black by day has none.
        const std::int64_t hued = top == 0 ? value : (2 * level * value + top) / (2 * top);
        return static_cast<std::uint8_t>((2 * (value * (full_chroma - chroma) + hued * chroma) + full_chroma) /
                                         (2 * full_chroma));
    };
    return {channel(day.r), channel(day.g), channel(day.b)};
}

std::vector<colour> darkened_palette(const std::vector<colour>& day, std::int64_t share) {
    std::uint8_t brightest = 0;
    lightness_range range{-1, 20000};
    for (const colour& c : day) {
        brightest = std::max(brightest, brightness(c));
        const std::int64_t l = to_lab(c).l;
        range.lightest = std::max(range.lightest, l);
        range.darkest = std::min(range.darkest, l);
    }
    std::vector<colour> dark;
    dark.reserve(day.size());
    for (const colour& c : day) dark.push_back(darkened(c, range, brightest / share));
    return dark;
}

}  // namespace

std::vector<colour> dusk_palette(const std::vector<colour>& day) { return darkened_palette(day, 2); }

std::vector<colour> night_palette(const std::vector<colour>& day) { return darkened_palette(day, 4); }

}  // namespace hdrmill
