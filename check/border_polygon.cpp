#include "check/border_polygon.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <unordered_map>

namespace hdrmill {

namespace {

double orientation(plane_point a, plane_point b, plane_point c) {
    return (b.e - a.e) * (c.n - a.n) - (b.n - a.n) * (c.e - a.e);
}

bool within_box(plane_point a, plane_point b, plane_point p) {
    return std::min(a.e, b.e) <= p.e && p.e <= std::max(a.e, b.e) && std::min(a.n, b.n) <= p.n &&
           p.n <= std::max(a.n, b.n);
}

// Whether the closed segments ab and cd share a point.
bool segments_meet(plane_point a, plane_point b, plane_point c, plane_point d) {
    const double d1 = orientation(c, d, a), d2 = orientation(c, d, b);
    const double d3 = orientation(a, b, c), d4 = orientation(a, b, d);
    if (((d1 > 0 && d2 < 0) || (d1 < 0 && d2 > 0)) && ((d3 > 0 && d4 < 0) || (d3 < 0 && d4 > 0))) {
        return true;
    }
    return (d1 == 0 && within_box(c, d, a)) || (d2 == 0 && within_box(c, d, b)) ||
           (d3 == 0 && within_box(a, b, c)) || (d4 == 0 && within_box(a, b, d));
}

}  // namespace

std::optional<bool> crosses_itself(const std::vector<plane_point>& vertices) {
    std::vector<plane_point> corners;
    for (const auto& vertex : vertices) {
        if (corners.empty() || corners.back().e != vertex.e || corners.back().n != vertex.n) {
            corners.push_back(vertex);
        }
    }
    while (corners.size() > 1 && corners.back().e == corners.front().e && corners.back().n == corners.front().n) {
        corners.pop_back();
    }
    const std::size_t m = corners.size();
    if (m < 4) {
        return false;   // a triangle or less cannot cross itself
    }
    const auto side_end = [&](std::size_t i) { return corners[(i + 1) % m]; };

    std::vector<double> lengths;
    for (std::size_t i = 0; i < m; ++i) {
        lengths.push_back(std::hypot(side_end(i).e - corners[i].e, side_end(i).n - corners[i].n));
    }
    std::nth_element(lengths.begin(), lengths.begin() + static_cast<std::ptrdiff_t>(m / 2), lengths.end());
    const double cell = lengths[m / 2];
    if (!(cell > 0.0) || !std::isfinite(cell)) {
        return std::nullopt;
    }

    // Each side is walked in steps of half a cell; the cells each step's box touches
    // hold the side. Sides that share no cell cannot meet.
    const std::size_t cell_limit = 64 * m + 4096;
    std::size_t cells_used = 0;
    std::unordered_map<std::uint64_t, std::vector<std::uint32_t>> sides_in_cell;
    const auto cell_of = [&](double value) { return static_cast<std::int64_t>(std::floor(value / cell)); };
    for (std::size_t i = 0; i < m; ++i) {
        const auto a = corners[i];
        const auto b = side_end(i);
        const double steps = std::ceil(std::hypot(b.e - a.e, b.n - a.n) / (cell / 2.0));
        if (!(steps < static_cast<double>(cell_limit))) {
            return std::nullopt;
        }
        const auto count = static_cast<std::size_t>(steps);
        std::uint64_t last_key = 0;
        bool have_last = false;
        for (std::size_t s = 0; s < count; ++s) {
            const double t0 = static_cast<double>(s) / steps, t1 = static_cast<double>(s + 1) / steps;
            const plane_point p{a.e + (b.e - a.e) * t0, a.n + (b.n - a.n) * t0};
            const plane_point q{a.e + (b.e - a.e) * t1, a.n + (b.n - a.n) * t1};
            for (auto cx = cell_of(std::min(p.e, q.e)); cx <= cell_of(std::max(p.e, q.e)); ++cx) {
                for (auto cy = cell_of(std::min(p.n, q.n)); cy <= cell_of(std::max(p.n, q.n)); ++cy) {
                    const auto key = (static_cast<std::uint64_t>(cx) << 32) ^ static_cast<std::uint32_t>(cy);
                    auto& sides = sides_in_cell[key];
                    if (have_last && key == last_key) {
                        continue;
                    }
                    if (sides.empty() || sides.back() != i) {
                        sides.push_back(static_cast<std::uint32_t>(i));
                        if (++cells_used > cell_limit) {
                            return std::nullopt;
                        }
                    }
                    last_key = key;
                    have_last = true;
                }
            }
        }
    }

    std::size_t comparisons = 0;
    const std::size_t comparison_limit = 64 * m + 1000000;
    for (const auto& [key, sides] : sides_in_cell) {
        for (std::size_t u = 0; u < sides.size(); ++u) {
            for (std::size_t v = u + 1; v < sides.size(); ++v) {
                const std::size_t i = sides[u], j = sides[v];
                const bool neighbours = (i + 1) % m == j || (j + 1) % m == i;
                if (neighbours) {
                    continue;
                }
                if (++comparisons > comparison_limit) {
                    return std::nullopt;
                }
                if (segments_meet(corners[i], side_end(i), corners[j], side_end(j))) {
                    return true;
                }
            }
        }
    }
    return false;
}

}  // namespace hdrmill
