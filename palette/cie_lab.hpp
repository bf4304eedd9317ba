#pragma once

#include <cmath>
#include <cstdint>

#include "scan/scan_image.hpp"

namespace hdrmill {

/// A colour in CIE L*a*b* (sRGB primaries, D65 white), in hundredths: `l` from 0 (black)
/// to 10000 (white), `a` and `b` roughly -12800..12800. Integer, so that every choice made
/// on it (nearest palette entry, palette order) is the same on every platform and
/// compiler: no libm, no x87 or fused multiply-add difference can flip one.
struct lab_colour {
    std::int32_t l = 0;
    std::int32_t a = 0;
    std::int32_t b = 0;
    friend bool operator==(const lab_colour&, const lab_colour&) = default;
};

/// Light in linear sRGB, 65536 for full scale: what a scanner's optics blend.
struct linear_colour {
    std::uint32_t r = 0;
    std::uint32_t g = 0;
    std::uint32_t b = 0;
};

/// Within 0.05 of the exact CIE formulas in each of L*, a*, b*; white (255, 255, 255)
/// gives exactly (10000, 0, 0), and every grey exactly a = b = 0.
lab_colour to_lab(colour c);
lab_colour to_lab(linear_colour c);

linear_colour to_linear(colour c);

/// The CIE76 colour difference squared, in hundredths squared: (delta E * 100)^2.
inline std::int64_t distance_squared(const lab_colour& x, const lab_colour& y) {
    const std::int64_t dl = x.l - y.l;
    const std::int64_t da = x.a - y.a;
    const std::int64_t db = x.b - y.b;
    return dl * dl + da * da + db * db;
}

/// The CIE76 colour difference in hundredths, rounded down.
std::int32_t distance(const lab_colour& x, const lab_colour& y);

/// The square root of `squared` (0 up to a distance_squared), rounded down: the
/// distance of a distance_squared already at hand. The steps after the double's root
/// keep it exact however that is rounded; inline, as it runs for most colours of a
/// scan, the compiler sees that they are rarely taken.
inline std::int32_t square_root_floor(std::int64_t squared) {
    auto d = static_cast<std::int64_t>(std::sqrt(static_cast<double>(squared)));
    while (d > 0 && d * d > squared) --d;
    while ((d + 1) * (d + 1) <= squared) ++d;
    return static_cast<std::int32_t>(d);
}

}  // namespace hdrmill
