#include "driver/handle_chart.hpp"

#include "calibration/chart_name.hpp"
#include "driver/check_step.hpp"
#include "driver/make_chart.hpp"

namespace hdrmill {

std::string list_line(const input_buffer& record) {
    constexpr std::size_t name_width = 15;
    auto line = short_name(record);
    if (line.size() < name_width) {
        line.resize(name_width, ' ');
    }
    // A title continued over several lines stays several lines, each under the first,
    // so that no line of it can be read as another chart.
    const auto title = record.lookup_value("NA");
    for (const char byte : title) {
        line += byte;
        if (byte == '\n') {
            line.append(name_width, ' ');
        }
    }
    return line;
}

bool is_selected(const input_buffer& record, const command_line_info& info) {
    return info.chartname.empty() || short_name(record) == info.chartname;
}

void handle_chart(input_buffer& record, const command_line_info& info, console& out, run_tally& tally,
                  const header_step& write) {
    if (info.mode == run_mode::list) {
        out.say(list_line(record));
        ++tally.listed;
        return;
    }
    if (!is_selected(record, info)) {
        return;
    }
    if (info.mode == run_mode::check) {
        report_chart(out, chart_label(record), check_step(record, info.tolerance).result, tally.checks);
        return;
    }
    if (info.mode == run_mode::make) {
        if (make_chart(record, {info.scan_folder, info.tolerance}, tally.chart_guard, tally.scans, out) == chart_outcome::made) {
            ++tally.charts_made;
        } else {
            tally.chart_failed = true;
        }
        return;
    }
    if (write(record, info.naming, out) == header_outcome::written) {
        ++tally.converted;
    } else {
        tally.header_failed = true;
    }
}

}  // namespace hdrmill
