#include "text/number_text.hpp"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <system_error>

namespace hdrmill {

namespace {

bool is_c_space(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// For a decimal number that a double cannot hold, tells whether it is too large
// (true) or too small (false): the power of ten of its first significant digit,
// with the exponent added, is at least 0 only for a magnitude of 1 or more.
// Counts saturate, so no digit string or exponent is too long to judge.
bool magnitude_at_least_one(std::string_view number) {
    // Far beyond any double's exponent, and small enough that limit * 10 + 9 fits.
    constexpr std::int64_t limit = 1'000'000'000'000'000;
    std::int64_t order = 0;
    bool seen_dot = false;
    bool seen_significant = false;
    std::size_t i = 0;
    for (; i < number.size() && (is_digit(number[i]) || number[i] == '.'); ++i) {
        if (number[i] == '.') {
            seen_dot = true;
        } else if (!seen_significant && number[i] != '0') {
            seen_significant = true;
            order = seen_dot ? order - 1 : 0;
        } else if (seen_significant && !seen_dot) {
            order = order < limit ? order + 1 : order;
        } else if (!seen_significant && seen_dot) {
            order = order > -limit ? order - 1 : order;
        }
    }
    std::int64_t exponent = 0;
    if (i < number.size() && (number[i] == 'e' || number[i] == 'E')) {
        ++i;
        bool negative = false;
        if (i < number.size() && (number[i] == '+' || number[i] == '-')) {
            negative = number[i] == '-';
            ++i;
        }
        for (; i < number.size() && is_digit(number[i]); ++i) {
            exponent = exponent < limit ? exponent * 10 + (number[i] - '0') : limit;
        }
        exponent = negative ? -exponent : exponent;
    }
    return order + exponent >= 0;
}

// `text` without the blanks and tabs around it.
std::string_view without_blanks(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

}  // namespace

double read_number(std::string_view text) {
    std::size_t start = 0;
    while (start < text.size() && is_c_space(text[start])) {
        ++start;
    }
    bool negative = false;
    if (start < text.size() && (text[start] == '+' || text[start] == '-')) {
        negative = text[start] == '-';
        ++start;
    }
    // from_chars reads exactly strtod's subject sequence less the white space and the
    // sign, and never consults the locale. A second sign ("--5") is no number.
    const char* first = text.data() + start;
    const char* last = text.data() + text.size();
    if (first == last || *first == '-') {
        return 0.0;
    }
    double value = 0.0;
    const auto result = std::from_chars(first, last, value, std::chars_format::general);
    if (result.ec == std::errc::invalid_argument) {
        return 0.0;
    }
    if (result.ec == std::errc::result_out_of_range) {
        const std::string_view number(first, static_cast<std::size_t>(result.ptr - first));
        value = magnitude_at_least_one(number) ? std::numeric_limits<double>::infinity() : 0.0;
    }
    return negative ? -value : value;
}

std::optional<double> read_exact_number(std::string_view text) {
    text = without_blanks(text);
    std::size_t start = !text.empty() && (text.front() == '+' || text.front() == '-') ? 1 : 0;
    // Only what read_number would read as digits, "." and exponent: from_chars alone
    // would also take "inf" and "nan", and a second sign.
    if (start == text.size() || text.find_first_not_of("0123456789.eE+-", start) != std::string_view::npos ||
        text[start] == '+' || text[start] == '-') {
        return std::nullopt;
    }
    double value = 0.0;
    const auto result = std::from_chars(text.data() + start, text.data() + text.size(), value);
    if (result.ec != std::errc() || result.ptr != text.data() + text.size() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return text.front() == '-' ? -value : value;
}

std::optional<std::int32_t> read_count(std::string_view text) {
    text = without_blanks(text);
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
    }
    std::int32_t value = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    // from_chars takes a "-" of its own; a count has none.
    if (text.empty() || text.front() == '-' || result.ec != std::errc() || result.ptr != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

}  // namespace hdrmill
