#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "scan/scan_image.hpp"

namespace hdrmill {

/// A BSB/KAP chart file as the tests read it back: by the rules that GDAL's and
/// OpenCPN's chart readers apply, written down apart from the chart writer so that
/// the two cannot share a mistake.
struct kap_chart {
    std::uint32_t width = 0;    // from the BSB/ record's RA=
    std::uint32_t height = 0;
    unsigned depth = 0;         // the byte after 0x1A 0x00
    std::vector<std::string> records;   // header records, continuation lines joined with ","
    // Entry i of a palette at [i - 1]. DAY/, DSK/ and NGT/ are empty when the file has none.
    std::vector<colour> rgb, day, dusk, night;
    std::vector<std::uint8_t> pixels;   // width * height palette entries less 1, row by row
    std::uint64_t rows_end = 0;         // just past the last row's closing 0x00
    std::uint64_t index_at = 0;         // the first byte of the row index
};

/// The chart, or why a chart reader would refuse it or show it wrongly.
struct kap_reading {
    std::optional<kap_chart> chart;
    std::string error;   // empty when there is a chart
};

/// Reads a whole chart file held in `file`. Stricter than either chart reader where
/// they differ: every row exactly `width` pixels, rows numbered from 1 and placed
/// where the index says, nothing but zeros between the last row and the index, the
/// index's own offset in the last 4 bytes.
kap_reading read_kap(std::string_view file);

}  // namespace hdrmill
