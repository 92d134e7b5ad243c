// Neighbour search for the kernels with a cut-off: the grid must give the
// weights of a plain scan over every observation bit for bit (ties at the
// N-th distance included), list exactly the observations with a non-zero
// weight in ascending order, and whole fitting loops must give the same
// numbers with the index as without it, on any number of threads.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "gaussian/calib.h"
#include "gaussian/gaussian.h"
#include "gaussian/neighbours.h"
#include "sigtest/sigtest.h"
#include "support/testing.h"

namespace {

using testing_support::harness;

// Bitwise equality of two vectors of doubles (distinguishes -0 and 0).
bool same_bits(const std::vector<double>& a, const std::vector<double>& b) {
    return a.size() == b.size() &&
           (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0);
}

// Observations: integer grid points, every one twice (so many distances
// tie), plus scattered points; K = 3 design with a smooth response.  The fit
// locations are the observations.
void setup(gwr::state& s, int side, int scattered, unsigned seed) {
    std::mt19937_64 g(seed);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    std::vector<double> x, y;
    for (int rep = 0; rep < 2; ++rep)
        for (int a = 0; a < side; ++a)
            for (int b = 0; b < side; ++b) {
                x.push_back(a);
                y.push_back(b * 0.5);
            }
    for (int i = 0; i < scattered; ++i) {
        x.push_back(side * u(g));
        y.push_back(0.5 * side * u(g));
    }
    const int n = static_cast<int>(x.size());
    const int K = 3;
    s.set_observation_count(n);
    s.set_parameter_count(K);
    s.size_obs(n);
    s.struc2.xobs = x;
    s.struc2.yobs = y;
    s.struc1.xmat.resize(n, K);
    for (int i = 0; i < n; ++i) {
        const double a = u(g) * 2 - 1, b = u(g) * 2 - 1;
        s.struc1.xmat(i, 0) = 1.0;
        s.struc1.xmat(i, 1) = a;
        s.struc1.xmat(i, 2) = b;
        s.struc2.ydep[i] = 1.0 + x[i] / side * a - y[i] / side * b + 0.1 * u(g);
    }
    s.fit1.xfit = x;
    s.fit1.yfit = y;
    s.fit2.fitid.resize(n);
    for (int i = 0; i < n; ++i) s.fit2.fitid[i] = i + 1;
    s.fit3.nloc = n;
    s.option.nfit = n;
    s.output.samepts = 1;
    s.hat1.pi = 3.141592653589793;
    s.size_loc(n, K);
    s.ws.size(n, K);
}

// Weights of an adaptive bi-square of size N at (x, y), formed independently:
// all squared distances sorted, D the N-th, (1 - d/D)^2 below D.
std::vector<double> reference_bisquare(const gwr::state& s, double x, double y, int N) {
    const int n = s.run().n;
    std::vector<double> d(n), sorted;
    for (int j = 0; j < n; ++j) {
        const double dx = s.struc2.xobs[j] - x, dy = s.struc2.yobs[j] - y;
        d[j] = dx * dx + dy * dy;
    }
    sorted = d;
    std::sort(sorted.begin(), sorted.end());
    std::vector<double> w(n, 0.0);
    if (N < 1) return w;
    const double D = sorted[N - 1];
    for (int j = 0; j < n; ++j)
        if (d[j] < D) w[j] = (1 - d[j] / D) * (1 - d[j] / D);
    return w;
}

// The neighbour list must be exactly the non-zero weights, ascending.
void expect_list_matches(const gwr::work& w, int n) {
    ASSERT_GE(w.nnbr, 0);
    std::vector<int> nz;
    for (int j = 0; j < n; ++j)
        if (w.wt[j] != 0.0) nz.push_back(j);
    EXPECT_EQ(std::vector<int>(w.nbr.begin(), w.nbr.begin() + w.nnbr), nz);
}

TEST(ParallelNeighbours, AdaptiveGridWeightsEqualTheFullScanWithTiesAtTheNthDistance) {
    harness h;
    auto& s = *h.s;
    setup(s, 30, 300, 3);
    const int n = s.run().n;
    testing_support::set_kernel(s, 'v');
    auto grid = gwr::build_nbgrid(s, 1);
    ASSERT_TRUE(grid);
    gwr::work full, fast;
    full.size(n, 3);
    fast.size(n, 3);
    // Locations: observations (on the integer grid, so ties abound), points
    // between them, and points outside the observations' extent.
    std::vector<std::pair<double, double>> at{{0, 0},     {29, 14.5}, {12, 7},   {12.5, 7.25},
                                              {-5, 3},    {40, 20},   {15, -30}, {7.3, 2.2},
                                              {29.9, 0.1}};
    for (int i = 0; i < n; i += 97) at.emplace_back(s.struc2.xobs[i], s.struc2.yobs[i]);
    for (int N : {1, 2, 3, 5, 8, 9, 17, 50, 333, n - 1, n}) {
        s.fit5.nnear = N;
        for (auto [x, y] : at) {
            SCOPED_TRACE(testing::Message() << "N=" << N << " at " << x << "," << y);
            gwr::genwgt_at(s, full, x, y, 0.0);
            gwr::genwgt_grid(s, *grid, fast, x, y, 0.0);
            EXPECT_TRUE(same_bits(full.wt, fast.wt));
            EXPECT_TRUE(same_bits(full.wt, reference_bisquare(s, x, y, N)));
            expect_list_matches(fast, n);
            // At most N - 1 observations carry weight.
            EXPECT_LE(fast.nnbr, N - 1);
        }
    }
}

TEST(ParallelNeighbours, CylinderGridWeightsEqualTheFullScanOnTheBoundaryToo) {
    harness h;
    auto& s = *h.s;
    setup(s, 25, 200, 5);
    const int n = s.run().n;
    testing_support::set_kernel(s, 'c');
    auto grid = gwr::build_nbgrid(s, 1);
    ASSERT_TRUE(grid);
    gwr::work full, fast;
    full.size(n, 3);
    fast.size(n, 3);
    for (double h : {0.0, 0.5, 1.0, 2.0, 2.5, 3.0, 7.77, 100.0}) {
        for (auto [x, y] : std::vector<std::pair<double, double>>{
                 {0, 0}, {10, 5}, {10.5, 5.25}, {-2, -2}, {30, 13}, {24, 12}, {NAN, 5}}) {
            SCOPED_TRACE(testing::Message() << "h=" << h << " at " << x << "," << y);
            gwr::genwgt_at(s, full, x, y, h);
            gwr::genwgt_grid(s, *grid, fast, x, y, h);
            EXPECT_TRUE(same_bits(full.wt, fast.wt));
            expect_list_matches(fast, n);
            // Observations at exactly the bandwidth are inside.
            for (int j = 0; j < n; ++j) {
                const double dx = s.struc2.xobs[j] - x, dy = s.struc2.yobs[j] - y;
                EXPECT_EQ(fast.wt[j], dx * dx + dy * dy <= h * h ? 1.0 : 0.0);
            }
        }
    }
}

TEST(ParallelNeighbours, GaussianGridPassesOverExactlyTheWeightsThatUnderflow) {
    harness h;
    auto& s = *h.s;
    setup(s, 30, 200, 8);
    const int n = s.run().n;
    testing_support::set_kernel(s, 'f');
    for (int j = 0; j < n; ++j) s.fit6.obswt[j] = 0.5 + (j % 7) * 0.25;
    auto grid = gwr::build_nbgrid(s, 1);
    ASSERT_TRUE(grid);
    gwr::work full, fast;
    full.size(n, 3);
    fast.size(n, 3);
    for (double bw : {0.0, 0.15, 0.3, 0.5, 1.0, 4.0, 1e200}) {
        int underflows = 0;
        for (auto [x, y] : std::vector<std::pair<double, double>>{
                 {0, 0}, {15, 7}, {15.5, 7.25}, {-3, 20}, {29, 14.5}, {NAN, 1}}) {
            SCOPED_TRACE(testing::Message() << "bw=" << bw << " at " << x << "," << y);
            gwr::genwgt_at(s, full, x, y, bw);
            gwr::genwgt_grid(s, *grid, fast, x, y, bw);
            EXPECT_TRUE(same_bits(full.wt, fast.wt));
            expect_list_matches(fast, n);
            underflows += n - fast.nnbr;
        }
        // Small bandwidths leave most observations at an exact 0.
        if (bw > 0.0 && bw < 0.5) {
            EXPECT_GT(underflows, n);
        }
    }
}

TEST(ParallelNeighbours, GaussianWeightShortcutGivesTheBitsOfTheExponential) {
    // The scan passes over the exponential where it is exactly 0; this holds
    // only if the library's exp is 0 there, which is checked here, with the
    // product's sign and not-a-number cases.
    auto bits = [](double v) {
        std::uint64_t b;
        std::memcpy(&b, &v, sizeof b);
        return b;
    };
    for (double t = -746.0; t > -1200.0; t -= 0.37) EXPECT_EQ(bits(std::exp(t)), bits(0.0)) << t;
    const double inf = std::numeric_limits<double>::infinity();
    for (double ow : {1.0, 2.5, 1e-300, 0.0, -0.0, -3.0, inf, -inf}) {
        for (double t = -760.0; t < -700.0; t += 0.0137) {
            const double a = gwr::gauss_weight(t, ow), b = std::exp(t) * ow;
            if (std::isnan(b))
                EXPECT_TRUE(std::isnan(a)) << t << " " << ow;
            else
                EXPECT_EQ(bits(a), bits(b)) << t << " " << ow;
        }
    }
    EXPECT_TRUE(std::isnan(gwr::gauss_weight(NAN, 1.0)));
}

TEST(ParallelNeighbours, NoIndexWhereItCannotServe) {
    harness h;
    auto& s = *h.s;
    setup(s, 10, 0, 1);
    testing_support::set_kernel(s, 'v');
    EXPECT_TRUE(gwr::build_nbgrid(s, 1));
    EXPECT_FALSE(gwr::build_nbgrid(s, 1000));  // too few observations to pay
    testing_support::set_kernel(s, 'f');
    EXPECT_TRUE(gwr::build_nbgrid(s, 1));
    s.fit6.obswt[7] = 0.0;  // a zero weight times an underflow would stay 0, but
    EXPECT_FALSE(gwr::build_nbgrid(s, 1));
    s.fit6.obswt[7] = -1.0;  // a negative one would make it -0
    EXPECT_FALSE(gwr::build_nbgrid(s, 1));
    s.fit6.obswt[7] = 1.0;
    testing_support::set_kernel(s, 'v');
    testing_support::set_spherical(s, true);
    EXPECT_FALSE(gwr::build_nbgrid(s, 1));  // great-circle distances
    testing_support::set_spherical(s, false);
    // All observations at one point: no extent to divide.
    std::fill(s.struc2.xobs.begin(), s.struc2.xobs.end(), 3.0);
    std::fill(s.struc2.yobs.begin(), s.struc2.yobs.end(), 4.0);
    EXPECT_FALSE(gwr::build_nbgrid(s, 1));
}

// The outputs of a Gaussian run's fitting loops.
struct loop_results {
    std::vector<double> bvals, svals, yhat, resid, hatdg, stdres, cookd, locr2;
    double rss = 0, trs = 0, aicc = 0;
};

loop_results run_loops(gwr::state& s) {
    gwr::tzm(s);
    loop_results r{s.bvals.a, s.svals.a, s.output.yhat, s.output.resid, s.hat1.hatdg,
                   s.diags.stdres, s.diags.cookd, s.diags.locr2};
    r.rss = s.anova.rss;
    r.trs = s.hat1.trs;
    r.aicc = s.hat1.aicc;
    return r;
}

void expect_same(const loop_results& a, const loop_results& b) {
    EXPECT_TRUE(same_bits(a.bvals, b.bvals));
    EXPECT_TRUE(same_bits(a.svals, b.svals));
    EXPECT_TRUE(same_bits(a.yhat, b.yhat));
    EXPECT_TRUE(same_bits(a.resid, b.resid));
    EXPECT_TRUE(same_bits(a.hatdg, b.hatdg));
    EXPECT_TRUE(same_bits(a.stdres, b.stdres));
    EXPECT_TRUE(same_bits(a.cookd, b.cookd));
    EXPECT_TRUE(same_bits(a.locr2, b.locr2));
    EXPECT_EQ(std::memcmp(&a.rss, &b.rss, sizeof a.rss), 0);
    EXPECT_EQ(std::memcmp(&a.trs, &b.trs, sizeof a.trs), 0);
    EXPECT_EQ(std::memcmp(&a.aicc, &b.aicc, sizeof a.aicc), 0);
}

TEST(ParallelNeighbours, GaussianRunCriterionAndMonteCarloFitsEqualWithAndWithoutTheIndex) {
    for (int kernel : {1, 2, 3}) {
        SCOPED_TRACE(kernel == 1 ? "Gaussian" : kernel == 2 ? "adaptive" : "cylinder");
        harness h1, h2;
        for (gwr::state* s : {h1.s.get(), h2.s.get()}) {
            setup(*s, 16, 150, 9);
            testing_support::describe(*s, [kernel](gwr::run_description& r) {
                testing_support::set_kernel(r, "fvc"[kernel - 1]);
                testing_support::set_calibration(r, 3);
            });
            s->fit5.nnear = 40;
            s->parms.bandw = kernel == 1 ? 0.4 : 2.5;
        }
        h1.s->nbmin = 1;        // always the index
        h2.s->nbmin = 1 << 30;  // never
        expect_same(run_loops(*h1.s), run_loops(*h2.s));
        EXPECT_FALSE(h1.s->nbix);  // dropped when the loop ends

        // Calibration criterion, with and without leaving each point out.
        for (int code : {3, 2}) {
            for (gwr::state* s : {h1.s.get(), h2.s.get()})
                testing_support::describe(
                    *s, [code](gwr::run_description& r) { testing_support::set_calibration(r, code); });
            const double bw = kernel == 2 ? 33.4 : kernel == 1 ? 0.45 : 3.1;
            const double a = gwr::akeval(*h1.s, bw), b = gwr::akeval(*h2.s, bw);
            EXPECT_EQ(std::memcmp(&a, &b, sizeof a), 0) << code;
            EXPECT_TRUE(same_bits(h1.s->bvals.a, h2.s->bvals.a));
            EXPECT_TRUE(same_bits(h1.s->output.resid, h2.s->output.resid));
        }

        gwr::mcfits(*h1.s, h1.s->ws, h1.s->fit3.nloc);
        gwr::mcfits(*h2.s, h2.s->ws, h2.s->fit3.nloc);
        EXPECT_TRUE(same_bits(h1.s->bvals.a, h2.s->bvals.a));
    }
}

TEST(ParallelNeighbours, CriterionMatchesDirectLeaveOneOutFits) {
    // The cross-validation score from the index-driven criterion against
    // leave-one-out fits formed here by normal equations over every
    // observation.
    harness h;
    auto& s = *h.s;
    setup(s, 12, 60, 4);
    s.nbmin = 1;
    testing_support::describe(s, [](gwr::run_description& r) {
        testing_support::set_kernel(r, 'v');
        testing_support::set_calibration(r, 2);
    });
    const int n = s.run().n;
    const int N = 25;
    gwr::akeval(s, N);
    double rss = 0.0;
    for (int i = 0; i < n; ++i) {
        std::vector<double> w = reference_bisquare(s, s.struc2.xobs[i], s.struc2.yobs[i], N);
        w[i] = 0.0;
        double A[3][3] = {}, b[3] = {};
        for (int j = 0; j < n; ++j)
            for (int k = 0; k < 3; ++k) {
                b[k] += s.struc1.xmat(j, k) * s.struc2.ydep[j] * w[j];
                for (int m = 0; m < 3; ++m)
                    A[k][m] += s.struc1.xmat(j, k) * s.struc1.xmat(j, m) * w[j];
            }
        // Cramer's rule.
        auto det3 = [](double M[3][3]) {
            return M[0][0] * (M[1][1] * M[2][2] - M[1][2] * M[2][1]) -
                   M[0][1] * (M[1][0] * M[2][2] - M[1][2] * M[2][0]) +
                   M[0][2] * (M[1][0] * M[2][1] - M[1][1] * M[2][0]);
        };
        const double d = det3(A);
        double fit = 0.0;
        for (int k = 0; k < 3; ++k) {
            double M[3][3];
            std::memcpy(M, A, sizeof M);
            for (int r = 0; r < 3; ++r) M[r][k] = b[r];
            fit += det3(M) / d * s.struc1.xmat(i, k);
        }
        EXPECT_NEAR(s.output.yhat[i], fit, 1e-9 * (1 + std::fabs(fit))) << i;
        rss += (s.struc2.ydep[i] - fit) * (s.struc2.ydep[i] - fit);
        EXPECT_EQ(s.hat1.hatdg[i], 0.0);  // own weight 0
    }
    EXPECT_NEAR(s.anova.rss, rss, 1e-9 * rss);
}

}  // namespace
