#include "driver/handle_chart.hpp"

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
    return line + record.lookup_value("NA");
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
    if (write(record, info, out) == header_outcome::written) {
        ++tally.converted;
    } else {
        tally.header_failed = true;
    }
}

}  // namespace hdrmill
