#include "platform/console.hpp"

namespace hdrmill {

console::console(std::FILE* out) : out_(out) {}

void console::say(std::string_view line) {
    const bool written = std::fwrite(line.data(), 1, line.size(), out_) == line.size() &&
                         std::fputc('\n', out_) != EOF && std::fflush(out_) == 0;
    failed_ = failed_ || !written;
}

bool console::failed() const { return failed_; }

}  // namespace hdrmill
