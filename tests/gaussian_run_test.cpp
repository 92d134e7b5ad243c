// Whole Gaussian runs in-process, checked against weighted least squares
// computed independently in the test: the global model, the local fits of
// every kernel shape, the diagnostics, singular locations, location files
// and spherical coordinates.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "control/control.h"
#include "gaussian_reference.h"
#include "support/testing.h"

namespace {

using testing_support::harness;
using testing_support::lines;
using testing_support::read_file;
using testing_support::tempdir;
using gaussian_reference::Mat;

constexpr double kPi = 3.141592653589793;

using gaussian_reference::inverse;

// Observations with two predictors, a weight column and a slope that
// varies over space.  Columns: ID,X,Y,DEP,P1,P2,WT.
struct dataset {
    std::vector<double> x, y, dep, p1, p2, wt;
    int n() const { return static_cast<int>(x.size()); }
    std::string csv() const {
        std::string s = "ID,X,Y,DEP,P1,P2,WT\n";
        char buf[256];
        for (int i = 0; i < n(); ++i) {
            std::snprintf(buf, sizeof buf, "%d,%.17g,%.17g,%.17g,%.17g,%.17g,%.17g\n", i + 1, x[i],
                          y[i], dep[i], p1[i], p2[i], wt[i]);
            s += buf;
        }
        return s;
    }
    double X(int j, int k) const { return k == 0 ? 1.0 : k == 1 ? p1[j] : p2[j]; }
};

dataset make_data(int n, double x0 = 0, double y0 = 0, double step = 1.0) {
    dataset d;
    for (int i = 0; i < n; ++i) {
        double x = x0 + step * ((i % 6) * 1.3 + 0.1 * std::sin(i));
        double y = y0 + step * ((i / 6) * 1.1 + 0.1 * std::cos(0.7 * i));
        double p1 = 2 + 3 * std::sin(0.9 * i);
        double p2 = 5 * std::cos(0.4 * i) + 0.1 * i;
        double gx = (x - x0) / step;
        d.x.push_back(x);
        d.y.push_back(y);
        d.p1.push_back(p1);
        d.p2.push_back(p2);
        d.dep.push_back(3 + (1.5 + 0.3 * gx) * p1 - 0.7 * p2 + 2 * std::sin(2.3 * i));
        d.wt.push_back(0.5 + (i % 4) * 0.25);
    }
    return d;
}

std::string control(const std::string& data, const std::string& loc, const std::string& out,
                    const std::string& kernel, double bw, int wcol, int pred, int rawout,
                    int diag, int coords = 1) {
    std::ostringstream c;
    c.precision(17);
    c << data << "\n" << loc << "\n" << out << "\n4\n2,3," << wcol << "\nTest model\nFFFTTTF\n"
      << kernel << "\n" << bw << "\n0\n" << pred << "\n" << rawout << "\n0\n" << diag << "\n2\n"
      << coords << "\n";
    return c.str();
}

// An in-process run of the engine on a control text; the state stays for
// inspection.
struct engine_run {
    harness h;
    int status;
    std::vector<std::string> L;
    explicit engine_run(const std::string& ctl) : h(ctl) {
        status = gwr::run(*h.s);
        L = lines(h.listing());
    }
    gwr::state& s() { return *h.s; }
    bool has(const std::string& line) const {
        return std::find(L.begin(), L.end(), line) != L.end();
    }
    // Numbers on the occurrence-th line that begins with the label.
    std::vector<double> after(const std::string& label, int occurrence = 1) const {
        for (const auto& l : L) {
            if (l.rfind(label, 0) != 0 || --occurrence > 0) continue;
            std::istringstream is(l.substr(label.size()));
            std::vector<double> v;
            double x;
            while (is >> x) v.push_back(x);
            return v;
        }
        ADD_FAILURE() << "no line " << label;
        return {};
    }
};

// Weighted least squares at every fit location with weights given by the
// test's own kernel, and the diagnostics of the local model.
struct reference {
    Mat beta, vf;  // per location
    std::vector<double> yhat, hat;
    double rss = 0, trs = 0, sigma = 0, aicc = 0, r2 = 0, adjr2 = 0;
};

template <class Kernel>
reference local_reference(const dataset& d, const std::vector<double>& fx,
                          const std::vector<double>& fy, Kernel kernel, bool same) {
    reference r;
    const int n = d.n(), K = 3;
    std::vector<double> w(n);
    for (std::size_t i = 0; i < fx.size(); ++i) {
        for (int j = 0; j < n; ++j) w[j] = kernel(fx[i], fy[i], j);
        Mat A(K, std::vector<double>(K, 0.0));
        std::vector<double> b(K, 0.0);
        for (int j = 0; j < n; ++j)
            for (int k = 0; k < K; ++k) {
                b[k] += d.X(j, k) * d.dep[j] * w[j];
                for (int m = 0; m < K; ++m) A[k][m] += d.X(j, k) * d.X(j, m) * w[j];
            }
        Mat C = inverse(A);
        std::vector<double> beta(K, 0.0), vf(K, 0.0);
        for (int k = 0; k < K; ++k)
            for (int m = 0; m < K; ++m) beta[k] += C[k][m] * b[m];
        for (int k = 0; k < K; ++k)
            for (int j = 0; j < n; ++j) {
                double mkj = 0;
                for (int m = 0; m < K; ++m) mkj += C[k][m] * d.X(j, m) * w[j];
                vf[k] += mkj * mkj;
            }
        r.beta.push_back(beta);
        r.vf.push_back(vf);
        if (same) {
            double f = 0, h = 0;
            for (int k = 0; k < K; ++k) {
                f += beta[k] * d.X(i, k);
                for (int m = 0; m < K; ++m) h += d.X(i, k) * C[k][m] * d.X(i, m);
            }
            r.yhat.push_back(f);
            r.hat.push_back(h * w[i]);
        }
    }
    if (same) {
        double mean = 0, sst = 0;
        for (int j = 0; j < n; ++j) mean += d.dep[j] / n;
        for (int j = 0; j < n; ++j) {
            r.rss += (d.dep[j] - r.yhat[j]) * (d.dep[j] - r.yhat[j]);
            r.trs += r.hat[j];
            sst += (d.dep[j] - mean) * (d.dep[j] - mean);
        }
        r.sigma = std::sqrt(r.rss / (n - r.trs));
        double s2 = r.rss / n;
        r.aicc = 2 * n * std::log(std::sqrt(s2)) + n * std::log(2 * kPi) +
                 n * (n + r.trs) / (n - 2 - r.trs);
        r.r2 = 1 - r.rss / sst;
        r.adjr2 = 1 - (1 - r.r2) * (n - 1) / (n - r.trs - 1);
    }
    return r;
}

double rel(double a, double b) { return std::fabs(a - b) / std::max(1.0, std::fabs(b)); }

TEST(GaussianRun, GlobalModelIsClosedFormWeightedLeastSquares) {
    tempdir t;
    dataset d = make_data(30);
    std::string data = t.write("obs.csv", d.csv());
    engine_run e(control(data, "", "", "fnn", 4.0, 7, 0, 0, 0));
    ASSERT_EQ(e.status, 0) << e.h.err.str();

    // Normal equations with the observation weights.
    const int n = d.n(), K = 3;
    Mat A(K, std::vector<double>(K, 0.0));
    std::vector<double> b(K, 0.0), beta(K, 0.0);
    for (int j = 0; j < n; ++j)
        for (int k = 0; k < K; ++k) {
            b[k] += d.X(j, k) * d.dep[j] * d.wt[j];
            for (int m = 0; m < K; ++m) A[k][m] += d.X(j, k) * d.X(j, m) * d.wt[j];
        }
    Mat C = inverse(A);
    for (int k = 0; k < K; ++k)
        for (int m = 0; m < K; ++m) beta[k] += C[k][m] * b[m];
    double rss = 0, mean = 0, sst = 0;
    for (int j = 0; j < n; ++j) mean += d.dep[j] / n;
    for (int j = 0; j < n; ++j) {
        double f = beta[0] + beta[1] * d.p1[j] + beta[2] * d.p2[j];
        rss += (d.dep[j] - f) * (d.dep[j] - f);
        sst += (d.dep[j] - mean) * (d.dep[j] - mean);
        EXPECT_NEAR(e.s().anova.gresid[j], d.dep[j] - f, 1e-9);
    }
    double sigma = std::sqrt(rss / (n - K));
    double aicc = n * std::log(2 * kPi * rss / n) + n + 2.0 * n * (K + 1) / (n - 2 - K);
    double r2 = 1 - rss / sst;
    double adj = 1 - (1 - r2) * (n - 1) / (n - K - 1);

    EXPECT_NEAR(e.after("Residual sum of squares.........")[0], rss, 1e-6);
    EXPECT_NEAR(e.after("Effective number of parameters..")[0], 3.0, 1e-6);
    EXPECT_NEAR(e.after("Sigma...........................")[0], sigma, 1e-6);
    EXPECT_NEAR(e.after("Akaike Information Criterion....")[0], aicc, 1e-6);
    EXPECT_NEAR(e.after("Coefficient of Determination....")[0], r2, 1e-6);
    EXPECT_NEAR(e.after("Adjusted r-square...............")[0], adj, 1e-6);
    EXPECT_NEAR(e.s().hat1.trols, 3.0, 1e-12);

    // Coefficient table: estimate, standard error, t.
    // (" P1" also begins the list of model variables.)
    const char* rows[] = {"Intercept", " P1      ", " P2      "};
    for (int k = 0; k < K; ++k) {
        auto v = e.after(rows[k], k == 1 ? 2 : 1);
        ASSERT_EQ(v.size(), 3u) << rows[k];
        double se = std::sqrt(static_cast<double>(static_cast<float>(rss / (n - K))) * C[k][k]);
        EXPECT_NEAR(v[0], beta[k], 1e-10);
        EXPECT_NEAR(v[1], se, 1e-10);
        EXPECT_NEAR(v[2], beta[k] / se, 1e-5);
    }
}

struct kernel_case {
    const char* letters;
    double bw;
    int wcol;
};

TEST(GaussianRun, LocalFitsOfEveryKernelMatchIndependentFits) {
    tempdir t;
    dataset d = make_data(36);
    std::string data = t.write("obs.csv", d.csv());
    const int n = d.n();
    auto dsq = [&](double x, double y, int j) {
        return (d.x[j] - x) * (d.x[j] - x) + (d.y[j] - y) * (d.y[j] - y);
    };
    for (kernel_case kc : {kernel_case{"fnn", 2.5, 7}, kernel_case{"fnn", 2.5, 0},
                           kernel_case{"vnn", 14, 7}, kernel_case{"cnn", 3.2, 0}}) {
        SCOPED_TRACE(std::string(kc.letters) + " weight column " + std::to_string(kc.wcol));
        std::string out = t.file("local.csv");
        engine_run e(control(data, "", out, kc.letters, kc.bw, kc.wcol, 1, 1, 1));
        ASSERT_EQ(e.status, 0) << e.h.err.str();
        auto kernel = [&](double x, double y, int j) {
            double d2 = dsq(x, y, j);
            if (kc.letters[0] == 'f')
                return std::exp(-d2 / (2 * kc.bw * kc.bw)) * (kc.wcol ? d.wt[j] : 1.0);
            if (kc.letters[0] == 'c') return d2 <= kc.bw * kc.bw ? 1.0 : 0.0;
            std::vector<double> all;
            for (int m = 0; m < n; ++m) all.push_back(dsq(x, y, m));
            std::sort(all.begin(), all.end());
            double D = all[static_cast<int>(kc.bw) - 1];
            return d2 < D ? (1 - d2 / D) * (1 - d2 / D) : 0.0;
        };
        reference r = local_reference(d, d.x, d.y, kernel, true);
        auto& s = e.s();
        for (int i = 0; i < n; ++i) {
            EXPECT_EQ(s.output.locsing[i], 0);
            for (int k = 0; k < 3; ++k) {
                EXPECT_LT(rel(s.bvals(i, k), r.beta[i][k]), 1e-9) << i << "," << k;
                EXPECT_LT(rel(s.svals(i, k), std::sqrt(r.vf[i][k]) * r.sigma), 1e-9);
            }
            EXPECT_NEAR(s.output.yhat[i], r.yhat[i], 1e-9);
            EXPECT_NEAR(s.hat1.hatdg[i], r.hat[i], 1e-12);
        }
        EXPECT_NEAR(s.anova.rss, r.rss, 1e-8);
        EXPECT_NEAR(s.hat1.enp, r.trs, 1e-10);
        EXPECT_NEAR(s.hat1.sigma, r.sigma, 1e-10);
        EXPECT_NEAR(s.hat1.aicc, r.aicc, 1e-8);
        EXPECT_NEAR(s.hat1.adjr2, r.adjr2, 1e-10);
        EXPECT_NEAR(e.after("Coefficient of Determination....", 2)[0], r.r2, 1e-6);
        EXPECT_NEAR(e.after("Effective number of parameters..", 2)[0], r.trs, 1e-6);

        // Casewise diagnostics: the standardised residuals share one scale
        // (the residual standard deviation), so their ratios are fixed by
        // the residuals and leverages; Cook's distance follows from them.
        auto scaled = [&](int i) {
            return s.output.resid[i] / std::sqrt(1 - s.hat1.hatdg[i]);
        };
        for (int i = 0; i < n; ++i) {
            double h = s.hat1.hatdg[i];
            double sr = s.diags.stdres[i];
            EXPECT_NEAR(sr / s.diags.stdres[0], scaled(i) / scaled(0), 1e-9);
            EXPECT_NEAR(s.diags.cookd[i], sr * sr * h / ((1 - h) * r.trs), 1e-12);
            EXPECT_GE(s.diags.locr2[i], 0.0);
            EXPECT_LE(s.diags.locr2[i], 1.0 + 1e-6);
        }

        // The result file holds the same estimates, one row per location.
        auto rowsv = lines(read_file(out));
        ASSERT_EQ(static_cast<int>(rowsv.size()), n + 1);
        std::vector<double> v;
        std::stringstream ss1(rowsv[5]);
        std::string f;
        while (std::getline(ss1, f, ',')) v.push_back(std::stod(f));
        ASSERT_EQ(v.size(), 3u + 9 + 7);
        EXPECT_EQ(v[0], 5);
        for (int k = 0; k < 3; ++k) EXPECT_LT(rel(v[3 + k], r.beta[4][k]), 1e-8);
        EXPECT_LT(rel(v[12], d.dep[4]), 1e-8);
        EXPECT_LT(rel(v[15], s.hat1.hatdg[4]), 1e-8);
        EXPECT_LT(rel(v[18], s.diags.locr2[4]), 1e-8);
    }
}

TEST(GaussianRun, HugeBandwidthReproducesTheGlobalModel) {
    tempdir t;
    dataset d = make_data(24);
    std::string data = t.write("obs.csv", d.csv());
    engine_run e(control(data, "", "", "fnn", 1e7, 0, 0, 0, 0));
    ASSERT_EQ(e.status, 0) << e.h.err.str();
    auto& s = e.s();
    auto global = e.after("Intercept");
    auto g1 = e.after(" P1      ", 2);
    auto g2 = e.after(" P2      ");
    for (int i = 0; i < d.n(); ++i) {
        EXPECT_NEAR(s.bvals(i, 0), global[0], 1e-6);
        EXPECT_NEAR(s.bvals(i, 1), g1[0], 1e-6);
        EXPECT_NEAR(s.bvals(i, 2), g2[0], 1e-6);
    }
    EXPECT_NEAR(s.hat1.enp, 3.0, 1e-6);
    auto imp = e.after("TZM Improvement ");
    ASSERT_EQ(imp.size(), 3u);
    EXPECT_NEAR(imp[0], 0.0, 0.05);
    EXPECT_NEAR(imp[1], 0.0, 0.005);
    auto ols = e.after("OLS Residuals   ");
    EXPECT_NEAR(ols[1], 3.0, 1e-9);
    auto res = e.after("TZM Residuals   ");
    ASSERT_EQ(res.size(), 4u);
    EXPECT_NEAR(res[1], d.n() - 3.0, 0.005);
}

TEST(GaussianRun, PredictorWithoutWeightAtALocationIsDroppedAndFlagged) {
    // A 5 x 4 grid with unit spacing; P2 is zero in the two western
    // columns.  A cylinder of radius 1 at a western-edge point sees only
    // points with P2 = 0.
    tempdir t;
    dataset d;
    for (int i = 0; i < 20; ++i) {
        double x = i % 5, y = i / 5;
        d.x.push_back(x);
        d.y.push_back(y);
        d.p1.push_back(1 + 0.5 * i + 0.3 * std::sin(i));
        d.p2.push_back(x <= 1 ? 0.0 : 2 + std::cos(1.3 * i));
        d.dep.push_back(2 + 0.8 * d.p1.back() + d.p2.back() + std::sin(3.1 * i));
        d.wt.push_back(1.0);
    }
    std::string data = t.write("obs.csv", d.csv());
    engine_run e(control(data, "", "", "cnn", 1.0, 0, 1, 0, 0));
    ASSERT_EQ(e.status, 0) << e.h.err.str();
    auto& s = e.s();
    for (int i : {0, 5, 10, 15}) {
        SCOPED_TRACE(i);
        EXPECT_EQ(s.output.locsing[i], 1);
        EXPECT_EQ(s.bvals(i, 2), 0.0);
        EXPECT_EQ(s.svals(i, 2), 0.0);
        // The rest is the straight-line fit on the points inside the
        // cylinder.
        double sw = 0, sx = 0, sy = 0, sxx = 0, sxy = 0;
        for (int j = 0; j < 20; ++j) {
            double d2 = (d.x[j] - d.x[i]) * (d.x[j] - d.x[i]) + (d.y[j] - d.y[i]) * (d.y[j] - d.y[i]);
            if (d2 > 1.0) continue;
            sw += 1;
            sx += d.p1[j];
            sy += d.dep[j];
            sxx += d.p1[j] * d.p1[j];
            sxy += d.p1[j] * d.dep[j];
        }
        double b1 = (sw * sxy - sx * sy) / (sw * sxx - sx * sx);
        EXPECT_NEAR(s.bvals(i, 1), b1, 1e-9);
        EXPECT_NEAR(s.bvals(i, 0), (sy - b1 * sx) / sw, 1e-9);
        char buf[16];
        std::snprintf(buf, sizeof buf, "%5d", i + 1);
        bool found = false;
        for (const auto& l : e.L)
            if (l.size() == 68 && l.rfind(buf, 0) == 0) {
                EXPECT_EQ(l.back(), 'T');
                found = true;
            }
        EXPECT_TRUE(found);
    }
    // A location with P2 in its cylinder is regular.
    EXPECT_EQ(s.output.locsing[3], 0);
    int flagged = 0;
    for (const auto& l : e.L)
        if (l.size() == 68 && l.back() == 'T') ++flagged;
    EXPECT_EQ(flagged, 4);
}

TEST(GaussianRun, LocationFileSamePointsOtherOrderAndOtherPoints) {
    tempdir t;
    dataset d = make_data(18);
    std::string data = t.write("obs.csv", d.csv());
    const double bw = 2.0;
    auto kernel = [&](double x, double y, int j) {
        double d2 = (d.x[j] - x) * (d.x[j] - x) + (d.y[j] - y) * (d.y[j] - y);
        return std::exp(-d2 / (2 * bw * bw));
    };
    auto locfile = [&](const std::vector<int>& order, const std::vector<double>& x,
                       const std::vector<double>& y) {
        std::string s;
        char buf[128];
        for (std::size_t i = 0; i < x.size(); ++i) {
            std::snprintf(buf, sizeof buf, "%d %.17g %.17g\n", order[i], x[i], y[i]);
            s += buf;
        }
        return s;
    };
    std::vector<int> ids;
    for (int i = 0; i < d.n(); ++i) ids.push_back(100 + i);

    // The observation points in their order: treated as the observations.
    std::string same = t.write("same.xy", locfile(ids, d.x, d.y));
    engine_run a(control(data, same, "", "fnn", bw, 0, 0, 0, 0));
    ASSERT_EQ(a.status, 0) << a.h.err.str();
    EXPECT_TRUE(a.has(" Prediction points read..."));
    EXPECT_TRUE(a.has(" ** Data and regression points identical"));
    EXPECT_EQ(a.s().output.samepts, 1);
    EXPECT_FALSE(a.has("Unable to compute ANOVA table"));
    reference r = local_reference(d, d.x, d.y, kernel, true);
    EXPECT_NEAR(a.s().hat1.enp, r.trs, 1e-10);

    // Reversed order: other locations, no diagnostics, unscaled variance
    // factors, markers in the result file.
    std::vector<double> rx(d.x.rbegin(), d.x.rend()), ry(d.y.rbegin(), d.y.rend());
    std::string rev = t.write("rev.xy", locfile(ids, rx, ry));
    std::string out = t.file("rev.csv");
    engine_run b(control(data, rev, out, "fnn", bw, 0, 1, 1, 1));
    ASSERT_EQ(b.status, 0) << b.h.err.str();
    EXPECT_TRUE(b.has(" ** Data and regression points differ"));
    EXPECT_TRUE(b.has("** Diagnostics not available when estimating"));
    EXPECT_TRUE(b.has("   at non sample points **"));
    EXPECT_TRUE(b.has("Unable to compute ANOVA table"));
    EXPECT_FALSE(b.has(" Predictions from this model..."));
    r = local_reference(d, rx, ry, kernel, false);
    for (int i = 0; i < d.n(); ++i)
        for (int k = 0; k < 3; ++k) {
            EXPECT_LT(rel(b.s().bvals(i, k), r.beta[i][k]), 1e-9);
            EXPECT_LT(rel(b.s().svals(i, k), r.vf[i][k]), 1e-9);
        }
    auto rows = lines(read_file(out));
    ASSERT_EQ(rows.size(), 19u);
    EXPECT_EQ(rows[1].substr(0, 5), "  100");
    std::string tail = rows[1].substr(rows[1].size() - 7 * 5);
    EXPECT_EQ(tail, ", -1., -1., -1., -1., -1., -1., -1.");
    // Casewise rows list -1 everywhere.
    auto cw = b.after("     1");
    ASSERT_EQ(cw.size(), 7u);
    for (double v : cw) EXPECT_EQ(v, -1.0);

    // More locations than observations, elsewhere.
    std::vector<double> gx, gy;
    std::vector<int> gid;
    for (int i = 0; i < 25; ++i) {
        gx.push_back(0.3 + (i % 5) * 1.5);
        gy.push_back(0.2 + (i / 5) * 0.8);
        gid.push_back(i + 1);
    }
    std::string grid = t.write("grid.xy", locfile(gid, gx, gy));
    engine_run c(control(data, grid, "", "fnn", bw, 0, 0, 0, 0));
    ASSERT_EQ(c.status, 0) << c.h.err.str();
    r = local_reference(d, gx, gy, kernel, false);
    for (int i = 0; i < 25; ++i)
        for (int k = 0; k < 3; ++k) EXPECT_LT(rel(c.s().bvals(i, k), r.beta[i][k]), 1e-9);
    EXPECT_TRUE(c.has(" Number of locations to fit model.. 25"));
}

TEST(GaussianRun, SphericalCoordinatesUseGreatCircleKilometres) {
    tempdir t;
    // Longitudes and latitudes in degrees around (-3, 52), about 10 km apart.
    dataset d = make_data(24, -3.0, 52.0, 0.1);
    std::string data = t.write("obs.csv", d.csv());
    const double bw = 25.0, R = 6371.1, rad = kPi / 180;
    auto kernel = [&](double x, double y, int j) {
        // Haversine form of the great-circle distance.
        double p1 = y * rad, p2 = d.y[j] * rad, dl = (d.x[j] - x) * rad;
        double a = std::sin((p2 - p1) / 2) * std::sin((p2 - p1) / 2) +
                   std::cos(p1) * std::cos(p2) * std::sin(dl / 2) * std::sin(dl / 2);
        double dist = 2 * R * std::asin(std::sqrt(a));
        return std::exp(-dist * dist / (2 * bw * bw));
    };
    std::string out = t.file("sph.csv");
    engine_run e(control(data, "", out, "fnn", bw, 0, 1, 1, 0, 2));
    ASSERT_EQ(e.status, 0) << e.h.err.str();
    reference r = local_reference(d, d.x, d.y, kernel, true);
    for (int i = 0; i < d.n(); ++i)
        for (int k = 0; k < 3; ++k) EXPECT_LT(rel(e.s().bvals(i, k), r.beta[i][k]), 1e-7);
    EXPECT_NEAR(e.s().hat1.enp, r.trs, 1e-7);
    // No extents without a bandwidth search.
    for (const auto& l : e.L) EXPECT_EQ(l.find("extent"), std::string::npos);
    // The prediction report and the result file show degrees.
    char buf[64];
    std::snprintf(buf, sizeof buf, "%12.3f%12.3f  F", d.x[0], d.y[0]);
    bool found = false;
    for (const auto& l : e.L)
        if (l.rfind("    1", 0) == 0 && l.size() == 68) found = l.substr(41) == buf;
    EXPECT_TRUE(found);
    auto rows = lines(read_file(out));
    std::stringstream ss(rows[1]);
    std::string f;
    std::getline(ss, f, ',');
    std::getline(ss, f, ',');
    EXPECT_NEAR(std::stod(f), d.x[0], 1e-5);
    std::getline(ss, f, ',');
    EXPECT_NEAR(std::stod(f), d.y[0], 1e-5);
}

}  // namespace

namespace {

TEST(GaussianRun, ExtentsPrecedeABandwidthSearch) {
    tempdir t;
    dataset d = make_data(24, -3.0, 52.0, 0.1);
    std::string data = t.write("obs.csv", d.csv());
    auto extent = [](const std::vector<double>& v, double scale) {
        auto [lo, hi] = std::minmax_element(v.begin(), v.end());
        return static_cast<float>(*hi * scale - *lo * scale);
    };
    const double rad = 0.017453292519943295;

    // Fixed kernel, spherical: extents in radians with their note.
    engine_run a(control(data, "", "", "faa", 0, 0, 0, 0, 0, 2));
    ASSERT_EQ(a.status, 0) << a.h.err.str();
    auto ex = a.after(" ** Observation Easting extent: ");
    auto ey = a.after(" ** Observation Northing extent:");
    ASSERT_EQ(ex.size(), 1u);
    ASSERT_EQ(ey.size(), 1u);
    EXPECT_NEAR(ex[0], extent(d.x, rad), 1e-8);
    EXPECT_NEAR(ey[0], extent(d.y, rad), 1e-8);
    auto note = std::find(a.L.begin(), a.L.end(), " ** NB these are in radians");
    ASSERT_NE(note, a.L.end());
    EXPECT_EQ(*(note + 1), "*Finding bandwidth... ");

    // Adaptive kernel, Cartesian: the short labels and no note.
    dataset c = make_data(24);
    std::string cdata = t.write("cart.csv", c.csv());
    engine_run b(control(cdata, "", "", "vca", 0, 0, 0, 0, 0));
    ASSERT_EQ(b.status, 0) << b.h.err.str();
    EXPECT_NEAR(b.after(" Observation Easting extent: ")[0], extent(c.x, 1.0), 1e-5);
    EXPECT_NEAR(b.after(" Observation Northing extent:")[0], extent(c.y, 1.0), 1e-5);
    EXPECT_FALSE(b.has(" ** NB these are in radians"));
    // The final fit uses the size the search chose.
    EXPECT_GE(b.s().fit5.nnear, 10);
    EXPECT_LE(b.s().fit5.nnear, 24);
    EXPECT_TRUE(b.has(" Number of nearest neighbours...... " + std::to_string(b.s().fit5.nnear)));
}

}  // namespace
