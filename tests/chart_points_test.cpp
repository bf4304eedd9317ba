#include <gtest/gtest.h>

#include "header/chart_points.hpp"
#include "header_test_support.hpp"

namespace hdrmill {
namespace {

using testing::chart_of;

TEST(ChartPoints, ReadAsTheHeaderCarriesThemUpToTheFirstGap) {
    const auto record = chart_of({"[A]", "C1=12.9,-0.5,48.5,190", "C2=1,2", "C2=3,4,5,6", "C3=7,8,9,540.5",
                                  "C4=", "C5=1,1,1,1", "B1=48.5,-4.5", "B2=x,181", "B4=1,1", "c3=1,2,3,4"});
    const auto points = read_reference_points(record);
    ASSERT_EQ(points.size(), 3u);
    EXPECT_EQ(points[0].number, 1);
    EXPECT_EQ(points[0].value, "12.9,-0.5,48.5,190");
    EXPECT_EQ(points[0].x, 12);
    EXPECT_EQ(points[0].y, 0);
    EXPECT_EQ(points[0].longitude, -170.0);
    EXPECT_EQ(points[1].value, "1,2");   // the first non-empty value wins, even a short one
    EXPECT_EQ(points[1].latitude, missing_real);
    EXPECT_EQ(points[2].longitude, 180.5);   // brought back by 360 once only

    const auto border = read_border_points(record);
    ASSERT_EQ(border.size(), 2u);
    EXPECT_EQ(border[0].latitude, 48.5);
    EXPECT_EQ(border[1].latitude, 0.0);   // not a number reads as 0
    EXPECT_EQ(border[1].longitude, -179.0);
}

}  // namespace
}  // namespace hdrmill
