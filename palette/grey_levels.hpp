#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace hdrmill {

/// The grey levels to show a grey scan in `limit` (1 or more) levels of its own: the
/// present levels (counts[v] pixels of level v) are split into at most `limit` runs of
/// neighbouring levels, each shown as its weighted median, with the least summed error
/// in levels. Returns, for each present level, the level it is shown as (0 for the
/// absent ones). Integer costs, ties to the earliest split. Time and memory grow with
/// the square of the present levels (256 at most: 0.5 MB).
std::array<std::uint8_t, 256> grey_levels(const std::array<std::uint64_t, 256>& counts, std::size_t limit);

}  // namespace hdrmill
