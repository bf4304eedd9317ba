#pragma once

#include <string>
#include <string_view>

namespace hdrmill {

/// The file-name rules every file the program reads or writes goes through, the same on
/// every platform except where a platform's own file system decides (noted below).

/// True for a character that ends a folder in a name on this platform: "/" everywhere,
/// and on Windows "\" and the ":" of a drive as well.
bool is_folder_separator(char c);

/// The folder part of a name, up to and with its last folder separator; empty for a
/// name in the working directory.
std::string folder_of(const std::string& name);

/// True for a name that stands on its own, whatever the working directory: it begins
/// with "/" or "\", or with a drive letter and ":" (C:\x and C:x both name another
/// folder's file on Windows).
bool is_absolute_name(std::string_view name);

/// True for a name taken from the calibration file that would leave the working
/// directory: it is absolute (see `is_absolute_name`), or one of its components (split
/// at "/" and "\") is exactly "..". Refused the same way on every platform, so a
/// calibration file gives the same results everywhere. The calibration file is not
/// trusted to choose where files are written; a name the user typed is never checked.
bool is_unsafe_file_name(std::string_view name);

/// False for a name no file can be created under as it stands: it holds a NUL byte,
/// which would cut it short to name another file; or, on Windows, a ":" past a drive
/// prefix, which would name a hidden stream of another file, or any other character
/// Windows refuses in a file name (< > " | ? * and control characters).
bool can_name_a_file(std::string_view name);

}  // namespace hdrmill
