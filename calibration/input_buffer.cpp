#include "calibration/input_buffer.hpp"

#include "calibration/number_reading.hpp"
#include "text/list_pick.hpp"

namespace hdrmill {

namespace {

// Above this many buckets a cleared index is dropped rather than emptied: emptying
// costs one step per bucket, which a run of small charts after one huge chart would
// otherwise pay again for every chart.
constexpr std::size_t largest_kept_index = 1024;

}  // namespace

std::string_view scan_for_value(const std::vector<std::string>& lines, std::string_view key) {
    for (const auto& line : lines) {
        // "K=" alone carries nothing: a value needs at least one byte.
        if (line.size() > key.size() + 1 && line[key.size()] == '=' &&
            std::string_view(line).substr(0, key.size()) == key) {
            return std::string_view(line).substr(key.size() + 1);
        }
    }
    return {};
}

void input_buffer::index_line(std::size_t line) {
    const std::string_view text = lines_[line];
    const auto equals = text.find('=');
    // Only a line whose value is not empty carries its key; an earlier line keeps it.
    if (equals != std::string_view::npos && equals + 1 < text.size()) {
        first_line_with_key_.try_emplace(std::string(text.substr(0, equals)), line);
    }
}

void input_buffer::append_line(std::string_view text) {
    lines_.emplace_back(text);
    index_line(lines_.size() - 1);
}

bool input_buffer::append_continuation(std::string_view text) {
    if (lines_.empty()) {
        return false;
    }
    auto& last = lines_.back();
    last.push_back('\n');
    last.append(text);
    // The joined line keeps every key it carried and may now carry one more: "NA=" gains
    // a value, or a line without "=" gains one.
    index_line(lines_.size() - 1);
    return true;
}

bool input_buffer::is_empty() const { return lines_.empty(); }

void input_buffer::clear() {
    lines_.clear();
    if (first_line_with_key_.bucket_count() > largest_kept_index) {
        first_line_with_key_ = {};
    } else {
        first_line_with_key_.clear();
    }
}

std::string input_buffer::line_at(std::uint32_t index) const {
    return index < lines_.size() ? lines_[index] : std::string();
}

std::string_view input_buffer::find_value(std::string_view key) const {
    // A line carries a key holding "=" only by an "=" beyond its first: not indexed.
    if (key.find('=') != std::string_view::npos) {
        return scan_for_value(lines_, key);
    }
    const auto found = first_line_with_key_.find(key);
    if (found == first_line_with_key_.end()) {
        return {};
    }
    return std::string_view(lines_[found->second]).substr(key.size() + 1);
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
