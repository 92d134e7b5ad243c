// Distances between the observations and a location: the one home of the
// formulas.  The full scan of the kernels (kernel.cpp) and the neighbour
// indexes (neighbours.cpp) both form every distance here, so that the
// weights of a search through an index are the bits of the full scan's.
#pragma once

#include <cmath>

namespace gwr {

// The earth's radius in kilometres, of every great-circle distance and of
// the bandwidth search limits of spherical runs.
constexpr double earth_radius = 6371.1;

// Points whose cosine of the central angle is within this of 1 are at
// distance 0 (also where rounding puts the cosine just above 1, where acos
// would fail): points up to about 9 m apart.
constexpr double coincide_tol = 1e-12;

// Squared Euclidean distance between the observation (xo, yo) and the
// location (x, y).
inline double plane_dsq(double xo, double yo, double x, double y) {
    const double dx = xo - x;
    const double dy = yo - y;
    return dx * dx + dy * dy;
}

// Squared great-circle distance in kilometres by the spherical law of
// cosines: the central angle a between the observation of longitude xo and
// latitude sine so and cosine co, and the location of longitude x and
// latitude sine sy and cosine cy (radians), has cos a = so sy + co cy
// cos(x - xo), and the distance is R a.  Coincident points are at distance 0; rounding that puts the
// cosine just below -1 (antipodal points) gives half the circumference.
// Callers that measure many points from one location form its sine and
// cosine once.
inline double sphere_dsq(double xo, double so, double co, double x, double sy, double cy) {
    const double c = so * sy + co * cy * std::cos(x - xo);
    if (std::fabs(c - 1.0) < coincide_tol) return 0.0;
    const double dist = earth_radius * std::acos(c < -1.0 ? -1.0 : c);
    return dist * dist;
}

// The same from the longitudes and latitudes (radians) of both points.
inline double sphere_dsq(double xo, double yo, double x, double y) {
    return sphere_dsq(xo, std::sin(yo), std::cos(yo), x, std::sin(y), std::cos(y));
}

}  // namespace gwr
