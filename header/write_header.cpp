#include "header/write_header.hpp"

#include <string>

#include "driver/version.hpp"
#include "header/bsb_knp_records.hpp"
#include "header/chart_parameters.hpp"
#include "header/header_file.hpp"
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
    header_file file;
    if (!can_name_a_file(name) || !file.create(name)) {
        out.say("Could not create file " + name);
        return header_outcome::not_created;
    }
    // The header is made in memory and goes to disk in one piece.
    std::string text;
    header_stream header([&text](std::string_view line) {
        text.append(line);
        return true;
    });
    write_header_records(record, header);
    if (!file.write_and_close(text)) {
        out.say("Could not write file " + name);
        return header_outcome::not_written;
    }
    return header_outcome::written;
}

}  // namespace hdrmill
