#include "check/projection.hpp"

#include <array>
#include <cmath>
#include <numbers>

namespace hdrmill {

namespace {

constexpr double semi_major_axis = 6378137.0;
constexpr double flattening = 1.0 / 298.257223563;

const double eccentricity = std::sqrt(flattening * (2.0 - flattening));

// atanh(sin phi) - e atanh(e sin phi): the isometric latitude, the Mercator northing
// on a sphere of radius 1.
double isometric_latitude(double sin_latitude) {
    return std::atanh(sin_latitude) - eccentricity * std::atanh(eccentricity * sin_latitude);
}

// Kruger's series for the transverse Mercator projection to sixth order in the third
// flattening n: accurate to well under a millimetre within 3,000 km of the meridian.
struct kruger_series {
    double rectifying_radius;
    std::array<double, 6> alpha;
};

kruger_series make_kruger_series() {
    const double n = flattening / (2.0 - flattening);
    const double n2 = n * n;
    const double n3 = n2 * n;
    const double n4 = n3 * n;
    const double n5 = n4 * n;
    const double n6 = n5 * n;
    kruger_series series{};
    series.rectifying_radius = semi_major_axis / (1.0 + n) * (1.0 + n2 / 4.0 + n4 / 64.0 + n6 / 256.0);
    series.alpha = {
        n / 2.0 - 2.0 * n2 / 3.0 + 5.0 * n3 / 16.0 + 41.0 * n4 / 180.0 - 127.0 * n5 / 288.0 + 7891.0 * n6 / 37800.0,
        13.0 * n2 / 48.0 - 3.0 * n3 / 5.0 + 557.0 * n4 / 1440.0 + 281.0 * n5 / 630.0 - 1983433.0 * n6 / 1935360.0,
        61.0 * n3 / 240.0 - 103.0 * n4 / 140.0 + 15061.0 * n5 / 26880.0 + 167603.0 * n6 / 181440.0,
        49561.0 * n4 / 161280.0 - 179.0 * n5 / 168.0 + 6601661.0 * n6 / 7257600.0,
        34729.0 * n5 / 80640.0 - 3418889.0 * n6 / 1995840.0,
        212378941.0 * n6 / 319334400.0,
    };
    return series;
}

const kruger_series kruger = make_kruger_series();

std::optional<plane_point> finite_or_nothing(plane_point point) {
    if (!std::isfinite(point.e) || !std::isfinite(point.n)) {
        return std::nullopt;
    }
    return point;
}

}  // namespace

double longitude_difference(double longitude, double reference) {
    double difference = std::fmod(longitude - reference, 360.0);
    if (difference > 180.0) {
        difference -= 360.0;
    } else if (difference < -180.0) {
        difference += 360.0;
    }
    return difference;
}

std::optional<plane_point> chart_projection::project(double latitude, double longitude) const {
    if (!std::isfinite(latitude) || !std::isfinite(longitude) || !(std::fabs(latitude) < 90.0)) {
        return std::nullopt;
    }
    const double phi = latitude * radians_per_degree;
    const double lambda = longitude_difference(longitude, central_meridian) * radians_per_degree;
    if (type == kind::mercator) {
        return finite_or_nothing({semi_major_axis * lambda, semi_major_axis * isometric_latitude(std::sin(phi))});
    }
    if (!(std::fabs(lambda) < std::numbers::pi / 2.0)) {
        return std::nullopt;
    }
    // The conformal latitude's tangent, then the spherical transverse Mercator of it,
    // then Kruger's correction to the ellipsoid.
    const double tau = std::sinh(isometric_latitude(std::sin(phi)));
    const double xi_prime = std::atan2(tau, std::cos(lambda));
    const double eta_prime = std::atanh(std::sin(lambda) / std::sqrt(1.0 + tau * tau));
    double xi = xi_prime;
    double eta = eta_prime;
    for (std::size_t j = 1; j <= kruger.alpha.size(); ++j) {
        const double k = 2.0 * static_cast<double>(j);
        xi += kruger.alpha[j - 1] * std::sin(k * xi_prime) * std::cosh(k * eta_prime);
        eta += kruger.alpha[j - 1] * std::cos(k * xi_prime) * std::sinh(k * eta_prime);
    }
    return finite_or_nothing({kruger.rectifying_radius * eta, kruger.rectifying_radius * xi});
}

std::optional<double> chart_projection::scale_factor(double latitude, double longitude) const {
    // Plane distance of a small step along the parallel over its ground length.
    constexpr double step = 1e-4;   // degrees of longitude
    const auto west = project(latitude, longitude - step / 2.0);
    const auto east = project(latitude, longitude + step / 2.0);
    if (!west || !east) {
        return std::nullopt;
    }
    const double sin_latitude = std::sin(latitude * radians_per_degree);
    const double prime_vertical_radius =
        semi_major_axis / std::sqrt(1.0 - eccentricity * eccentricity * sin_latitude * sin_latitude);
    const double ground = prime_vertical_radius * std::cos(latitude * radians_per_degree) * step * radians_per_degree;
    return std::hypot(east->e - west->e, east->n - west->n) / ground;
}

}  // namespace hdrmill
