#include "palette/nearest_entry.hpp"

#include <array>

namespace hdrmill {

lab_points::lab_points(const std::vector<palette_entry>& entries) {
    for (const palette_entry& e : entries) l.push_back(e.lab.l), a.push_back(e.lab.a), b.push_back(e.lab.b);
}

lab_points::lab_points(const std::vector<lab_colour>& labs) {
    for (const lab_colour& c : labs) l.push_back(c.l), a.push_back(c.a), b.push_back(c.b);
}

nearest_point nearest_of(const lab_points& points, const lab_colour& lab) {
    // Squared in 64 bits: k-means centres, unlike colours, are not bound to the range of
    // real colours' L*a*b*. The distances first, in a loop without branches, then the
    // least of them.
    const std::size_t n = points.size();
    std::array<std::int64_t, 256> d{};
    for (std::size_t i = 0; i < n; ++i) {
        const std::int64_t dl = points.l[i] - lab.l, da = points.a[i] - lab.a, db = points.b[i] - lab.b;
        d[i] = dl * dl + da * da + db * db;
    }
    nearest_point best{0, d[0]};
    for (std::size_t i = 1; i < n; ++i) {
        if (d[i] < best.distance_squared) best = {i, d[i]};
    }
    return best;
}

}  // namespace hdrmill
