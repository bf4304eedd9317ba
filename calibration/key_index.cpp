#include "calibration/key_index.hpp"

#include <algorithm>
#include <functional>

namespace hdrmill {

namespace {

// Above this many slots a cleared index is dropped rather than emptied.
constexpr std::size_t largest_kept_index = 1024;
constexpr std::size_t smallest_index = 256;

// 32 bits of hash place a key among up to 2^32 slots, far more than memory holds.
std::uint32_t hash_of(std::string_view key) { return static_cast<std::uint32_t>(std::hash<std::string_view>{}(key)); }

}  // namespace

std::string_view key_index::key_at(const slot& entry) const {
    return std::string_view(keys_).substr(entry.key_offset, entry.key_length);
}

// The slot that holds `key`, or the free slot where it would go.
std::size_t key_index::slot_of(std::string_view key, std::uint32_t hash) const {
    const auto mask = slots_.size() - 1;
    auto at = hash & mask;
    while (slots_[at].line != no_line &&
           (slots_[at].hash != hash || slots_[at].key_length != key.size() || key_at(slots_[at]) != key)) {
        at = (at + 1) & mask;
    }
    return at;
}

void key_index::grow() {
    std::vector<slot> old(std::max(2 * slots_.size(), smallest_index), slot{0, no_line, 0, 0});
    old.swap(slots_);
    const auto mask = slots_.size() - 1;
    for (const auto& entry : old) {
        if (entry.line != no_line) {
            // Keys are distinct: the first free slot from the key's place is its own.
            auto at = entry.hash & mask;
            while (slots_[at].line != no_line) {
                at = (at + 1) & mask;
            }
            slots_[at] = entry;
        }
    }
}

void key_index::add(std::string_view key, std::size_t line) {
    if (key.size() > UINT32_MAX) {
        return;
    }
    if (2 * (used_ + 1) > slots_.size()) {
        grow();
    }
    const auto hash = hash_of(key);
    auto& entry = slots_[slot_of(key, hash)];
    if (entry.line == no_line) {
        entry = {keys_.size(), line, hash, static_cast<std::uint32_t>(key.size())};
        keys_.append(key);
        ++used_;
    }
}

std::optional<std::size_t> key_index::find(std::string_view key) const {
    if (slots_.empty() || key.size() > UINT32_MAX) {
        return std::nullopt;
    }
    const auto& entry = slots_[slot_of(key, hash_of(key))];
    return entry.line == no_line ? std::nullopt : std::optional<std::size_t>(entry.line);
}

void key_index::clear() {
    keys_.clear();
    if (slots_.size() > largest_kept_index) {
        slots_ = {};
    } else {
        std::fill(slots_.begin(), slots_.end(), slot{0, no_line, 0, 0});
    }
    used_ = 0;
}

}  // namespace hdrmill
