#pragma once

#include <string_view>

namespace hdrmill {

/// The version tag printed by the usage text and written into every header's preamble.
inline constexpr std::string_view version_tag = "beta09";

}  // namespace hdrmill
