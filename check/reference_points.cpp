#include "check/reference_points.hpp"

#include <algorithm>
#include <array>
#include <cmath>

#include "check/consensus.hpp"
#include "header/header_stream.hpp"
#include "text/integer_text.hpp"
#include "text/list_pick.hpp"
#include "text/number_text.hpp"

namespace hdrmill {

namespace {

constexpr std::array<const char*, 4> field_names = {"x", "y", "latitude", "longitude"};

const char* const one_line_on_earth =
    "the reference points' positions all lie on one line on the earth: the chart cannot be placed";

// The fields of a point that are absent or not numbers.
std::vector<std::string> field_problems(const std::string& key, std::string_view value) {
    std::vector<std::string> problems;
    for (std::uint32_t k = 0; k < field_names.size(); ++k) {
        const auto field = pick_list_item(value, k);
        if (field.empty()) {
            problems.push_back(key + " has no " + field_names[k] + ": give each reference point as x,y,latitude,longitude");
        } else if (!read_whole_number(field)) {
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

// Four or more placed points: all of them when they agree, else the consensus, and
// every point outside it named.
void cross_check(const std::vector<checked_point>& points, const std::vector<std::size_t>& placed,
                 const std::vector<tie_point>& ties, double tolerance, chart_placement& placement) {
    std::vector<std::size_t> every(ties.size());
    for (std::size_t i = 0; i < every.size(); ++i) {
        every[i] = i;
    }
    const auto all = fit_least_squares(ties, every);
    if (!all) {
        placement.findings.push_back({finding::level::error, one_line_on_earth});
        return;
    }
    double worst = 0.0;
    for (const auto& tie : ties) {
        worst = std::max(worst, pixel_distance(*all, tie));
    }
    if (worst <= tolerance) {
        placement.map = all;
        placement.account = std::to_string(ties.size()) + " reference points agree within " + one_decimal(worst) +
                            " pixels";
        return;
    }
    const auto agreed = find_consensus(ties, tolerance);
    if (!agreed) {
        placement.findings.push_back({finding::level::error, one_line_on_earth});
        return;
    }
    placement.map = agreed->map;
    const std::size_t outliers = ties.size() - agreed->count;
    for (std::size_t t = 0; t < ties.size(); ++t) {
        if (agreed->agrees[t]) {
            continue;
        }
        const auto& point = points[placed[t]];
        placement.agrees[placed[t]] = false;
        std::string text = point.key + " lies " + one_decimal(pixel_distance(agreed->map, ties[t])) +
                           " pixels from where the other reference points place it";
        if (ties.size() == 4 && outliers == 1) {
            text += " (of 4 points, the likeliest to be wrong)";
        }
        text += explain_slip(point, *placement.projection, agreed->map, tolerance);
        placement.findings.push_back({finding::level::error, std::move(text)});
    }
}

}  // namespace

std::vector<checked_point> judge_points(const std::vector<reference_point>& points, bool mercator,
                                        const std::optional<raster_size>& raster) {
    std::vector<checked_point> judged;
    for (const auto& point : points) {
        checked_point checked{numbered_key("C", point.number), static_cast<double>(point.x),
                              static_cast<double>(point.y), point.latitude, point.longitude, {}, false};
        checked.problems = field_problems(checked.key, point.value);
        if (checked.usable()) {
            if (std::fabs(checked.latitude) > (mercator ? 85.0 : 90.0)) {
                checked.problems.push_back(checked.key + ": the latitude " + format_real(checked.latitude, 9) +
                                           " lies beyond " +
                                           (mercator ? "85 degrees, where Mercator charts end" : "90 degrees"));
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

std::vector<finding> same_pixel_findings(const std::vector<checked_point>& points) {
    std::vector<const checked_point*> order;
    for (const auto& point : points) {
        if (point.usable()) {
            order.push_back(&point);
        }
    }
    // By pixel, then in calibration order: neighbours in this order share a pixel.
    std::stable_sort(order.begin(), order.end(), [](const checked_point* a, const checked_point* b) {
        return a->x != b->x ? a->x < b->x : a->y < b->y;
    });
    std::vector<finding> found;
    for (std::size_t i = 1; i < order.size(); ++i) {
        const auto& a = *order[i - 1];
        const auto& b = *order[i];
        if (a.x == b.x && a.y == b.y && (a.latitude != b.latitude || a.longitude != b.longitude)) {
            found.push_back({finding::level::error, a.key + " and " + b.key + " are both at the pixel (" +
                                                        format_real(a.x, 9) + "," + format_real(a.y, 9) +
                                                        ") but at different positions: the chart cannot be placed by both"});
        }
    }
    return found;
}

chart_placement place_chart(const std::vector<checked_point>& points, std::optional<chart_projection> projection,
                            double tolerance) {
    chart_placement placement;
    placement.agrees.assign(points.size(), false);
    std::vector<const checked_point*> usable;
    for (const auto& point : points) {
        if (point.usable()) {
            usable.push_back(&point);
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
    // Mercator longitudes are taken about the first point, so a chart across the 180th
    // meridian stays continuous.
    if (projection->type == chart_projection::kind::mercator) {
        placement.projection->central_meridian = usable.front()->longitude;
    }
    std::vector<std::size_t> placed;
    std::vector<tie_point> ties;
    for (std::size_t i = 0; i < points.size(); ++i) {
        const auto& point = points[i];
        if (!point.usable()) {
            continue;
        }
        const auto plane = placement.projection->project(point.latitude, point.longitude);
        if (!plane) {
            placement.findings.push_back({finding::level::error,
                                          point.key + ": the position " + format_real(point.latitude, 9) + "," +
                                              format_real(point.longitude, 9) +
                                              " lies outside the projection (90 degrees or more from the central "
                                              "meridian PP or LON0)"});
            continue;
        }
        placement.agrees[i] = true;
        placed.push_back(i);
        ties.push_back({point.x, point.y, *plane});
    }
    if (ties.size() >= 4) {
        cross_check(points, placed, ties, tolerance, placement);
        return placement;
    }
    if (ties.size() == 2) {
        placement.map = fit_two_points(ties[0], ties[1]);
    } else if (ties.size() == 3) {
        placement.map = fit_exact(ties[0], ties[1], ties[2]);
    }
    if (ties.size() >= 2 && !placement.map) {
        placement.findings.push_back({finding::level::error, one_line_on_earth});
    }
    return placement;
}

std::string explain_slip(const checked_point& point, const chart_projection& projection, const pixel_map& map,
                         double tolerance) {
    struct slip {
        const char* what;
        double x, y, latitude, longitude;
    };
    const std::array<slip, 4> slips = {{
        {"latitude and longitude look swapped", point.x, point.y, point.longitude, point.latitude},
        {"the latitude looks to have lost its sign", point.x, point.y, -point.latitude, point.longitude},
        {"the longitude looks to have lost its sign", point.x, point.y, point.latitude, -point.longitude},
        {"x and y look swapped", point.y, point.x, point.latitude, point.longitude},
    }};
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
