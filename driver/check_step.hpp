#pragma once

#include <optional>

#include "calibration/input_buffer.hpp"
#include "check/report.hpp"
#include "header/header_text.hpp"

namespace hdrmill {

/// One chart's header and what the check found in it.
struct checked_chart {
    header_text header;
    chart_check result;
};

/// The check of one chart, the same for -c and -k: its header rendered as it will be
/// written (RA= from WI and HE, or from the size of `scan` where -k has opened it), then
/// judged at `tolerance`. The record gains the lines its template lines append, as in
/// conversion.
checked_chart check_step(input_buffer& record, double tolerance, const std::optional<scan_size>& scan = std::nullopt);

}  // namespace hdrmill
