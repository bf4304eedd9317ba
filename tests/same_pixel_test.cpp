#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "check/same_pixel.hpp"

namespace hdrmill {
namespace {

struct placed {
    double x, y;        // the pixel the point gives
    double e, n;        // its plane position; 1 metre a pixel, north up
    bool agrees = true;
};

// The findings for points on a chart placed by x = e, y = -n.
std::vector<std::string> findings(const std::vector<placed>& given, double tolerance) {
    std::vector<checked_point> points;
    chart_placement placement;
    placement.map = pixel_map{{0.0, 0.0}, 0.0, 0.0, 1.0, 0.0, 0.0, -1.0};
    for (std::size_t i = 0; i < given.size(); ++i) {
        points.push_back({std::string(1, 'C').append(std::to_string(i + 1)), given[i].x, given[i].y, 0.0, 0.0, {}, false, std::nullopt});
        placement.planes.push_back(plane_point{given[i].e, given[i].n});
        placement.agrees.push_back(given[i].agrees);
    }
    std::vector<std::string> texts;
    for (const auto& found : same_pixel_findings(points, placement, tolerance)) {
        EXPECT_EQ(found.severity, finding::level::error);
        texts.push_back(found.text);
    }
    return texts;
}

const char* const c1_c2 =
    "C1 and C2 are 5.0 pixels apart in the image but 25.0 pixels apart on the chart, the one offset 20.0 pixels "
    "from the other: the chart cannot be placed by both";

TEST(SamePixel, ANearPairIsJudgedByItsOffsetsAndOnlyWhereTheOthersAcceptBoth) {
    struct row {
        const char* what;
        std::vector<placed> points;
        std::vector<std::string> expected;
    };
    const row rows[] = {
        {"near, agreeing within 0.4 pixels", {{100, 100, 100, -100}, {105, 100, 105.4, -100}}, {}},
        {"near, 20 pixels off", {{100, 100, 100, -100}, {105, 100, 125, -100}}, {c1_c2}},
        {"the offsets as long, but turned", {{100, 100, 100, -100}, {108, 100, 92, -100}},
         {"C1 and C2 are 8.0 pixels apart in the image but 8.0 pixels apart on the chart, the one offset 16.0 "
          "pixels from the other: the chart cannot be placed by both"}},
        {"the others reject the second", {{100, 100, 100, -100}, {105, 100, 125, -100, false}}, {}},
        {"the others reject the first", {{100, 100, 100, -100, false}, {105, 100, 125, -100}}, {}},
        {"at one pixel", {{100, 100, 100, -100}, {100, 100, 100, -130}},
         {"C1 and C2 are both at the pixel (100,100) but 30.0 pixels apart on the chart: the chart cannot be "
          "placed by both"}},
        {"far apart in the image", {{100, 100, 100, -100}, {300, 100, 500, -100}}, {}},
        {"three at one pixel: every point named, no pair of named points again",
         {{100, 100, 100, -100}, {100, 100, 100, -130}, {100, 100, 100, -160}},
         {"C1 and C2 are both at the pixel (100,100) but 30.0 pixels apart on the chart: the chart cannot be "
          "placed by both",
          "C1 and C3 are both at the pixel (100,100) but 60.0 pixels apart on the chart: the chart cannot be "
          "placed by both"}},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(findings(r.points, 10.0), r.expected) << r.what;
    }
}

TEST(SamePixel, BothLimitsHoldExactly) {
    // 10 pixels apart is not closer than a tolerance of 10, however far off the offsets.
    EXPECT_TRUE(findings({{100, 100, 100, -100}, {110, 100, 95, -100}}, 10.0).empty());
    EXPECT_EQ(findings({{100, 100, 100, -100}, {110, 100, 95, -100}}, 10.5).size(), 1u);
    // Offsets exactly 10 pixels apart are not more than a tolerance of 10. A third point
    // between them, in agreement with both, keeps the pair from being passed over unseen.
    const placed between = {103, 103, 98, -100};
    EXPECT_TRUE(findings({{100, 100, 100, -100}, {106, 100, 96, -100}, between}, 10.0).empty());
    EXPECT_EQ(findings({{100, 100, 100, -100}, {106, 100, 95.5, -100}, between}, 10.0).size(), 1u);
}

TEST(SamePixel, PairsAcrossCellsAreFoundAndFarTolerancesStayFinite) {
    // Neighbours across every cell boundary around the first point, and a tolerance
    // whose cells would lie far outside any integer.
    const std::vector<placed> across = {{99, 99, 99, -99}, {100.5, 100.5, 130.5, -100.5}};
    EXPECT_EQ(findings(across, 2.5).size(), 1u);
    EXPECT_EQ(findings({{99.5, 100.2, 99.5, -100.2}, {100.2, 99.5, 130.2, -99.5}}, 2.5).size(), 1u);
    EXPECT_EQ(findings({{-99, 99, -99, -99}, {-100.5, 99, -130.5, -99}}, 2.5).size(), 1u);
    EXPECT_TRUE(findings(across, 1e-300).empty());
    EXPECT_EQ(findings(across, 1e300).size(), 0u);   // 30 pixels off, well within 1e300
}

}  // namespace
}  // namespace hdrmill
