// The Gaussian calibration criterion against leave-one-out and hat-matrix
// computations written out here, and the search against a fine grid scan.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "gaussian/calib.h"
#include "support/testing.h"

namespace {

constexpr double pi = 3.141592653589793;

// Small deterministic generator for the test data.
using testing_support::lcg;

// A model whose intercept and slopes drift across a 100 x 100 square:
// y = (1 + 0.04 u) + (0.5 + 0.03 v) x1 + (-0.3 + 0.002 u v / 100) x2 + e.
struct dataset {
    int n = 0, k = 3;
    std::vector<double> u, v, x1, x2, y, wgt;
};

dataset make_data(int side, std::uint64_t seed, double noise) {
    dataset d;
    lcg g(seed);
    for (int a = 0; a < side; ++a)
        for (int b = 0; b < side; ++b) {
            double u = (a + 0.8 * g.uniform()) * 100.0 / side;
            double v = (b + 0.8 * g.uniform()) * 100.0 / side;
            double x1 = 10.0 * g.uniform();
            double x2 = 5.0 * g.uniform() - 2.0;
            double y = (1.0 + 0.04 * u) + (0.5 + 0.03 * v) * x1 +
                       (-0.3 + 0.002 * u * v / 100.0) * x2 + noise * g.normal();
            d.u.push_back(u);
            d.v.push_back(v);
            d.x1.push_back(x1);
            d.x2.push_back(x2);
            d.y.push_back(y);
            d.wgt.push_back(0.5 + g.uniform());
        }
    d.n = static_cast<int>(d.y.size());
    return d;
}

// Loads the data into a state ready for the criterion: kernel 'f' (fixed
// Gaussian) or 'v' (adaptive bi-square), calibration code icalib.
void load(gwr::state& s, const dataset& d, char kernel, int icalib, bool weights = false) {
    const int n = d.n, K = d.k;
    s.set_observation_count(n);
    s.set_parameter_count(K);
    testing_support::describe(s, [&](gwr::run_description& r) {
        r.method = gwr::analysis::gaussian;
        testing_support::set_calibration(r, icalib);
        r.coords = gwr::coordinates::cartesian;
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
        s.fit6.obswt[i] = weights ? d.wgt[i] : 1.0;
    }
    s.fit1.xfit = s.struc2.xobs;
    s.fit1.yfit = s.struc2.yobs;
    s.fit3.nloc = n;
    s.option.nfit = n;
    s.output.samepts = 1;
    s.size_loc(n, K);
    s.ws.size(n, K);
}

// Solves the small system A z = r by Gaussian elimination with partial
// pivoting (A is K x K, row-major here).
std::vector<double> solve(std::vector<double> a, std::vector<double> r, int K) {
    for (int c = 0; c < K; ++c) {
        int p = c;
        for (int i = c + 1; i < K; ++i)
            if (std::fabs(a[i * K + c]) > std::fabs(a[p * K + c])) p = i;
        for (int j = 0; j < K; ++j) std::swap(a[c * K + j], a[p * K + j]);
        std::swap(r[c], r[p]);
        for (int i = c + 1; i < K; ++i) {
            double f = a[i * K + c] / a[c * K + c];
            for (int j = c; j < K; ++j) a[i * K + j] -= f * a[c * K + j];
            r[i] -= f * r[c];
        }
    }
    std::vector<double> z(K);
    for (int i = K - 1; i >= 0; --i) {
        double t = r[i];
        for (int j = i + 1; j < K; ++j) t -= a[i * K + j] * z[j];
        z[i] = t / a[i * K + i];
    }
    return z;
}

struct reference {
    double rss = 0.0;  // sum of squared residuals over the fitted points
    double trs = 0.0;  // sum of the leverages
};

// The criterion's ingredients computed directly: at each observation i
// (when selected) a weighted regression with the kernel centred on i, the
// own weight removed under leave-one-out.
reference direct(const dataset& d, char kernel, double bw, bool loo, bool weights,
                 const std::vector<int>& selected) {
    const int n = d.n, K = d.k;
    reference out;
    std::vector<double> w(n), dsq(n), sorted(n);
    for (int i = 0; i < n; ++i) {
        if (!selected.empty() && !selected[i]) continue;
        for (int j = 0; j < n; ++j) {
            double du = d.u[j] - d.u[i], dv = d.v[j] - d.v[i];
            dsq[j] = du * du + dv * dv;
        }
        if (kernel == 'f') {
            for (int j = 0; j < n; ++j)
                w[j] = std::exp(-dsq[j] / (2.0 * bw * bw)) * (weights ? d.wgt[j] : 1.0);
        } else {
            int N = static_cast<int>(std::floor(bw + 0.5));
            sorted = dsq;
            std::nth_element(sorted.begin(), sorted.begin() + (N - 1), sorted.end());
            double D = sorted[N - 1];
            for (int j = 0; j < n; ++j) w[j] = dsq[j] < D ? std::pow(1.0 - dsq[j] / D, 2) : 0.0;
        }
        if (loo) w[i] = 0.0;
        std::vector<double> a(K * K, 0.0), b(K, 0.0);
        for (int j = 0; j < n; ++j) {
            double xj[3] = {1.0, d.x1[j], d.x2[j]};
            for (int p = 0; p < K; ++p) {
                b[p] += w[j] * xj[p] * d.y[j];
                for (int q = 0; q < K; ++q) a[p * K + q] += w[j] * xj[p] * xj[q];
            }
        }
        std::vector<double> beta = solve(a, b, K);
        std::vector<double> xi = {1.0, d.x1[i], d.x2[i]};
        double e = d.y[i] - (beta[0] + beta[1] * xi[1] + beta[2] * xi[2]);
        out.rss += e * e;
        std::vector<double> z = solve(a, xi, K);
        out.trs += w[i] * (xi[0] * z[0] + xi[1] * z[1] + xi[2] * z[2]);
    }
    return out;
}

double aicc_of(double rss, double trs, int n) {
    return n * (std::log(2.0 * pi * rss / n) + 1.0 + 2.0 * (trs + 1.0) / (n - 2.0 - trs));
}

double cv_of(double S, int n) {
    return n * (std::log(2.0 * pi * S / n) + 1.0) + 2.0 * n / (n - 2.0);
}

}  // namespace

// Cross-validation: the value is the AICc form of the leave-one-out residual
// sum of squares with no trace, on both kernels and with observation weights.
TEST(CalibCriterion, CrossValidationScoreMatchesLeaveOneOutFits) {
    dataset d = make_data(8, 11, 0.6);
    struct scenario {
        char kernel;
        double bw;
        bool weights;
    } cases[] = {{'f', 12.0, false}, {'f', 30.0, true}, {'v', 25.0, false}, {'v', 40.0, false}};
    for (const auto& c : cases) {
        testing_support::harness h;
        gwr::state& s = *h.s;
        load(s, d, c.kernel, 2, c.weights);
        double got = gwr::akeval(s, c.bw);
        reference ref = direct(d, c.kernel, c.bw, true, c.weights, {});
        SCOPED_TRACE(testing::Message() << c.kernel << " bw=" << c.bw);
        EXPECT_NEAR(got, cv_of(ref.rss, d.n), 1e-9 * std::fabs(got));
        EXPECT_NEAR(s.anova.rss, ref.rss, 1e-9 * ref.rss);
        EXPECT_EQ(s.hat1.trs, 0.0);
        // The leave-one-out residuals are those of the fitted values stored.
        for (int i = 0; i < d.n; ++i)
            EXPECT_DOUBLE_EQ(s.output.resid[i], d.y[i] - s.output.yhat[i]);
    }
}

// AICc: residuals and leverages of the fits that keep the own observation.
TEST(CalibCriterion, AiccMatchesHatMatrixComputation) {
    dataset d = make_data(8, 23, 0.6);
    for (char kernel : {'f', 'v'}) {
        double bw = kernel == 'f' ? 18.0 : 30.0;
        testing_support::harness h;
        gwr::state& s = *h.s;
        load(s, d, kernel, 3);
        double got = gwr::akeval(s, bw);
        reference ref = direct(d, kernel, bw, false, false, {});
        SCOPED_TRACE(kernel);
        EXPECT_NEAR(s.hat1.trs, ref.trs, 1e-9 * ref.trs);
        EXPECT_NEAR(s.hat1.enp, ref.trs, 1e-9 * ref.trs);
        EXPECT_NEAR(s.anova.rss, ref.rss, 1e-9 * ref.rss);
        EXPECT_NEAR(got, aicc_of(ref.rss, ref.trs, d.n), 1e-9 * std::fabs(got));
        EXPECT_EQ(s.hat1.aicc, got);
        EXPECT_NEAR(s.hat1.sigma, std::sqrt(ref.rss / (d.n - ref.trs)), 1e-9);
        // The leverages lie in [0, 1] and add up to the trace.
        double sum = 0.0;
        for (int i = 0; i < d.n; ++i) {
            EXPECT_GE(s.hat1.hatdg[i], 0.0);
            EXPECT_LE(s.hat1.hatdg[i], 1.0 + 1e-12);
            sum += s.hat1.hatdg[i];
        }
        EXPECT_NEAR(sum, s.hat1.trs, 1e-9);
    }
}

// A trial size is rounded to the nearest neighbour count before use, and the
// count is left in nnear.
TEST(CalibCriterion, AdaptiveTrialSizesAreRounded) {
    dataset d = make_data(7, 5, 0.5);
    testing_support::harness h;
    gwr::state& s = *h.s;
    load(s, d, 'v', 2);
    double at21 = gwr::akeval(s, 21.0);
    double at20 = gwr::akeval(s, 20.0);
    ASSERT_NE(at20, at21);
    EXPECT_EQ(gwr::akeval(s, 20.5), at21);
    EXPECT_EQ(s.fit5.nnear, 21);
    EXPECT_EQ(gwr::akeval(s, 20.49), at20);
    EXPECT_EQ(s.fit5.nnear, 20);
}

// With a calibration sample only the selected points are fitted, while the
// criterion still counts every observation in n.
TEST(CalibCriterion, SampledCriterionFitsOnlySelectedPoints) {
    dataset d = make_data(8, 31, 0.6);
    std::vector<int> sel(d.n);
    for (int i = 0; i < d.n; ++i) sel[i] = (i % 3 != 1);
    testing_support::harness h;
    gwr::state& s = *h.s;
    load(s, d, 'f', 5);
    s.sampl.insamp = sel;
    double got = gwr::akeval(s, 20.0);
    reference ref = direct(d, 'f', 20.0, false, false, sel);
    EXPECT_NEAR(got, aicc_of(ref.rss, ref.trs, d.n), 1e-9 * std::fabs(got));

    testing_support::describe(s, [](gwr::run_description& r) { testing_support::set_calibration(r, 4); });
    got = gwr::akeval(s, 20.0);
    ref = direct(d, 'f', 20.0, true, false, sel);
    EXPECT_NEAR(got, cv_of(ref.rss, d.n), 1e-9 * std::fabs(got));
}

// With a separate list of fit locations (shorter than the data and elsewhere)
// the criterion is still evaluated at the observation points.
TEST(CalibCriterion, SeparateFitLocationsDoNotChangeTheCriterion) {
    dataset d = make_data(7, 9, 0.5);
    for (char kernel : {'f', 'v'}) {
        double bw = kernel == 'f' ? 15.0 : 25.0;
        testing_support::harness h1, h2;
        load(*h1.s, d, kernel, 3);
        load(*h2.s, d, kernel, 3);
        gwr::state& s2 = *h2.s;
        s2.fit1.xfit = {500.0, -20.0, 3.0};
        s2.fit1.yfit = {500.0, 7.0, 90.0};
        s2.fit3.nloc = 3;
        s2.option.nfit = 3;
        s2.output.samepts = 0;
        testing_support::describe(s2, [](gwr::run_description& r) { r.location_file = true; });
        EXPECT_EQ(gwr::akeval(s2, bw), gwr::akeval(*h1.s, bw)) << kernel;
    }
}

// The search's bandwidth agrees with the minimum of the criterion on a fine
// grid over the search limits, within the search tolerance, for both
// criteria and both kernel types; the chosen value is left for the final fit.
TEST(CalibCriterion, SearchAgreesWithGridScan) {
    dataset d = make_data(9, 77, 0.8);
    struct scenario {
        char kernel;
        int icalib;
    } cases[] = {{'f', 2}, {'f', 3}, {'v', 2}, {'v', 3}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.kernel << " code " << c.icalib);
        testing_support::harness h;
        gwr::state& s = *h.s;
        load(s, d, c.kernel, c.icalib);
        double lo = 0.0, hi = 0.0;
        gwr::searchlimits(s, lo, hi);

        double best = 0.0, fbest = 1e300;
        if (c.kernel == 'f') {
            for (int g = 0; g <= 400; ++g) {
                double bw = lo + (hi - lo) * g / 400.0;
                double f = gwr::akeval(s, bw);
                if (f < fbest) fbest = f, best = bw;
            }
        } else {
            for (int nn = static_cast<int>(lo); nn <= static_cast<int>(hi); ++nn) {
                double f = gwr::akeval(s, nn);
                if (f < fbest) fbest = f, best = nn;
            }
        }
        // An interior minimum, so the search has something to find.
        ASSERT_GT(best, lo + 0.05 * (hi - lo));
        ASSERT_LT(best, hi - 0.05 * (hi - lo));

        gwr::aicmin(s, lo, hi);
        double chosen = c.kernel == 'f' ? s.parms.bandw : s.fit5.nnear;
        EXPECT_NEAR(chosen, best, 0.1 * best + (c.kernel == 'v' ? 1.0 : 0.0));
        // Its criterion is close to the grid minimum.
        double fchosen = gwr::akeval(s, chosen);
        EXPECT_LE(fchosen - fbest, 0.01 * std::fabs(fbest));
    }
}

// The whole program: the bandwidth found by the search is the one the final
// fit reports, and with AICc the final fit's criterion is the one the
// search listed for that bandwidth.
TEST(CalibCriterion, FinalFitUsesChosenBandwidth) {
    testing_support::tempdir dir;
    dir.write("obs.csv", testing_support::read_file(std::string(EXAMPLES_DIR) + "/columbus.csv"));
    for (const char* letters : {"faa", "vca"}) {
        SCOPED_TRACE(letters);
        std::string control = std::string("obs.csv\n\n\n4\n2,3,0\nrun\nFFFFTTFFFFFFF\n") +
                              letters + "\n0\n1\n0\n0\n0\n0\n2\n1\n";
        auto r = testing_support::run_tzm(control, dir.path);
        ASSERT_EQ(r.status, 0) << r.err;
        std::vector<std::string> l = testing_support::lines(r.out);
        auto value_after = [&](const std::string& label, std::size_t from) {
            for (std::size_t i = from; i < l.size(); ++i)
                if (l[i].rfind(label, 0) == 0) return std::make_pair(i, l[i].substr(label.size()));
            return std::make_pair(l.size(), std::string());
        };
        if (letters[0] == 'f') {
            auto conv = value_after("** Convergence: Bandwidth= ", 0);
            ASSERT_LT(conv.first, l.size()) << r.out;
            double chosen = std::stod(conv.second);
            auto used = value_after(" Bandwidth (in data units).........", conv.first);
            ASSERT_LT(used.first, l.size()) << r.out;
            EXPECT_NEAR(std::stod(used.second), chosen, 5e-6);
            // The history row of the chosen bandwidth holds the final AICc.
            double listed = 0.0;
            for (std::size_t i = 0; i < conv.first; ++i) {
                double x = 0.0, f = 0.0;
                if (l[i].size() == 50 && std::sscanf(l[i].c_str(), "%lf %lf", &x, &f) == 2 &&
                    std::fabs(x - chosen) < 5e-6)
                    listed = f;
            }
            auto fin = value_after("Akaike Information Criterion....", used.first);
            ASSERT_LT(fin.first, l.size()) << r.out;
            EXPECT_NEAR(std::stod(fin.second), listed, 1e-6);
        } else {
            auto conv = value_after("** Convergence: Local Sample Size= ", 0);
            ASSERT_LT(conv.first, l.size()) << r.out;
            auto used = value_after(" Number of nearest neighbours......", conv.first);
            ASSERT_LT(used.first, l.size()) << r.out;
            EXPECT_EQ(std::stoi(used.second), std::stoi(conv.second));
        }
    }
}
