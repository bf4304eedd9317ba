#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "calibration/input_buffer.hpp"
#include "check/report.hpp"
#include "driver/chart_files.hpp"
#include "driver/command_line.hpp"
#include "driver/scans_ahead.hpp"
#include "header/write_header.hpp"
#include "platform/console.hpp"

namespace hdrmill {

/// What the run has done so far; it decides the exit status.
struct run_tally {
    std::uint64_t converted = 0;    // headers written in full
    std::uint64_t listed = 0;       // list lines printed with -l
    bool header_failed = false;     // a header was refused, not created or not written
    std::uint64_t charts_made = 0;  // charts made with -k
    bool chart_failed = false;      // a chart selected with -k was not made
    check_tally checks;             // how the charts checked with -c came out
    chart_files chart_guard;        // with -k: the files no chart may replace
    scans_ahead scans;              // with -k: the scans of the charts to come
};

/// The -l line of a chart: its short name padded with blanks to 15 characters (a
/// longer name is printed whole), then at once the NA value, each LF of which is
/// followed by 15 blanks, so that a continued title stands under its first line.
std::string list_line(const input_buffer& record);

/// The step that writes one chart's header; `write_header` in a real run.
using header_step = std::function<header_outcome(input_buffer&, const header_naming&, console&)>;

/// True when the run handles the chart: no -s name was given, or its short name
/// equals it exactly.
bool is_selected(const input_buffer& record, const command_line_info& info);

/// One completed chart, done as the run's mode says: listed; or, when no -s name was
/// given or the short name equals it exactly, checked, made into a chart, or converted
/// by `write`; otherwise passed over in silence.
void handle_chart(input_buffer& record, const command_line_info& info, console& out, run_tally& tally,
                  const header_step& write = write_header);

}  // namespace hdrmill
