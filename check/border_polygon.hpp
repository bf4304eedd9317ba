#pragma once

#include <optional>
#include <vector>

#include "check/projection.hpp"

namespace hdrmill {

/// Whether the closed polygon through `vertices` (in order, the last joined back to the
/// first) crosses or touches itself anywhere but where neighbouring sides meet.
/// Repeated neighbouring vertices are taken once. Segments are found through a grid of
/// cells about as large as a typical side, so the cost grows with the number of
/// vertices, not its square; nothing when a polygon would need too many cells or
/// comparisons to tell (sides of wildly different lengths all in one place), and for a
/// vertex that is not finite.
std::optional<bool> crosses_itself(const std::vector<plane_point>& vertices);

}  // namespace hdrmill
