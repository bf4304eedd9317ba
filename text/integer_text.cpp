#include "text/integer_text.hpp"

#include <array>
#include <charconv>

namespace hdrmill {

std::string integer_to_text(std::int32_t n) {
    // 11 characters hold the longest value, -2147483648.
    std::array<char, 16> digits{};
    const auto result = std::to_chars(digits.data(), digits.data() + digits.size(), n);
    return std::string(digits.data(), result.ptr);
}

std::string numbered_key(std::string_view letters, std::int32_t n) {
    std::string key(letters);
    key += integer_to_text(n);
    return key;
}

}  // namespace hdrmill
