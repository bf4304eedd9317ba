#include <gtest/gtest.h>

#include <vector>

#include "check/reference_points.hpp"

namespace hdrmill {
namespace {

TEST(MiddleLongitude, StaysAmongThePointsAcrossTheSeamWhateverOneWildPointSays) {
    struct row {
        std::vector<double> longitudes;
        double middle;
    };
    const row rows[] = {
        {{-4.5, -4.4, -4.6}, -4.5},
        {{179.5, -179.5, 179.9, -179.9, 180.0}, 180.0},
        {{-90.0, 89.9, 90.0, 90.1, 90.05}, 90.0},                 // one lost sign astride 90 E
        {{1e17, 89.9, 90.0, 90.1}, 89.9},                         // the lower of the two middle ones
        {{12.0}, 12.0},
        {{}, 0.0},
    };
    for (const auto& r : rows) {
        EXPECT_DOUBLE_EQ(middle_longitude(r.longitudes), r.middle);
    }
}

}  // namespace
}  // namespace hdrmill
