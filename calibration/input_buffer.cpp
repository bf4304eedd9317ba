#include "calibration/input_buffer.hpp"

#include "calibration/number_reading.hpp"
#include "text/list_pick.hpp"

namespace hdrmill {

void input_buffer::append_line(std::string_view text) { lines_.emplace_back(text); }

bool input_buffer::append_continuation(std::string_view text) {
    if (lines_.empty()) {
        return false;
    }
    auto& last = lines_.back();
    last.push_back('\n');
    last.append(text);
    return true;
}

bool input_buffer::is_empty() const { return lines_.empty(); }

void input_buffer::clear() { lines_.clear(); }

std::string input_buffer::line_at(std::uint32_t index) const {
    return index < lines_.size() ? lines_[index] : std::string();
}

std::string_view input_buffer::find_value(std::string_view key) const {
    for (const auto& line : lines_) {
        // "K=" alone carries nothing: a value needs at least one byte.
        if (line.size() > key.size() + 1 && line[key.size()] == '=' &&
            std::string_view(line).substr(0, key.size()) == key) {
            return std::string_view(line).substr(key.size() + 1);
        }
    }
    return {};
}

std::string input_buffer::lookup_value(std::string_view key) const {
    return std::string(find_value(key));
}

std::string input_buffer::lookup_field(std::string_view key, std::int32_t k) const {
    return pick_list_item(find_value(key), static_cast<std::uint32_t>(k));
}

double input_buffer::lookup_number(std::string_view key, std::int32_t k) const {
    const auto field = lookup_field(key, k);
    return field.empty() ? missing_real : read_number(field);
}

std::int32_t input_buffer::lookup_integer(std::string_view key, std::int32_t k) const {
    const double number = lookup_number(key, k);
    // Both bounds are exact doubles; NaN fails both comparisons.
    if (number > -2147483649.0 && number < 2147483648.0) {
        return static_cast<std::int32_t>(number);
    }
    return missing_integer;
}

}  // namespace hdrmill
