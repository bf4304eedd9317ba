#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "check/pixel_map.hpp"
#include "check/projection.hpp"
#include "check/report.hpp"
#include "header/chart_points.hpp"

namespace hdrmill {

/// The raster size a chart reader takes from RA=.
struct raster_size {
    std::int32_t width = 0;
    std::int32_t height = 0;
};

/// A reference point as the check judges it: what the header carries, and what makes
/// it unusable on its own.
struct checked_point {
    std::string key;   // C1, C2, ...
    double x = 0.0;
    double y = 0.0;
    double latitude = 0.0;
    double longitude = 0.0;
    std::vector<std::string> problems;   // one error each; the point is usable without any
    // The problems are of position (a latitude beyond reach, a pixel outside the raster),
    // so the usual slip may explain them once the other points place the chart.
    bool misplaced = false;
    std::optional<double> image_height;   // HE, when the raster size is known: y may be counted from there

    bool usable() const { return problems.empty(); }
};

/// Judges each point alone: every field present and a number, the latitude within
/// reach (85 degrees on Mercator charts, else 90), the longitude on the earth (within
/// 360 degrees), the pixel inside the raster when its size is known.
std::vector<checked_point> judge_points(const std::vector<reference_point>& points, bool mercator,
                                        const std::optional<raster_size>& raster);

/// Where the usable reference points place the chart.
struct chart_placement {
    std::optional<chart_projection> projection;   // about the central meridian the points were projected
    std::optional<pixel_map> map;                  // nothing when the points cannot place the chart
    std::vector<std::optional<plane_point>> planes;   // per point: where it lies on the plane, once placed
    std::vector<bool> agrees;                      // per point: placed, and in agreement with `map`
    std::vector<finding> findings;                 // points the others disagree with, and why
    std::string account;                           // for a chart without findings: how well they agree
};

/// Places the chart by its usable points. Two give a rotation with one scale, three an
/// exact affine map; four or more are cross-checked: each point is judged by its
/// distance from where the others place it, the points that agree within `tolerance`
/// pixels plus the margin the others' own clicking error earns each (see
/// `fitted_map::margin`) place the chart, and every other point is an error, with the
/// usual slip that explains it where one does; a point the others can hardly place is
/// a warning that quotes the error its margin lets pass. A map that turns the image
/// over is an error, with the slip made in every point that explains it (see
/// `mirror_finding`). Mercator longitudes are taken about the
/// points' middle longitude, so no wild point can split the others across the 180th
/// meridian. Without a projection nothing is placed, but points on one line in the
/// image are still an error.
chart_placement place_chart(const std::vector<checked_point>& points, std::optional<chart_projection> projection,
                            double tolerance);

/// The usual slip that brings `point` within `tolerance` of where `map` places it,
/// nearest first: ": latitude and longitude look swapped (corrected, it lies D pixels
/// away)", or the empty text when none does. The slips: latitude and longitude swapped,
/// either sign lost, x and y swapped, and y counted from the bottom where the image
/// height is known.
std::string explain_slip(const checked_point& point, const chart_projection& projection, const pixel_map& map,
                         double tolerance);

/// The longitude in the middle of `longitudes` as they lie around the globe: the
/// median after cutting the circle at its widest empty stretch, so that a chart across
/// the 180th meridian keeps its middle and one wild longitude cannot move it far.
double middle_longitude(std::vector<double> longitudes);

}  // namespace hdrmill
