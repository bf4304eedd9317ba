#include <gtest/gtest.h>

#include "header/chart_parameters.hpp"

namespace hdrmill {
namespace {

TEST(ChartParameters, PixelsPerInchFromScaleAndPixelSizes) {
    struct row {
        std::int32_t scale;
        double dx, dy;
        std::int32_t expected;
    };
    const row rows[] = {
        {20000, 1.5, 1.5, 339},
        {12000, 1.0, 1.0, 305},
        {50000, 2.0, 3.0, 508},  // 508.5 truncated
        {10000, -2.54, -2.54, -99},
        {missing_integer, 1.0, 1.0, 0},
        {0, 1.0, 1.0, 0},
        {20000, 0.0, 1.0, 0},
        {20000, missing_real, 1.0, 0},
        {20000, 1.0, missing_real, 0},
        {20000, 2.0, -2.0, 0},    // the mean pixel size is 0: no finite value
        {2147483647, 1e-300, 1e-300, 0},  // beyond 64 bits
        {2147483647, 1e-6, 1e-6, -25400},  // the low 32 bits of 54546084633800
    };
    for (const auto& r : rows) {
        EXPECT_EQ(compute_pixels_per_inch(r.scale, r.dx, r.dy), r.expected) << r.scale << " " << r.dx << " " << r.dy;
    }
}

}  // namespace
}  // namespace hdrmill
