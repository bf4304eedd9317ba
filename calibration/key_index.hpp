#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace hdrmill {

/// The keys of one chart record, each with the first stored line that carries it.
/// Lookups cost a bounded amount however large the record: a chart with 200,000
/// reference points looks each one up in one step, not in a scan of its lines.
///
/// Open addressing over a power of two of slots, at most half used. A slot holds only
/// its key's hash and the number of its entry, eight bytes, so that the slots of a very
/// large chart stay within the processor's caches as far as they can; the entries stand
/// in the order their keys were added, which is the order a chart's numbered keys are
/// looked up in. The keys are copied into one buffer, so adding a key allocates nothing
/// once the buffers have grown to the size of the largest chart.
class key_index {
public:
    /// Notes that stored line `line` carries `key`. A key noted before keeps its line:
    /// the first line in record order wins.
    void add(std::string_view key, std::size_t line);

    /// The line noted for `key`, if any.
    std::optional<std::size_t> find(std::string_view key) const;

    /// Forgets every key. The slots of a very large chart are given back, so that a
    /// run of small charts after it does not pay for emptying them each time.
    void clear();

private:
    struct slot {
        std::uint32_t hash;   // the key's hash, which also places it
        std::uint32_t entry;  // no_entry: the slot is free
    };
    struct entry {
        std::size_t key_offset;    // where the key stands in keys_
        std::size_t line;
        std::uint32_t key_length;  // keys of 4 GiB or more are never looked up: not indexed
    };
    // More keys than this would need more stored lines than memory can hold: not indexed.
    static constexpr std::uint32_t no_entry = UINT32_MAX;

    std::string_view key_at(const entry& e) const;
    std::size_t slot_of(std::string_view key, std::uint32_t hash) const;
    void grow();

    std::string keys_;
    std::vector<slot> slots_;
    std::vector<entry> entries_;
    // The entry after the one found last: a chart's numbered keys are looked up in the
    // order they were added, and found there without a probe into the slots.
    mutable std::size_t next_guess_ = 0;
};

}  // namespace hdrmill
