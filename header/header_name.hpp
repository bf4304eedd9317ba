#pragma once

#include <string>
#include <string_view>

#include "calibration/input_buffer.hpp"

namespace hdrmill {

/// How the user asked headers to be named; both empty unless given.
struct header_naming {
    std::string outfile;     // -o: one name for every header, unchanged; wins over the extension
    std::string extension;   // -e: the extension instead of "hdr"
};

/// The header file name of a chart: the -o name, unchanged; otherwise the chart's base
/// name (see `base_name`) and ".hdr", or "." and the -e extension.
std::string form_header_name(const input_buffer& record, const header_naming& naming);

/// True for a name that stands on its own, whatever the working directory: it begins
/// with "/" or "\", or with a drive letter and ":" (C:\x and C:x both name another
/// folder's file on Windows).
bool is_absolute_name(std::string_view name);

/// True for a name formed from the section line that would leave the working
/// directory: it begins with "/" or "\" or a drive letter and ":" (C:\x and C:x name
/// other folders on Windows), or one of its components (split at "/" and "\") is
/// exactly "..". Refused the same way on every platform, so a calibration file gives
/// the same results everywhere. The calibration file is not trusted to choose where
/// files are written; a -o name is the user's own and is never checked.
bool is_unsafe_header_name(std::string_view name);

/// False for a name no file can be created under as it stands: it holds a NUL byte,
/// which would cut it short to name another file; or, on Windows, a ":" past a drive
/// prefix, which would name a hidden stream of another file, or any other character
/// Windows refuses in a file name (< > " | ? * and control characters).
bool can_name_a_file(std::string_view name);

}  // namespace hdrmill
