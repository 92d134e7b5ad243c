// The limits of the bandwidth search: the warning when the search ends
// against a limit, limits given by the user, and the data whose default
// limits or calibration sample leave nothing to search.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "control/stop.h"
#include "gaussian/calib.h"
#include "support/testing.h"

namespace {

using testing_support::lcg;

// side x side jittered grid; y = a surface of the given wavelength (none
// when 0) plus slopes on two predictors, which drift across the grid when
// there is a surface, and noise.
struct dataset {
    int n = 0;
    std::vector<double> u, v, x1, x2, y;
};

dataset surface(int side, double wavelength, std::uint64_t seed) {
    dataset d;
    lcg g(seed);
    for (int a = 0; a < side; ++a)
        for (int b = 0; b < side; ++b) {
            const double u = a + 0.5 * g.uniform(), v = b + 0.5 * g.uniform();
            const double x1 = g.uniform(), x2 = g.uniform();
            const double wave = wavelength > 0.0 ? 3.0 * std::sin(u * 6.283 / wavelength) *
                                                       std::cos(v * 6.283 / wavelength)
                                                 : 0.0;
            d.u.push_back(u);
            d.v.push_back(v);
            d.x1.push_back(x1);
            d.x2.push_back(x2);
            const double drift = wavelength > 0.0 ? 0.6 : 0.0;
            d.y.push_back(wave + (1.0 + drift * u) * x1 - (0.5 - drift * v) * x2 + 0.5 * (g.uniform() - 0.5));
        }
    d.n = static_cast<int>(d.y.size());
    return d;
}

// A state ready for calib: Gaussian method, AICc on all points, kernel
// 'f' (fixed Gaussian) or 'v' (adaptive bi-square).
void load(gwr::state& s, const dataset& d, char kernel, int icalib = 3) {
    const int n = d.n, K = 3;
    s.set_observation_count(n);
    s.set_parameter_count(K);
    testing_support::describe(s, [&](gwr::run_description& r) {
        r.method = gwr::analysis::gaussian;
        testing_support::set_calibration(r, icalib);
        testing_support::set_kernel(r, kernel == 'v' ? 'v' : 'f');
    });
    s.size_obs(n);
    s.struc1.xmat.resize(n, K);
    for (int i = 0; i < n; ++i) {
        s.struc2.xobs[i] = d.u[i];
        s.struc2.yobs[i] = d.v[i];
        s.struc2.ydep[i] = d.y[i];
        s.struc1.xmat(i, 0) = 1.0;
        s.struc1.xmat(i, 1) = d.x1[i];
        s.struc1.xmat(i, 2) = d.x2[i];
    }
    s.fit1.xfit = s.struc2.xobs;
    s.fit1.yfit = s.struc2.yobs;
    s.fit3.nloc = n;
    s.output.samepts = 1;
    s.size_loc(n, K);
    s.ws.size(n, K);
}

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

const char* const lower_warning =
    "** Convergence: Local Sample Size= %6d\n"
    "** Warning: the criterion fell toward the lower search limit: the best\n"
    "**   local sample size may lie below it (a limits record moves the limits)\n";

}  // namespace

// A surface that varies over a few points: the AICc keeps falling toward
// the default lower limit n/20 of the adaptive kernel, where the search
// stops with the warning, although smaller sizes are better.  Limits given
// by the user around the minimum find it, without the warning.
TEST(CalibLimits, SearchEndingAtALimitWarnsAndUserLimitsMoveIt) {
    const dataset d = surface(25, 10.0, 3);
    testing_support::harness h;
    gwr::state& s = *h.s;
    load(s, d, 'v');
    gwr::calib(s);
    const int lo = d.n / 20;
    EXPECT_TRUE(has(h.listing(), "*Adaptive kernel sample size limits:      31    625\n"));
    const int chosen = s.fit5.nnear;
    char text[300];
    std::snprintf(text, sizeof text, lower_warning, chosen);
    EXPECT_TRUE(has(h.listing(), text)) << h.listing();
    // The premise: the best size does lie below the limit.
    const double at_chosen = gwr::akeval(s, chosen);
    double below = at_chosen;
    int best = chosen;
    for (int N = 8; N < lo; ++N) {
        const double v = gwr::akeval(s, N);
        if (v < below) {
            below = v;
            best = N;
        }
    }
    ASSERT_LT(best, lo);
    ASSERT_LT(below, at_chosen);

    // User limits around that size: an interior minimum and no warning.
    testing_support::harness u;
    load(*u.s, d, 'v');
    testing_support::describe(*u.s, [](gwr::run_description& r) {
        r.keys.limits = true;
        r.keys.limlo = 8;
        r.keys.limhi = 60;
    });
    gwr::calib(*u.s);
    EXPECT_TRUE(has(u.listing(), "*Adaptive kernel sample size limits:       8     60\n")) << u.listing();
    EXPECT_FALSE(has(u.listing(), "Warning")) << u.listing();
    EXPECT_NEAR(u.s->fit5.nnear, best, 2);

    // No spatial variation: the fixed kernel's criterion falls toward the
    // widest bandwidth, the upper limit (the smaller extent).
    const dataset flat = surface(12, 0.0, 8);
    testing_support::harness f;
    load(*f.s, flat, 'f');
    gwr::calib(*f.s);
    EXPECT_TRUE(has(f.listing(),
                    "** Warning: the criterion fell toward the upper search limit: the best\n"
                    "**   bandwidth may lie above it (a limits record moves the limits)\n"))
        << f.listing();
    EXPECT_GT(f.s->parms.bandw, 0.9 * 11.5);
}

// Points on a line search over their one extent; points at one place, an
// empty calibration sample and limits that no search can use stop with a
// message.
TEST(CalibLimits, DataAndLimitsThatLeaveNothingToSearch) {
    dataset line = surface(6, 0.0, 4);
    for (double& v : line.v) v = 7.0;
    double ext = 0.0;
    {
        testing_support::harness h;
        load(*h.s, line, 'f');
        double lo = 0.0, hi = 0.0;
        gwr::searchlimits(*h.s, lo, hi);
        double umin = 1e9, umax = -1e9;
        for (double u : line.u) {
            umin = std::min(umin, u);
            umax = std::max(umax, u);
        }
        ext = umax - umin;
        EXPECT_EQ(hi, ext);
        EXPECT_EQ(lo, ext / 20.0);
        gwr::calib(*h.s);
        EXPECT_GT(h.s->parms.bandw, lo);
        EXPECT_LT(h.s->parms.bandw, hi);
    }

    struct refusal {
        const char* what;
        char kernel;
        int icalib;
        bool limits;
        double limlo, limhi;
        std::vector<std::string> lines;  // the last lines of the listing
    };
    const std::vector<refusal> cases = {
        {"one place", 'f', 3, false, 0, 0,
         {"*** All observations are at one place (their x and y extents are 0):",
          "*** no bandwidth to search for... halting"}},
        {"empty sample", 'v', 5, false, 0, 0,
         {" *Calibration will be based on  0 cases",
          "*** The calibration sample holds no observation: use a larger",
          "*** sampling percentage or all observations... halting"}},
        {"reversed limits", 'f', 3, true, 5.0, 2.0,
         {" *** Bandwidth search limits  5.  2.", " *** must satisfy 0 < LO < HI: halting"}},
        {"size above n", 'v', 3, true, 10.0, 37.0,
         {" *** Sample size search limits  10.  37.",
          " *** must satisfy 1 <= LO < HI <= 36 (the number of observations): halting"}},
        {"size below 1", 'v', 3, true, 0.4, 20.0,
         {" *** Sample size search limits  0.4  20.",
          " *** must satisfy 1 <= LO < HI <= 36 (the number of observations): halting"}},
    };
    for (const refusal& c : cases) {
        SCOPED_TRACE(c.what);
        dataset d = surface(6, 0.0, 4);
        if (std::string(c.what) == "one place") {
            for (double& u : d.u) u = 3.0;
            for (double& v : d.v) v = 7.0;
        }
        testing_support::harness h;
        gwr::state& s = *h.s;
        load(s, d, c.kernel, c.icalib);
        s.sampl.smppct = 0.0;
        testing_support::describe(s, [&](gwr::run_description& r) {
            r.keys.limits = c.limits;
            r.keys.limlo = c.limlo;
            r.keys.limhi = c.limhi;
        });
        EXPECT_THROW(gwr::calib(s), gwr::stop);
        const auto lines = testing_support::lines(h.listing());
        ASSERT_GE(lines.size(), c.lines.size());
        for (std::size_t k = 0; k < c.lines.size(); ++k)
            EXPECT_EQ(lines[lines.size() - c.lines.size() + k], c.lines[k]);
    }
}
