// Neighbour index for spherical coordinates: the weights it gives must be
// the bits of the plain scan over every observation (great-circle
// distances, the coincident-points rule, ties at the N-th distance), its
// neighbour list exactly the observations with a non-zero weight in
// ascending order, and whole runs must give the same listing and result
// file with the index as without it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "control/control.h"
#include "gaussian/gaussian.h"
#include "gaussian/neighbours.h"
#include "support/testing.h"

namespace {

using testing_support::harness;
using testing_support::mask_times;
using testing_support::read_file;
using testing_support::tempdir;

constexpr double pi = 3.141592653589793;
constexpr double deg = pi / 180.0;
constexpr double km = 1.0 / 6371.1;  // radians of arc per kilometre

bool same_bits(const std::vector<double>& a, const std::vector<double>& b) {
    return a.size() == b.size() &&
           (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0);
}

using points = std::vector<std::pair<double, double>>;  // (longitude, latitude), radians

constexpr gwr::coordinates sph = gwr::coordinates::spherical;

// The kernel of shape k: 1 Gaussian, 2 bi-square, 3 cylinder.
void shape(gwr::state& s, int k) { testing_support::set_kernel(s, "fvc"[k - 1]); }
void spherical(gwr::state& s, bool yes) { testing_support::set_spherical(s, yes); }

void load(gwr::state& s, const points& p) {
    const int n = static_cast<int>(p.size());
    s.set_observation_count(n);
    spherical(s, true);
    s.size_obs(n);
    for (int j = 0; j < n; ++j) {
        s.struc2.xobs[j] = p[j].first;
        s.struc2.yobs[j] = p[j].second;
    }
    s.ws.size(n, 1);
}

// A region of 20 by 20 degrees, some points duplicated, and pairs placed
// symmetrically about the meridian of longitude 0 so that their distances
// from a location on that meridian tie exactly.
points regional(std::mt19937_64& g, int n) {
    std::uniform_real_distribution<double> u(0.0, 1.0);
    points p;
    for (int i = 0; i < n; ++i) p.emplace_back((-10 + 20 * u(g)) * deg, (40 + 20 * u(g)) * deg);
    for (int i = 0; i < n / 10; ++i) p.push_back(p[i * 7 % n]);
    for (int k = 1; k <= 12; ++k) {
        const double dx = 0.05 * k * deg, y = (50 + 0.03 * (k % 4)) * deg;
        for (int rep = 0; rep < 1 + k % 3; ++rep) {
            p.emplace_back(dx, y);
            p.emplace_back(-dx, y);
        }
    }
    return p;
}

// A polar cap (some points exactly at the pole under different longitudes,
// which are one place) and a band across the meridian of 180 degrees,
// longitudes at both -180 and +180 included, and a few latitudes past 90.
points polar_and_dateline(std::mt19937_64& g, int n) {
    std::uniform_real_distribution<double> u(0.0, 1.0);
    points p;
    for (int i = 0; i < n / 2; ++i) p.emplace_back((-180 + 360 * u(g)) * deg, (78 + 12 * u(g)) * deg);
    for (int i = 0; i < 6; ++i) p.emplace_back((i * 60 - 180) * deg, 90 * deg);
    for (int i = 0; i < n / 2; ++i) {
        double lon = 170 + 20 * u(g);
        if (lon > 180) lon -= 360;
        p.emplace_back(lon * deg, (-15 + 30 * u(g)) * deg);
    }
    for (double lat : {-5.0, 0.0, 5.0}) {
        p.emplace_back(pi, lat * deg);
        p.emplace_back(-pi, lat * deg);
    }
    for (int i = 0; i < 30; ++i) p.emplace_back(-pi / 2 + 0.01 * i, -90 * deg);  // south pole
    // Latitudes past a pole name points on the other side of it; the
    // distance formula takes them so, and so must the index.
    for (double lat : {91.0, 95.0, -93.0, 120.0}) p.emplace_back(lat * deg, lat * deg);
    return p;
}

// Most points in a patch of a few hundred metres, some half a metre apart
// (where the distance formula's coincident-points rule sets distances to
// 0), the rest spread over the globe: the grid nests grids in its crowded
// cells.
points clustered(std::mt19937_64& g, int n) {
    std::uniform_real_distribution<double> u(0.0, 1.0);
    points p;
    const double x0 = 12.5 * deg, y0 = -33.0 * deg;
    for (int i = 0; i < n * 8 / 10; ++i) p.emplace_back(x0 + 0.3 * km * u(g), y0 + 0.3 * km * u(g));
    for (int i = 0; i < 120; ++i) p.emplace_back(x0 + 0.0005 * km * (i % 12), y0 + 0.0005 * km * (i / 12));
    for (int i = 0; i < n * 2 / 10; ++i)
        p.emplace_back((-180 + 360 * u(g)) * deg, std::asin(2 * u(g) - 1));
    return p;
}

// Locations: every k-th observation and places that are none.
points locations(const points& obs, int k) {
    points at;
    for (std::size_t i = 0; i < obs.size(); i += k) at.push_back(obs[i]);
    for (auto xy : points{{0, 50 * deg},         {0.001, 50.01 * deg}, {0, pi / 2},
                          {1.0, -pi / 2},        {pi, 0},              {-pi, 2 * deg},
                          {179.999 * deg, 0.1},  {12.5 * deg + 0.15 * km, -33.0 * deg + 0.15 * km},
                          {12.5 * deg + 0.002 * km, -33.0 * deg},  // within metres of the small cluster
                          {-167.5 * deg, 33 * deg},  // the cluster's antipode
                          {-100 * deg, -20 * deg},
                          {0.3, 100 * deg}})
        at.push_back(xy);
    return at;
}

// The list must be exactly the non-zero weights, ascending.
void expect_list_matches(const gwr::work& w, int n) {
    ASSERT_GE(w.nnbr, 0);
    std::vector<int> nz;
    for (int j = 0; j < n; ++j)
        if (w.wt[j] != 0.0) nz.push_back(j);
    EXPECT_EQ(std::vector<int>(w.nbr.begin(), w.nbr.begin() + w.nnbr), nz);
}

// Weights at (x, y) by the plain scan and through the index; counts the
// calls that the index served.
struct comparer {
    gwr::state& s;
    std::shared_ptr<const gwr::sphgrid> g;
    gwr::work full, fast;
    int served = 0;

    comparer(gwr::state& st, std::shared_ptr<const gwr::sphgrid> grid) : s(st), g(std::move(grid)) {
        full.size(s.run().n, 1);
        fast.size(s.run().n, 1);
    }

    void check(double x, double y, double bw) {
        const int n = s.run().n;
        s.sphix.reset();
        gwr::genwgt_at(s, full, x, y, bw);
        s.sphix = g;
        const bool pays = gwr::sphgrid_pays(s, *g, x, y, bw);
        gwr::genwgt_at(s, fast, x, y, bw);
        s.sphix.reset();
        served += pays;
        EXPECT_TRUE(same_bits(full.wt, fast.wt));
        if (pays) expect_list_matches(fast, n);
    }
};

// Adaptive weights formed independently: squared distances by distsq,
// sorted, D the N-th, (1 - d/D)^2 below D.
std::vector<double> reference_bisquare(const gwr::state& s, double x, double y, int N,
                                       std::vector<double>* sorted_out = nullptr) {
    const int n = s.run().n;
    std::vector<double> d(n);
    for (int j = 0; j < n; ++j) d[j] = gwr::distsq(s.struc2.xobs[j], s.struc2.yobs[j], x, y, sph);
    std::vector<double> sorted = d;
    std::sort(sorted.begin(), sorted.end());
    std::vector<double> w(n, 0.0);
    const double D = sorted[N - 1];
    for (int j = 0; j < n; ++j)
        if (d[j] < D) w[j] = (1 - d[j] / D) * (1 - d[j] / D);
    if (sorted_out) *sorted_out = sorted;
    return w;
}

TEST(SphereIndex, AdaptiveWeightsEqualTheFullScanIncludingTiesAtTheNthDistance) {
    std::mt19937_64 rng(11);
    struct data_set {
        const char* name;
        points p;
    };
    std::vector<data_set> sets{{"regional", regional(rng, 1500)},
                               {"polar and dateline", polar_and_dateline(rng, 1500)},
                               {"clustered", clustered(rng, 1500)}};
    int tied_cases = 0;
    for (auto& ds : sets) {
        SCOPED_TRACE(ds.name);
        harness h;
        auto& s = *h.s;
        load(s, ds.p);
        shape(s, 2);
        const int n = s.run().n;
        auto g = gwr::build_sphgrid(s, 1);
        ASSERT_TRUE(g);
        if (std::string(ds.name) == "clustered") {
            // Grids within grids within grids.
            bool nested = false;
            for (const auto& sub : g->subs) nested = nested || !sub.subs.empty();
            EXPECT_TRUE(nested);
        }
        comparer c(s, g);
        const points at = locations(ds.p, 53);
        for (int N : {1, 2, 7, 40, 333, n - 1, n}) {
            s.fit5.nnear = N;
            for (auto [x, y] : at) {
                SCOPED_TRACE(testing::Message() << "N=" << N << " at " << x << "," << y);
                c.check(x, y, 0.0);
                EXPECT_TRUE(same_bits(c.fast.wt, reference_bisquare(s, x, y, N)));
                EXPECT_LE(c.fast.nnbr, N - 1);
            }
        }
        // Sizes that put the N-th distance inside a run of equal distances
        // (duplicated points, the symmetric pairs, points at a pole): every
        // observation of the run gets weight 0.
        for (auto [x, y] : at) {
            std::vector<double> sorted;
            reference_bisquare(s, x, y, 1, &sorted);
            int runs = 0;
            for (int i = 1; i + 1 < n && i < 400 && runs < 6; ++i) {
                if (sorted[i] != sorted[i + 1] || sorted[i] == sorted[i - 1]) continue;
                ++runs;
                // A run starts at position i (0-based): D is tied for N = i + 1 and N = i + 2.
                for (int N : {i + 1, i + 2}) {
                    s.fit5.nnear = N;
                    SCOPED_TRACE(testing::Message() << "tied N=" << N << " at " << x << "," << y);
                    c.check(x, y, 0.0);
                    int zero_at_d = 0;
                    for (int j = 0; j < n; ++j) {
                        const double d = gwr::distsq(s.struc2.xobs[j], s.struc2.yobs[j], x, y, sph);
                        if (d == sorted[N - 1]) {
                            EXPECT_EQ(c.fast.wt[j], 0.0);
                            ++zero_at_d;
                        }
                    }
                    EXPECT_GE(zero_at_d, 2);
                    ++tied_cases;
                }
            }
        }
        EXPECT_GT(c.served, 0);
    }
    EXPECT_GT(tied_cases, 50);
}

TEST(SphereIndex, CylinderAndGaussianWeightsEqualTheFullScanForShortAndLongReaches) {
    std::mt19937_64 rng(23);
    for (int kernel : {3, 1}) {
        for (int which = 0; which < 3; ++which) {
            SCOPED_TRACE(testing::Message() << "kernel " << kernel << " data set " << which);
            const points p = which == 0   ? regional(rng, 1200)
                             : which == 1 ? polar_and_dateline(rng, 1200)
                                          : clustered(rng, 1200);
            harness h;
            auto& s = *h.s;
            load(s, p);
            const int n = s.run().n;
            shape(s, kernel);
            if (kernel == 1)
                for (int j = 0; j < n; ++j) s.fit6.obswt[j] = 0.5 + (j % 5) * 0.375;
            auto g = gwr::build_sphgrid(s, 1);
            ASSERT_TRUE(g);
            comparer c(s, g);
            // Bandwidths in kilometres, from below the few metres within
            // which points count as one place to beyond half the
            // circumference.
            for (double bw : {0.0, 1e-4, 0.005, 0.05, 0.3, 3.0, 25.0, 180.0, 900.0, 5000.0, 20015.0,
                              25000.0, 1e300}) {
                for (auto [x, y] : locations(p, 97)) {
                    SCOPED_TRACE(testing::Message() << "bw=" << bw << " at " << x << "," << y);
                    c.check(x, y, bw);
                    if (kernel == 3) {
                        // Inside the bandwidth (boundary included), by distsq.
                        for (int j = 0; j < n; j += 7) {
                            const double d = gwr::distsq(s.struc2.xobs[j], s.struc2.yobs[j], x, y, sph);
                            EXPECT_EQ(c.fast.wt[j], d <= bw * bw ? 1.0 : 0.0);
                        }
                    }
                }
            }
            EXPECT_GT(c.served, 20);
        }
    }
}

TEST(SphereIndex, CoincidentPointsRuleCountsPointsMetresApartAsOnePlace) {
    // Observations half a metre apart over a patch of 20 by 20 m: the grid's
    // cells are about a metre wide, while every point within about 9 m of a
    // location is at computed distance 0.  A tiny cylinder must include all
    // of those, and for the adaptive kernel they tie at distance 0.
    harness h;
    auto& s = *h.s;
    points p;
    const double x0 = -71.0 * deg, y0 = 47.0 * deg;
    const double step = 0.0005 * km;  // half a metre
    for (int i = 0; i < 40; ++i)
        for (int k = 0; k < 40; ++k) p.emplace_back(x0 + i * step / std::cos(y0), y0 + k * step);
    load(s, p);
    const int n = s.run().n;
    shape(s, 3);
    auto g = gwr::build_sphgrid(s, 1);
    ASSERT_TRUE(g);
    EXPECT_LT(g->cs, 5 * step);
    comparer c(s, g);
    const points at{{x0 + 10 * step / std::cos(y0), y0 + 10 * step},  // inside, on a point
                    {x0 + 20.3 * step / std::cos(y0), y0 + 19.7 * step},
                    {x0, y0},
                    {x0 - 12 * step / std::cos(y0), y0 + 5 * step}};  // 6 m outside
    for (auto [x, y] : at) {
        int zero = 0;
        for (int j = 0; j < n; ++j) zero += gwr::distsq(p[j].first, p[j].second, x, y, sph) == 0.0;
        EXPECT_GE(zero, 40);  // the rule does apply
        for (double bw : {1e-9, 1e-4, 0.004, 0.0095, 0.012, 0.03}) {
            SCOPED_TRACE(testing::Message() << "bw=" << bw << " at " << x << "," << y);
            shape(s, 3);
            c.check(x, y, bw);
            EXPECT_GE(std::count(c.fast.wt.begin(), c.fast.wt.end(), 1.0), zero);
        }
        shape(s, 2);
        for (int N : {1, 5, zero, std::min(zero + 1, n), std::min(2 * zero, n), n - 1}) {
            s.fit5.nnear = N;
            c.check(x, y, 0.0);
            EXPECT_TRUE(same_bits(c.fast.wt, reference_bisquare(s, x, y, N)));
        }
    }
    // Short reaches (the margin widens them by 20 m) leave most of the
    // patch out at the location outside it; the adaptive kernel always
    // searches.
    EXPECT_GE(c.served, 2 + 4 * 6);
}

TEST(SphereIndex, AntipodalPointsAreHalfTheCircumferenceApart) {
    // Rounding can put the cosine of the angle just below -1 for antipodal
    // points, where acos gives not-a-number; the distance is half the
    // circumference, and kernel weights stay numbers.
    const double half = 6371.1 * pi;
    points p;
    for (int i = 1; i < 400; ++i) {
        const double y = i * 0.000777, x = i * 0.0013 - 1.0;
        const double d = gwr::distsq(x, y, x + pi, -y, sph);
        ASSERT_TRUE(std::isfinite(d)) << x << " " << y;
        EXPECT_NEAR(std::sqrt(d), half, 1e-3);
        p.emplace_back(x + pi, -y);
    }
    harness h;
    auto& s = *h.s;
    load(s, p);
    s.fit5.nnear = 399;
    for (int i = 1; i < 400; i += 37) {
        const double y = i * 0.000777, x = i * 0.0013 - 1.0;
        for (int shape : {1, 2}) {
            ::shape(s, shape);
            gwr::genwgt_at(s, s.ws, x, y, 5000.0);
            for (double w : s.ws.wt) ASSERT_TRUE(std::isfinite(w)) << shape;
        }
    }
}

TEST(SphereIndex, IndexOnlyWhereItCanServeAndHeldOnlyForTheLoop) {
    std::mt19937_64 rng(5);
    harness h;
    auto& s = *h.s;
    load(s, regional(rng, 300));
    const int n = s.run().n;
    shape(s, 2);
    EXPECT_TRUE(gwr::build_sphgrid(s, 1));
    EXPECT_FALSE(gwr::build_sphgrid(s, n + 1));  // too few observations to pay
    spherical(s, false);
    EXPECT_FALSE(gwr::build_sphgrid(s, 1));  // planar coordinates have their own grid
    spherical(s, true);
    EXPECT_FALSE(gwr::build_nbgrid(s, 1));
    shape(s, 1);
    EXPECT_TRUE(gwr::build_sphgrid(s, 1));
    s.fit6.obswt[3] = 0.0;
    EXPECT_FALSE(gwr::build_sphgrid(s, 1));
    s.fit6.obswt[3] = 1.0;
    shape(s, 2);
    const double keep = s.struc2.yobs[9];
    s.struc2.yobs[9] = NAN;
    EXPECT_FALSE(gwr::build_sphgrid(s, 1));
    s.struc2.yobs[9] = keep;
    s.struc2.xobs[9] += 1e7;  // a longitude whose differences are not exact enough
    EXPECT_FALSE(gwr::build_sphgrid(s, 1));
    s.struc2.xobs[9] -= 1e7;
    {
        s.nbmin = 1;
        gwr::nbscope nb(s);
        EXPECT_TRUE(s.sphix);
        EXPECT_FALSE(s.nbix);
    }
    EXPECT_FALSE(s.sphix);
    // The same place under different longitudes at a pole: no extent.
    for (int j = 0; j < n; ++j) s.struc2.xobs[j] = j * 0.01, s.struc2.yobs[j] = pi / 2;
    EXPECT_FALSE(gwr::build_sphgrid(s, 1));

    // Memory stays linear in the number of observations for points over
    // the whole globe, where most of the box around them is empty.
    std::uniform_real_distribution<double> u(0.0, 1.0);
    points globe;
    for (int i = 0; i < 20000; ++i) globe.emplace_back((360 * u(rng) - 180) * deg, std::asin(2 * u(rng) - 1));
    load(s, globe);
    auto g = gwr::build_sphgrid(s, 1);
    ASSERT_TRUE(g);
    EXPECT_LE(g->start.size(), 8u * 20000 + 65);
    EXPECT_GE(g->per_cell, 1.0);
    EXPECT_LE(g->per_cell, 8.0);
}

// Whole runs through the driver, in process, with and without the index.
struct run_out {
    std::string listing, result;
    int status = -1;
};

run_out run_once(const std::string& control, const std::string& result_path, int nbmin) {
    harness h(control);
    h.s->nbmin = nbmin;
    run_out r;
    r.status = gwr::run(*h.s);
    r.listing = mask_times(h.listing());
    r.result = read_file(result_path);
    std::remove(result_path.c_str());
    return r;
}

// Longitude, latitude in degrees across the 180-degree meridian and up to
// the pole, a smooth response and two predictors, some points repeated.
std::string sphere_data(int n, unsigned seed) {
    std::mt19937_64 g(seed);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    std::ostringstream d;
    d.precision(10);
    d << "ID,LON,LAT,DEP,X1,X2,CNT,BIN\n";
    double lon = 0, lat = 0;
    for (int i = 1; i <= n; ++i) {
        if (i % 9 != 0) {
            lon = 160 + 40 * u(g);
            if (lon > 180) lon -= 360;
            lat = i % 5 == 0 ? 80 + 10 * u(g) : 50 + 30 * u(g);
        }
        const double a = u(g) * 2 - 1, b = u(g) * 2 - 1;
        const double dep = 3 + (lat - 60) / 20 * a + std::sin(lon * deg) * b + 0.2 * u(g);
        const int cnt = static_cast<int>(std::exp(0.5 + 0.4 * a + 0.3 * b * (lat - 60) / 20) * 2 * u(g));
        const int bin = u(g) < 1 / (1 + std::exp(-(0.8 * a - b * (lat - 60) / 20))) ? 1 : 0;
        d << i << ',' << lon << ',' << lat << ',' << dep << ',' << a << ',' << b << ',' << cnt << ','
          << bin << '\n';
    }
    return d.str();
}

std::string sphere_control(const tempdir& t, const std::string& locs, int dep,
                           const std::string& flags, const std::string& kernel,
                           const std::string& bw, int test, int diag, int method,
                           const std::string& data = "sph.csv") {
    std::ostringstream c;
    c << t.file(data) << '\n'
      << locs << '\n'
      << t.file("out.csv") << '\n'
      << dep << "\n2,3,0\nSpherical synthetic\n"
      << flags << '\n'
      << kernel << '\n'
      << bw << "\n0\n1\n1\n"
      << test << '\n'
      << diag << '\n'
      << method << "\n2\n";
    return c.str();
}

TEST(SphereIndex, WholeRunsGiveTheSameListingAndResultsWithAndWithoutTheIndex) {
    tempdir t;
    t.write("sph.csv", sphere_data(500, 3));
    t.write("small.csv", sphere_data(150, 4));
    const std::string locs = t.write("locs.xy", "1 179.5 60\n2 -179.9 61.5\n3 0 90\n4 10 -20\n5 170 55.25\n");
    const std::string res = t.file("out.csv");
    struct model {
        const char* what;
        std::string control;
    };
    const std::string g = "FFFFTTFF", d = "FFFTTTFF";
    std::vector<model> models{
        {"Gaussian, adaptive", sphere_control(t, "", 4, g, "vnn", "45", 0, 1, 2)},
        {"Gaussian, adaptive AICc", sphere_control(t, "", 4, g, "vaa", "0", 0, 0, 2)},
        {"Gaussian, fixed", sphere_control(t, "", 4, g, "fnn", "150", 0, 1, 2)},
        {"Gaussian, fixed cross-validation", sphere_control(t, "", 4, g, "fca", "0", 0, 0, 2)},
        {"Gaussian, cylinder", sphere_control(t, "", 4, g, "cnn", "400", 0, 1, 2)},
        {"Gaussian, locations elsewhere", sphere_control(t, locs, 4, g, "vnn", "60", 0, 0, 2)},
        {"descriptive, adaptive", sphere_control(t, "", 0, d, "v", "30", 0, 0, 1)},
        {"descriptive, fixed", sphere_control(t, "", 0, d, "f", "200", 0, 0, 1)},
        {"descriptive, locations elsewhere", sphere_control(t, locs, 0, d, "v", "25", 0, 0, 1)},
        {"Gaussian, Monte Carlo test", sphere_control(t, "", 4, g, "vnn", "30", 1, 0, 2, "small.csv")},
        {"Poisson, adaptive", sphere_control(t, "", 7, g, "vnn", "80", 0, 1, 4)},
        {"logistic, cylinder", sphere_control(t, "", 8, g, "cnn", "900", 0, 1, 3)},
    };
    for (const auto& m : models) {
        SCOPED_TRACE(m.what);
        run_out with = run_once(m.control, res, 1);
        run_out without = run_once(m.control, res, 1 << 30);
        EXPECT_EQ(with.status, 0);
        EXPECT_EQ(with.status, without.status);
        EXPECT_NE(with.listing.find("Spherical coordinates: Great Circle Distance"), std::string::npos);
        EXPECT_NE(with.listing.find("Program terminates normally"), std::string::npos)
            << with.listing.substr(with.listing.size() > 800 ? with.listing.size() - 800 : 0);
        EXPECT_EQ(with.listing, without.listing);
        EXPECT_FALSE(with.result.empty());
        EXPECT_EQ(with.result, without.result);
    }
}

}  // namespace
