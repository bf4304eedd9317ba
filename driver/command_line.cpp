#include "driver/command_line.hpp"

#include <charconv>
#include <cmath>

#include "check/reader_rules.hpp"
#include "driver/version.hpp"

namespace hdrmill {

command_line_info scan_arguments(const std::vector<std::string>& arguments) {
    command_line_info info;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const auto& word = arguments[i];
        const bool value_follows = i + 1 < arguments.size();
        if (word == "-d") {
            info.debug = true;
        } else if (word == "-l") {
            info.list = true;
        } else if (word == "-c") {
            info.check = true;
        } else if (word == "-s" && value_follows) {
            info.chartname = arguments[++i];
        } else if (word == "-e" && value_follows) {
            info.extension = arguments[++i];
        } else if (word == "-o" && value_follows) {
            info.outfile = arguments[++i];
        } else if (word == "-t" && value_follows) {
            info.tolerance = arguments[++i];
        } else if (!word.empty() && word.front() != '-') {
            info.infile = word;
        }
    }
    return info;
}

std::optional<double> tolerance_in_pixels(const command_line_info& info) {
    if (!info.tolerance) {
        return default_tolerance;
    }
    const auto& text = *info.tolerance;
    double pixels = 0.0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), pixels);
    if (result.ec != std::errc() || result.ptr != text.data() + text.size() || !std::isfinite(pixels) ||
        !(pixels > 0.0)) {
        return std::nullopt;
    }
    return pixels;
}

void print_usage(console& out) {
    out.say("");
    out.say("hdrmill (" + std::string(version_tag) + "): converts georeference format from Kartoval to BSB header");
    out.say("");
    out.say("Usage: hdrmill [-d] [-s chartname] [-o outfile | -e extension] [-l] [-c [-t pixels]] <infile>");
    out.say("");
    out.say("       <infile>     : the output from Kartoval - normally CHARTCAL.DIR");
    out.say("       -d           : this is debug mode. It prints out a bunch of garbage");
    out.say("       -s chartname : convert a single chart header from <infile>");
    out.say("       -o outfile   : to specify your own header file name");
    out.say("       -e extention : to specify your own header extension");
    out.say("       -l           : to print out just the list of charts in <infile>");
    out.say("       -c           : to check each chart's calibration instead of converting it");
    out.say("       -t pixels    : with -c, how far a reference point may lie from the others (default 10)");
}

}  // namespace hdrmill
