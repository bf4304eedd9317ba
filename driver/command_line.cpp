#include "driver/command_line.hpp"

#include "check/check_chart.hpp"
#include "header/version.hpp"
#include "text/number_text.hpp"

namespace hdrmill {

command_line_info scan_arguments(const std::vector<std::string>& arguments) {
    command_line_info info;
    bool list = false;
    bool check = false;
    std::optional<std::string> tolerance;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const auto& word = arguments[i];
        const bool value_follows = i + 1 < arguments.size();
        if (word == "-d") {
            info.reading.show_lines = true;
        } else if (word == "-l") {
            list = true;
        } else if (word == "-c") {
            check = true;
        } else if (word == "-s" && value_follows) {
            info.chartname = arguments[++i];
        } else if (word == "-e" && value_follows) {
            info.naming.extension = arguments[++i];
        } else if (word == "-o" && value_follows) {
            info.naming.outfile = arguments[++i];
        } else if (word == "-t" && value_follows) {
            tolerance = arguments[++i];
        } else if (!word.empty() && word.front() != '-') {
            info.infile = word;
        }
    }
    info.mode = list ? run_mode::list : check ? run_mode::check : run_mode::convert;
    info.tolerance = default_tolerance;
    if (info.mode == run_mode::check && tolerance) {
        const auto pixels = read_whole_number(*tolerance);
        if (pixels && *pixels > 0.0) {
            info.tolerance = *pixels;
        } else {
            info.bad_tolerance = *tolerance;
        }
    }
    return info;
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
