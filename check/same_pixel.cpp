#include "check/same_pixel.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <utility>

#include "header/header_stream.hpp"

namespace hdrmill {

namespace {

// Cell numbers stay well inside std::int64_t whatever a pixel and a tolerance are.
constexpr double farthest_cell = 1e15;

// An agreeing point in its cell, with its leftover: its pixel less where the map places it.
struct cell_point {
    std::int64_t cx = 0, cy = 0;
    std::size_t index = 0;
    double rx = 0.0, ry = 0.0;
};

// A run of points sharing one cell, and the box their leftovers lie in.
struct cell {
    std::int64_t cx = 0, cy = 0;
    std::size_t begin = 0, end = 0;
    double rx_low = 0.0, rx_high = 0.0, ry_low = 0.0, ry_high = 0.0;
};

std::int64_t cell_number(double pixel, double tolerance) {
    return static_cast<std::int64_t>(std::clamp(std::floor(pixel / tolerance), -farthest_cell, farthest_cell));
}

std::vector<cell> group_cells(const std::vector<cell_point>& sorted) {
    std::vector<cell> cells;
    for (std::size_t i = 0; i < sorted.size(); ++i) {
        const auto& p = sorted[i];
        if (cells.empty() || cells.back().cx != p.cx || cells.back().cy != p.cy) {
            cells.push_back({p.cx, p.cy, i, i, p.rx, p.rx, p.ry, p.ry});
        }
        auto& c = cells.back();
        c.end = i + 1;
        c.rx_low = std::min(c.rx_low, p.rx);
        c.rx_high = std::max(c.rx_high, p.rx);
        c.ry_low = std::min(c.ry_low, p.ry);
        c.ry_high = std::max(c.ry_high, p.ry);
    }
    return cells;
}

// No two points of the cells can have offsets differing by more than the tolerance
// when all their leftovers lie in a box no wider across than it.
bool leftovers_within(const cell& a, const cell& b, double tolerance) {
    const double width = std::max(a.rx_high, b.rx_high) - std::min(a.rx_low, b.rx_low);
    const double height = std::max(a.ry_high, b.ry_high) - std::min(a.ry_low, b.ry_low);
    return std::hypot(width, height) <= tolerance;
}

std::string pair_text(const checked_point& a, const checked_point& b, double apart, double on_chart, double off) {
    if (apart == 0.0) {
        return a.key + " and " + b.key + " are both at the pixel (" + format_real(a.x, 9) + "," + format_real(a.y, 9) +
               ") but " + one_decimal(on_chart) + " pixels apart on the chart: the chart cannot be placed by both";
    }
    return a.key + " and " + b.key + " are " + one_decimal(apart) + " pixels apart in the image but " +
           one_decimal(on_chart) + " pixels apart on the chart, the one offset " + one_decimal(off) +
           " pixels from the other: the chart cannot be placed by both";
}

struct pair_judge {
    const std::vector<checked_point>& points;
    const chart_placement& placement;
    double tolerance;
    std::vector<bool> named;
    std::vector<std::pair<std::pair<std::size_t, std::size_t>, std::string>> found;

    // Both points are tested as they are met: nothing is kept of a pair that passes. A
    // pair of points both named already adds nothing, so there are fewer findings
    // than points.
    void judge(std::size_t first, std::size_t second) {
        if (named[first] && named[second]) {
            return;
        }
        const auto [i, j] = std::minmax(first, second);
        const auto& a = points[i];
        const auto& b = points[j];
        const double dx = b.x - a.x, dy = b.y - a.y;
        const double apart = std::hypot(dx, dy);
        if (!(apart < tolerance)) {
            return;
        }
        const auto& map = *placement.map;
        const double de = placement.planes[j]->e - placement.planes[i]->e;
        const double dn = placement.planes[j]->n - placement.planes[i]->n;
        const double cx = map.xe * de + map.xn * dn, cy = map.ye * de + map.yn * dn;
        const double off = std::hypot(dx - cx, dy - cy);
        if (!(off > tolerance)) {
            return;
        }
        named[i] = named[j] = true;
        found.push_back({{i, j}, pair_text(a, b, apart, std::hypot(cx, cy), off)});
    }
};

}  // namespace

std::vector<finding> same_pixel_findings(const std::vector<checked_point>& points, const chart_placement& placement,
                                         double tolerance) {
    std::vector<finding> result;
    if (!placement.map || !(tolerance > 0.0) || !std::isfinite(tolerance)) {
        return result;
    }
    std::vector<cell_point> sorted;
    for (std::size_t i = 0; i < points.size(); ++i) {
        if (placement.planes[i] && placement.agrees[i]) {
            double x = 0.0, y = 0.0;
            placement.map->place(*placement.planes[i], x, y);
            sorted.push_back({cell_number(points[i].x, tolerance), cell_number(points[i].y, tolerance), i,
                              points[i].x - x, points[i].y - y});
        }
    }
    std::sort(sorted.begin(), sorted.end(), [](const cell_point& a, const cell_point& b) {
        return a.cx != b.cx ? a.cx < b.cx : a.cy != b.cy ? a.cy < b.cy : a.index < b.index;
    });
    const auto cells = group_cells(sorted);
    pair_judge judge{points, placement, tolerance, std::vector<bool>(points.size(), false), {}};
    // Each cell with itself and the four neighbours after it: every pair of neighbours once.
    constexpr std::array<std::pair<std::int64_t, std::int64_t>, 4> after = {{{0, 1}, {1, -1}, {1, 0}, {1, 1}}};
    for (const auto& a : cells) {
        if (!leftovers_within(a, a, tolerance)) {
            for (std::size_t p = a.begin; p < a.end; ++p) {
                for (std::size_t q = p + 1; q < a.end; ++q) {
                    judge.judge(sorted[p].index, sorted[q].index);
                }
            }
        }
        for (const auto& [dx, dy] : after) {
            const auto b = std::lower_bound(cells.begin(), cells.end(), std::pair{a.cx + dx, a.cy + dy},
                                            [](const cell& c, const std::pair<std::int64_t, std::int64_t>& key) {
                                                return std::pair{c.cx, c.cy} < key;
                                            });
            if (b == cells.end() || b->cx != a.cx + dx || b->cy != a.cy + dy || leftovers_within(a, *b, tolerance)) {
                continue;
            }
            for (std::size_t p = a.begin; p < a.end; ++p) {
                for (std::size_t q = b->begin; q < b->end; ++q) {
                    judge.judge(sorted[p].index, sorted[q].index);
                }
            }
        }
    }
    std::sort(judge.found.begin(), judge.found.end());
    for (auto& [pair, text] : judge.found) {
        result.push_back({finding::level::error, std::move(text)});
    }
    return result;
}

}  // namespace hdrmill
