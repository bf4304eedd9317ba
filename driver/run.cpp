#include "driver/run.hpp"

#include "calibration/calibration_reader.hpp"
#include "calibration/input_file.hpp"
#include "driver/command_line.hpp"
#include "driver/handle_chart.hpp"

namespace hdrmill {

int run(const std::vector<std::string>& arguments, console& out) {
    const auto info = scan_arguments(arguments);
    if (info.infile.empty()) {
        print_usage(out);
        return 0;
    }
    // With -l the list wins and -c, and so -t, is not looked at.
    const bool checking = info.check && !info.list;
    if (checking && !tolerance_in_pixels(info)) {
        out.say("Bad tolerance " + *info.tolerance);
        return 1;
    }
    input_file input;
    if (!input.open(info.infile)) {
        out.say("Could not open file " + info.infile);
        return 1;
    }
    run_tally tally;
    const auto result = read_calibration_file(input, info, out, [&](input_buffer& record) {
        handle_chart(record, info, out, tally);
    });
    switch (result) {
    case read_result::bad_file:
        return fatal_error(out, "Bad Calibration File");
    case read_result::read_error:
        out.say("Could not read file " + info.infile);
        return 1;
    case read_result::complete:
        break;
    }
    if (info.list) {
        return tally.listed > 0 ? 0 : 1;
    }
    if (checking) {
        out.say(summary_line(tally.checks));
        return tally.checks.checked > 0 && tally.checks.with_errors == 0 ? 0 : 1;
    }
    return tally.converted > 0 && !tally.header_failed ? 0 : 1;
}

}  // namespace hdrmill
