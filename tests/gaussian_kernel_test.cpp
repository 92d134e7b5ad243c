// Distances, kernel weights and the heap sort.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "control/stop.h"
#include "gaussian/gaussian.h"
#include "support/testing.h"

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kRadius = 6371.1;

// A state with observations at the given points and the fit locations at
// the same points.
void setup_points(gwr::state& s, const std::vector<double>& x, const std::vector<double>& y) {
    int n = static_cast<int>(x.size());
    s.set_observation_count(n);
    s.size_obs(n);
    s.struc2.xobs = x;
    s.struc2.yobs = y;
    s.fit1.xfit = x;
    s.fit1.yfit = y;
    s.fit3.nloc = n;
    s.ws.size(n, 1);
}

TEST(GaussianKernel, CartesianAndSphericalDistances) {
    EXPECT_DOUBLE_EQ(gwr::distsq(1, 2, 4, 6, gwr::coordinates::cartesian), 25.0);
    // A quarter of a great circle, returned squared.
    double q = kRadius * kPi / 2;
    EXPECT_NEAR(gwr::distsq(0, 0, 0, kPi / 2, gwr::coordinates::spherical), q * q, 1e-6 * q * q);
    // Along the equator the distance is the radius times the longitude
    // difference.
    EXPECT_NEAR(std::sqrt(gwr::distsq(0.1, 0, 0.4, 0, gwr::coordinates::spherical)), kRadius * 0.3, 1e-7);
    // The same point is at distance 0 exactly, also where the cosine
    // formula rounds a hair above 1.
    std::mt19937_64 g(7);
    std::uniform_real_distribution<double> lon(-kPi, kPi), lat(-1.5, 1.5);
    for (int i = 0; i < 200; ++i) {
        double x = lon(g), y = lat(g);
        EXPECT_EQ(gwr::distsq(x, y, x, y, gwr::coordinates::spherical), 0.0) << x << " " << y;
    }
}

TEST(GaussianKernel, FixedGaussianAppliesObservationWeights) {
    testing_support::harness h;
    auto& s = *h.s;
    setup_points(s, {0, 3, 0, 10}, {0, 4, 1, 0});
    testing_support::set_kernel(s, 'f');
    s.fit6.obswt = {1.0, 2.5, 0.0, 1.0};
    gwr::genwgt(s, s.ws, 1, 5.0);
    // exp(-d^2 / (2 h^2)) times the observation weight.
    EXPECT_DOUBLE_EQ(s.ws.wt[0], 1.0);
    EXPECT_DOUBLE_EQ(s.ws.wt[1], std::exp(-25.0 / 50.0) * 2.5);
    EXPECT_EQ(s.ws.wt[2], 0.0);
    EXPECT_DOUBLE_EQ(s.ws.wt[3], std::exp(-100.0 / 50.0));
    // A zero bandwidth keeps only the coincident observation.
    gwr::genwgt(s, s.ws, 1, 0.0);
    EXPECT_EQ(s.ws.wt, (std::vector<double>{1.0, 0.0, 0.0, 0.0}));
    // Seen from a point that is not in the location list.
    gwr::genwgt_at(s, s.ws, 3.0, 0.0, 5.0);
    EXPECT_DOUBLE_EQ(s.ws.wt[0], std::exp(-9.0 / 50.0));
    EXPECT_DOUBLE_EQ(s.ws.wt[1], std::exp(-16.0 / 50.0) * 2.5);
}

TEST(GaussianKernel, CylinderIncludesItsBoundary) {
    testing_support::harness h;
    auto& s = *h.s;
    setup_points(s, {0, 3, 3.0000001, 0}, {0, 4, 4, -2});
    testing_support::set_kernel(s, 'c');
    s.fit6.obswt = {0.5, 0.5, 0.5, 0.5};  // not applied by this shape
    gwr::genwgt(s, s.ws, 1, 5.0);
    EXPECT_EQ(s.ws.wt, (std::vector<double>{1, 1, 0, 1}));
}

TEST(GaussianKernel, AdaptiveBisquareTiesAndExtremes) {
    testing_support::harness h;
    auto& s = *h.s;
    // Seen from observation 1 at the origin: distances 0, 1, 2, 2, 3.
    setup_points(s, {0, 1, 0, -2, 3}, {0, 0, 2, 0, 0});
    testing_support::set_kernel(s, 'v');
    s.fit6.obswt = {9, 9, 9, 9, 9};  // not applied by this shape

    // N = 3: the third nearest is at squared distance 4 and tied with the
    // fourth; both get weight 0.
    s.fit5.nnear = 3;
    gwr::genwgt(s, s.ws, 1, 0.0);
    std::vector<double> w = s.ws.wt;
    EXPECT_EQ(w[0], 1.0);
    EXPECT_DOUBLE_EQ(w[1], (1 - 1.0 / 4) * (1 - 1.0 / 4));
    EXPECT_EQ(w[2], 0.0);
    EXPECT_EQ(w[3], 0.0);
    EXPECT_EQ(w[4], 0.0);

    // N = 1 at an observation: every weight is 0.
    s.fit5.nnear = 1;
    gwr::genwgt(s, s.ws, 1, 0.0);
    for (double v : s.ws.wt) EXPECT_EQ(v, 0.0);

    // N = n: only the farthest gets 0.
    s.fit5.nnear = 5;
    gwr::genwgt(s, s.ws, 1, 0.0);
    EXPECT_EQ(s.ws.wt[4], 0.0);
    for (int j = 0; j < 4; ++j) EXPECT_GT(s.ws.wt[j], 0.0);
    EXPECT_DOUBLE_EQ(s.ws.wt[2], (1 - 4.0 / 9) * (1 - 4.0 / 9));

    // At most N - 1 observations carry weight, from any location.
    for (int nn = 1; nn <= 5; ++nn) {
        s.fit5.nnear = nn;
        for (int i = 1; i <= 5; ++i) {
            gwr::genwgt(s, s.ws, i, 0.0);
            int pos = static_cast<int>(std::count_if(s.ws.wt.begin(), s.ws.wt.end(),
                                                     [](double v) { return v > 0; }));
            EXPECT_LE(pos, nn - 1);
        }
    }
}

TEST(GaussianKernel, AdaptiveSizeAboveObservationCountStops) {
    testing_support::harness h;
    auto& s = *h.s;
    setup_points(s, {0, 1}, {0, 0});
    testing_support::set_kernel(s, 'v');
    s.fit5.nnear = 3;
    EXPECT_THROW(gwr::genwgt(s, s.ws, 1, 0.0), gwr::stop);
    EXPECT_EQ(h.listing(),
              "** Local sample size is greater than the number of observations **\n"
              "** Check program limits ... halting **\n");
}

TEST(GaussianKernel, HeapSortMatchesStandardSort) {
    std::mt19937 g(42);
    for (int n : {0, 1, 2, 3, 7, 64, 1001}) {
        for (int rep = 0; rep < 5; ++rep) {
            std::vector<double> a(n);
            // Few distinct values so that ties are common.
            std::uniform_int_distribution<int> d(-5, 5);
            for (auto& v : a) v = rep % 2 ? d(g) : std::ldexp(static_cast<double>(g()), -20);
            std::vector<double> b = a;
            gwr::hsort(a.data(), n);
            std::sort(b.begin(), b.end());
            EXPECT_EQ(a, b) << "n=" << n;
        }
    }
}

}  // namespace
