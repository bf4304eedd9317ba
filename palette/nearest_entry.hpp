#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "palette/cie_lab.hpp"
#include "palette/palette_entry.hpp"

namespace hdrmill {

/// The L*a*b* of up to 256 palette entries, one array a channel, so that the distances
/// from a colour to all of them come from one loop the compiler runs several entries
/// at a time.
struct lab_points {
    std::vector<std::int32_t> l, a, b;

    lab_points() = default;
    explicit lab_points(const std::vector<palette_entry>& entries);
    explicit lab_points(const std::vector<lab_colour>& labs);
    std::size_t size() const { return l.size(); }
};

/// The nearest point to `lab` (CIE76) and its distance squared; of equals, the first.
/// `points` must not be empty.
struct nearest_point {
    std::size_t index;
    std::int64_t distance_squared;
};
nearest_point nearest_of(const lab_points& points, const lab_colour& lab);

}  // namespace hdrmill
