#include "palette/nearest_entry.hpp"


namespace hdrmill {

lab_points::lab_points(const std::vector<palette_entry>& entries) {
    for (const palette_entry& e : entries) l.push_back(e.lab.l), a.push_back(e.lab.a), b.push_back(e.lab.b);
}

lab_points::lab_points(const std::vector<lab_colour>& labs) {
    for (const lab_colour& c : labs) l.push_back(c.l), a.push_back(c.a), b.push_back(c.b);
}

nearest_point nearest_of(const lab_points& points, const lab_colour& lab) {
    // Each distance squared with its index below it, so that the least key is the
    // nearest point and, of equals, the first: one loop without branches. A distance
    // squared fits in 48 bits for any L*a*b* within +-2^22 hundredths.
    const std::size_t n = points.size();
    std::uint64_t least = ~std::uint64_t{0};
    for (std::size_t i = 0; i < n; ++i) {
        const std::int64_t dl = points.l[i] - lab.l, da = points.a[i] - lab.a, db = points.b[i] - lab.b;
        const auto key = (static_cast<std::uint64_t>(dl * dl + da * da + db * db) << 8) | i;
        least = key < least ? key : least;
    }
    return {static_cast<std::size_t>(least & 0xFF), static_cast<std::int64_t>(least >> 8)};
}

}  // namespace hdrmill
