#include "header/write_header.hpp"

#include <cstdio>
#include <string>

#include "driver/version.hpp"
#include "header/bsb_knp_records.hpp"
#include "header/chart_parameters.hpp"
#include "header/header_name.hpp"
#include "header/reference_records.hpp"
#include "header/template_lines.hpp"

namespace hdrmill {

void write_header_records(input_buffer& record, header_stream& header) {
    // Group A is worked out before the template lines can append to the record.
    chart_parameters parameters;
    work_out_group_a(record, parameters);
    header << "! Created by hdrmill " << version_tag << " - Use at your own risk!";
    header.end_line();
    write_template_lines(record, header);
    work_out_group_b(record, parameters);
    write_bsb_knp_records(record, parameters, header);
    write_reference_records(record, header);
}

std::optional<std::string> announce_header_file(const input_buffer& record, const command_line_info& info,
                                                console& out) {
    auto name = form_header_name(record, info);
    if (info.outfile.empty() && is_unsafe_header_name(name)) {
        out.say("Unsafe file name " + name);
        return std::nullopt;
    }
    out.say("Create " + name);
    return name;
}

header_outcome write_header(input_buffer& record, const command_line_info& info, console& out) {
    const auto announced = announce_header_file(record, info, out);
    if (!announced) {
        return header_outcome::unsafe_name;
    }
    const auto& name = *announced;
    // Binary mode: the CR LF line ends are written by hand and must not be doubled.
    std::FILE* file = can_name_a_file(name) ? std::fopen(name.c_str(), "wb") : nullptr;
    if (file == nullptr) {
        out.say("Could not create file " + name);
        return header_outcome::not_created;
    }
    header_stream header([file](std::string_view line) {
        return std::fwrite(line.data(), 1, line.size(), file) == line.size() && std::fflush(file) == 0;
    });
    write_header_records(record, header);
    const bool closed = std::fclose(file) == 0;
    if (header.failed() || !closed) {
        out.say("Could not write file " + name);
        return header_outcome::not_written;
    }
    return header_outcome::written;
}

}  // namespace hdrmill
