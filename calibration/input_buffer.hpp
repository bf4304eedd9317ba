#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace hdrmill {

/// What the number and integer lookups give for an absent or empty field. It is a
/// sentinel, not a measurement: callers compare against it exactly. The real form is
/// the exact double of the integer form, so either converts into the other unchanged.
inline constexpr std::int32_t missing_integer = -2147483647;
inline constexpr double missing_real = static_cast<double>(missing_integer);

/// One chart's stored lines, in file order; most are KEY=value, line 0 is normally
/// the chart's section line. Lines are only ever appended at the end, and the record
/// is only ever emptied as a whole. Lookups never change the record and return copies.
///
/// A stored line carries key K when it begins with exactly the bytes of K, followed at
/// once by "=" and at least one more byte. The first line in record order that carries
/// K wins: lines appended later (template pieces) only supply keys not yet carried.
///
/// Lookups cost the length of the key, not the size of the record: an index, kept up
/// to date as lines are appended, maps each line's key (its text before the first "=")
/// to the first line that carries it. A key that itself holds "=" is answered by
/// scanning, with the same answer.
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

    /// The value of the first stored line that carries `key`; the empty text when none does.
    std::string lookup_value(std::string_view key) const;

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
    struct key_hash {
        using is_transparent = void;
        std::size_t operator()(std::string_view key) const { return std::hash<std::string_view>{}(key); }
    };

    std::string_view find_value(std::string_view key) const;
    void index_line(std::size_t line);

    std::vector<std::string> lines_;
    std::unordered_map<std::string, std::size_t, key_hash, std::equal_to<>> first_line_with_key_;
};

/// The value of the first of `lines` that carries `key`, found by reading every line
/// from the first: the rule itself, which the index of `input_buffer` must agree with.
std::string_view scan_for_value(const std::vector<std::string>& lines, std::string_view key);

}  // namespace hdrmill
