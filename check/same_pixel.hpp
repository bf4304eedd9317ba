#pragma once

#include <vector>

#include "check/reference_points.hpp"
#include "check/report.hpp"

namespace hdrmill {

/// Two reference points closer together in the image than `tolerance` pixels whose
/// offset in the image and offset on the chart (the map's linear part applied to their
/// plane difference) differ by more than `tolerance`: the chart cannot be placed by
/// both. Only pairs of points that agree with the others are named: where the others
/// reject one of the two, that one is named already, with its slip. No pair of points
/// both named already is named again. Memory stays linear in the points; pairs are compared
/// only between points in neighbouring cells of the tolerance's size whose leftovers
/// from the map spread wider than the tolerance, so a calibration of clicks takes
/// time n log n for any tolerance. Nothing without a map or a positive, finite tolerance.
std::vector<finding> same_pixel_findings(const std::vector<checked_point>& points, const chart_placement& placement,
                                         double tolerance);

}  // namespace hdrmill
