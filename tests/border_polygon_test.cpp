#include <gtest/gtest.h>

#include <limits>
#include <optional>
#include <vector>

#include "check/border_polygon.hpp"

namespace hdrmill {
namespace {

TEST(BorderPolygon, CrossingsTouchesAndCleanOutlines) {
    struct row {
        const char* what;
        std::vector<plane_point> vertices;
        std::optional<bool> crosses;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    std::vector<plane_point> long_and_short{{0, 0}, {1, 0}, {2, 0}, {3, 0}, {4, 0}, {1e9, 1}, {0, 1}};
    const row rows[] = {
        {"a square", {{0, 0}, {1, 0}, {1, 1}, {0, 1}}, false},
        {"a bow tie", {{0, 0}, {1, 1}, {1, 0}, {0, 1}}, true},
        {"a triangle", {{0, 0}, {1, 0}, {0, 1}}, false},
        {"repeated and closing vertices", {{0, 0}, {0, 0}, {1, 0}, {1, 1}, {0, 1}, {0, 0}}, false},
        {"a side touching a far corner", {{0, 0}, {2, 0}, {2, 2}, {1, 0}, {0, 2}}, true},
        {"a star drawn in one stroke", {{0, 3}, {2, -3}, {-3, 1}, {3, 1}, {-2, -3}}, true},
        {"not finite: no answer", {{0, 0}, {1, 0}, {nan, 1}, {0, 1}}, std::nullopt},
        {"a side far longer than all others: no answer", long_and_short, std::nullopt},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(crosses_itself(r.vertices), r.crosses) << r.what;
    }
}

}  // namespace
}  // namespace hdrmill
