#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "calibration/input_buffer.hpp"
#include "header/bsb_knp_records.hpp"
#include "header/chart_parameters.hpp"

namespace hdrmill {

/// A chart's header in memory, byte for byte as conversion writes it, and where the
/// records that chart readers look for first stand in it.
struct header_text {
    std::string text;
    std::size_t bsb_offset = 0;      // "BSB/": GDAL knows the file only when it starts early
    std::size_t raster_offset = 0;   // "RA=", the raster size: GDAL looks for it only early
    std::size_t ost_offset = 0;      // "OST/1": a chart's palettes stand before it
    chart_parameters parameters;     // the values the BSB and KNP records were written from
    raster_text raster;              // the raster size RA= carries
};

/// The size of the scan a chart is made from, in pixels; `read` false for a scan that
/// could not be read, whose size is not known.
struct scan_size {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    bool read = true;
};

/// Renders the header of `record`: the preamble, the comment and template lines,
/// "VER/2.0", the BSB and KNP records, the additional lines and the OST, REF, CPH, PLY
/// and DTM records, in that order. The record gains the lines its template lines
/// append, as in conversion; they vanish when the reader clears it. RA= carries WI and
/// HE, and where one is absent the size of `scan` when the chart is made from one.
header_text render_header(input_buffer& record, const std::optional<scan_size>& scan = std::nullopt);

}  // namespace hdrmill
