#pragma once

#include <optional>
#include <string>
#include <vector>

#include "driver/console.hpp"

namespace hdrmill {

/// The run's options. Owned by the driver for the whole run; the reader and the
/// header writer only read it. Texts are empty when their option was not given.
struct command_line_info {
    bool debug = false;       // -d: show every line read
    bool list = false;        // -l: list the charts instead of converting them
    bool check = false;       // -c: check each chart's calibration instead of converting it
    std::string chartname;    // -s: convert only the charts with this short name
    std::string extension;    // -e: header extension instead of "hdr"
    std::string outfile;      // -o: one header file name for every chart; wins over -e
    std::optional<std::string> tolerance;   // -t: with -c, how far in pixels a reference point may stray
    std::string infile;       // the calibration directory file
};

/// Scans the arguments that follow the program path, left to right. Option words are
/// compared whole and case-sensitively; the word after -s, -e, -o or -t is taken as its
/// value even when it begins with "-". Other words beginning with "-", and -s, -e, -o or -t
/// as the very last argument, are ignored without a message, and so is an empty
/// argument. Any other word is the input file; a later one replaces an earlier one.
command_line_info scan_arguments(const std::vector<std::string>& arguments);

/// The -t tolerance in pixels: the default when -t was not given, nothing when its text
/// is not a positive number (the whole text, in the "C" locale's form).
std::optional<double> tolerance_in_pixels(const command_line_info& info);

/// Prints the usage text, byte for byte as users and scripts know it.
void print_usage(console& out);

}  // namespace hdrmill
