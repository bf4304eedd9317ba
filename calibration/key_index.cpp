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

std::string_view key_index::key_at(const entry& e) const {
    return std::string_view(keys_).substr(e.key_offset, e.key_length);
}

// The slot that holds `key`, or the free slot where it would go.
std::size_t key_index::slot_of(std::string_view key, std::uint32_t hash) const {
    const auto mask = slots_.size() - 1;
    auto at = hash & mask;
    while (slots_[at].entry != no_entry &&
           (slots_[at].hash != hash || entries_[slots_[at].entry].key_length != key.size() ||
            key_at(entries_[slots_[at].entry]) != key)) {
        at = (at + 1) & mask;
    }
    return at;
}

void key_index::grow() {
    std::vector<slot> old(std::max(2 * slots_.size(), smallest_index), slot{0, no_entry});
    old.swap(slots_);
    const auto mask = slots_.size() - 1;
    for (const auto& filled : old) {
        if (filled.entry != no_entry) {
            // Keys are distinct: the first free slot from the key's place is its own.
            auto at = filled.hash & mask;
            while (slots_[at].entry != no_entry) {
                at = (at + 1) & mask;
            }
            slots_[at] = filled;
        }
    }
}

void key_index::add(std::string_view key, std::size_t line) {
    if (key.size() > UINT32_MAX || entries_.size() >= no_entry) {
        return;
    }
    if (2 * (entries_.size() + 1) > slots_.size()) {
        grow();
    }
    const auto hash = hash_of(key);
    auto& place = slots_[slot_of(key, hash)];
    if (place.entry == no_entry) {
        place = {hash, static_cast<std::uint32_t>(entries_.size())};
        entries_.push_back({keys_.size(), line, static_cast<std::uint32_t>(key.size())});
        keys_.append(key);
    }
}

std::optional<std::size_t> key_index::find(std::string_view key) const {
    if (slots_.empty() || key.size() > UINT32_MAX) {
        return std::nullopt;
    }
    if (next_guess_ < entries_.size() && key_at(entries_[next_guess_]) == key) {
        return entries_[next_guess_++].line;
    }
    const auto& place = slots_[slot_of(key, hash_of(key))];
    if (place.entry == no_entry) {
        return std::nullopt;
    }
    next_guess_ = std::size_t{place.entry} + 1;
    return entries_[place.entry].line;
}

void key_index::clear() {
    keys_.clear();
    entries_.clear();
    next_guess_ = 0;
    if (slots_.size() > largest_kept_index) {
        slots_ = {};
    } else {
        std::fill(slots_.begin(), slots_.end(), slot{0, no_entry});
    }
}

}  // namespace hdrmill
