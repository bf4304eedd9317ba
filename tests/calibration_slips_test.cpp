#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "check/calibration_slips.hpp"

namespace hdrmill {
namespace {

// Six reference points of a north-up Mercator chart near Brest at 2.5 metres a pixel,
// placed exactly, as the check takes them.
std::vector<checked_point> brest_points() {
    const std::vector<std::pair<double, double>> positions = {
        {48.62, -4.55}, {48.62, -4.50}, {48.61, -4.45}, {48.59, -4.55}, {48.58, -4.46}, {48.57, -4.50}};
    const chart_projection mercator{chart_projection::kind::mercator, -4.5};
    const auto origin = *mercator.project(48.6, -4.5);
    std::vector<checked_point> points;
    for (const auto& [latitude, longitude] : positions) {
        const auto plane = *mercator.project(latitude, longitude);
        points.push_back({std::string(1, 'C').append(std::to_string(points.size() + 1)), 2000.0 + (plane.e - origin.e) / 2.5,
                          1500.0 - (plane.n - origin.n) / 2.5, latitude, longitude, {}, false, 3000.0});
    }
    return points;
}

const std::string mirrored = "the reference points place the chart mirrored, ";
const std::string north_south = mirrored +
                                "north and south turned over, which no scan is: y looks counted from the bottom of "
                                "the image, or the latitudes given in the wrong hemisphere";

TEST(CalibrationSlips, EachSlipMadeInEveryPointIsNamedByTheFitThatUndoesIt) {
    struct row {
        const char* what;
        std::function<void(checked_point&)> slip;
        std::string expected;
    };
    const row rows[] = {
        {"y from the bottom", [](checked_point& p) { p.y = 3000.0 - p.y; }, north_south},
        {"southern latitudes", [](checked_point& p) { p.latitude = -p.latitude; }, north_south},
        {"eastern longitudes", [](checked_point& p) { p.longitude = -p.longitude; },
         mirrored + "east and west turned over, which no scan is: the longitudes look given in the wrong hemisphere"},
        {"x and y swapped", [](checked_point& p) { std::swap(p.x, p.y); },
         mirrored + "turned over across its diagonal, which no scan is: x and y look swapped in every point"},
        {"latitude and longitude swapped", [](checked_point& p) { std::swap(p.latitude, p.longitude); },
         mirrored + "which no scan is: latitude and longitude look swapped in every point (give each reference "
                    "point as x,y,latitude,longitude)"},
    };
    for (const auto& r : rows) {
        auto points = brest_points();
        for (auto& point : points) {
            r.slip(point);
        }
        const auto found = mirror_finding(points, {chart_projection::kind::mercator, 0.0}, 10.0);
        EXPECT_EQ(found.severity, finding::level::error);
        EXPECT_EQ(found.text, r.expected) << r.what;
    }
}

TEST(CalibrationSlips, AMirrorNoSlipExplainsIsNamedWithoutACause) {
    auto points = brest_points();
    for (auto& point : points) {
        point.y = 3000.0 - point.y;
    }
    points[2].x += 200.0;   // and one point wrong besides: no one slip of every point fits
    EXPECT_EQ(mirror_finding(points, {chart_projection::kind::mercator, 0.0}, 10.0).text,
              mirrored + "which no scan is, and no slip made in every point (y counted from the bottom of the image, "
                         "a hemisphere, x and y or latitude and longitude swapped) turns it back");
}

TEST(CalibrationSlips, OnlyAMapThatKeepsTheImageHandednessIsNotMirrored) {
    EXPECT_FALSE(places_mirrored({{0, 0}, 0, 0, 0.4, 0.0, 0.0, -0.4}));   // north up
    EXPECT_FALSE(places_mirrored({{0, 0}, 0, 0, -0.4, 0.0, 0.0, 0.4}));   // upside down: turned, not mirrored
    EXPECT_TRUE(places_mirrored({{0, 0}, 0, 0, 0.4, 0.0, 0.0, 0.4}));
    EXPECT_FALSE(places_mirrored({{0, 0}, 0, 0, 0.0, 0.4, 0.4, 0.0}));   // a quarter turn
    EXPECT_TRUE(places_mirrored({{0, 0}, 0, 0, 0.0, 0.4, -0.4, 0.0}));
    EXPECT_FALSE(places_mirrored({{0, 0}, 0, 0, 0.0, 0.0, 0.0, 0.0}));
}

}  // namespace
}  // namespace hdrmill
