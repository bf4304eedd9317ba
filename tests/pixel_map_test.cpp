#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <string>
#include <vector>

#include "check/pixel_map.hpp"

namespace hdrmill {
namespace {

// Three layouts of reference points on the plane, in metres: where the others place a
// point well, and where they hardly can.
struct layout {
    const char* name;
    std::vector<plane_point> planes;
    std::vector<double> margins;   // 3 px x sqrt(h / (1 - h)), worked out by hand
};

const std::vector<layout> layouts = {
    {"four corners", {{0, 0}, {1000, 0}, {1000, 1000}, {0, 1000}}, {5.196, 5.196, 5.196, 5.196}},
    {"a cluster with a far point",
     {{0, 0}, {100, 0}, {0, 100}, {100, 100}, {50, 50}, {2000, 2000}},
     {1.551, 4.582, 4.582, 1.455, 1.500, 82.742}},
    {"three nearly on a line", {{0, 0}, {1000, 10}, {2000, 0}, {1000, 1000}}, {6.763, 2.100, 6.763, 366.203}},
};

// The pixels of a north-up scan at 2 metres a pixel.
std::vector<tie_point> clicked(const std::vector<plane_point>& planes) {
    std::vector<tie_point> ties;
    for (const auto& plane : planes) {
        ties.push_back({100.0 + plane.e / 2.0, 1200.0 - plane.n / 2.0, plane});
    }
    return ties;
}

std::vector<std::size_t> all_of(std::size_t count) {
    std::vector<std::size_t> chosen(count);
    for (std::size_t i = 0; i < count; ++i) {
        chosen[i] = i;
    }
    return chosen;
}

TEST(Margin, GrowsWithHowPoorlyTheOthersPlaceAPoint) {
    for (const auto& l : layouts) {
        const auto ties = clicked(l.planes);
        const auto fit = fit_least_squares(ties, all_of(ties.size()));
        ASSERT_TRUE(fit) << l.name;
        for (std::size_t i = 0; i < ties.size(); ++i) {
            EXPECT_NEAR(fit->margin(ties[i].plane, true), l.margins[i], 0.001) << l.name << " point " << i;
        }
    }
}

TEST(Margin, APixelOfRoundingInEveryPointIsNoErrorAtTheDefaultTolerance) {
    // Every pattern of +-1 pixel on each coordinate of each point.
    for (const auto& l : layouts) {
        const auto exact = clicked(l.planes);
        const std::size_t coordinates = 2 * exact.size();
        for (unsigned pattern = 0; pattern < (1u << coordinates); ++pattern) {
            auto ties = exact;
            for (std::size_t c = 0; c < coordinates; ++c) {
                (c % 2 == 0 ? ties[c / 2].x : ties[c / 2].y) += (pattern >> c & 1u) != 0 ? 1.0 : -1.0;
            }
            const auto fit = fit_least_squares(ties, all_of(ties.size()));
            ASSERT_TRUE(fit);
            for (const auto& tie : ties) {
                ASSERT_TRUE(fit->agrees(tie, true, 10.0)) << l.name << ", pattern " << pattern;
            }
        }
    }
}

TEST(Margin, ASlipBeyondTheToleranceAndTheMarginIsCaughtAndOneWithinIsNot) {
    constexpr double tolerance = 10.0;
    for (const auto& l : layouts) {
        for (std::size_t i = 0; i < l.planes.size(); ++i) {
            for (const double beyond : {-0.01, 0.01}) {
                auto ties = clicked(l.planes);
                // The others agree exactly, so the slip is the point's whole distance from them.
                ties[i].y += tolerance + l.margins[i] + beyond + (beyond < 0 ? -0.001 : 0.001);
                const auto fit = fit_least_squares(ties, all_of(ties.size()));
                ASSERT_TRUE(fit);
                EXPECT_EQ(fit->agrees(ties[i], true, tolerance), beyond < 0) << l.name << " point " << i;
                // A point left out of the fit is judged by the map with the same allowance.
                auto others = all_of(ties.size());
                others.erase(others.begin() + static_cast<std::ptrdiff_t>(i));
                const auto without = fit_least_squares(ties, others);
                ASSERT_TRUE(without);
                EXPECT_EQ(without->agrees(ties[i], false, tolerance), beyond < 0) << l.name << " point " << i;
            }
        }
    }
}

TEST(Margin, APointTheOthersCannotPlaceIsNotJudged) {
    // Three points on one line leave the fourth to itself: it agrees, whatever its error.
    auto ties = clicked({{0, 0}, {1000, 0}, {2000, 0}, {1000, 1000}});
    ties[3].x += 500.0;
    const auto fit = fit_least_squares(ties, all_of(4));
    ASSERT_TRUE(fit);
    EXPECT_TRUE(std::isinf(fit->margin(ties[3].plane, true)));
    EXPECT_TRUE(fit->agrees(ties[3], true, 10.0));
}

}  // namespace
}  // namespace hdrmill
