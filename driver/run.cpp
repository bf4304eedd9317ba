#include "driver/run.hpp"

#include "calibration/calibration_reader.hpp"
#include "check/report.hpp"
#include "driver/command_line.hpp"
#include "calibration/chart_name.hpp"
#include "driver/handle_chart.hpp"
#include "driver/make_chart.hpp"
#include "platform/input_file.hpp"

namespace hdrmill {

namespace {

// The exit status once every chart has been handled.
int status_of(const command_line_info& info, const run_tally& tally, console& out) {
    switch (info.mode) {
    case run_mode::list:
        return tally.listed > 0 ? 0 : 1;
    case run_mode::check:
        out.say(summary_line(tally.checks));
        return tally.checks.checked > 0 && tally.checks.with_errors == 0 ? 0 : 1;
    case run_mode::make:
        return tally.charts_made > 0 && !tally.chart_failed ? 0 : 1;
    case run_mode::convert:
        break;
    }
    return tally.converted > 0 && !tally.header_failed ? 0 : 1;
}

// With -k, before the first chart is made: the files no chart may replace (the
// calibration file and the scan of every chart in it), and the scans of the charts the
// run will make, in their order, to be read ahead. The file is read once more for
// them, without showing its lines; a fault in it is told by the run's own reading.
void plan_the_charts(const command_line_info& info, run_tally& tally, console& out) {
    tally.chart_guard.add_input(info.infile, true);
    input_file input;
    if (!input.open(info.infile)) {
        return;
    }
    std::vector<std::string> scans;
    static_cast<void>(read_calibration_file(input, reader_options{}, out, [&](input_buffer& record) {
        auto path = scan_path(section_name(record), info.scan_folder);
        tally.chart_guard.add_input(path, false);
        if (is_selected(record, info)) {
            scans.push_back(std::move(path));
        }
    }));
    tally.scans.plan(std::move(scans));
}

}  // namespace

int run(const std::vector<std::string>& arguments, console& out) {
    const auto info = scan_arguments(arguments);
    if (info.infile.empty()) {
        print_usage(out);
        return 0;
    }
    if (info.bad_tolerance) {
        out.say("Bad tolerance " + *info.bad_tolerance);
        return 1;
    }
    input_file input;
    if (!input.open(info.infile)) {
        out.say("Could not open file " + info.infile);
        return 1;
    }
    run_tally tally;
    if (info.mode == run_mode::make) {
        plan_the_charts(info, tally, out);
    }
    const auto result = read_calibration_file(input, info.reading, out, [&](input_buffer& record) {
        handle_chart(record, info, out, tally);
    });
    switch (result) {
    case read_result::bad_file:
        out.say("Bad Calibration File");
        return 1;
    case read_result::read_error:
        out.say("Could not read file " + info.infile);
        return 1;
    case read_result::complete:
        break;
    }
    return status_of(info, tally, out);
}

}  // namespace hdrmill
