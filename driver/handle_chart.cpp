#include "driver/handle_chart.hpp"

#include "check/reader_rules.hpp"

namespace hdrmill {

std::string short_name(const input_buffer& record) {
    auto name = record.lookup_value("FN");
    if (const auto dot = name.rfind('.'); dot != std::string::npos) {
        name.erase(dot);
    }
    return name;
}

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

std::string check_name(const input_buffer& record) {
    if (!record.lookup_value("FN").empty()) {
        return short_name(record);
    }
    auto section = record.line_at(0);
    if (section.size() >= 2 && section.front() == '[' && section.back() == ']') {
        section = section.substr(1, section.size() - 2);
    }
    return section;
}

void handle_chart(input_buffer& record, const command_line_info& info, console& out, run_tally& tally,
                  const header_step& write) {
    if (info.list) {
        out.say(list_line(record));
        ++tally.listed;
        return;
    }
    if (!info.chartname.empty() && short_name(record) != info.chartname) {
        return;
    }
    if (info.check) {
        report_chart(out, check_name(record), check_chart(record, tolerance_in_pixels(info).value_or(default_tolerance)),
                     tally.checks);
        return;
    }
    if (write(record, info, out) == header_outcome::written) {
        ++tally.converted;
    } else {
        tally.header_failed = true;
    }
}

}  // namespace hdrmill
