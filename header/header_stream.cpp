#include "header/header_stream.hpp"

#include <array>
#include <charconv>
#include <utility>

#include "text/integer_text.hpp"

namespace hdrmill {

header_stream& header_stream::operator<<(std::string_view text) {
    for (std::size_t start = 0;;) {
        const auto newline = text.find('\n', start);
        text_.append(text.substr(start, newline == std::string_view::npos ? newline : newline - start));
        if (newline == std::string_view::npos) {
            return *this;
        }
        text_.append("\r\n    ");
        start = newline + 1;
    }
}

header_stream& header_stream::operator<<(std::int32_t number) {
    text_.append(integer_to_text(number));
    return *this;
}

header_stream& header_stream::operator<<(double number) {
    text_.append(format_real(number, precision_));
    return *this;
}

void header_stream::end_line() { text_.append("\r\n"); }

void header_stream::set_precision(int digits) { precision_ = digits; }

std::size_t header_stream::size() const { return text_.size(); }

void header_stream::reserve(std::size_t bytes) { text_.reserve(bytes); }

std::string header_stream::take_text() { return std::exchange(text_, {}); }

std::string format_real(double number, int digits) {
    // to_chars in general format with a precision is specified as printf's %.*g
    // and never looks at the locale. 40 bytes hold any double at up to 17 digits.
    std::array<char, 40> text{};
    const auto result =
        std::to_chars(text.data(), text.data() + text.size(), number, std::chars_format::general, digits);
    return std::string(text.data(), result.ptr);
}

}  // namespace hdrmill
