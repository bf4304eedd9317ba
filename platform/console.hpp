#pragma once

#include <cstdio>
#include <string_view>

namespace hdrmill {

/// Standard output, where everything the program says goes: one message per line,
/// each followed by a line end and a flush, so a message is out before the next step
/// can fail. The stream keeps the platform's text mode, so a line ends with LF on
/// Unix and CR LF on Windows. Nothing is ever written to standard error.
class console {
public:
    explicit console(std::FILE* out);

    /// Writes `line` (any bytes, NUL included), a line end, and flushes.
    void say(std::string_view line);

    /// True once a write or flush has failed (standard output closed or full).
    bool failed() const;

private:
    std::FILE* out_;
    bool failed_ = false;
};

}  // namespace hdrmill
