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
/// Open addressing over a power of two of slots, at most half used; the keys are
/// copied into one buffer, so adding a key allocates nothing once the buffers have
/// grown to the size of the largest chart.
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
    // A slot keeps part of its key's hash, so that a probe passes other keys without
    // reading them.
    struct slot {
        std::size_t key_offset;   // where the key stands in keys_
        std::size_t line;         // no_line: the slot is free
        std::uint32_t hash;       // the key's hash, which also places it
        std::uint32_t key_length; // keys of 4 GiB or more are never looked up: not indexed
    };
    static constexpr std::size_t no_line = static_cast<std::size_t>(-1);

    std::string_view key_at(const slot& entry) const;
    std::size_t slot_of(std::string_view key, std::uint32_t hash) const;
    void grow();

    std::string keys_;
    std::vector<slot> slots_;
    std::size_t used_ = 0;
};

}  // namespace hdrmill
