#pragma once

#include <string>

#include "calibration/input_buffer.hpp"
#include "driver/chart_files.hpp"
#include "driver/scans_ahead.hpp"
#include "platform/console.hpp"

namespace hdrmill {

/// Where a run finds the scans, and how far a reference point may stray.
struct chart_options {
    std::string scan_folder;   // the scans' folder; empty: the working directory
    double tolerance = 0.0;    // pixels, as the check takes it
};

/// How making one chart ended. Only `made` counts.
enum class chart_outcome { made, not_made };

/// Makes one chart's BSB/KAP file from its calibration and its scan, and says on the
/// console what happens, in this order, the cheap steps first:
///  - the chart file's name: FN as it stands, or the base name and ".kap" without FN;
///    one that would leave the working directory is refused ("Unsafe file name "), and
///    so is one `files` refuses ("Not made NAME: " and why);
///  - the scan opened (taken from `scans`, which may have read it ahead): the section name, a file in the scan folder (an absolute name as
///    it stands; "\" separates folders as "/" does), its size and layout read:
///    "Could not read image PATH: " and why not;
///  - its size against WI and HE where they are given ("Image PATH is W x H pixels;
///    the calibration says WI x HE"); where they are not, the header carries the
///    scan's size;
///  - the check, as -c checks: its errors and warnings as -c prints them, and a chart
///    with an error is not made ("Not made NAME: the calibration has errors");
///  - the scan decoded ("Could not read image PATH: " and why not), its colours reduced;
///  - "Create " and the name, then the file, replaced whole or not at all as a header
///    is: "Could not create file ", or "Could not write file " when writing fails or
///    the chart would reach 2 GiB. A made chart joins `files`.
/// The record gains the lines its template lines append; they vanish when the reader
/// clears it.
chart_outcome make_chart(input_buffer& record, const chart_options& options, chart_files& files, scans_ahead& scans,
                         console& out);

/// The path a section name gives its scan: "\" read as "/", and a name that is not
/// absolute (a leading "/" or "\", or a drive letter and ":") taken in `scan_folder`.
std::string scan_path(const std::string& section, const std::string& scan_folder);

}  // namespace hdrmill
