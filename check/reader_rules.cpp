#include "check/reader_rules.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "calibration/number_reading.hpp"
#include "check/border_polygon.hpp"
#include "check/fit.hpp"
#include "check/projection.hpp"
#include "header/bsb_knp_records.hpp"
#include "header/chart_parameters.hpp"
#include "header/header_stream.hpp"
#include "header/write_header.hpp"
#include "text/integer_text.hpp"

namespace hdrmill {

namespace {

// GDAL recognises a BSB file only when "BSB/" starts within the bytes it reads first,
// and finds the raster size only within its first 1,024 bytes.
constexpr std::size_t bsb_record_within = 995;
constexpr std::size_t raster_size_within = 1024;

constexpr std::int32_t mercator_code = 1;
constexpr std::int32_t transverse_mercator_code = 2;
constexpr std::int32_t lambert_code = 3;

// A border point may stand this far outside the raster, as a share of its size.
constexpr double border_margin = 0.02;
// DX and DY may differ this much from the pixel size the reference points give.
constexpr double pixel_size_margin = 0.10;
// More than any datum's offset from WGS84, in degrees.
constexpr double largest_datum_shift = 0.05;

std::string one_decimal(double value) {
    std::array<char, 64> text{};
    const auto result = std::to_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed, 1);
    return result.ec == std::errc() ? std::string(text.data(), result.ptr) : std::string("?");
}

// The whole of `text`, less blanks around it, reads as a number.
bool is_number_text(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
    }
    double value = 0.0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    return !text.empty() && result.ec == std::errc() && result.ptr == text.data() + text.size() &&
           std::isfinite(value);
}

// A raster dimension: digits only, above 0.
std::optional<long> pixel_count(std::string_view text) {
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string_view::npos) {
        return std::nullopt;
    }
    const long value = std::stol(std::string(text));
    return value > 0 ? std::optional<long>(value) : std::nullopt;
}

std::string shown_value(const input_buffer& record, std::string_view key) {
    const auto value = record.lookup_value(key);
    return std::string(key) + (value.empty() ? " absent" : "=" + value);
}

// The header as conversion writes it, and where its records start.
struct rendered_header {
    std::string text;
    std::size_t bsb_offset = std::string::npos;
    std::size_t raster_offset = std::string::npos;
};

rendered_header render_header(input_buffer& record) {
    rendered_header rendered;
    header_stream header([&rendered](std::string_view line) {
        rendered.text.append(line);
        return true;
    });
    write_header_records(record, header);
    // No line before the BSB record begins with "BSB/": comment lines begin with "! ".
    const auto bsb = rendered.text.find("\r\nBSB/");
    if (bsb != std::string::npos) {
        rendered.bsb_offset = bsb + 2;
        std::string before_raster = "BSB/NA=";
        append_header_text(before_raster, record.lookup_value("NA"));
        before_raster += "\r\n    NU=";
        append_header_text(before_raster, record.lookup_value("NU"));
        before_raster += ",";
        rendered.raster_offset = rendered.bsb_offset + before_raster.size();
    }
    return rendered;
}

// The records of one kind ("REF/" or "PLY/") as the header carries them.
std::vector<std::string_view> records_of(const std::string& text, std::string_view tag) {
    std::vector<std::string_view> found;
    for (std::size_t at = 0; at < text.size();) {
        auto end = text.find("\r\n", at);
        end = end == std::string::npos ? text.size() : end;
        const std::string_view line(text.data() + at, end - at);
        if (line.substr(0, tag.size()) == tag) {
            found.push_back(line.substr(tag.size()));
        }
        at = end + 2;
    }
    return found;
}

// Comma item `k` of a value, as a view; empty when the value has fewer items.
std::string_view item_of(std::string_view value, std::size_t k) {
    std::size_t start = 0;
    for (; k > 0; --k) {
        const auto comma = value.find(',', start);
        if (comma == std::string_view::npos) {
            return {};
        }
        start = comma + 1;
    }
    const auto end = value.find(',', start);
    return value.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
}

double record_field(std::string_view record, std::size_t k) { return read_number(item_of(record, k)); }

struct reference_point {
    std::string key;   // C1, C2, ...
    double x = 0.0, y = 0.0, latitude = 0.0, longitude = 0.0;
    bool usable = true;
    bool agrees = false;   // placed on the plane and in agreement with the chart's map
    tie_point tie;
    // The finding that took the point out for its latitude or its pixel; the slip that
    // explains it is added once the chart is placed by the others.
    std::optional<std::size_t> rejection;
};

class chart_checker {
public:
    chart_checker(input_buffer& record, double tolerance) : record_(record), tolerance_(tolerance) {}

    chart_check run();

private:
    void error(std::string text) { result_.findings.push_back({finding::level::error, std::move(text)}); }
    void warning(std::string text) { result_.findings.push_back({finding::level::warning, std::move(text)}); }

    void check_offsets(const rendered_header& header);
    void check_raster_size();
    void check_projection();
    void read_reference_points(const rendered_header& header);
    void check_same_pixels();
    void place_chart();
    void cross_check(const std::vector<std::size_t>& usable);
    std::string explain_slip(const reference_point& point) const;
    void explain_rejections();
    void check_border(const rendered_header& header);
    void check_pixel_size();
    void check_datum_shift();

    input_buffer& record_;
    double tolerance_;
    chart_check result_;
    chart_parameters parameters_;
    std::optional<long> width_, height_;
    std::optional<chart_projection> projection_;
    std::vector<reference_point> points_;
    std::optional<pixel_map> map_;
};

chart_check chart_checker::run() {
    // Group A comes from the chart's own lines, before rendering appends template lines.
    work_out_group_a(record_, parameters_);
    const auto header = render_header(record_);
    work_out_group_b(record_, parameters_);
    check_offsets(header);
    check_raster_size();
    check_projection();
    read_reference_points(header);
    check_same_pixels();
    place_chart();
    explain_rejections();
    check_border(header);
    check_pixel_size();
    check_datum_shift();
    return std::move(result_);
}

void chart_checker::check_offsets(const rendered_header& header) {
    if (header.bsb_offset >= bsb_record_within) {
        error("the BSB/ record would start at byte " + std::to_string(header.bsb_offset) + ", past the first " +
              std::to_string(bsb_record_within) + " bytes, and GDAL would not recognise the file: shorten the comment "
              "lines of CR");
    } else if (header.raster_offset >= raster_size_within) {
        error("RA= would stand at byte " + std::to_string(header.raster_offset) +
              ", past the first 1,024 bytes, and GDAL would not find the raster size: shorten the comment lines of CR "
              "(or NA)");
    }
}

void chart_checker::check_raster_size() {
    width_ = pixel_count(record_.lookup_value("WI"));
    height_ = pixel_count(record_.lookup_value("HE"));
    if (!width_ || !height_) {
        error("no usable raster size (" + shown_value(record_, "WI") + ", " + shown_value(record_, "HE") +
              "): give WI and HE as whole numbers of pixels above 0; readers refuse the chart without them");
        width_.reset();
        height_.reset();
    }
}

void chart_checker::check_projection() {
    const auto code = parameters_.projection_code;
    if (code == mercator_code) {
        projection_ = chart_projection{chart_projection::kind::mercator, 0.0};
    } else if (code == transverse_mercator_code) {
        const auto central_meridian = projection_parameter_text(record_, parameters_);
        if (is_number_text(central_meridian)) {
            projection_ = chart_projection{chart_projection::kind::transverse_mercator, read_number(central_meridian)};
        } else {
            error("transverse Mercator (PR=2) needs its central meridian in degrees: give PP or LON0 (the header "
                  "would carry PP=" + central_meridian + ")");
        }
    } else if (code == lambert_code) {
        warning("Lambert conformal conic (PR=3): the calibration gives no standard parallels, so the reference "
                "points are not cross-checked");
    } else {
        error("projection " + shown_value(record_, "PR") + " is not one chart readers place: give PR as 1 (Mercator), "
              "2 (transverse Mercator) or 3 (Lambert conformal conic)");
    }
}

void chart_checker::read_reference_points(const rendered_header& header) {
    static constexpr std::array<const char*, 4> field_names = {"x", "y", "latitude", "longitude"};
    const auto records = records_of(header.text, "REF/");
    for (std::size_t i = 0; i < records.size(); ++i) {
        reference_point point;
        point.key = numbered_key("C", static_cast<std::int32_t>(i + 1));
        point.x = record_field(records[i], 1);
        point.y = record_field(records[i], 2);
        point.latitude = record_field(records[i], 3);
        point.longitude = record_field(records[i], 4);
        const auto value = record_.lookup_view(point.key);
        for (std::size_t k = 0; k < field_names.size(); ++k) {
            const auto field = item_of(value, k);
            if (field.empty()) {
                error(point.key + " has no " + field_names[k] + ": give each reference point as x,y,latitude,longitude");
                point.usable = false;
            } else if (!is_number_text(field)) {
                error(point.key + ": the " + field_names[k] + " '" + std::string(field) + "' is not a number");
                point.usable = false;
            }
        }
        if (!point.usable) {
            points_.push_back(std::move(point));
            continue;
        }
        const bool mercator = parameters_.projection_code == mercator_code;
        const double latitude_limit = mercator ? 85.0 : 90.0;
        if (std::fabs(point.latitude) > latitude_limit) {
            point.rejection = result_.findings.size();
            error(point.key + ": the latitude " + format_real(point.latitude, 9) + " lies beyond " +
                  (mercator ? "85 degrees, where Mercator charts end" : "90 degrees"));
            point.usable = false;
        }
        if (width_ && height_ &&
            (point.x < 0 || point.x > static_cast<double>(*width_) || point.y < 0 ||
             point.y > static_cast<double>(*height_))) {
            point.rejection = result_.findings.size();
            error(point.key + ": the pixel (" + format_real(point.x, 9) + "," + format_real(point.y, 9) +
                  ") lies outside the raster of " + std::to_string(*width_) + " x " + std::to_string(*height_) +
                  " pixels (WI and HE)");
            point.usable = false;
        }
        points_.push_back(std::move(point));
    }
    if (points_.size() < 2) {
        error(points_.empty() ? "no reference points (C1, C2, ...): the chart cannot be placed"
                              : "only 1 reference point (C1): 2 are needed to place the chart at all, 4 to cross-check it");
    } else if (points_.size() < 4) {
        warning("only " + std::to_string(points_.size()) +
                " reference points: the calibration cannot be cross-checked; give 4 or more (C1, C2, ...)");
    }
}

void chart_checker::check_same_pixels() {
    std::vector<std::size_t> order;
    for (std::size_t i = 0; i < points_.size(); ++i) {
        if (points_[i].usable) {
            order.push_back(i);
        }
    }
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return points_[a].x != points_[b].x ? points_[a].x < points_[b].x
               : points_[a].y != points_[b].y ? points_[a].y < points_[b].y
                                              : a < b;
    });
    for (std::size_t i = 1; i < order.size(); ++i) {
        const auto& a = points_[order[i - 1]];
        const auto& b = points_[order[i]];
        if (a.x == b.x && a.y == b.y && (a.latitude != b.latitude || a.longitude != b.longitude)) {
            error(a.key + " and " + b.key + " are both at the pixel (" + format_real(a.x, 9) + "," +
                  format_real(a.y, 9) + ") but at different positions: the chart cannot be placed by both");
        }
    }
}

// True when the pixels spread along one line only: less than half a pixel across it.
bool on_one_line(const std::vector<reference_point>& points, const std::vector<std::size_t>& chosen) {
    double mean_x = 0.0, mean_y = 0.0;
    for (const auto i : chosen) {
        mean_x += points[i].x / static_cast<double>(chosen.size());
        mean_y += points[i].y / static_cast<double>(chosen.size());
    }
    double sxx = 0.0, sxy = 0.0, syy = 0.0;
    for (const auto i : chosen) {
        const double dx = points[i].x - mean_x, dy = points[i].y - mean_y;
        sxx += dx * dx;
        sxy += dx * dy;
        syy += dy * dy;
    }
    const double count = static_cast<double>(chosen.size());
    const double half_trace = (sxx + syy) / 2.0 / count;
    const double determinant = (sxx * syy - sxy * sxy) / count / count;
    const double smallest = half_trace - std::sqrt(std::max(0.0, half_trace * half_trace - determinant));
    return smallest < 0.25;
}

void chart_checker::place_chart() {
    std::vector<std::size_t> usable;
    for (std::size_t i = 0; i < points_.size(); ++i) {
        if (points_[i].usable) {
            usable.push_back(i);
        }
    }
    if (usable.size() >= 3 && on_one_line(points_, usable)) {
        error("the reference points all lie on one line in the image: the chart cannot be placed; add a point off "
              "that line");
        return;
    }
    if (!projection_ || usable.size() < 2) {
        return;
    }
    // Mercator longitudes are taken about the first point, so a chart across the 180th
    // meridian stays continuous.
    if (projection_->type == chart_projection::kind::mercator) {
        projection_->central_meridian = points_[usable.front()].longitude;
    }
    std::vector<std::size_t> placed;
    for (const auto i : usable) {
        auto& point = points_[i];
        const auto plane = projection_->project(point.latitude, point.longitude);
        if (!plane) {
            error(point.key + ": the position " + format_real(point.latitude, 9) + "," +
                  format_real(point.longitude, 9) + " lies outside the projection (90 degrees or more from the "
                  "central meridian PP or LON0)");
            point.usable = false;
            continue;
        }
        point.tie = {point.x, point.y, *plane};
        point.agrees = true;
        placed.push_back(i);
    }
    if (placed.size() == 2) {
        map_ = fit_two_points(points_[placed[0]].tie, points_[placed[1]].tie);
    } else if (placed.size() == 3) {
        map_ = fit_exact(points_[placed[0]].tie, points_[placed[1]].tie, points_[placed[2]].tie);
    } else if (placed.size() >= 4) {
        cross_check(placed);
        return;
    }
    if (placed.size() >= 2 && !map_) {
        error("the reference points' positions all lie on one line on the earth: the chart cannot be placed");
    }
}

void chart_checker::cross_check(const std::vector<std::size_t>& usable) {
    std::vector<tie_point> ties;
    for (const auto i : usable) {
        ties.push_back(points_[i].tie);
    }
    const auto all = fit_least_squares(ties, [&] {
        std::vector<std::size_t> every(ties.size());
        for (std::size_t i = 0; i < every.size(); ++i) {
            every[i] = i;
        }
        return every;
    }());
    if (!all) {
        error("the reference points' positions all lie on one line on the earth: the chart cannot be placed");
        return;
    }
    double worst = 0.0;
    for (const auto& tie : ties) {
        worst = std::max(worst, pixel_distance(*all, tie));
    }
    if (worst <= tolerance_) {
        map_ = all;
        result_.account = std::to_string(ties.size()) + " reference points agree within " + one_decimal(worst) +
                          " pixels";
        return;
    }
    const auto agreed = find_consensus(ties, tolerance_);
    if (!agreed) {
        error("the reference points' positions all lie on one line on the earth: the chart cannot be placed");
        return;
    }
    map_ = agreed->map;
    const std::size_t outliers = ties.size() - agreed->count;
    for (std::size_t t = 0; t < ties.size(); ++t) {
        if (agreed->agrees[t]) {
            continue;
        }
        auto& point = points_[usable[t]];
        point.agrees = false;
        std::string text = point.key + " lies " + one_decimal(pixel_distance(agreed->map, ties[t])) +
                           " pixels from where the other reference points place it";
        if (ties.size() == 4 && outliers == 1) {
            text += " (of 4 points, the likeliest to be wrong)";
        }
        text += explain_slip(point);
        error(std::move(text));
    }
}

// The usual slips, tried on a point that disagrees: the one that brings it within the
// tolerance, nearest first. A slip that leaves the projection's domain is passed over.
std::string chart_checker::explain_slip(const reference_point& point) const {
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
    const slip* best = nullptr;
    double best_distance = 0.0;
    for (const auto& candidate : slips) {
        const auto plane = projection_->project(candidate.latitude, candidate.longitude);
        if (!plane) {
            continue;
        }
        const double distance = pixel_distance(*map_, {candidate.x, candidate.y, *plane});
        if (distance <= tolerance_ && (best == nullptr || distance < best_distance)) {
            best = &candidate;
            best_distance = distance;
        }
    }
    if (best == nullptr) {
        return "";
    }
    return ": " + std::string(best->what) + " (corrected, it lies " + one_decimal(best_distance) + " pixels away)";
}

void chart_checker::explain_rejections() {
    if (!map_) {
        return;
    }
    for (const auto& point : points_) {
        if (point.rejection) {
            result_.findings[*point.rejection].text += explain_slip(point);
        }
    }
}

void chart_checker::check_border(const rendered_header& header) {
    const auto records = records_of(header.text, "PLY/");
    if (records.size() < 3) {
        error((records.empty() ? std::string("no") : "only " + std::to_string(records.size())) +
              " border points (B1, B2, ...): chart plotters refuse a chart with fewer than 3");
    }
    std::vector<plane_point> outline;
    double reference_longitude = 0.0;
    double scale = 1.0;
    for (std::size_t i = 0; i < records.size(); ++i) {
        const double latitude = record_field(records[i], 1);
        const double longitude = record_field(records[i], 2);
        if (i == 0) {
            reference_longitude = longitude;
            scale = std::cos(latitude * 3.14159265358979323846 / 180.0);
        }
        // The outline on a local grid, continuous across the 180th meridian.
        outline.push_back({longitude_difference(longitude, reference_longitude) * scale, latitude});
        if (!map_ || !width_ || !height_) {
            continue;
        }
        const auto plane = projection_->project(latitude, longitude);
        if (!plane) {
            continue;
        }
        double x = 0.0, y = 0.0;
        map_->place(*plane, x, y);
        const double w = static_cast<double>(*width_), h = static_cast<double>(*height_);
        if (x < -border_margin * w || x > (1.0 + border_margin) * w || y < -border_margin * h ||
            y > (1.0 + border_margin) * h) {
            warning(numbered_key("B", static_cast<std::int32_t>(i + 1)) + " lies outside the raster, at the pixel (" +
                    one_decimal(x) + "," + one_decimal(y) + ") of " + std::to_string(*width_) + " x " +
                    std::to_string(*height_) + " (WI and HE) where the reference points place it");
        }
    }
    if (records.size() >= 4 && crosses_itself(outline).value_or(false)) {
        warning("the border polygon (B1, B2, ...) crosses itself: give the border points in order around the chart");
    }
}

void chart_checker::check_pixel_size() {
    double along_x = 0.0, along_y = 0.0;
    if (!map_ || !map_->pixel_steps(along_x, along_y)) {
        return;
    }
    // The ground size of a pixel at the middle of the reference points.
    double latitude = 0.0, longitude = 0.0, count = 0.0;
    for (const auto& point : points_) {
        if (point.agrees) {
            latitude += point.latitude;
            longitude += longitude_difference(point.longitude, projection_->central_meridian);
            count += 1.0;
        }
    }
    const auto scale = projection_->scale_factor(latitude / count, projection_->central_meridian + longitude / count);
    if (!scale || !(*scale > 0.0)) {
        return;
    }
    const std::array<std::pair<const char*, double>, 2> sizes = {{
        {"DX", parameters_.pixel_size_x},
        {"DY", parameters_.pixel_size_y},
    }};
    const std::array<double, 2> ground = {along_x / *scale, along_y / *scale};
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        const double given = sizes[i].second;
        if (given == missing_real || !(std::fabs(given - ground[i]) > pixel_size_margin * ground[i])) {
            continue;
        }
        warning(std::string(sizes[i].first) + "=" + format_real(given, 6) + " is " +
                std::to_string(static_cast<long>(std::lround(std::fabs(given - ground[i]) / ground[i] * 100.0))) +
                "% away from the " + format_real(ground[i], 3) +
                " metres per pixel the reference points give (the resolution DU is derived from DX and DY)");
    }
}

void chart_checker::check_datum_shift() {
    const double latitude_shift = record_.lookup_number("DS", 0);
    const double longitude_shift = record_.lookup_number("DS", 1);
    const auto too_large = [](double shift) { return shift != missing_real && std::fabs(shift) > largest_datum_shift; };
    if (too_large(latitude_shift) || too_large(longitude_shift)) {
        warning("the datum shift " + shown_value(record_, "DS") +
                " is more than 0.05 degree, more than any datum's offset: DS takes degrees (were seconds given?)");
    }
}

}  // namespace

chart_check check_chart(input_buffer& record, double tolerance) { return chart_checker(record, tolerance).run(); }

}  // namespace hdrmill
