#pragma once

#include <functional>

#include "calibration/input_buffer.hpp"
#include "platform/console.hpp"
#include "platform/input_file.hpp"

namespace hdrmill {

/// What the reader is asked to do besides reading.
struct reader_options {
    bool show_lines = false;   // say each line read, as "Read line - " and the line
};

/// How reading the calibration directory file ended.
enum class read_result {
    complete,   // every chart was handed over
    bad_file,   // a continuation line came before any stored line
    read_error, // the file could not be read to its end; the chart being collected was dropped
};

/// Called for each completed chart record. The record is cleared when the call
/// returns, together with anything the call appended to it: keep no reference into it.
using chart_handler = std::function<void(input_buffer& record)>;

/// Cuts the calibration directory file into chart records, one pass, one chart in
/// memory at a time. Each line is right-trimmed (and shown as "Read line - " and the
/// line when asked), then: empty lines and lines beginning with ";" are skipped; a
/// line "[...]" ends the chart being collected and opens the next; a line beginning
/// with one blank continues the last stored line; any other line is stored. Stored and
/// continuation text is trimmed at both ends. Returns at the first fault without
/// reading further.
read_result read_calibration_file(input_file& input, const reader_options& options, console& out,
                                  const chart_handler& handle_chart);

}  // namespace hdrmill
