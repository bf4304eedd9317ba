#pragma once

#include "calibration/input_buffer.hpp"
#include "check/report.hpp"
#include "header/header_text.hpp"

namespace hdrmill {

/// The pixel tolerance of the reference points when -t is not given.
inline constexpr double default_tolerance = 10.0;
/// The tolerances -t takes, in pixels: below a hundredth of a pixel no click is that
/// exact, and above 100,000 pixels no raster reaches.
inline constexpr double least_tolerance = 0.01;
inline constexpr double greatest_tolerance = 100000.0;

/// Checks one chart's calibration the way a chart reader will meet it: the raster
/// size, the projection, the reference and border points as the header will carry
/// them, and the header itself as conversion renders it (`render_header` of the same
/// record: where its first records stand, how long its records are).
/// Reference points are cross-checked on the chart's projected plane: the points that
/// agree within `tolerance` pixels, plus the margin the others' clicking error earns
/// each, place the chart, and every other point is an error, with the usual slip that
/// explains it where one does. `tolerance` lies within
/// `least_tolerance` and `greatest_tolerance`.
chart_check check_chart(const input_buffer& record, const header_text& header, double tolerance);

}  // namespace hdrmill
