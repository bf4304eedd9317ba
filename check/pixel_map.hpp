#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "check/projection.hpp"

namespace hdrmill {

/// A reference point as the check uses it: its pixel and its plane position.
struct tie_point {
    double x = 0.0;
    double y = 0.0;
    plane_point plane;
};

/// An affine map from the chart's plane to pixels, taken about a plane origin so that
/// its coefficients stay well conditioned far from the projection's origin:
///   x = x0 + xe (e - e0) + xn (n - n0),  y = y0 + ye (e - e0) + yn (n - n0).
struct pixel_map {
    plane_point origin;
    double x0 = 0.0, y0 = 0.0;
    double xe = 0.0, xn = 0.0, ye = 0.0, yn = 0.0;

    /// The pixel where the map places a plane position.
    void place(plane_point plane, double& x, double& y) const;

    /// How far the map is from a rotation with one scale (and the image's y running
    /// down while northings run up): 0 for a clean scan, larger the more it shears or
    /// stretches one way. A slipped reference point shears the map it is part of.
    double shear() const;

    /// Plane metres of one pixel step along x and along y; false when the map is singular.
    bool pixel_steps(double& along_x, double& along_y) const;
};

/// Pixels between where `map` places `point` and where the point says it is.
double pixel_distance(const pixel_map& map, const tie_point& point);

/// A least-squares map, with what it takes to judge each of its points by the others.
struct fitted_map {
    pixel_map map;
    double count = 0.0;                        // points fitted
    double see = 0.0, sen = 0.0, snn = 0.0;    // their spread about the map's origin

    /// The share of a fitted point's own error that the map follows at that point, from
    /// 1/count up to 1: near 1 the point decides the map there alone, because it lies
    /// far from the others or the others lie on one line.
    double leverage(plane_point plane) const;

    /// How far a fitted point lies from where the map of the other points places it:
    /// its leftover over (1 - leverage), without fitting again. Infinity when the other
    /// points cannot place it at all.
    double distance_from_others(const tie_point& point) const;

    /// What the other points' own clicking error (up to 2 pixels on a coordinate, under
    /// 1.5 pixels of standard deviation) can make of a point's distance from where they
    /// place it, at twice its spread: 3 pixels x sqrt(h / (1 - h)), h the point's
    /// leverage in the fit with it. `fitted` says whether the point is one of the fitted
    /// ones; for one that is not, h / (1 - h) is the leverage the map gives its place.
    /// Infinity where the others cannot place it at all.
    double margin(plane_point plane, bool fitted) const;

    /// Whether a point lies within `tolerance` plus its margin of where the others place
    /// it: judged by the other fitted points when it is one of them, by the map when it
    /// is not. A fitted point the others cannot place at all cannot be judged, and agrees.
    bool agrees(const tie_point& point, bool fitted, double tolerance) const;
};

/// Least-squares affine map over the chosen points; nothing when they do not span the
/// plane (fewer than 3, or all on one line).
std::optional<fitted_map> fit_least_squares(const std::vector<tie_point>& points,
                                            const std::vector<std::size_t>& chosen);

/// The affine map through three points exactly; nothing when they lie on one line.
std::optional<pixel_map> fit_exact(const tie_point& a, const tie_point& b, const tie_point& c);

/// The map of rotation and one scale through two points; nothing when they coincide.
std::optional<pixel_map> fit_two_points(const tie_point& a, const tie_point& b);

}  // namespace hdrmill
