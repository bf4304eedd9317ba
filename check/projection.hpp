#pragma once

#include <numbers>
#include <optional>

namespace hdrmill {

inline constexpr double radians_per_degree = std::numbers::pi / 180.0;

/// A position on the chart's projected plane, in metres: easting and northing.
struct plane_point {
    double e = 0.0;
    double n = 0.0;
};

/// The projections a chart reader places a chart by, on the WGS84 ellipsoid, with a
/// scale factor of 1: the pixel map absorbs any constant scale, so it does not matter
/// for the check. Longitudes are taken relative to `central_meridian` and brought into
/// -180..180 first, so a chart across the 180th meridian stays continuous.
struct chart_projection {
    enum class kind { mercator, transverse_mercator };
    kind type = kind::mercator;
    double central_meridian = 0.0;   // degrees; for Mercator any longitude near the chart

    /// The plane position of a latitude and longitude in degrees. Nothing when the
    /// position lies outside the projection's domain (a pole for Mercator, 90 degrees
    /// or more from the central meridian for transverse Mercator) or is not finite.
    std::optional<plane_point> project(double latitude, double longitude) const;

    /// How many plane metres one ground metre along the parallel becomes at a position:
    /// the projection's scale factor there. Nothing outside the domain.
    std::optional<double> scale_factor(double latitude, double longitude) const;
};

/// `longitude` less `reference`, brought into -180..180 degrees.
double longitude_difference(double longitude, double reference);

}  // namespace hdrmill
