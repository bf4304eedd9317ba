#include "platform/file_identity.hpp"

#include "platform/file_name.hpp"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#endif

namespace hdrmill {

namespace {

// The last component of a name, and the folder it stands in ("." for the working
// directory); a name ending in a separator has no last component.
std::string last_component(const std::string& path) { return path.substr(folder_of(path).size()); }

std::string folder_to_ask(const std::string& path) {
    const auto folder = folder_of(path);
    return folder.empty() ? "." : folder;
}

#ifdef _WIN32
// The identity of an existing file or folder, or nothing.
bool existing_identity(const std::string& path, file_identity& identity) {
    // FILE_FLAG_BACKUP_SEMANTICS opens folders too; no access is asked, only attributes.
    const HANDLE handle = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    BY_HANDLE_FILE_INFORMATION information{};
    const bool got = GetFileInformationByHandle(handle, &information) != 0;
    CloseHandle(handle);
    if (!got) {
        return false;
    }
    identity.device = information.dwVolumeSerialNumber;
    identity.number = std::uint64_t{information.nFileIndexHigh} << 32 | information.nFileIndexLow;
    return true;
}

// Windows compares names without regard to case (ASCII letters; the rest as given).
std::string comparable_name(std::string name) {
    for (auto& c : name) {
        c = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    }
    while (!name.empty() && (name.back() == '.' || name.back() == ' ')) {
        name.pop_back();  // Windows drops trailing dots and blanks from a name
    }
    return name;
}
#else
bool existing_identity(const std::string& path, file_identity& identity) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        return false;
    }
    identity.device = static_cast<std::uint64_t>(status.st_dev);
    identity.number = static_cast<std::uint64_t>(status.st_ino);
    return true;
}

std::string comparable_name(std::string name) { return name; }
#endif

}  // namespace

file_identity identity_of(const std::string& path) {
    file_identity identity;
    if (path.empty() || path.find('\0') != std::string::npos) {
        return identity;
    }
    if (existing_identity(path, identity)) {
        identity.known = true;
        identity.exists = true;
        return identity;
    }
    const auto name = last_component(path);
    if (name.empty() || name == "." || name == ".." || !existing_identity(folder_to_ask(path), identity)) {
        return {};
    }
    identity.known = true;
    identity.name = comparable_name(name);
    return identity;
}

bool same_file(const file_identity& a, const file_identity& b) { return a.known && b.known && a == b; }

}  // namespace hdrmill
