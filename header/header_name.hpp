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

}  // namespace hdrmill
