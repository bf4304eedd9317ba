#include "calibration/number_reading.hpp"

#include <charconv>
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

}  // namespace hdrmill
