#pragma once

#include <cstdint>
#include <string>

namespace hdrmill {

/// Which file a name stands for, by the file system's own account rather than by its
/// spelling: two names are the same file when they reach it through links, "..",
/// other folders' names for the same folder, or (on Windows) other letter cases.
///
/// A file that exists is known by its device and file number (on Windows, its
/// volume's serial number and its file index), whatever links lead to it. A name that
/// holds nothing yet is known by its folder's identity and its last component (on
/// Windows, that component in upper case), so that two names for one file yet to be
/// made are the same too. A name whose folder does not exist has no identity and is
/// the same as nothing.
struct file_identity {
    bool known = false;
    bool exists = false;
    std::uint64_t device = 0;
    std::uint64_t number = 0;
    std::string name;  // for a file yet to be made: its last component

    friend bool operator==(const file_identity&, const file_identity&) = default;
};

/// The identity of the file `path` names now. Taken again after the file is made,
/// it is that of the file (and no longer equal to the one taken before).
file_identity identity_of(const std::string& path);

/// True when both names are known and stand for the same file.
bool same_file(const file_identity& a, const file_identity& b);

}  // namespace hdrmill
