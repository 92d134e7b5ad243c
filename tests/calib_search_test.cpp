// Golden-section search, search limits, calibration sample and the set-up
// listing of the bandwidth calibration.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "control/stop.h"
#include "format/format.h"
#include "gaussian/calib.h"
#include "support/testing.h"

namespace {

using testing_support::harness;
using testing_support::lines;

// Abscissae seen by the recording criteria below.
std::vector<double> calls;

double quadratic(gwr::state&, double x) {
    calls.push_back(x);
    return (x - 3.0) * (x - 3.0) + 1.0;
}

double vee(gwr::state&, double x) {
    calls.push_back(x);
    return std::fabs(x - 71.5);
}

// Steep on the left, flat on the right, like a criterion against bandwidth.
double skewed(gwr::state&, double x) {
    calls.push_back(x);
    return 40.0 / x + x / 10.0;  // minimum at 20
}

double flat(gwr::state&, double x) {
    calls.push_back(x);
    return 5.0;
}

int count_rows(const std::string& listing) {
    int rows = 0;
    for (const auto& l : lines(listing))
        if (l.size() == 50 && l.find('*') == std::string::npos) ++rows;
    return rows;
}

// Observation coordinates spanning [0, xspan] x [0, yspan] with n points.
void coords(gwr::state& s, int n, double xspan, double yspan) {
    s.set_observation_count(n);
    s.size_obs(n);
    for (int i = 0; i < n; ++i) {
        s.struc2.xobs[i] = xspan * ((i * 37) % n) / (n - 1);
        s.struc2.yobs[i] = yspan * ((i * 11) % n) / (n - 1);
    }
    s.struc2.xobs[0] = 0.0;
    s.struc2.xobs[1] = xspan;
    s.struc2.yobs[2] = 0.0;
    s.struc2.yobs[3] = yspan;
}

void kernel(gwr::state& s, char k) {
    testing_support::describe(s, [k](gwr::run_description& r) { testing_support::set_kernel(r, k); });
}

void method(gwr::state& s, gwr::analysis m) {
    testing_support::describe(s, [m](gwr::run_description& r) { r.method = m; });
}

void calibration(gwr::state& s, int icalib) {
    testing_support::describe(s, [icalib](gwr::run_description& r) { testing_support::set_calibration(r, icalib); });
}

}  // namespace

// The search ends within the relative tolerance of the minimiser.
TEST(CalibGolden, FindsMinimumWithinTolerance) {
    struct scenario {
        gwr::criterion_fn f;
        double lo, hi, xmin;
    } cases[] = {{quadratic, 0.0, 10.0, 3.0},
                 {vee, 10.0, 100.0, 71.5},
                 {skewed, 5.0, 100.0, 20.0},
                 {quadratic, 2.9, 60.0, 3.0}};
    for (const auto& c : cases) {
        harness h;
        calls.clear();
        double x = gwr::golden(*h.s, c.lo, (c.lo + c.hi) * 0.5, c.hi, 0.05, c.f);
        EXPECT_NEAR(x, c.xmin, 0.1 * c.xmin) << c.lo << ".." << c.hi;
        // The convergence line counts every evaluation.
        char expect[64];
        std::snprintf(expect, sizeof expect, "** Convergence after %5d function calls",
                      static_cast<int>(calls.size()));
        EXPECT_NE(h.listing().find(expect), std::string::npos) << h.listing();
        // On a unimodal function the result is the best point evaluated.
        std::vector<double> seen = calls;
        gwr::state& s = *h.s;
        double fx = c.f(s, x);
        bool found = false;
        for (double p : seen) {
            found = found || p == x;
            EXPECT_LE(fx, c.f(s, p));
        }
        EXPECT_TRUE(found);
    }
}

// With the midpoint as middle abscissa the first two evaluations are the
// golden point left of the middle and the middle itself; equal values move
// the right end of the bracket, and a tie at the end returns the right point.
TEST(CalibGolden, StartPointsAndTies) {
    harness h;
    calls.clear();
    double x = gwr::golden(*h.s, 10.0, 55.0, 100.0, 0.05, flat);
    ASSERT_GE(calls.size(), 4u);
    EXPECT_NEAR(calls[0], 55.0 - 0.38196601 * 45.0, 1e-12);
    EXPECT_EQ(calls[1], 55.0);
    for (std::size_t i = 2; i < calls.size(); ++i) EXPECT_LT(calls[i], calls[i - 1]);
    EXPECT_EQ(x, calls[calls.size() - 2]);
    EXPECT_GT(x, calls.back());

    // A middle point closer to the left end puts the second point right of it.
    harness h2;
    calls.clear();
    gwr::golden(*h2.s, 0.0, 2.0, 10.0, 0.05, quadratic);
    EXPECT_EQ(calls[0], 2.0);
    EXPECT_NEAR(calls[1], 2.0 + 0.38196601 * 8.0, 1e-12);
}

// The first two history rows are always written; the rest only on request.
TEST(CalibGolden, HistoryRows) {
    for (int ihist : {0, 1}) {
        harness h;
        testing_support::describe(*h.s, [&](gwr::run_description& r) { r.history = ihist == 1; });
        calls.clear();
        gwr::golden(*h.s, 5.0, 52.5, 100.0, 0.05, skewed);
        int expected = ihist == 1 ? static_cast<int>(calls.size()) : 2;
        EXPECT_EQ(count_rows(h.listing()), expected) << h.listing();
    }
    harness h;
    calls.clear();
    gwr::golden(*h.s, 0.0, 5.0, 10.0, 0.05, quadratic);
    auto l = lines(h.listing());
    ASSERT_GE(l.size(), 2u);
    char row[64];
    std::snprintf(row, sizeof row, "%25.12f%25.12f", calls[0],
                  (calls[0] - 3.0) * (calls[0] - 3.0) + 1.0);
    EXPECT_EQ(l[0], row);
}

// Limits: adaptive from the observation count, fixed from the smaller
// coordinate extent, by method.
TEST(CalibLimits, ByKernelAndMethod) {
    struct scenario {
        char kernel;
        int method, n;
        double xspan, yspan, lo, hi;
    } cases[] = {
        {'v', 2, 100, 1.0, 1.0, 10, 100},   {'v', 2, 1000, 1.0, 1.0, 50, 1000},
        {'v', 4, 100, 1.0, 1.0, 30, 100},   {'v', 3, 1000, 1.0, 1.0, 250, 1000},
        {'v', 2, 7, 1.0, 1.0, 10, 7},       {'v', 2, 219, 1.0, 1.0, 10, 219},
        {'f', 2, 50, 1000, 400, 20, 400},   {'f', 3, 50, 1000, 400, 100, 400},
        {'f', 4, 50, 1000, 400, 20, 400},   {'c', 2, 50, 300, 900, 15, 300},
    };
    for (const auto& c : cases) {
        harness h;
        gwr::state& s = *h.s;
        coords(s, c.n, c.xspan, c.yspan);
        kernel(s, c.kernel);
        method(s, gwr::method_of(c.method));
        double lo = 0.0, hi = 0.0;
        gwr::searchlimits(s, lo, hi);
        EXPECT_DOUBLE_EQ(lo, c.lo) << c.kernel << c.method << " n=" << c.n;
        EXPECT_DOUBLE_EQ(hi, c.hi) << c.kernel << c.method << " n=" << c.n;
    }
}

// Spherical coordinates are held in radians but the kernel measures
// kilometres: fixed-kernel limits are in kilometres; adaptive ones unchanged.
TEST(CalibLimits, SphericalFixedLimitsInKilometres) {
    const double rad = 0.017453292519943295;
    harness h;
    gwr::state& s = *h.s;
    coords(s, 40, 10.0 * rad, 4.0 * rad);
    testing_support::describe(s, [](gwr::run_description& r) { r.coords = gwr::coordinates::spherical; });
    kernel(s, 'f');
    method(s, gwr::analysis::gaussian);
    double lo = 0.0, hi = 0.0;
    gwr::searchlimits(s, lo, hi);
    // 4 degrees of latitude along a meridian is 4 * pi/180 * 6371.1 km.
    EXPECT_NEAR(hi, 4.0 * rad * 6371.1, 1e-9);
    EXPECT_NEAR(lo, hi / 20.0, 1e-12);
    kernel(s, 'v');
    gwr::searchlimits(s, lo, hi);
    EXPECT_EQ(lo, 10.0);
    EXPECT_EQ(hi, 40.0);
}

// Sampling: each draw is compared with the percentage as a fraction; codes
// that use all points draw nothing.
TEST(CalibSample, SelectsByPercentage) {
    const int n = 2000;
    for (double pct : {50.0, 10.0, 100.0, 0.0}) {
        harness h;
        gwr::state& s = *h.s;
        coords(s, n, 1.0, 1.0);
        calibration(s, 5);
        s.sampl.smppct = pct;
        int count = gwr::selsmp(s);

        gwr::rng replay;
        int expect = 0;
        for (int i = 0; i < n; ++i) {
            double r = static_cast<float>(replay.rand()) / 32767.0f;
            int flag = r <= pct / 100.0;
            expect += flag;
            ASSERT_EQ(s.sampl.insamp[i], flag) << pct << " obs " << i;
        }
        EXPECT_EQ(count, expect);
        if (pct == 100.0) {
            EXPECT_EQ(count, n);
        }
        EXPECT_NEAR(count, n * pct / 100.0, 0.05 * n) << pct;
        // One line per observation: the draw, the fraction and the flag.
        auto l = lines(h.listing());
        ASSERT_EQ(static_cast<int>(l.size()), n);
        gwr::rng first;
        double r0 = static_cast<float>(first.rand()) / 32767.0f;
        EXPECT_EQ(l[0], "  " + ftn::ldreal(r0) + " " + ftn::ldreal(pct / 100.0) + " " +
                            std::to_string(s.sampl.insamp[0]));
    }
    harness h;
    gwr::state& s = *h.s;
    coords(s, 50, 1.0, 1.0);
    calibration(s, 3);
    s.sampl.insamp.assign(50, 0);
    EXPECT_EQ(gwr::selsmp(s), 50);
    for (int f : s.sampl.insamp) EXPECT_EQ(f, 1);
    EXPECT_EQ(s.rand.rand(), gwr::rng().rand());
    EXPECT_EQ(h.listing(), "");
}

// The set-up listing for a sampled search: fraction and expected count,
// the number of calibration points and the limits.
TEST(CalibSetup, SampledListing) {
    harness h;
    gwr::state& s = *h.s;
    coords(s, 2005, 1000.0, 400.0);
    kernel(s, 'v');
    method(s, gwr::analysis::descriptive);  // no criterion for this method: set-up only
    calibration(s, 4);
    s.sampl.smppct = 10.0;
    gwr::calib(s);
    auto l = lines(h.listing());
    ASSERT_GE(l.size(), 5u);
    EXPECT_EQ(l[0], "*Finding bandwidth... ");
    EXPECT_EQ(l[1], "  ... using a sample of regression points");
    EXPECT_EQ(l[2], "Sampling will be used: fraction is:   0.100 (    201 cases)");
    int kept = 0;
    for (int f : s.sampl.insamp) kept += f;
    EXPECT_EQ(l[3 + 2005], " *Calibration will be based on  " + std::to_string(kept) + " cases");
    EXPECT_EQ(l[4 + 2005], "*Adaptive kernel sample size limits:     100   2005");
}

TEST(CalibSetup, AllPointsListing) {
    harness h;
    gwr::state& s = *h.s;
    coords(s, 60, 1000.0, 400.0);
    kernel(s, 'f');
    method(s, gwr::analysis::descriptive);
    calibration(s, 3);
    gwr::calib(s);
    auto l = lines(h.listing());
    ASSERT_EQ(l.size(), 5u);
    EXPECT_EQ(l[1], "  ... using all regression points");
    EXPECT_EQ(l[2], " This can take some time...");
    EXPECT_EQ(l[3], " *Calibration will be based on  60 cases");
    EXPECT_EQ(l[4], " *Fixed kernel bandwidth search limits:   20.  400.");
}

// Calibration choices that have no criterion stop before any local fit.
TEST(CalibSetup, StopsWithoutCriterion) {
    for (int code : {6, 7, 0}) {
        harness h;
        gwr::state& s = *h.s;
        coords(s, 30, 10.0, 10.0);
        kernel(s, 'v');
        method(s, gwr::analysis::gaussian);
        calibration(s, code);
        s.fit5.nnear = 0;
        EXPECT_THROW(gwr::calib(s), gwr::stop) << code;
        auto l = lines(h.listing());
        ASSERT_EQ(l.size(), 1u);
        if (code != 0)
            EXPECT_EQ(l[0],
                      "*** BIC calibration is only available for logistic and Poisson models");
        else
            EXPECT_EQ(l[0].rfind("***", 0), 0u);
    }
}
