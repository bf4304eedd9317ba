#include "header/reference_records.hpp"

#include <limits>
#include <string>

#include "text/integer_text.hpp"

namespace hdrmill {

namespace {

// Point numbers stop short of the 32-bit limit, so counting never overflows.
constexpr std::int32_t point_number_limit = std::numeric_limits<std::int32_t>::max();

// The DTM record takes seconds of arc. An absent shift is no shift: writing the
// missing marker times 3600 would hand chart readers a shift of two billion degrees.
double datum_shift_seconds(const input_buffer& record, std::int32_t field) {
    const double degrees = record.lookup_number("DS", field);
    return degrees == missing_real ? 0.0 : degrees * 3600.0;
}

// A longitude above 180 less 360, once; any other longitude unchanged.
double normalise_longitude(double longitude) { return longitude > 180.0 ? longitude - 360.0 : longitude; }

}  // namespace

void write_reference_records(const input_buffer& record, header_stream& header) {
    header << "OST/1";
    header.end_line();
    header.set_precision(9);

    // -181 and 181, not -180 and 180, so that a first point at exactly -180 or 180
    // still sets both extremes. The columns start at 0 so that charts without usable
    // points compare two set values and get "CPH/0.0".
    double max_longitude = -181.0;
    double min_longitude = 181.0;
    std::int32_t max_longitude_column = 0;
    std::int32_t min_longitude_column = 0;
    for (std::int32_t n = 1; n < point_number_limit; ++n) {
        // One lookup per point; its fields are read from the value it gives.
        const auto point = record.lookup_value(numbered_key("C", n));
        if (point.empty()) {
            break;
        }
        const auto x = integer_in_field(point, 0);
        const auto y = integer_in_field(point, 1);
        const double latitude = number_in_field(point, 2);
        const double longitude = normalise_longitude(number_in_field(point, 3));
        if (longitude > max_longitude) {
            max_longitude = longitude;
            max_longitude_column = x;
        }
        if (longitude < min_longitude) {
            min_longitude = longitude;
            min_longitude_column = x;
        }
        header << "REF/" << n << "," << x << "," << y << "," << latitude << "," << longitude;
        header.end_line();
    }

    // The chart spans the 180th meridian when its extreme longitudes have opposite
    // signs and the easternmost point lies left of the westernmost in the image.
    const bool spans_meridian = max_longitude * min_longitude < 0.0 && max_longitude_column < min_longitude_column;
    header << (spans_meridian ? "CPH/180.0" : "CPH/0.0");
    header.end_line();

    for (std::int32_t n = 1; n < point_number_limit; ++n) {
        const auto point = record.lookup_value(numbered_key("B", n));
        if (point.empty()) {
            break;
        }
        const double latitude = number_in_field(point, 0);
        const double longitude = normalise_longitude(number_in_field(point, 1));
        header << "PLY/" << n << "," << latitude << "," << longitude;
        header.end_line();
    }

    header << "DTM/" << datum_shift_seconds(record, 0) << "," << datum_shift_seconds(record, 1);
    header.end_line();
}

}  // namespace hdrmill
