#include "driver/command_line.hpp"

#include "check/check_chart.hpp"
#include "header/version.hpp"
#include "platform/file_name.hpp"
#include "text/number_text.hpp"

namespace hdrmill {

command_line_info scan_arguments(const std::vector<std::string>& arguments) {
    command_line_info info;
    bool list = false;
    bool check = false;
    bool make = false;
    std::optional<std::string> tolerance;
    std::optional<std::string> scan_folder;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const auto& word = arguments[i];
        const bool value_follows = i + 1 < arguments.size();
        if (word == "-d") {
            info.reading.show_lines = true;
        } else if (word == "-l") {
            list = true;
        } else if (word == "-c") {
            check = true;
        } else if (word == "-k") {
            make = true;
        } else if (word == "-s" && value_follows) {
            info.chartname = arguments[++i];
        } else if (word == "-e" && value_follows) {
            info.naming.extension = arguments[++i];
        } else if (word == "-o" && value_follows) {
            info.naming.outfile = arguments[++i];
        } else if (word == "-t" && value_follows) {
            tolerance = arguments[++i];
        } else if (word == "-i" && value_follows) {
            scan_folder = arguments[++i];
        } else if (!word.empty() && word.front() != '-') {
            info.infile = word;
        }
    }
    info.mode = list ? run_mode::list : check ? run_mode::check : make ? run_mode::make : run_mode::convert;
    // The scans lie beside the calibration file unless -i says otherwise.
    info.scan_folder = scan_folder ? *scan_folder : folder_of(info.infile);
    info.tolerance = default_tolerance;
    if ((info.mode == run_mode::check || info.mode == run_mode::make) && tolerance) {
        const auto pixels = read_exact_number(*tolerance);
        // Written so that a NaN fails it too.
        if (pixels && *pixels >= least_tolerance && *pixels <= greatest_tolerance) {
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
    out.say("Usage: hdrmill [-d] [-s chartname] [-o outfile | -e extension] [-l] [-c [-t pixels]] [-k [-i folder]] "
            "<infile>");
    out.say("");
    out.say("       <infile>     : the output from Kartoval - normally CHARTCAL.DIR");
    out.say("       -d           : this is debug mode. It prints out a bunch of garbage");
    out.say("       -s chartname : convert a single chart header from <infile>");
    out.say("       -o outfile   : to specify your own header file name");
    out.say("       -e extention : to specify your own header extension");
    out.say("       -l           : to print out just the list of charts in <infile>");
    out.say("       -c           : to check each chart's calibration instead of converting it");
    out.say("       -t pixels    : with -c or -k, how far a reference point may lie from the others (default 10)");
    out.say("       -k           : to make each chart (KAP file) from its scanned image");
    out.say("       -i folder    : with -k, the folder of the scanned images (default: that of <infile>)");
}

}  // namespace hdrmill
