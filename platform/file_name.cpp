#include "platform/file_name.hpp"

namespace hdrmill {

namespace {

bool has_drive_prefix(std::string_view name) {
    return name.size() >= 2 && name[1] == ':' &&
           ((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z'));
}

}  // namespace

bool is_folder_separator(char c) {
#ifdef _WIN32
    return c == '/' || c == '\\' || c == ':';
#else
    return c == '/';
#endif
}

std::string folder_of(const std::string& name) {
    for (auto at = name.size(); at > 0; --at) {
        if (is_folder_separator(name[at - 1])) {
            return name.substr(0, at);
        }
    }
    return {};
}

bool is_absolute_name(std::string_view name) {
    return has_drive_prefix(name) || (!name.empty() && (name.front() == '/' || name.front() == '\\'));
}

bool is_unsafe_file_name(std::string_view name) {
    if (is_absolute_name(name)) {
        return true;
    }
    for (std::size_t start = 0; start <= name.size();) {
        auto end = name.find_first_of("/\\", start);
        end = end == std::string_view::npos ? name.size() : end;
        if (name.substr(start, end - start) == "..") {
            return true;
        }
        start = end + 1;
    }
    return false;
}

bool can_name_a_file(std::string_view name) {
    if (name.find('\0') != std::string_view::npos) {
        return false;
    }
#ifdef _WIN32
    // Which characters a file name may hold is the platform's rule, not the language's.
    // Windows refuses these, but not always at once: a file written into a new file
    // first would only fail when that file is renamed to the name.
    if (name.find(':', has_drive_prefix(name) ? 2 : 0) != std::string_view::npos ||
        name.find_first_of("<>\"|?*") != std::string_view::npos) {
        return false;
    }
    for (const char byte : name) {
        if (byte > 0 && byte < ' ') {
            return false;
        }
    }
#endif
    return true;
}

}  // namespace hdrmill
