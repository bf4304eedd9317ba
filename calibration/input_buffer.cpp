#include "calibration/input_buffer.hpp"

#include <algorithm>
#include <functional>

#include "calibration/number_reading.hpp"
#include "text/list_pick.hpp"

namespace hdrmill {

namespace {

// Above this many slots a cleared index is dropped rather than emptied: emptying
// costs one step per slot, which a run of small charts after one huge chart would
// otherwise pay again for every chart.
constexpr std::size_t largest_kept_index = 1024;

constexpr std::size_t no_line = static_cast<std::size_t>(-1);

std::size_t hash_key(std::string_view key) { return std::hash<std::string_view>{}(key); }

}  // namespace

std::string_view value_carried(std::string_view line, std::string_view key) {
    // "K=" alone carries nothing: a value needs at least one byte.
    if (line.size() > key.size() + 1 && line[key.size()] == '=' && line.substr(0, key.size()) == key) {
        return line.substr(key.size() + 1);
    }
    return {};
}

std::string_view input_buffer::line(std::size_t index) const {
    return std::string_view(text_).substr(lines_[index].offset, lines_[index].length);
}

void input_buffer::grow_index() {
    std::vector<index_slot> old(std::max<std::size_t>(2 * index_.size(), 256), index_slot{0, no_line, 0});
    old.swap(index_);
    const auto mask = index_.size() - 1;
    for (const auto& slot : old) {
        if (slot.line != no_line) {
            auto at = slot.hash & mask;
            while (index_[at].line != no_line) {
                at = (at + 1) & mask;
            }
            index_[at] = slot;
        }
    }
}

void input_buffer::index_line(std::size_t index) {
    const auto text = line(index);
    const auto equals = text.find('=');
    // Only a line whose value is not empty carries its key; an earlier line keeps it.
    if (equals == std::string_view::npos || equals + 1 >= text.size()) {
        return;
    }
    if (2 * (indexed_keys_ + 1) > index_.size()) {
        grow_index();
    }
    const auto key = text.substr(0, equals);
    const auto hash = hash_key(key);
    const auto mask = index_.size() - 1;
    for (auto at = hash & mask;; at = (at + 1) & mask) {
        auto& slot = index_[at];
        if (slot.line == no_line) {
            slot = {hash, index, equals};
            ++indexed_keys_;
            return;
        }
        if (slot.hash == hash && slot.key_length == equals && line(slot.line).substr(0, equals) == key) {
            return;
        }
    }
}

void input_buffer::append_line(std::string_view text) {
    lines_.push_back({text_.size(), text.size()});
    text_.append(text);
    if (lines_.size() == indexed_from + 1) {
        for (std::size_t index = 0; index < lines_.size(); ++index) {
            index_line(index);
        }
    } else if (lines_.size() > indexed_from) {
        index_line(lines_.size() - 1);
    }
}

bool input_buffer::append_continuation(std::string_view text) {
    if (lines_.empty()) {
        return false;
    }
    // The last line stands at the end of text_, so it grows in place.
    text_.push_back('\n');
    text_.append(text);
    lines_.back().length += 1 + text.size();
    // The joined line keeps every key it carried and may now carry one more: "NA=" gains
    // a value, or a line without "=" gains one.
    if (lines_.size() > indexed_from) {
        index_line(lines_.size() - 1);
    }
    return true;
}

bool input_buffer::is_empty() const { return lines_.empty(); }

void input_buffer::clear() {
    text_.clear();
    lines_.clear();
    if (index_.size() > largest_kept_index) {
        index_ = {};
    } else {
        std::fill(index_.begin(), index_.end(), index_slot{0, no_line, 0});
    }
    indexed_keys_ = 0;
}

std::string input_buffer::line_at(std::uint32_t index) const {
    return index < lines_.size() ? std::string(line(index)) : std::string();
}

std::string_view input_buffer::search_value(std::string_view key) const {
    for (std::size_t index = 0; index < lines_.size(); ++index) {
        if (const auto value = value_carried(line(index), key); !value.empty()) {
            return value;
        }
    }
    return {};
}

std::string_view input_buffer::find_value(std::string_view key) const {
    // A key holding "=" is carried only through an "=" beyond a line's first: not indexed.
    if (lines_.size() <= indexed_from || key.find('=') != std::string_view::npos) {
        return search_value(key);
    }
    if (index_.empty()) {
        return {};
    }
    const auto hash = hash_key(key);
    const auto mask = index_.size() - 1;
    for (auto at = hash & mask; index_[at].line != no_line; at = (at + 1) & mask) {
        const auto& slot = index_[at];
        if (slot.hash == hash && slot.key_length == key.size()) {
            if (const auto value = value_carried(line(slot.line), key); !value.empty()) {
                return value;
            }
        }
    }
    return {};
}

std::string input_buffer::lookup_value(std::string_view key) const {
    return std::string(find_value(key));
}

std::string_view input_buffer::lookup_view(std::string_view key) const { return find_value(key); }

std::string input_buffer::lookup_field(std::string_view key, std::int32_t k) const {
    return pick_list_item(find_value(key), static_cast<std::uint32_t>(k));
}

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
