#include "calibration/chart_name.hpp"

namespace hdrmill {

namespace {

std::string without_extension(std::string name) {
    if (const auto dot = name.rfind('.'); dot != std::string::npos) {
        name.erase(dot);
    }
    return name;
}

}  // namespace

bool is_section_line(std::string_view line) { return !line.empty() && line.front() == '[' && line.back() == ']'; }

std::string section_name(const input_buffer& record) {
    const auto first_line = record.line_at(0);
    return first_line.size() > 2 ? first_line.substr(1, first_line.size() - 2) : std::string();
}

std::string base_name(const input_buffer& record) { return without_extension(section_name(record)); }

std::string short_name(const input_buffer& record) { return without_extension(record.lookup_value("FN")); }

std::string chart_label(const input_buffer& record) {
    return record.lookup_value("FN").empty() ? section_name(record) : short_name(record);
}

}  // namespace hdrmill
