#include "calibration/key_index.hpp"

#include <algorithm>
#include <functional>

namespace hdrmill {

namespace {

// Above this many slots a cleared index is dropped rather than emptied.
constexpr std::size_t largest_kept_index = 1024;
constexpr std::size_t smallest_index = 64;

std::size_t hash_of(std::string_view key) { return std::hash<std::string_view>{}(key); }

}  // namespace

std::string_view key_index::key_at(const slot& entry) const {
    return std::string_view(keys_).substr(entry.key_offset, entry.key_length);
}

// The slot that holds `key`, or the free slot where it would go.
std::size_t key_index::slot_of(std::string_view key) const {
    const auto mask = slots_.size() - 1;
    auto at = hash_of(key) & mask;
    while (slots_[at].line != no_line && key_at(slots_[at]) != key) {
        at = (at + 1) & mask;
    }
    return at;
}

void key_index::grow() {
    std::vector<slot> old(std::max(2 * slots_.size(), smallest_index), slot{0, 0, no_line});
    old.swap(slots_);
    for (const auto& entry : old) {
        if (entry.line != no_line) {
            slots_[slot_of(key_at(entry))] = entry;
        }
    }
}

void key_index::add(std::string_view key, std::size_t line) {
    if (2 * (used_ + 1) > slots_.size()) {
        grow();
    }
    auto& entry = slots_[slot_of(key)];
    if (entry.line == no_line) {
        entry = {keys_.size(), key.size(), line};
        keys_.append(key);
        ++used_;
    }
}

std::optional<std::size_t> key_index::find(std::string_view key) const {
    if (slots_.empty()) {
        return std::nullopt;
    }
    const auto& entry = slots_[slot_of(key)];
    return entry.line == no_line ? std::nullopt : std::optional<std::size_t>(entry.line);
}

void key_index::clear() {
    keys_.clear();
    if (slots_.size() > largest_kept_index) {
        slots_ = {};
    } else {
        std::fill(slots_.begin(), slots_.end(), slot{0, 0, no_line});
    }
    used_ = 0;
}

}  // namespace hdrmill
