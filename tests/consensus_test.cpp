#include <gtest/gtest.h>

#include <vector>

#include "check/consensus.hpp"

namespace hdrmill {
namespace {

// Points on a slightly rotated, sheared chart, exact to the map x = 100 + 0.5 e + 0.02 n,
// y = 50 + 0.03 e - 0.5 n.
std::vector<tie_point> points_on_a_chart(std::size_t count) {
    std::vector<tie_point> points;
    for (std::size_t i = 0; i < count; ++i) {
        const double e = static_cast<double>(i % 9) * 1000.0 + static_cast<double>(i) * 7.0;
        const double n = static_cast<double>(i / 9) * 1000.0;
        points.push_back({100.0 + 0.5 * e + 0.02 * n, 50.0 + 0.03 * e - 0.5 * n, {e, n}});
    }
    return points;
}

TEST(Consensus, TwoGrossSlipsAmongManyPointsAreLeftOutAndTheMapIsExact) {
    // 30 points try every triple; 90 points a repeatable sample of them.
    for (const std::size_t count : {30u, 90u}) {
        auto points = points_on_a_chart(count);
        points[3].x += 400.0;
        points[count - 5].plane.n = -points[count - 5].plane.n;
        const auto agreed = find_consensus(points, 10.0);
        ASSERT_TRUE(agreed) << count;
        EXPECT_EQ(agreed->count, count - 2);
        for (std::size_t i = 0; i < count; ++i) {
            EXPECT_EQ(agreed->agrees[i], i != 3 && i != count - 5) << count << " point " << i;
        }
        double x = 0.0, y = 0.0;
        agreed->map.place({5000.0, 2000.0}, x, y);
        EXPECT_NEAR(x, 100.0 + 2500.0 + 40.0, 1e-6);
        EXPECT_NEAR(y, 50.0 + 150.0 - 1000.0, 1e-6);
    }
}

TEST(Consensus, NothingWhenNoThreePointsSpanThePlane) {
    std::vector<tie_point> on_a_line;
    for (int i = 0; i < 6; ++i) {
        on_a_line.push_back({10.0 * i, 0.0, {100.0 * i, 50.0 * i}});
    }
    EXPECT_FALSE(find_consensus(on_a_line, 10.0));
}

}  // namespace
}  // namespace hdrmill
