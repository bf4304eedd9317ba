#pragma once

#include <optional>
#include <string>
#include <vector>

#include "calibration/calibration_reader.hpp"
#include "header/header_name.hpp"
#include "platform/console.hpp"

namespace hdrmill {

/// What a run does with each chart.
enum class run_mode {
    convert,   // write its header
    list,      // -l: print its list line
    check,     // -c: check its calibration
    make,      // -k: make its chart (KAP file) from its scan
};

/// The run's options. Owned by the driver for the whole run; each layer is handed the
/// part it needs. Texts are empty when their option was not given.
struct command_line_info {
    run_mode mode = run_mode::convert;   // -l wins over -c, -c over -k
    reader_options reading;              // -d: show every line read
    header_naming naming;                // -o and -e
    std::string chartname;               // -s: handle only the charts with this short name
    double tolerance = 0.0;              // -t: with -c or -k, how far in pixels a reference point may stray
    std::string scan_folder;             // -i: with -k, the scans' folder; else that of the input file
    std::optional<std::string> bad_tolerance;   // a -t text that is no number from 0.01 to 100000, to be reported
    std::string infile;                  // the calibration directory file
};

/// Scans the arguments that follow the program path, left to right. Option words are
/// compared whole and case-sensitively; the word after -s, -e, -o or -t is taken as its
/// value even when it begins with "-". Other words beginning with "-", and -s, -e, -o or -t
/// as the very last argument, are ignored without a message, and so is an empty
/// argument. Any other word is the input file; a later one replaces an earlier one.
/// The -t value must be a whole positive number (blanks around it allowed); it is
/// looked at only when the run checks or makes charts.
command_line_info scan_arguments(const std::vector<std::string>& arguments);

/// Prints the usage text, byte for byte as users and scripts know it.
void print_usage(console& out);

}  // namespace hdrmill
