#pragma once

#include <string>
#include <string_view>

#include "calibration/input_buffer.hpp"

namespace hdrmill {

// The names of a chart, worked out in this one place for the reader, the header, the
// list, the check and the chart output, so that one chart is never called two things.

/// A line that opens a chart: "[" first and "]" last (the line is right-trimmed).
/// "[]" is one; "[A] ; note" is not.
bool is_section_line(std::string_view line);

/// The section name: the record's first stored line (its section line) less its first
/// and last byte, whatever they are. A line of two bytes or less gives the empty name.
/// It names the chart's scan ("[Harbour.tif]" gives Harbour.tif).
std::string section_name(const input_buffer& record);

/// The base name: the section name cut before its last "." (Bay.old.tif gives
/// Bay.old; a dot in a folder part counts too). Headers and charts are named after it.
std::string base_name(const input_buffer& record);

/// The short name: the FN value less its last "." and what follows (A.B.KAP gives
/// A.B; charts\A.KAP gives charts\A). Empty when FN is absent. -s selects by it.
std::string short_name(const input_buffer& record);

/// What messages about a chart call it: its short name, or its section name when it
/// has no FN.
std::string chart_label(const input_buffer& record);

}  // namespace hdrmill
