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

// The polygon's corners: neighbours that repeat, and a last corner that closes the
// ring, taken once. Nothing when a corner is not finite.
std::optional<std::vector<plane_point>> distinct_corners(const std::vector<plane_point>& vertices) {
    std::vector<plane_point> corners;
    for (const auto& vertex : vertices) {
        if (!std::isfinite(vertex.e) || !std::isfinite(vertex.n)) {
            return std::nullopt;
        }
        if (corners.empty() || corners.back().e != vertex.e || corners.back().n != vertex.n) {
            corners.push_back(vertex);
        }
    }
    while (corners.size() > 1 && corners.back().e == corners.front().e && corners.back().n == corners.front().n) {
        corners.pop_back();
    }
    return corners;
}

struct ring {
    const std::vector<plane_point>& corners;
    plane_point start(std::size_t side) const { return corners[side]; }
    plane_point end(std::size_t side) const { return corners[(side + 1) % corners.size()]; }
    std::size_t sides() const { return corners.size(); }
};

// The median side length: the grid's cell size. Nothing when most sides have no length.
std::optional<double> cell_size(const ring& outline) {
    std::vector<double> lengths;
    for (std::size_t i = 0; i < outline.sides(); ++i) {
        lengths.push_back(std::hypot(outline.end(i).e - outline.start(i).e, outline.end(i).n - outline.start(i).n));
    }
    const auto middle = lengths.begin() + static_cast<std::ptrdiff_t>(lengths.size() / 2);
    std::nth_element(lengths.begin(), middle, lengths.end());
    return *middle > 0.0 && std::isfinite(*middle) ? std::optional<double>(*middle) : std::nullopt;
}

using cell_sides = std::unordered_map<std::uint64_t, std::vector<std::uint32_t>>;

// Each side walked in steps of half a cell; the cells each step's box touches hold the
// side. Nothing when the sides would fill more cells than the limit.
std::optional<cell_sides> sides_by_cell(const ring& outline, double cell) {
    const std::size_t cell_limit = 64 * outline.sides() + 4096;
    std::size_t cells_used = 0;
    cell_sides sides_in_cell;
    const auto cell_of = [&](double value) { return static_cast<std::int64_t>(std::floor(value / cell)); };
    for (std::size_t i = 0; i < outline.sides(); ++i) {
        const auto a = outline.start(i);
        const auto b = outline.end(i);
        const double steps = std::ceil(std::hypot(b.e - a.e, b.n - a.n) / (cell / 2.0));
        if (!(steps < static_cast<double>(cell_limit))) {
            return std::nullopt;
        }
        for (std::size_t s = 0; s < static_cast<std::size_t>(steps); ++s) {
            const double t0 = static_cast<double>(s) / steps, t1 = static_cast<double>(s + 1) / steps;
            const plane_point p{a.e + (b.e - a.e) * t0, a.n + (b.n - a.n) * t0};
            const plane_point q{a.e + (b.e - a.e) * t1, a.n + (b.n - a.n) * t1};
            for (auto cx = cell_of(std::min(p.e, q.e)); cx <= cell_of(std::max(p.e, q.e)); ++cx) {
                for (auto cy = cell_of(std::min(p.n, q.n)); cy <= cell_of(std::max(p.n, q.n)); ++cy) {
                    auto& sides = sides_in_cell[(static_cast<std::uint64_t>(cx) << 32) ^ static_cast<std::uint32_t>(cy)];
                    if (sides.empty() || sides.back() != i) {
                        sides.push_back(static_cast<std::uint32_t>(i));
                        if (++cells_used > cell_limit) {
                            return std::nullopt;
                        }
                    }
                }
            }
        }
    }
    return sides_in_cell;
}

}  // namespace

std::optional<bool> crosses_itself(const std::vector<plane_point>& vertices) {
    const auto corners = distinct_corners(vertices);
    if (!corners) {
        return std::nullopt;
    }
    const ring outline{*corners};
    const std::size_t m = outline.sides();
    if (m < 4) {
        return false;   // a triangle or less cannot cross itself
    }
    const auto cell = cell_size(outline);
    const auto sides_in_cell = cell ? sides_by_cell(outline, *cell) : std::nullopt;
    if (!sides_in_cell) {
        return std::nullopt;
    }
    // Sides that share no cell cannot meet.
    std::size_t comparisons = 0;
    const std::size_t comparison_limit = 64 * m + 1000000;
    for (const auto& [key, sides] : *sides_in_cell) {
        for (std::size_t u = 0; u < sides.size(); ++u) {
            for (std::size_t v = u + 1; v < sides.size(); ++v) {
                const std::size_t i = sides[u], j = sides[v];
                if ((i + 1) % m == j || (j + 1) % m == i) {
                    continue;   // neighbours meet at their shared corner
                }
                if (++comparisons > comparison_limit) {
                    return std::nullopt;
                }
                if (segments_meet(outline.start(i), outline.end(i), outline.start(j), outline.end(j))) {
                    return true;
                }
            }
        }
    }
    return false;
}

}  // namespace hdrmill
