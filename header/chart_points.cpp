#include "header/chart_points.hpp"

#include <limits>

#include "text/integer_text.hpp"

namespace hdrmill {

namespace {

// Point numbers stop short of the 32-bit limit, so counting never overflows.
constexpr std::int32_t point_number_limit = std::numeric_limits<std::int32_t>::max();

}  // namespace

double normalise_longitude(double longitude) { return longitude > 180.0 ? longitude - 360.0 : longitude; }

std::vector<reference_point> read_reference_points(const input_buffer& record) {
    std::vector<reference_point> points;
    for (std::int32_t n = 1; n < point_number_limit; ++n) {
        const auto value = record.lookup_view(numbered_key("C", n));
        if (value.empty()) {
            break;
        }
        points.push_back({n, value, integer_in_field(value, 0), integer_in_field(value, 1), number_in_field(value, 2),
                          normalise_longitude(number_in_field(value, 3))});
    }
    return points;
}

std::vector<border_point> read_border_points(const input_buffer& record) {
    std::vector<border_point> points;
    for (std::int32_t n = 1; n < point_number_limit; ++n) {
        const auto value = record.lookup_view(numbered_key("B", n));
        if (value.empty()) {
            break;
        }
        points.push_back({n, value, number_in_field(value, 0), normalise_longitude(number_in_field(value, 1))});
    }
    return points;
}

}  // namespace hdrmill
