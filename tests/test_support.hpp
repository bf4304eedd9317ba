#pragma once

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "platform/console.hpp"

namespace hdrmill::testing {

/// A fresh directory under the system's temporary directory, removed with everything in it.
class temp_dir {
public:
    temp_dir() {
        std::random_device seed;
        path_ = std::filesystem::temp_directory_path() / ("hdrmill-test-" + std::to_string(seed()));
        std::filesystem::create_directories(path_);
    }
    ~temp_dir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    temp_dir(const temp_dir&) = delete;
    temp_dir& operator=(const temp_dir&) = delete;

    /// Writes `bytes` exactly into the file `name` and gives its full path.
    std::string write(const std::string& name, const std::string& bytes) const {
        const auto file = path_ / name;
        std::ofstream(file, std::ios::binary) << bytes;
        return file.string();
    }

    std::string path(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

/// A console whose lines are kept in a temporary file and read back as bytes.
class captured_console {
public:
    captured_console() : file_(std::tmpfile()), out_(file_) {}
    ~captured_console() { std::fclose(file_); }
    captured_console(const captured_console&) = delete;
    captured_console& operator=(const captured_console&) = delete;

    console& out() { return out_; }

    std::string text() const {
        std::string bytes;
        std::rewind(file_);
        for (int c = std::fgetc(file_); c != EOF; c = std::fgetc(file_)) {
            bytes.push_back(static_cast<char>(c));
        }
        return bytes;
    }

private:
    std::FILE* file_;
    console out_;
};

}  // namespace hdrmill::testing
