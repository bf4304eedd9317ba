#include "header/header_name.hpp"

namespace hdrmill {

std::string form_header_name(const input_buffer& record, const command_line_info& info) {
    if (!info.outfile.empty()) {
        return info.outfile;
    }
    const auto first_line = record.line_at(0);
    // A line of one byte (or none) has nothing between its two ends: the base name is empty.
    std::string base = first_line.size() > 2 ? first_line.substr(1, first_line.size() - 2) : std::string();
    if (const auto dot = base.rfind('.'); dot != std::string::npos) {
        base.erase(dot);
    }
    return base + "." + (info.extension.empty() ? std::string("hdr") : info.extension);
}

bool is_unsafe_header_name(std::string_view name) {
    if (!name.empty() && (name.front() == '/' || name.front() == '\\')) {
        return true;
    }
    for (std::size_t start = 0; start <= name.size();) {
        auto end = name.find_first_of("/\\", start);
        end = end == std::string_view::npos ? name.size() : end;
        if (name.substr(start, end - start) == "..") {
            return true;
        }
        start = end + 1;
    }
    return false;
}

}  // namespace hdrmill
