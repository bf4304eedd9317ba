#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "check/pixel_map.hpp"

namespace hdrmill {

/// The reference points that agree with each other, and their map.
struct consensus {
    pixel_map map;
    std::vector<bool> agrees;   // per point: within the tolerance of `map`
    std::size_t count = 0;      // how many agree
};

/// Finds the points the others agree on: every exact three-point map (all triples
/// while they are few, a fixed, repeatable sample of them when there are many) is
/// grown and refitted by least squares over the points within `tolerance` pixels, each
/// fitted point judged by where the other fitted points place it. The most points win;
/// among equals, the map with the least shear. Nothing when no three points span the
/// plane.
std::optional<consensus> find_consensus(const std::vector<tie_point>& points, double tolerance);

}  // namespace hdrmill
