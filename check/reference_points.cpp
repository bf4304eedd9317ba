#include "check/reference_points.hpp"

#include <algorithm>
#include <array>
#include <cmath>

#include "check/calibration_slips.hpp"
#include "check/consensus.hpp"
#include "header/header_stream.hpp"
#include "text/integer_text.hpp"
#include "text/list_pick.hpp"
#include "text/number_text.hpp"

namespace hdrmill {

namespace {

constexpr std::array<const char*, 4> field_names = {"x", "y", "latitude", "longitude"};

// A point whose place the others fix less well than this share of its own error is
// named: an error in it would mostly pass into the chart.
constexpr double hardly_placed = 0.9;

const char* const one_line_on_earth =
    "the reference points' positions all lie on one line on the earth: the chart cannot be placed";

// The fields of a point that are absent or not numbers.
std::vector<std::string> field_problems(const std::string& key, std::string_view value) {
    std::vector<std::string> problems;
    for (std::uint32_t k = 0; k < field_names.size(); ++k) {
        const auto field = pick_list_item(value, k);
        if (field.empty()) {
            problems.push_back(key + " has no " + field_names[k] + ": give each reference point as x,y,latitude,longitude");
        } else if (!read_exact_number(field)) {
            problems.push_back(key + ": the " + field_names[k] + " '" + field + "' is not a number");
        }
    }
    return problems;
}

// True when the pixels spread along one line only: less than half a pixel across it.
bool on_one_line(const std::vector<const checked_point*>& points) {
    const double count = static_cast<double>(points.size());
    double mean_x = 0.0, mean_y = 0.0;
    for (const auto* point : points) {
        mean_x += point->x / count;
        mean_y += point->y / count;
    }
    double sxx = 0.0, sxy = 0.0, syy = 0.0;
    for (const auto* point : points) {
        const double dx = point->x - mean_x, dy = point->y - mean_y;
        sxx += dx * dx;
        sxy += dx * dy;
        syy += dy * dy;
    }
    const double half_trace = (sxx + syy) / 2.0 / count;
    const double determinant = (sxx * syy - sxy * sxy) / count / count;
    const double smallest = half_trace - std::sqrt(std::max(0.0, half_trace * half_trace - determinant));
    return smallest < 0.25;
}

// Agreeing points whose place the others fix so loosely that an error in them would
// pass into the chart near them.
void name_hardly_placed(const std::vector<checked_point>& points, const std::vector<std::size_t>& placed,
                        const std::vector<tie_point>& ties, const std::vector<bool>& members, const fitted_map& fit,
                        double tolerance, chart_placement& placement) {
    for (std::size_t t = 0; t < ties.size(); ++t) {
        const double share = fit.leverage(ties[t].plane);
        if (!members[t] || !(share >= hardly_placed)) {
            continue;
        }
        const auto& key = points[placed[t]].key;
        if (std::isinf(fit.distance_from_others(ties[t]))) {
            placement.findings.push_back({finding::level::warning,
                                          key + " cannot be checked by the other reference points, which lie on one "
                                                "line: any error in " + key +
                                              " would move the chart unnoticed; add a reference point off that line"});
            continue;
        }
        // The margin the point would be judged with: an error below it is no finding.
        const double unnoticed = tolerance + fit.margin(ties[t].plane, true);
        placement.findings.push_back({finding::level::warning,
                                      key + " is hardly checked by the other reference points (it lies far from "
                                            "them, or they lie nearly on one line): an error of up to " +
                                          one_decimal(unnoticed) + " pixels in " + key +
                                          " would move the chart near it unnoticed; add a reference point near it"});
    }
}

// Four or more placed points: each judged by the others. All of them place the chart
// when they agree; otherwise the consensus does, and every point outside it is named.
void cross_check(const std::vector<checked_point>& points, const std::vector<std::size_t>& placed,
                 const std::vector<tie_point>& ties, double tolerance, chart_placement& placement) {
    std::vector<std::size_t> chosen(ties.size());
    for (std::size_t t = 0; t < ties.size(); ++t) {
        chosen[t] = t;
    }
    auto fit = fit_least_squares(ties, chosen);
    if (!fit) {
        placement.findings.push_back({finding::level::error, one_line_on_earth});
        return;
    }
    std::vector<bool> members(ties.size(), true);
    const bool all_agree = std::all_of(ties.begin(), ties.end(),
                                       [&](const tie_point& tie) { return fit->agrees(tie, true, tolerance); });
    std::optional<consensus> agreed;
    if (!all_agree) {
        agreed = find_consensus(ties, tolerance);
        if (!agreed) {
            placement.findings.push_back({finding::level::error, one_line_on_earth});
            return;
        }
        members = agreed->agrees;
        chosen.clear();
        for (std::size_t t = 0; t < ties.size(); ++t) {
            if (members[t]) {
                chosen.push_back(t);
            }
        }
        fit = fit_least_squares(ties, chosen);
    }
    placement.map = fit ? fit->map : agreed->map;
    double worst = 0.0;
    const std::size_t outliers = ties.size() - chosen.size();
    for (std::size_t t = 0; t < ties.size(); ++t) {
        const auto& point = points[placed[t]];
        placement.agrees[placed[t]] = members[t];
        if (members[t]) {
            const double distance = fit ? fit->distance_from_others(ties[t]) : 0.0;
            worst = std::isinf(distance) ? worst : std::max(worst, distance);
            continue;
        }
        std::string text = point.key + " lies " + one_decimal(pixel_distance(*placement.map, ties[t])) +
                           " pixels from where the other reference points place it";
        if (ties.size() == 4 && outliers == 1) {
            text += " (of 4 points, the likeliest to be wrong)";
        }
        text += explain_slip(point, *placement.projection, *placement.map, tolerance);
        placement.findings.push_back({finding::level::error, std::move(text)});
    }
    if (fit && chosen.size() >= 4) {
        name_hardly_placed(points, placed, ties, members, *fit, tolerance, placement);
    }
    placement.account = std::to_string(chosen.size()) + " reference points agree within " + one_decimal(worst) +
                        " pixels";
}

}  // namespace

std::vector<checked_point> judge_points(const std::vector<reference_point>& points, bool mercator,
                                        const std::optional<raster_size>& raster) {
    std::vector<checked_point> judged;
    for (const auto& point : points) {
        checked_point checked{numbered_key("C", point.number), static_cast<double>(point.x),
                              static_cast<double>(point.y), point.latitude, point.longitude, {}, false,
                              std::nullopt};
        if (raster) {
            checked.image_height = raster->height;
        }
        checked.problems = field_problems(checked.key, point.value);
        if (checked.usable()) {
            if (std::fabs(checked.latitude) > (mercator ? 85.0 : 90.0)) {
                checked.problems.push_back(checked.key + ": the latitude " + format_real(checked.latitude, 9) +
                                           " lies beyond " +
                                           (mercator ? "85 degrees, where Mercator charts end" : "90 degrees"));
            }
            if (std::fabs(checked.longitude) > 360.0) {
                checked.problems.push_back(checked.key + ": the longitude " + format_real(checked.longitude, 9) +
                                           " lies beyond 360 degrees, off the earth");
            }
            if (raster && (checked.x < 0 || checked.x > raster->width || checked.y < 0 || checked.y > raster->height)) {
                checked.problems.push_back(checked.key + ": the pixel (" + format_real(checked.x, 9) + "," +
                                           format_real(checked.y, 9) + ") lies outside the raster of " +
                                           std::to_string(raster->width) + " x " + std::to_string(raster->height) +
                                           " pixels (WI and HE)");
            }
            checked.misplaced = !checked.usable();
        }
        judged.push_back(std::move(checked));
    }
    return judged;
}

double middle_longitude(std::vector<double> longitudes) {
    if (longitudes.empty()) {
        return 0.0;
    }
    for (auto& longitude : longitudes) {
        longitude = longitude_difference(longitude, 0.0);
    }
    std::sort(longitudes.begin(), longitudes.end());
    // The circle is cut after the widest empty stretch, the one that wraps round included.
    std::size_t start = 0;
    double widest = longitudes.front() + 360.0 - longitudes.back();
    for (std::size_t i = 1; i < longitudes.size(); ++i) {
        if (longitudes[i] - longitudes[i - 1] > widest) {
            widest = longitudes[i] - longitudes[i - 1];
            start = i;
        }
    }
    const std::size_t middle = (start + (longitudes.size() - 1) / 2) % longitudes.size();
    return longitudes[middle];
}

chart_placement place_chart(const std::vector<checked_point>& points, std::optional<chart_projection> projection,
                            double tolerance) {
    chart_placement placement;
    placement.agrees.assign(points.size(), false);
    placement.planes.assign(points.size(), std::nullopt);
    std::vector<const checked_point*> usable;
    std::vector<double> longitudes;
    for (const auto& point : points) {
        if (point.usable()) {
            usable.push_back(&point);
            longitudes.push_back(point.longitude);
        }
    }
    if (usable.size() >= 3 && on_one_line(usable)) {
        placement.findings.push_back({finding::level::error, "the reference points all lie on one line in the image: "
                                                             "the chart cannot be placed; add a point off that line"});
        return placement;
    }
    placement.projection = projection;
    if (!projection || usable.size() < 2) {
        return placement;
    }
    if (projection->type == chart_projection::kind::mercator) {
        placement.projection->central_meridian = middle_longitude(longitudes);
    }
    std::vector<std::size_t> placed;
    std::vector<tie_point> ties;
    for (std::size_t i = 0; i < points.size(); ++i) {
        const auto& point = points[i];
        if (!point.usable()) {
            continue;
        }
        placement.planes[i] = placement.projection->project(point.latitude, point.longitude);
        if (!placement.planes[i]) {
            placement.findings.push_back({finding::level::error,
                                          point.key + ": the position " + format_real(point.latitude, 9) + "," +
                                              format_real(point.longitude, 9) +
                                              " lies outside the projection (90 degrees or more from the central "
                                              "meridian PP or LON0)"});
            continue;
        }
        placement.agrees[i] = true;
        placed.push_back(i);
        ties.push_back({point.x, point.y, *placement.planes[i]});
    }
    if (ties.size() >= 4) {
        cross_check(points, placed, ties, tolerance, placement);
    } else if (ties.size() >= 2) {
        placement.map = ties.size() == 3 ? fit_exact(ties[0], ties[1], ties[2]) : fit_two_points(ties[0], ties[1]);
        if (!placement.map) {
            placement.findings.push_back({finding::level::error, one_line_on_earth});
        }
    }
    if (ties.size() >= 3 && placement.map && places_mirrored(*placement.map)) {
        // A mirrored map places nothing right, but the points it finds apart from the
        // others stay so once the chart is turned back: they are still named.
        placement.findings.push_back(mirror_finding(points, *placement.projection, tolerance));
        placement.map.reset();
    }
    return placement;
}

std::string explain_slip(const checked_point& point, const chart_projection& projection, const pixel_map& map,
                         double tolerance) {
    struct slip {
        const char* what;
        double x, y, latitude, longitude;
    };
    std::vector<slip> slips = {
        {"latitude and longitude look swapped", point.x, point.y, point.longitude, point.latitude},
        {"the latitude looks to have lost its sign", point.x, point.y, -point.latitude, point.longitude},
        {"the longitude looks to have lost its sign", point.x, point.y, point.latitude, -point.longitude},
        {"x and y look swapped", point.y, point.x, point.latitude, point.longitude},
    };
    if (point.image_height) {
        slips.push_back({"y looks counted from the bottom of the image", point.x, *point.image_height - point.y,
                         point.latitude, point.longitude});
    }
    // A slip that leaves the projection's domain is passed over.
    const slip* best = nullptr;
    double best_distance = 0.0;
    for (const auto& candidate : slips) {
        const auto plane = projection.project(candidate.latitude, candidate.longitude);
        if (!plane) {
            continue;
        }
        const double distance = pixel_distance(map, {candidate.x, candidate.y, *plane});
        if (distance <= tolerance && (best == nullptr || distance < best_distance)) {
            best = &candidate;
            best_distance = distance;
        }
    }
    if (best == nullptr) {
        return "";
    }
    return ": " + std::string(best->what) + " (corrected, it lies " + one_decimal(best_distance) + " pixels away)";
}

}  // namespace hdrmill
