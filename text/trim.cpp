#include "text/trim.hpp"

namespace hdrmill {

namespace {
constexpr const char* trim_set = "\n\r\t ";
}

std::string& trim_right(std::string& text) {
    const auto last = text.find_last_not_of(trim_set);
    text.erase(last == std::string::npos ? 0 : last + 1);
    return text;
}

std::string& trim_both(std::string& text) {
    const auto first = text.find_first_not_of(trim_set);
    if (first == std::string::npos) {
        text.clear();
        return text;
    }
    text.erase(text.find_last_not_of(trim_set) + 1);
    text.erase(0, first);
    return text;
}

}  // namespace hdrmill
