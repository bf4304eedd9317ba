#include "header/write_header.hpp"

#include "header/header_text.hpp"
#include "platform/file_name.hpp"
#include "platform/replaced_file.hpp"

namespace hdrmill {

std::optional<std::string> announce_header_file(const input_buffer& record, const header_naming& naming,
                                                console& out) {
    auto name = form_header_name(record, naming);
    if (naming.outfile.empty() && is_unsafe_file_name(name)) {
        out.say("Unsafe file name " + name);
        return std::nullopt;
    }
    out.say("Create " + name);
    return name;
}

header_outcome write_header(input_buffer& record, const header_naming& naming, console& out) {
    const auto announced = announce_header_file(record, naming, out);
    if (!announced) {
        return header_outcome::unsafe_name;
    }
    const auto& name = *announced;
    replaced_file file;
    if (!can_name_a_file(name) || !file.create(name)) {
        out.say("Could not create file " + name);
        return header_outcome::not_created;
    }
    // The header is made in memory and goes to disk in one piece.
    if (!file.write(render_header(record).text) || !file.finish()) {
        out.say("Could not write file " + name);
        return header_outcome::not_written;
    }
    return header_outcome::written;
}

}  // namespace hdrmill
