#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "calibration/input_buffer.hpp"
#include "check/report.hpp"
#include "driver/command_line.hpp"
#include "driver/console.hpp"
#include "header/write_header.hpp"

namespace hdrmill {

/// What the run has done so far; it decides the exit status.
struct run_tally {
    std::uint64_t converted = 0;    // headers written in full
    std::uint64_t listed = 0;       // list lines printed with -l
    bool header_failed = false;     // a header was refused, not created or not written
    check_tally checks;             // how the charts checked with -c came out
};

/// The chart's short name: the FN value less its last "." and what follows.
/// A directory part stays, and so does a dot inside it when it is the only one.
std::string short_name(const input_buffer& record);

/// The -l line of a chart: its short name padded with blanks to 15 characters (a
/// longer name is printed whole), then at once the NA value, each LF of which is
/// followed by 15 blanks, so that a continued title stands under its first line.
std::string list_line(const input_buffer& record);

/// The step that writes one chart's header; `write_header` in a real run.
using header_step = std::function<header_outcome(input_buffer&, const command_line_info&, console&)>;

/// The name a check line gives a chart: its short name, or its section name (the
/// section line less its brackets) when it has no FN.
std::string check_name(const input_buffer& record);

/// One completed chart, and the one place where the mode is chosen: listed with -l;
/// otherwise, when no -s name was given or the short name equals it exactly, checked
/// with -c or else converted by `write`; otherwise passed over in silence.
void handle_chart(input_buffer& record, const command_line_info& info, console& out, run_tally& tally,
                  const header_step& write = write_header);

}  // namespace hdrmill
