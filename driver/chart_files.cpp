#include "driver/chart_files.hpp"

#include <cstdio>
#include <filesystem>
#include <string_view>
#include <system_error>

namespace hdrmill {

namespace {

// The bytes a chart reader reads first; a chart's or header's first records lie within.
constexpr std::size_t sniffed_bytes = 1024;

bool begins_a_record(std::string_view line) {
    return line.starts_with("BSB/") || line.starts_with("NOS/") || line.starts_with("VER/");
}

bool looks_like_a_chart(std::string_view head) {
    if (head.empty()) {
        return true;
    }
    if (head.front() != '!' && !begins_a_record(head)) {
        return false;
    }
    for (std::size_t at = 0; at < head.size();) {
        if (begins_a_record(head.substr(at))) {
            return true;
        }
        const auto end = head.find('\n', at);
        if (end == std::string_view::npos) {
            break;
        }
        at = end + 1;
    }
    return false;
}

}  // namespace

bool holds_a_chart_or_nothing(const std::string& name) {
    std::error_code unknown;
    if (!std::filesystem::is_regular_file(std::filesystem::symlink_status(name, unknown))) {
        return true;
    }
    std::FILE* file = std::fopen(name.c_str(), "rb");
    if (file == nullptr) {
        return true;  // creation will say what is wrong with it
    }
    std::string head(sniffed_bytes, '\0');
    head.resize(std::fread(head.data(), 1, head.size(), file));
    std::fclose(file);
    return looks_like_a_chart(head);
}

void chart_files::add_input(const std::string& path, bool is_calibration) {
    files_.push_back({identity_of(path), path, is_calibration ? known_file::kind::calibration : known_file::kind::scan});
}

void chart_files::add_made(const std::string& name) {
    files_.push_back({identity_of(name), name, known_file::kind::made});
}

std::string chart_files::why_not(const std::string& name) const {
    const auto identity = identity_of(name);
    for (const auto& file : files_) {
        if (!same_file(identity, file.identity)) {
            continue;
        }
        switch (file.role) {
        case known_file::kind::calibration:
            return "it would replace the calibration file " + file.path;
        case known_file::kind::scan:
            return "it would replace the scan " + file.path;
        case known_file::kind::made:
            return "it would replace the chart " + file.path + " this run has made";
        }
    }
    if (!holds_a_chart_or_nothing(name)) {
        return "a file that is not a chart stands under its name, and is kept";
    }
    return {};
}

}  // namespace hdrmill
