#include "text/trim.hpp"

namespace hdrmill {

namespace {

bool in_trim_set(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

}  // namespace

std::string_view trim_right(std::string_view text) {
    auto end = text.size();
    while (end > 0 && in_trim_set(text[end - 1])) {
        --end;
    }
    return text.substr(0, end);
}

std::string_view trim_both(std::string_view text) {
    text = trim_right(text);
    std::size_t start = 0;
    while (start < text.size() && in_trim_set(text[start])) {
        ++start;
    }
    return text.substr(start);
}

}  // namespace hdrmill
