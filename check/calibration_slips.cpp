#include "check/calibration_slips.hpp"

#include <array>
#include <cmath>
#include <limits>
#include <optional>
#include <string>

namespace hdrmill {

namespace {

const char* const mirrored = "the reference points place the chart mirrored, ";

// A slip made in every point of a calibration.
struct whole_slip {
    const char* text;
    bool swap_xy, flip_y, swap_lat_lon, negate_longitude;
};

// Latitudes in the wrong hemisphere turn the plane north for south exactly as a y
// counted from the bottom turns the image (both projections are symmetric about the
// equator), so one refit decides both, and the finding names both.
constexpr std::array<whole_slip, 4> slips = {{
    {"north and south turned over, which no scan is: y looks counted from the bottom of the image, or the "
     "latitudes given in the wrong hemisphere",
     false, true, false, false},
    {"east and west turned over, which no scan is: the longitudes look given in the wrong hemisphere", false, false,
     false, true},
    {"turned over across its diagonal, which no scan is: x and y look swapped in every point", true, false, false,
     false},
    {"which no scan is: latitude and longitude look swapped in every point (give each reference point as "
     "x,y,latitude,longitude)",
     false, false, true, false},
}};

// How far the north-up part of a map's linear part is turned, in radians: 0 for a scan
// with north up, near pi for one upside down.
double turn_from_north_up(const pixel_map& map) {
    return std::fabs(std::atan2((map.xn + map.ye) / 2.0, (map.xe - map.yn) / 2.0));
}

// How well the points agree once `slip` is undone in every one: the map's turn from
// north up, then the worst share of its allowance (tolerance and margin) a point uses.
// The turn comes first: a slip that undoes the mirror together with a quarter or half
// turn of the chart fits as well as the true one (x and y swapped, then east and west
// turned over, is a quarter turn), and scans are near north up. Nothing when the points
// then cannot be placed, or still place the chart mirrored, or do not agree.
std::optional<std::pair<double, double>> agreement(const std::vector<checked_point>& points,
                                                   chart_projection projection, const whole_slip& slip,
                                                   double tolerance) {
    std::vector<checked_point> slipped;
    std::vector<double> longitudes;
    for (const auto& point : points) {
        if (!point.usable()) {
            continue;
        }
        auto p = point;
        if (slip.swap_xy) {
            std::swap(p.x, p.y);
        }
        if (slip.flip_y) {
            p.y = -p.y;   // the image height is a shift, which the map absorbs
        }
        if (slip.swap_lat_lon) {
            std::swap(p.latitude, p.longitude);
        }
        if (slip.negate_longitude) {
            p.longitude = -p.longitude;
        }
        if (!(std::fabs(p.latitude) < 90.0)) {
            return std::nullopt;
        }
        longitudes.push_back(p.longitude);
        slipped.push_back(p);
    }
    if (projection.type == chart_projection::kind::mercator) {
        projection.central_meridian = middle_longitude(longitudes);
    }
    std::vector<tie_point> ties;
    std::vector<std::size_t> chosen;
    for (const auto& p : slipped) {
        const auto plane = projection.project(p.latitude, p.longitude);
        if (!plane) {
            return std::nullopt;
        }
        chosen.push_back(ties.size());
        ties.push_back({p.x, p.y, *plane});
    }
    const auto fit = fit_least_squares(ties, chosen);
    if (!fit || places_mirrored(fit->map)) {
        return std::nullopt;
    }
    double worst = 0.0;
    for (const auto& tie : ties) {
        if (!fit->agrees(tie, true, tolerance)) {
            return std::nullopt;
        }
        const double distance = fit->distance_from_others(tie);
        if (std::isfinite(distance)) {
            worst = std::max(worst, distance / (tolerance + fit->margin(tie.plane, true)));
        }
    }
    return std::pair{turn_from_north_up(fit->map), worst};
}

}  // namespace

bool places_mirrored(const pixel_map& map) {
    return map.xe * map.yn - map.xn * map.ye > 0.0;
}

finding mirror_finding(const std::vector<checked_point>& points, const chart_projection& projection,
                       double tolerance) {
    const whole_slip* best = nullptr;
    std::pair<double, double> best_agreement;
    for (const auto& slip : slips) {
        const auto agreed = agreement(points, projection, slip, tolerance);
        if (agreed && (best == nullptr || *agreed < best_agreement)) {
            best = &slip;
            best_agreement = *agreed;
        }
    }
    if (best == nullptr) {
        return {finding::level::error,
                std::string(mirrored) + "which no scan is, and no slip made in every point (y counted from the "
                                        "bottom of the image, a hemisphere, x and y or latitude and longitude "
                                        "swapped) turns it back"};
    }
    return {finding::level::error, mirrored + std::string(best->text)};
}

}  // namespace hdrmill
