#include "header/reference_records.hpp"

#include "header/chart_points.hpp"

namespace hdrmill {

namespace {

// The DTM record takes seconds of arc. An absent shift is no shift: writing the
// missing marker times 3600 would hand chart readers a shift of two billion degrees.
double datum_shift_seconds(const input_buffer& record, std::int32_t field) {
    const double degrees = record.lookup_number("DS", field);
    return degrees == missing_real ? 0.0 : degrees * 3600.0;
}

// The extreme longitudes of the reference points and the columns of the points that
// set them. -181 and 181, not -180 and 180, so that a first point at exactly -180 or
// 180 still sets both extremes. The columns start at 0 so that charts without usable
// points compare two set values and get "CPH/0.0".
struct meridian_watch {
    double max_longitude = -181.0;
    double min_longitude = 181.0;
    std::int32_t max_longitude_column = 0;
    std::int32_t min_longitude_column = 0;

    void see(const reference_point& point) {
        if (point.longitude > max_longitude) {
            max_longitude = point.longitude;
            max_longitude_column = point.x;
        }
        if (point.longitude < min_longitude) {
            min_longitude = point.longitude;
            min_longitude_column = point.x;
        }
    }

    // The chart spans the 180th meridian when its extreme longitudes have opposite
    // signs and the easternmost point lies left of the westernmost in the image.
    bool spans_meridian() const {
        return max_longitude * min_longitude < 0.0 && max_longitude_column < min_longitude_column;
    }
};

}  // namespace

void write_reference_records(const input_buffer& record, header_stream& header) {
    header << "OST/1";
    header.end_line();
    header.set_precision(9);

    meridian_watch meridian;
    for_each_reference_point(record, [&](const reference_point& point) {
        header << "REF/" << point.number << "," << point.x << "," << point.y << "," << point.latitude << ","
               << point.longitude;
        header.end_line();
        meridian.see(point);
    });
    header << (meridian.spans_meridian() ? "CPH/180.0" : "CPH/0.0");
    header.end_line();

    for_each_border_point(record, [&](const border_point& point) {
        header << "PLY/" << point.number << "," << point.latitude << "," << point.longitude;
        header.end_line();
    });

    header << "DTM/" << datum_shift_seconds(record, 0) << "," << datum_shift_seconds(record, 1);
    header.end_line();
}

}  // namespace hdrmill
