#pragma once

#include <cstddef>

#include "scan/scan_image.hpp"

namespace hdrmill {

/// A colour scan of `limit` (at most 256) distinct colours or fewer made indexed in
/// place, every pixel with exactly its colour, the palette in the order of lighter();
/// false, the scan untouched, when it has more. A noisy scan is found to have more
/// within a few pixels; one of few colours is read twice. Tables: 2.5 KB.
bool keep_few_colours(scan_image& scan, std::size_t limit);

}  // namespace hdrmill
