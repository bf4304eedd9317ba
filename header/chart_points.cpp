#include "header/chart_points.hpp"

#include <limits>

#include "text/integer_text.hpp"

namespace hdrmill {

namespace {

// Point numbers stop short of the 32-bit limit, so counting never overflows.
constexpr std::int32_t point_number_limit = std::numeric_limits<std::int32_t>::max();

}  // namespace

double normalise_longitude(double longitude) { return longitude > 180.0 ? longitude - 360.0 : longitude; }

void for_each_reference_point(const input_buffer& record, const std::function<void(const reference_point&)>& visit) {
    for (std::int32_t n = 1; n < point_number_limit; ++n) {
        const auto value = record.lookup_view(numbered_key("C", n));
        if (value.empty()) {
            return;
        }
        visit({n, value, integer_in_field(value, 0), integer_in_field(value, 1), number_in_field(value, 2),
               normalise_longitude(number_in_field(value, 3))});
    }
}

void for_each_border_point(const input_buffer& record, const std::function<void(const border_point&)>& visit) {
    for (std::int32_t n = 1; n < point_number_limit; ++n) {
        const auto value = record.lookup_view(numbered_key("B", n));
        if (value.empty()) {
            return;
        }
        visit({n, value, number_in_field(value, 0), normalise_longitude(number_in_field(value, 1))});
    }
}

std::vector<reference_point> read_reference_points(const input_buffer& record) {
    std::vector<reference_point> points;
    for_each_reference_point(record, [&points](const reference_point& point) { points.push_back(point); });
    return points;
}

std::vector<border_point> read_border_points(const input_buffer& record) {
    std::vector<border_point> points;
    for_each_border_point(record, [&points](const border_point& point) { points.push_back(point); });
    return points;
}

}  // namespace hdrmill
