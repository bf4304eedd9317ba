#pragma once

#include <vector>

#include "check/pixel_map.hpp"
#include "check/projection.hpp"
#include "check/reference_points.hpp"
#include "check/report.hpp"

namespace hdrmill {

/// True when `map` turns the image over. A scan keeps the image's handedness: with
/// north up, y grows southward while x grows eastward, so the map from the plane to
/// pixels turns it over (a negative determinant); a map that does not is mirrored.
bool places_mirrored(const pixel_map& map);

/// The error for reference points that place the chart mirrored, naming the slip made
/// in every point that explains it: each of y counted from the bottom of the image (or,
/// which places a chart the same, the latitudes in the wrong hemisphere), the
/// longitudes in the wrong hemisphere, x and y swapped, and latitude and longitude
/// swapped is applied to every usable point and the chart placed again; of those whose
/// points then agree within `tolerance` (with their margins) and which no longer
/// mirror it, the best agreeing is named. When none does, the mirror is named alone.
/// `projection` is the one the points were placed by.
finding mirror_finding(const std::vector<checked_point>& points, const chart_projection& projection,
                       double tolerance);

}  // namespace hdrmill
