#include "header/header_text.hpp"

#include "header/bsb_knp_records.hpp"
#include "header/chart_parameters.hpp"
#include "header/header_stream.hpp"
#include "header/reference_records.hpp"
#include "header/template_lines.hpp"
#include "header/version.hpp"

#include <utility>

namespace hdrmill {

namespace {

raster_text raster_of(const input_buffer& record, const std::optional<scan_size>& scan) {
    raster_text raster{record.lookup_value("WI"), record.lookup_value("HE")};
    if (!scan || (!raster.width.empty() && !raster.height.empty())) {
        return raster;
    }
    if (!scan->read) {
        raster.awaits_scan = true;
        return raster;
    }
    if (raster.width.empty()) {
        raster.width = std::to_string(scan->width);
    }
    if (raster.height.empty()) {
        raster.height = std::to_string(scan->height);
    }
    return raster;
}

}  // namespace

header_text render_header(input_buffer& record, const std::optional<scan_size>& scan) {
    // Group A is worked out before the template lines can append to the record.
    chart_parameters parameters;
    work_out_group_a(record, parameters);
    header_stream header;
    // A header holds about the record's bytes again (its points, its template lines),
    // plus a few records of its own.
    header.reserve(record.text_size() + 2048);
    header << "! Created by hdrmill " << version_tag << " - Use at your own risk!";
    header.end_line();
    write_template_lines(record, header);
    work_out_group_b(record, parameters);
    auto raster = raster_of(record, scan);
    const auto offsets = write_bsb_knp_records(record, parameters, raster, header);
    const auto ost_offset = header.size();
    write_reference_records(record, header);
    return {header.take_text(), offsets.bsb, offsets.raster, ost_offset, std::move(parameters), std::move(raster)};
}

}  // namespace hdrmill
