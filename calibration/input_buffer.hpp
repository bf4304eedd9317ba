#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace hdrmill {

/// What the number and integer lookups give for an absent or empty field. It is a
/// sentinel, not a measurement: callers compare against it exactly. The real form is
/// the exact double of the integer form, so either converts into the other unchanged.
inline constexpr std::int32_t missing_integer = -2147483647;
inline constexpr double missing_real = static_cast<double>(missing_integer);

/// The value `line` gives for `key`: the rest of the line after the key and "=", when
/// the line begins with exactly the bytes of `key`, followed at once by "=" and at
/// least one more byte; otherwise the empty text. This is the whole lookup rule.
std::string_view value_carried(std::string_view line, std::string_view key);

/// Item `k` of a value read as a number: the number lookup's rule for a value already
/// looked up. `missing_real` when the item is absent or empty.
double number_in_field(std::string_view value, std::int32_t k);

/// Item `k` of a value read as a 32-bit integer: the integer lookup's rule for a value
/// already looked up. `missing_integer` when absent, empty, NaN or beyond 32 bits.
std::int32_t integer_in_field(std::string_view value, std::int32_t k);

/// One chart's stored lines, in file order; most are KEY=value, line 0 is normally
/// the chart's section line. Lines are only ever appended at the end, and the record
/// is only ever emptied as a whole. Lookups never change the record and return copies.
///
/// The first line in record order that carries a key wins (see `value_carried`): lines
/// appended later, such as template pieces, only supply keys not yet carried.
///
/// Lookups cost a bounded amount, whatever the size of the record: a record of up to
/// `indexed_from` lines is searched line by line; a larger one keeps an index, updated
/// as lines are appended, from each line's key (its text before the first "=") to the
/// first line that carries it. A key that itself holds "=" is answered by a search,
/// with the same answer. The lines are kept back to back in one buffer, so storing a
/// line allocates nothing once the buffer has grown to the size of the largest chart.
class input_buffer {
public:
    static constexpr std::size_t indexed_from = 64;

    /// Stores a copy of `text` as the new last line.
    void append_line(std::string_view text);

    /// Joins `text` to the last stored line with one LF. Gives false, and changes
    /// nothing, when no line is stored yet.
    bool append_continuation(std::string_view text);

    bool is_empty() const;
    void clear();

    /// Stored line `index` (from 0); the empty text past the last line.
    std::string line_at(std::uint32_t index) const;

    /// The value of the first stored line that carries `key`; the empty text when none does.
    std::string lookup_value(std::string_view key) const;

    /// The same value as `lookup_value`, as a view into the record: valid only until the
    /// record is next changed (an append, a continuation or a clear).
    std::string_view lookup_view(std::string_view key) const;

    /// Comma item `k` of the value of `key`. A negative `k` picks nothing.
    std::string lookup_field(std::string_view key, std::int32_t k) const;

    /// Item `k` read as a number; `missing_real` when the item is absent or empty.
    /// Text that does not begin with a number reads as 0.0, not as missing.
    double lookup_number(std::string_view key, std::int32_t k) const;

    /// The number lookup truncated toward zero to 32 bits. `missing_integer` when the
    /// item is absent or empty, and also when the number is NaN or its truncation lies
    /// outside the 32-bit range: no out-of-range conversion ever happens.
    std::int32_t lookup_integer(std::string_view key, std::int32_t k) const;

private:
    struct line_span {
        std::size_t offset;
        std::size_t length;
    };
    // One entry of the index: a key (the first `key_length` bytes of line `line`) and
    // its hash. The index is open-addressed, so it holds no copies of keys.
    struct index_slot {
        std::size_t hash;
        std::size_t line;
        std::size_t key_length;
    };

    std::string_view line(std::size_t index) const;
    std::string_view find_value(std::string_view key) const;
    std::string_view search_value(std::string_view key) const;
    void index_line(std::size_t index);
    void grow_index();

    std::string text_;                 // every stored line, back to back
    std::vector<line_span> lines_;     // where each line stands in text_
    std::vector<index_slot> index_;    // empty, or a power of two of slots, at most half used
    std::size_t indexed_keys_ = 0;
};

}  // namespace hdrmill
