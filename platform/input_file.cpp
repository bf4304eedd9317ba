#include "platform/input_file.hpp"

#include <cstring>

namespace hdrmill {

namespace {
constexpr std::size_t block_size = std::size_t{1} << 16;
constexpr char end_of_text = '\x1a';
// Removes the CR bytes from `length` bytes at `text`, in place; gives how many remain.
// Most lines hold none, or only the one before their LF.
std::size_t drop_cr_bytes(char* text, std::size_t length) {
    auto* cr = static_cast<char*>(std::memchr(text, '\r', length));
    if (cr == nullptr) {
        return length;
    }
    std::size_t kept = static_cast<std::size_t>(cr - text);
    for (std::size_t i = kept + 1; i < length; ++i) {
        if (text[i] != '\r') {
            text[kept++] = text[i];
        }
    }
    return kept;
}

}  // namespace

input_file::input_file() : block_(block_size) {}

input_file::~input_file() { close(); }

bool input_file::open(const std::string& path) {
    close();
    // A name holding a NUL byte cannot come from the command line, but must never be
    // cut short to name another file.
    if (path.find('\0') != std::string::npos) {
        return false;
    }
    return attach(std::fopen(path.c_str(), "rb"));
}

bool input_file::attach(std::FILE* file) {
    close();
    file_ = file;
    if (file_ == nullptr) {
        return false;
    }
    position_ = end_ = 0;
    at_end_ = finished_ = failed_ = false;
    fill();
    if (failed_) {
        close();
        return false;
    }
    return true;
}

void input_file::fill() {
    position_ = end_ = 0;
    if (at_end_) {
        return;
    }
    end_ = std::fread(block_.data(), 1, block_.size(), file_);
    if (end_ < block_.size()) {
        at_end_ = true;
        failed_ = std::ferror(file_) != 0;
    }
    if (const void* stop = std::memchr(block_.data(), end_of_text, end_)) {
        end_ = static_cast<std::size_t>(static_cast<const char*>(stop) - block_.data());
        at_end_ = true;
    }
}

bool input_file::read_line(std::string_view& line) {
    spanning_.clear();
    line = {};
    if (finished_ || failed_) {
        return false;
    }
    for (;;) {
        if (position_ == end_) {
            if (at_end_) {
                finished_ = true;
                line = spanning_;
                return true;
            }
            fill();
            if (failed_) {
                return false;
            }
            continue;
        }
        char* start = block_.data() + position_;
        const auto* newline = static_cast<const char*>(std::memchr(start, '\n', end_ - position_));
        const auto length = newline != nullptr ? static_cast<std::size_t>(newline - start) : end_ - position_;
        const auto kept = drop_cr_bytes(start, length);
        position_ += length;
        if (newline == nullptr) {
            spanning_.append(start, kept);
            continue;
        }
        ++position_;
        if (spanning_.empty()) {
            line = std::string_view(start, kept);
        } else {
            spanning_.append(start, kept);
            line = spanning_;
        }
        return true;
    }
}

bool input_file::failed() const { return failed_; }

void input_file::close() {
    if (file_ != nullptr) {
        std::fclose(file_);
        file_ = nullptr;
    }
}

}  // namespace hdrmill
