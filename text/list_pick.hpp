#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace hdrmill {

/// Item `k` (from 0) of a comma-separated list: the text between the k-th and the
/// (k+1)-th comma, not trimmed, possibly empty. A list with n commas has n + 1 items;
/// every larger `k` and the empty list give the empty text. Callers holding a signed
/// index pass it converted to unsigned, so a negative index picks nothing.
std::string pick_list_item(std::string_view list, std::uint32_t k);

}  // namespace hdrmill
