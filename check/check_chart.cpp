#include "check/check_chart.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "check/border_polygon.hpp"
#include "check/point_keys.hpp"
#include "check/reference_points.hpp"
#include "check/same_pixel.hpp"
#include "header/bsb_knp_records.hpp"
#include "header/chart_parameters.hpp"
#include "header/chart_points.hpp"
#include "header/header_stream.hpp"
#include "header/header_text.hpp"
#include "text/integer_text.hpp"
#include "text/number_text.hpp"

namespace hdrmill {

namespace {

// GDAL recognises a BSB file only when "BSB/" starts within the bytes it reads first,
// and finds the raster size only when "RA=" stands whole within its first 1,024 bytes
// and at most 100 bytes after "BSB/" (a title of 84 characters pushes it past).
constexpr std::size_t bsb_record_within = 995;
constexpr std::size_t raster_size_within = 1024;
constexpr std::size_t raster_size_after_bsb = 100;
// GDAL stops reading a header at a record this long, continuation lines joined.
constexpr std::size_t longest_record = 998;
// A border point may stand this far outside the raster, as a share of its size.
constexpr double border_margin = 0.02;
// DX and DY may differ this much from the pixel size the reference points give.
constexpr double pixel_size_margin = 0.10;
// More than any datum's offset from WGS84, in degrees.
constexpr double largest_datum_shift = 0.05;

void error(std::vector<finding>& found, std::string text) {
    found.push_back({finding::level::error, std::move(text)});
}

void warning(std::vector<finding>& found, std::string text) {
    found.push_back({finding::level::warning, std::move(text)});
}

std::string shown_value(const input_buffer& record, std::string_view key) {
    const auto value = record.lookup_value(key);
    return std::string(key) + (value.empty() ? " absent" : "=" + value);
}

void check_offsets(const header_text& header, std::vector<finding>& found) {
    if (header.bsb_offset >= bsb_record_within) {
        error(found, "the BSB/ record would start at byte " + std::to_string(header.bsb_offset) +
                         ", past the first " + std::to_string(bsb_record_within) +
                         " bytes, and GDAL would not recognise the file: shorten the comment lines of CR");
    } else if (header.raster_offset + 3 > raster_size_within) {
        error(found, "RA= would stand at byte " + std::to_string(header.raster_offset) +
                         ", not whole within the first 1,024 bytes, and GDAL would not find the raster size: "
                         "shorten the comment lines of CR (or NA)");
    } else if (header.raster_offset - header.bsb_offset > raster_size_after_bsb) {
        error(found, "RA= would stand " + std::to_string(header.raster_offset - header.bsb_offset) +
                         " bytes after BSB/, more than the 100 within which GDAL looks for the raster size: shorten "
                         "NA (or NU)");
    }
}

// Each record as GDAL joins it: a line beginning with a blank continues the record
// before it, its blanks dropped and a "," put between.
void check_record_lengths(const std::string& text, std::vector<finding>& found) {
    std::size_t length = 0;
    std::string_view first;
    const auto judge = [&] {
        if (length > longest_record) {
            const auto slash = first.find('/');
            const auto label = first.front() == '!' ? std::string("! (a comment line)")
                                                    : std::string(first.substr(0, slash == std::string_view::npos ? 8 : slash + 1));
            error(found, "the header record " + label + " would be " + std::to_string(length) +
                             " characters long with its continuation lines, and GDAL stops reading a header at a "
                             "record of 999 or more, losing what follows (a chart's palette): shorten its values");
        }
    };
    for (std::size_t at = 0; at < text.size();) {
        const auto end = text.find("\r\n", at);
        const std::string_view line(text.data() + at, end - at);
        at = end + 2;
        if (!line.empty() && line.front() == ' ') {
            length += 1 + line.size() - std::min(line.find_first_not_of(' '), line.size());
            continue;
        }
        if (!first.empty()) {
            judge();
        }
        first = line.empty() ? std::string_view(" ") : line;
        length = line.size();
    }
    if (!first.empty()) {
        judge();
    }
}

std::optional<raster_size> check_raster_size(const input_buffer& record, const header_text& header,
                                             std::vector<finding>& found) {
    const auto width = read_count(header.raster.width);
    const auto height = read_count(header.raster.height);
    if (width && height && *width > 0 && *height > 0) {
        return raster_size{*width, *height};
    }
    if (header.raster.awaits_scan) {
        return std::nullopt;  // the scan's refusal has been told
    }
    error(found, "no usable raster size (" + shown_value(record, "WI") + ", " + shown_value(record, "HE") +
                     "): give WI and HE as whole numbers of pixels above 0; readers refuse the chart without them");
    return std::nullopt;
}

std::optional<chart_projection> check_projection(const input_buffer& record, const chart_parameters& parameters,
                                                 std::vector<finding>& found) {
    switch (parameters.projection_code) {
    case mercator_projection:
        return chart_projection{chart_projection::kind::mercator, 0.0};
    case transverse_mercator_projection: {
        const auto central_meridian = projection_parameter_text(record, parameters);
        if (const auto degrees = read_exact_number(central_meridian)) {
            return chart_projection{chart_projection::kind::transverse_mercator, *degrees};
        }
        error(found, "transverse Mercator (PR=2) needs its central meridian in degrees: give PP or LON0 (the header "
                     "would carry PP=" + central_meridian + ")");
        return std::nullopt;
    }
    case lambert_projection:
        warning(found, "Lambert conformal conic (PR=3): the calibration gives no standard parallels, so the reference "
                       "points are not cross-checked");
        return std::nullopt;
    default:
        error(found, "projection " + shown_value(record, "PR") + " is not one chart readers place: give PR as 1 "
                     "(Mercator), 2 (transverse Mercator) or 3 (Lambert conformal conic)");
        return std::nullopt;
    }
}

// Each point's own problems, the slip that explains a misplaced one where the others
// place the chart, and whether there are enough points.
void report_points(const std::vector<checked_point>& points, const chart_placement& placement,
                   double tolerance, std::vector<finding>& found) {
    for (const auto& point : points) {
        for (std::size_t i = 0; i < point.problems.size(); ++i) {
            auto text = point.problems[i];
            if (point.misplaced && i + 1 == point.problems.size() && placement.map) {
                text += explain_slip(point, *placement.projection, *placement.map, tolerance);
            }
            error(found, std::move(text));
        }
    }
    if (points.size() < 2) {
        error(found, points.empty() ? "no reference points (C1, C2, ...): the chart cannot be placed"
                                    : "only 1 reference point (C1): 2 are needed to place the chart at all, 4 to "
                                      "cross-check it");
    } else if (points.size() < 4) {
        warning(found, "only " + std::to_string(points.size()) +
                           " reference points: the calibration cannot be cross-checked; give 4 or more (C1, C2, ...)");
    }
}

void check_border(const std::vector<border_point>& border, const chart_placement& placement,
                  const std::optional<raster_size>& raster, std::vector<finding>& found) {
    if (border.size() < 3) {
        error(found, (border.empty() ? std::string("no") : "only " + std::to_string(border.size())) +
                         " border points (B1, B2, ...): chart plotters refuse a chart with fewer than 3");
    }
    std::vector<plane_point> outline;
    for (const auto& point : border) {
        // The outline on a local grid, continuous across the 180th meridian.
        outline.push_back({longitude_difference(point.longitude, border.front().longitude) *
                               std::cos(border.front().latitude * radians_per_degree),
                           point.latitude});
        const auto plane = placement.map && raster ? placement.projection->project(point.latitude, point.longitude)
                                                   : std::nullopt;
        if (!plane) {
            continue;
        }
        double x = 0.0, y = 0.0;
        placement.map->place(*plane, x, y);
        const double w = raster->width, h = raster->height;
        if (x < -border_margin * w || x > (1.0 + border_margin) * w || y < -border_margin * h ||
            y > (1.0 + border_margin) * h) {
            warning(found, numbered_key("B", point.number) + " lies outside the raster, at the pixel (" +
                               one_decimal(x) + "," + one_decimal(y) + ") of " + std::to_string(raster->width) +
                               " x " + std::to_string(raster->height) +
                               " (WI and HE) where the reference points place it");
        }
    }
    if (border.size() >= 4 && crosses_itself(outline).value_or(false)) {
        warning(found, "the border polygon (B1, B2, ...) crosses itself: give the border points in order around the chart");
    }
}

// DX and DY against the ground size of a pixel the map gives at the middle of the
// agreeing reference points.
void check_pixel_size(const std::vector<checked_point>& points, const chart_placement& placement,
                      const chart_parameters& parameters, std::vector<finding>& found) {
    double along_x = 0.0, along_y = 0.0;
    if (!placement.map || !placement.map->pixel_steps(along_x, along_y)) {
        return;
    }
    const double central_meridian = placement.projection->central_meridian;
    double latitude = 0.0, longitude = 0.0, count = 0.0;
    for (std::size_t i = 0; i < points.size(); ++i) {
        if (placement.agrees[i]) {
            latitude += points[i].latitude;
            longitude += longitude_difference(points[i].longitude, central_meridian);
            count += 1.0;
        }
    }
    const auto scale = placement.projection->scale_factor(latitude / count, central_meridian + longitude / count);
    if (!scale || !(*scale > 0.0)) {
        return;
    }
    const std::array<std::pair<const char*, double>, 2> sizes = {{
        {"DX", parameters.pixel_size_x},
        {"DY", parameters.pixel_size_y},
    }};
    const std::array<double, 2> ground = {along_x / *scale, along_y / *scale};
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        const double given = sizes[i].second;
        if (given == missing_real || !(std::fabs(given - ground[i]) > pixel_size_margin * ground[i])) {
            continue;
        }
        warning(found, std::string(sizes[i].first) + "=" + format_real(given, 6) + " is " +
                           std::to_string(std::lround(std::fabs(given - ground[i]) / ground[i] * 100.0)) +
                           "% away from the " + format_real(ground[i], 3) +
                           " metres per pixel the reference points give (the resolution DU is derived from DX and DY)");
    }
}

void check_datum_shift(const input_buffer& record, std::vector<finding>& found) {
    const auto too_large = [](double shift) { return shift != missing_real && std::fabs(shift) > largest_datum_shift; };
    if (too_large(record.lookup_number("DS", 0)) || too_large(record.lookup_number("DS", 1))) {
        warning(found, "the datum shift " + shown_value(record, "DS") +
                           " is more than 0.05 degree, more than any datum's offset: DS takes degrees (were seconds "
                           "given?)");
    }
}

void append(std::vector<finding>& found, std::vector<finding> more) {
    found.insert(found.end(), std::make_move_iterator(more.begin()), std::make_move_iterator(more.end()));
}

}  // namespace

chart_check check_chart(const input_buffer& record, const header_text& header, double tolerance) {
    const auto& parameters = header.parameters;
    chart_check result;
    auto& found = result.findings;
    check_offsets(header, found);
    check_record_lengths(header.text, found);
    const auto raster = check_raster_size(record, header, found);
    const auto projection = check_projection(record, parameters, found);
    const auto reference = read_reference_points(record);
    const auto border = read_border_points(record);
    const auto points = judge_points(reference, parameters.projection_code == mercator_projection, raster);
    const auto placement = place_chart(points, projection, tolerance);
    report_points(points, placement, tolerance, found);
    append(found, point_key_findings(record, reference.size(), border.size()));
    append(found, same_pixel_findings(points, placement, tolerance));
    append(found, placement.findings);
    check_border(border, placement, raster, found);
    check_pixel_size(points, placement, parameters, found);
    check_datum_shift(record, found);
    if (found.empty()) {
        result.account = placement.account;
    }
    return result;
}

}  // namespace hdrmill
