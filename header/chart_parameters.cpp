#include "header/chart_parameters.hpp"

#include <cmath>

#include "text/list_pick.hpp"

namespace hdrmill {

namespace {

constexpr const char* projection_names = "UNKNOWN,MERCATOR,TRANSVERSE MERCATOR,LAMBERT CONFORMAL CONIC";
constexpr const char* depth_units_names = "UNKNOWN,METERS,FEET,FATHOMS";

// A key's whole value when its first field reads as a number other than the missing
// marker, else the default. Text that is not a number reads as 0 and so counts.
std::string value_or_default(const input_buffer& record, const char* key, const char* fallback) {
    return record.lookup_number(key, 0) != missing_real ? record.lookup_value(key) : std::string(fallback);
}

}  // namespace

std::int32_t compute_pixels_per_inch(std::int32_t chart_scale, double pixel_size_x, double pixel_size_y) {
    if (chart_scale == 0 || chart_scale == missing_integer || pixel_size_x == 0.0 ||
        pixel_size_x == missing_real || pixel_size_y == 0.0 || pixel_size_y == missing_real) {
        return 0;
    }
    const double value = chart_scale * 2.54 / (((pixel_size_x + pixel_size_y) * 0.5) * 100.0) + 0.5;
    // -2^63 and 2^63 are exact doubles; NaN fails both comparisons.
    if (!(value >= -9223372036854775808.0 && value < 9223372036854775808.0)) {
        return 0;
    }
    // Keep the low 32 bits of the 64-bit truncation: the conversion is modular.
    return static_cast<std::int32_t>(static_cast<std::int64_t>(value));
}

void work_out_group_a(const input_buffer& record, chart_parameters& parameters) {
    parameters.chart_scale = record.lookup_integer("SC", 0);
    parameters.pixel_size_x = record.lookup_number("DX", 0);
    parameters.pixel_size_y = record.lookup_number("DY", 0);
    parameters.pixels_per_inch =
        compute_pixels_per_inch(parameters.chart_scale, parameters.pixel_size_x, parameters.pixel_size_y);

    auto projection = record.lookup_integer("PR", 0);
    if (projection == missing_integer || projection > lambert_projection) {
        projection = 0;
    }
    parameters.projection_code = projection;
    // A negative code stays as it is and picks no name.
    parameters.projection_name = pick_list_item(projection_names, static_cast<std::uint32_t>(projection));

    auto depth_units = record.lookup_integer("DU", 0);
    if (depth_units == missing_integer) {
        depth_units = 0;
    }
    parameters.depth_units_name = pick_list_item(depth_units_names, static_cast<std::uint32_t>(depth_units));
}

void work_out_group_b(const input_buffer& record, chart_parameters& parameters) {
    parameters.pp_text = value_or_default(record, "PP", "UNKNOWN");
    parameters.pi_text = value_or_default(record, "PI", "UNKNOWN");
    parameters.sp_text = value_or_default(record, "SP", "UNKNOWN");
    parameters.sk_text = value_or_default(record, "SK", "0.0");
    parameters.ta_text = value_or_default(record, "TA", "90.0");
    const auto sounding_datum = record.lookup_value("SD");
    parameters.sd_text = sounding_datum.empty() ? std::string("UNKNOWN") : sounding_datum;
}

}  // namespace hdrmill
