#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "calibration/key_index.hpp"

namespace hdrmill {

/// What the number and integer lookups give for an absent or empty field. It is a
/// sentinel, not a measurement: callers compare against it exactly. The real form is
/// the exact double of the integer form, so either converts into the other unchanged.
inline constexpr std::int32_t missing_integer = -2147483647;
inline constexpr double missing_real = static_cast<double>(missing_integer);

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
/// A line carries the key before its first "=" when at least one byte follows that
/// "=": "NA=" carries nothing, "FN = x" carries "FN " (the blank is part of the key),
/// "X=a=b" carries X with the value "a=b". The first line in record order that carries
/// a key wins, so lines appended later, such as template pieces, only supply keys not
/// yet carried. Keys are compared byte for byte; the keys looked up hold no "=".
///
/// The lines are kept back to back in one buffer, with an index of their keys, so a
/// lookup costs the same in a chart of ten lines and in one of a million.
class input_buffer {
public:
    /// Stores a copy of `text` as the new last line.
    void append_line(std::string_view text);

    /// Joins `text` to the last stored line with one LF. Gives false, and changes
    /// nothing, when no line is stored yet.
    bool append_continuation(std::string_view text);

    bool is_empty() const;
    void clear();

    /// Stored line `index` (from 0); the empty text past the last line.
    std::string line_at(std::uint32_t index) const;

    /// How many lines are stored, and line `index` of them as a view into the record:
    /// valid only until the record next changes.
    std::size_t line_count() const;
    std::string_view line_view(std::size_t index) const;

    /// The bytes of every stored line together, line ends not counted.
    std::size_t text_size() const;

    /// The value of the first stored line that carries `key`; the empty text when none does.
    std::string lookup_value(std::string_view key) const;

    /// The same value as `lookup_value`, as a view into the record: valid only until the
    /// record next changes (an append, a continuation or a clear).
    std::string_view lookup_view(std::string_view key) const;

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

    std::string_view line(std::size_t index) const;
    std::string_view find_value(std::string_view key) const;
    void index_line(std::size_t index);

    std::string text_;               // every stored line, back to back
    std::vector<line_span> lines_;   // where each line stands in text_
    key_index keys_;
};

}  // namespace hdrmill
