#pragma once

#include <cstddef>
#include <string>

#include "calibration/input_buffer.hpp"
#include "header/chart_parameters.hpp"
#include "header/header_stream.hpp"

namespace hdrmill {

/// The text after ",PP=": a transverse Mercator chart with no usable PP gives its
/// central meridian LON0 (6 significant digits); every other chart the PP text or its
/// default.
std::string projection_parameter_text(const input_buffer& record, const chart_parameters& parameters);

/// Where the records chart readers look for first stand in the header.
struct record_offsets {
    std::size_t bsb = 0;      // "BSB/"
    std::size_t raster = 0;   // "RA=", the raster size
};

/// The raster size as RA= carries it: WI and HE as the record gives them, or, where
/// one is absent and the chart is made from a scan, the scan's size.
struct raster_text {
    std::string width;
    std::string height;
    /// WI or HE is absent and the chart's scan, which would give it, could not be read:
    /// the size is not known, and that is the scan's fault, not the calibration's.
    bool awaits_scan = false;
};

/// Writes "VER/2.0", the BSB record (name, number, raster size, resolution), the KNP
/// record (scale, datum, projection, projection parameter, units, pixel sizes) and the
/// additional lines ADD1, ADD2, ... up to the first absent or empty one. Reals go out
/// with 6 significant digits. Absent keys give empty fields; nothing is validated.
/// Gives where "BSB/" and "RA=" were written.
record_offsets write_bsb_knp_records(const input_buffer& record, const chart_parameters& parameters,
                                     const raster_text& raster, header_stream& header);

}  // namespace hdrmill
