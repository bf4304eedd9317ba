#include "header/bsb_knp_records.hpp"

#include <limits>

#include "text/integer_text.hpp"

namespace hdrmill {

std::string projection_parameter_text(const input_buffer& record, const chart_parameters& parameters) {
    const double central_meridian = record.lookup_number("LON0", 0);
    if (central_meridian != missing_real && parameters.projection_code == transverse_mercator_projection &&
        parameters.pp_text == "UNKNOWN") {
        return format_real(central_meridian, 6);
    }
    return parameters.pp_text;
}

record_offsets write_bsb_knp_records(const input_buffer& record, const chart_parameters& parameters,
                                     const raster_text& raster, header_stream& header) {
    record_offsets offsets;
    header << "VER/2.0";
    header.end_line();

    offsets.bsb = header.size();
    header << "BSB/NA=" << record.lookup_value("NA");
    header.end_line();
    header << "    NU=" << record.lookup_value("NU") << ",";
    offsets.raster = header.size();
    header << "RA=" << raster.width << "," << raster.height << ",DU="
           << parameters.pixels_per_inch;
    header.end_line();

    header << "KNP/SC=" << parameters.chart_scale << ",GD=" << record.lookup_value("GD")
           << ",PR=" << parameters.projection_name << ",PP=";
    header << projection_parameter_text(record, parameters);
    header.end_line();
    header << "    PI=" << parameters.pi_text << ",SP=" << parameters.sp_text << ",SK=" << parameters.sk_text
           << ",TA=" << parameters.ta_text;
    header.end_line();
    header << "    UN=" << parameters.depth_units_name << ",SD=" << parameters.sd_text;
    header.end_line();
    header << "    DX=" << parameters.pixel_size_x << ",DY=" << parameters.pixel_size_y;
    header.end_line();

    // Numbers stop short of the 32-bit limit, so counting never overflows.
    for (std::int32_t n = 1; n < std::numeric_limits<std::int32_t>::max(); ++n) {
        const auto line = record.lookup_value(numbered_key("ADD", n));
        if (line.empty()) {
            break;
        }
        header << line;
        header.end_line();
    }
    return offsets;
}

}  // namespace hdrmill
