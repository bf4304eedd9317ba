#include <gtest/gtest.h>

#include <string>

#include "header/chart_parameters.hpp"
#include "header_test_support.hpp"

namespace hdrmill {
namespace {

using testing::chart_of;

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

TEST(ChartParameters, GroupAReadsScaleProjectionAndUnits) {
    struct row {
        std::string pr, du;
        std::int32_t projection_code;
        std::string projection_name;
        std::string depth_units_name;
    };
    const row rows[] = {
        {"PR=2", "DU=3", 2, "TRANSVERSE MERCATOR", "FATHOMS"},
        {"PR=1", "DU=1", 1, "MERCATOR", "METERS"},
        {"PR=3", "DU=2", 3, "LAMBERT CONFORMAL CONIC", "FEET"},
        {"PR=4", "DU=4", 0, "UNKNOWN", ""},
        {"", "", 0, "UNKNOWN", "UNKNOWN"},
        {"PR=-1", "DU=-1", -1, "", ""},
        {"PR=abc", "DU=x", 0, "UNKNOWN", "UNKNOWN"},
    };
    for (const auto& r : rows) {
        chart_parameters parameters;
        work_out_group_a(chart_of({"[A]", r.pr, r.du}), parameters);
        EXPECT_EQ(parameters.projection_code, r.projection_code) << r.pr;
        EXPECT_EQ(parameters.projection_name, r.projection_name) << r.pr;
        EXPECT_EQ(parameters.depth_units_name, r.depth_units_name) << r.du;
    }
    chart_parameters parameters;
    work_out_group_a(chart_of({"SC=12000.9", "DX=1.25,7", "SC=1"}), parameters);
    EXPECT_EQ(parameters.chart_scale, 12000);
    EXPECT_EQ(parameters.pixel_size_x, 1.25);
    EXPECT_EQ(parameters.pixel_size_y, missing_real);
    EXPECT_EQ(parameters.pixels_per_inch, 0);
}

TEST(ChartParameters, GroupBTakesWholeValuesOrDefaults) {
    chart_parameters parameters;
    work_out_group_b(chart_of({"[A]", "PP=12.5,3", "PI=abc", "SP=,5", "SK=", "TA=45", "SD=MLWS"}), parameters);
    EXPECT_EQ(parameters.pp_text, "12.5,3");
    EXPECT_EQ(parameters.pi_text, "abc");       // reads as 0, which is not the marker
    EXPECT_EQ(parameters.sp_text, "UNKNOWN");   // first field empty
    EXPECT_EQ(parameters.sk_text, "0.0");
    EXPECT_EQ(parameters.ta_text, "45");
    EXPECT_EQ(parameters.sd_text, "MLWS");

    work_out_group_b(chart_of({"[A]"}), parameters);
    EXPECT_EQ(parameters.pp_text, "UNKNOWN");
    EXPECT_EQ(parameters.pi_text, "UNKNOWN");
    EXPECT_EQ(parameters.sk_text, "0.0");
    EXPECT_EQ(parameters.ta_text, "90.0");
    EXPECT_EQ(parameters.sd_text, "UNKNOWN");
}

}  // namespace
}  // namespace hdrmill
