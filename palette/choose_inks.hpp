#pragma once

#include <cstddef>
#include <vector>

#include "palette/colour_histogram.hpp"
#include "scan/scan_image.hpp"

namespace hdrmill {

/// The inks of a scan: at most `limit` (at least 1) colours to show `colours` (the
/// scan's colours with their pixel counts; not empty) with, each the mean colour of
/// the pixels it stands for. As many as the scan needs: 24 where that many serve (a
/// scan of fewer colours gets one each), more while some colour of a few pixels or
/// more lies far from every ink. The result is in no particular order, each colour at
/// most once, and depends on the colours and counts alone (integers throughout; the
/// order of `colours` matters only among exact ties).
std::vector<colour> choose_inks(const std::vector<weighted_colour>& colours, std::size_t limit);

}  // namespace hdrmill
