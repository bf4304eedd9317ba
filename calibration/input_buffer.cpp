#include "calibration/input_buffer.hpp"

#include "text/list_pick.hpp"
#include "text/number_text.hpp"

namespace hdrmill {

std::string_view input_buffer::line(std::size_t index) const {
    return std::string_view(text_).substr(lines_[index].offset, lines_[index].length);
}

void input_buffer::index_line(std::size_t index) {
    const auto text = line(index);
    const auto equals = text.find('=');
    // "K=" alone carries nothing: a value needs at least one byte.
    if (equals != std::string_view::npos && equals + 1 < text.size()) {
        keys_.add(text.substr(0, equals), index);
    }
}

void input_buffer::append_line(std::string_view text) {
    lines_.push_back({text_.size(), text.size()});
    text_.append(text);
    index_line(lines_.size() - 1);
}

bool input_buffer::append_continuation(std::string_view text) {
    if (lines_.empty()) {
        return false;
    }
    // The last line stands at the end of text_, so it grows in place. It keeps any key
    // it carried and may now carry one: "NA=" gains a value, or a line gains an "=".
    text_.push_back('\n');
    text_.append(text);
    lines_.back().length += 1 + text.size();
    index_line(lines_.size() - 1);
    return true;
}

bool input_buffer::is_empty() const { return lines_.empty(); }

void input_buffer::clear() {
    text_.clear();
    lines_.clear();
    keys_.clear();
}

std::string input_buffer::line_at(std::uint32_t index) const {
    return index < lines_.size() ? std::string(line(index)) : std::string();
}

std::size_t input_buffer::line_count() const { return lines_.size(); }

std::size_t input_buffer::text_size() const { return text_.size(); }

std::string_view input_buffer::line_view(std::size_t index) const { return line(index); }

std::string_view input_buffer::find_value(std::string_view key) const {
    const auto found = keys_.find(key);
    return found ? line(*found).substr(key.size() + 1) : std::string_view();
}

std::string input_buffer::lookup_value(std::string_view key) const { return std::string(find_value(key)); }

std::string_view input_buffer::lookup_view(std::string_view key) const { return find_value(key); }

double number_in_field(std::string_view value, std::int32_t k) {
    const auto field = pick_list_item(value, static_cast<std::uint32_t>(k));
    return field.empty() ? missing_real : read_number(field);
}

std::int32_t integer_in_field(std::string_view value, std::int32_t k) {
    const double number = number_in_field(value, k);
    // Both bounds are exact doubles; NaN fails both comparisons.
    if (number > -2147483649.0 && number < 2147483648.0) {
        return static_cast<std::int32_t>(number);
    }
    return missing_integer;
}

double input_buffer::lookup_number(std::string_view key, std::int32_t k) const {
    return number_in_field(find_value(key), k);
}

std::int32_t input_buffer::lookup_integer(std::string_view key, std::int32_t k) const {
    return integer_in_field(find_value(key), k);
}

}  // namespace hdrmill
