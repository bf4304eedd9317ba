#include "check/pixel_map.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

namespace hdrmill {

namespace {

// Below this the determinant of a fit, relative to the spread it is made of, is taken
// as zero: the points lie on one line as far as a double can tell.
constexpr double degenerate = 1e-10;
// Beyond this share the others leave a point's place to the point itself.
constexpr double decides_alone = 1.0 - 1e-9;
// Twice the standard deviation of a click (under 1.5 pixels on a coordinate), in pixels.
constexpr double clicking_spread = 3.0;

}  // namespace

void pixel_map::place(plane_point plane, double& x, double& y) const {
    const double de = plane.e - origin.e;
    const double dn = plane.n - origin.n;
    x = x0 + xe * de + xn * dn;
    y = y0 + ye * de + yn * dn;
}

double pixel_map::shear() const {
    // Split the linear part into a reflected similarity [[a, b], [b, -a]] (east to the
    // right, north up while y runs down) and the rest, and compare their sizes.
    const double a = (xe - yn) / 2.0;
    const double b = (xn + ye) / 2.0;
    const double rest = std::hypot((xe + yn) / 2.0, (xn - ye) / 2.0);
    const double similar = std::hypot(a, b);
    return similar > 0.0 ? rest / similar : std::numeric_limits<double>::infinity();
}

bool pixel_map::pixel_steps(double& along_x, double& along_y) const {
    const double determinant = xe * yn - xn * ye;
    if (determinant == 0.0 || !std::isfinite(determinant)) {
        return false;
    }
    // Columns of the inverse: the plane step of one pixel along x, and along y.
    along_x = std::hypot(yn, -ye) / std::fabs(determinant);
    along_y = std::hypot(-xn, xe) / std::fabs(determinant);
    return true;
}

double pixel_distance(const pixel_map& map, const tie_point& point) {
    double x = 0.0;
    double y = 0.0;
    map.place(point.plane, x, y);
    return std::hypot(x - point.x, y - point.y);
}

double fitted_map::leverage(plane_point plane) const {
    const double de = plane.e - map.origin.e;
    const double dn = plane.n - map.origin.n;
    const double determinant = see * snn - sen * sen;
    return 1.0 / count + (snn * de * de - 2.0 * sen * de * dn + see * dn * dn) / determinant;
}

double fitted_map::distance_from_others(const tie_point& point) const {
    const double share = leverage(point.plane);
    if (!(share < decides_alone)) {
        return std::numeric_limits<double>::infinity();
    }
    return pixel_distance(map, point) / (1.0 - share);
}

double fitted_map::margin(plane_point plane, bool fitted) const {
    const double share = leverage(plane);
    if (!fitted) {
        // Its leverage were it fitted too, h0 / (1 + h0), gives h / (1 - h) = h0.
        return clicking_spread * std::sqrt(std::max(0.0, share));
    }
    if (!(share < decides_alone)) {
        return std::numeric_limits<double>::infinity();
    }
    return clicking_spread * std::sqrt(std::max(0.0, share / (1.0 - share)));
}

bool fitted_map::agrees(const tie_point& point, bool fitted, double tolerance) const {
    const double distance = fitted ? distance_from_others(point) : pixel_distance(map, point);
    if (std::isinf(distance)) {
        return fitted;
    }
    return distance <= tolerance + margin(point.plane, fitted);
}

std::optional<fitted_map> fit_least_squares(const std::vector<tie_point>& points,
                                            const std::vector<std::size_t>& chosen) {
    if (chosen.size() < 3) {
        return std::nullopt;
    }
    pixel_map map;
    const double count = static_cast<double>(chosen.size());
    for (const auto i : chosen) {
        map.origin.e += points[i].plane.e / count;
        map.origin.n += points[i].plane.n / count;
        map.x0 += points[i].x / count;
        map.y0 += points[i].y / count;
    }
    // Normal equations about the centre: the constant terms are the means.
    double see = 0.0, sen = 0.0, snn = 0.0, sxe = 0.0, sxn = 0.0, sye = 0.0, syn = 0.0;
    for (const auto i : chosen) {
        const double de = points[i].plane.e - map.origin.e;
        const double dn = points[i].plane.n - map.origin.n;
        const double dx = points[i].x - map.x0;
        const double dy = points[i].y - map.y0;
        see += de * de;
        sen += de * dn;
        snn += dn * dn;
        sxe += dx * de;
        sxn += dx * dn;
        sye += dy * de;
        syn += dy * dn;
    }
    const double determinant = see * snn - sen * sen;
    if (!(determinant > degenerate * see * snn)) {
        return std::nullopt;
    }
    map.xe = (sxe * snn - sxn * sen) / determinant;
    map.xn = (sxn * see - sxe * sen) / determinant;
    map.ye = (sye * snn - syn * sen) / determinant;
    map.yn = (syn * see - sye * sen) / determinant;
    return fitted_map{map, count, see, sen, snn};
}

std::optional<pixel_map> fit_exact(const tie_point& a, const tie_point& b, const tie_point& c) {
    const double e1 = b.plane.e - a.plane.e, n1 = b.plane.n - a.plane.n;
    const double e2 = c.plane.e - a.plane.e, n2 = c.plane.n - a.plane.n;
    const double determinant = e1 * n2 - e2 * n1;
    if (!(std::fabs(determinant) > degenerate * std::hypot(e1, n1) * std::hypot(e2, n2))) {
        return std::nullopt;
    }
    pixel_map map;
    map.origin = a.plane;
    map.x0 = a.x;
    map.y0 = a.y;
    const double x1 = b.x - a.x, x2 = c.x - a.x;
    const double y1 = b.y - a.y, y2 = c.y - a.y;
    map.xe = (x1 * n2 - x2 * n1) / determinant;
    map.xn = (x2 * e1 - x1 * e2) / determinant;
    map.ye = (y1 * n2 - y2 * n1) / determinant;
    map.yn = (y2 * e1 - y1 * e2) / determinant;
    return map;
}

std::optional<pixel_map> fit_two_points(const tie_point& a, const tie_point& b) {
    const double de = b.plane.e - a.plane.e, dn = b.plane.n - a.plane.n;
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double length = de * de + dn * dn;
    if (!(length > 0.0)) {
        return std::nullopt;
    }
    // x = x0 + s de + t dn and y = y0 + t de - s dn: a rotation with one scale, north up.
    const double s = (de * dx - dn * dy) / length;
    const double t = (dn * dx + de * dy) / length;
    pixel_map map;
    map.origin = a.plane;
    map.x0 = a.x;
    map.y0 = a.y;
    map.xe = s;
    map.xn = t;
    map.ye = t;
    map.yn = -s;
    return map;
}

}  // namespace hdrmill
