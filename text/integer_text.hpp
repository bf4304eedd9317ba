#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace hdrmill {

/// The decimal form of `n` as printf "%d" writes it: a minus sign for negative
/// numbers, no plus sign, no leading zeros or blanks. Numbered keys (C10, ADD12)
/// are built with it, so the tenth point is C10, never C010.
std::string integer_to_text(std::int32_t n);

/// A numbered key: `letters` followed by `n` in decimal ("C" and 10 give C10).
std::string numbered_key(std::string_view letters, std::int32_t n);

}  // namespace hdrmill
