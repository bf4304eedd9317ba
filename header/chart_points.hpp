#pragma once

#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "calibration/input_buffer.hpp"

namespace hdrmill {

/// A reference point Cn as the header carries it in its REF record, beside the value
/// it was read from, so that the check judges exactly what chart readers will read.
struct reference_point {
    std::int32_t number = 0;    // the n of Cn and of REF/n
    std::string_view value;     // the Cn value as stored: x,y,latitude,longitude
    std::int32_t x = 0;         // truncated toward zero; the missing marker when absent
    std::int32_t y = 0;
    double latitude = 0.0;      // the missing marker when absent
    double longitude = 0.0;     // brought into -180..180 as written (see normalise_longitude)
};

/// A border point Bn as the header carries it in its PLY record.
struct border_point {
    std::int32_t number = 0;
    std::string_view value;     // the Bn value as stored: latitude,longitude
    double latitude = 0.0;
    double longitude = 0.0;     // normalised as written
};

/// Hands each reference point C1, C2, ... to `visit`, in order, up to the first key that
/// is absent or empty: C5 after an absent C4 is never read. The values are views into
/// the record: valid until it next changes.
void for_each_reference_point(const input_buffer& record, const std::function<void(const reference_point&)>& visit);

/// The same for the border points B1, B2, ...
void for_each_border_point(const input_buffer& record, const std::function<void(const border_point&)>& visit);

/// All reference points, or all border points, as `for_each_...` gives them.
std::vector<reference_point> read_reference_points(const input_buffer& record);
std::vector<border_point> read_border_points(const input_buffer& record);

/// A longitude above 180 less 360, once; any other longitude unchanged (540.5 stays
/// above 180, -190 stays below -180: the calibration means what it says).
double normalise_longitude(double longitude);

}  // namespace hdrmill
