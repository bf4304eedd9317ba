#include "calibration/calibration_reader.hpp"

#include "calibration/chart_name.hpp"
#include "text/trim.hpp"

namespace hdrmill {

read_result read_calibration_file(input_file& input, const reader_options& options, console& out,
                                  const chart_handler& handle_chart) {
    input_buffer record;
    std::string_view line;
    while (input.read_line(line)) {
        line = trim_right(line);
        if (options.show_lines) {
            out.say("Read line - " + std::string(line));
        }
        if (line.empty() || line.front() == ';') {
            continue;
        }
        if (is_section_line(line) && !record.is_empty()) {
            handle_chart(record);
            record.clear();
        }
        if (line.front() == ' ') {
            if (!record.append_continuation(trim_both(line))) {
                return read_result::bad_file;
            }
        } else {
            record.append_line(trim_both(line));
        }
    }
    input.close();
    if (input.failed()) {
        return read_result::read_error;
    }
    if (!record.is_empty()) {
        handle_chart(record);
        record.clear();
    }
    return read_result::complete;
}

}  // namespace hdrmill
