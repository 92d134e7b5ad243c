// Predictions at new places from a location table's predictor values:
// the Gaussian prediction and its standard error against local fits
// solved in the test with explicit matrices, the logistic and Poisson
// predictions against weighted Newton-Raphson fits, and a table equal to
// the observations against the run at the observations.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <memory>
#include <vector>

#include <gdal_priv.h>
#include <ogrsf_frmts.h>

#include "control/control.h"
#include "gaussian_reference.h"
#include "glm/glm.h"
#include "glm_reference.h"
#include "support/testing.h"

namespace {

namespace fs = std::filesystem;
using gaussian_reference::Mat;
using testing_support::harness;
using testing_support::lines;
using testing_support::read_file;
using testing_support::tempdir;

// Observations ID,X,Y,DEP,P1,P2 on a square, with slopes drifting over it.
struct points {
    std::vector<double> x, y, dep, p1, p2;
    int n() const { return static_cast<int>(x.size()); }
    std::vector<double> row(int j) const { return {1.0, p1[j], p2[j]}; }
};

points make_points(int n, double side, unsigned seed) {
    glmref::lcg g(seed);
    points d;
    for (int i = 0; i < n; ++i) {
        const double x = side * g.uniform(), y = side * g.uniform();
        const double a = 2.0 * g.normal(), b = g.uniform() * 4.0 - 2.0;
        d.x.push_back(x);
        d.y.push_back(y);
        d.p1.push_back(a);
        d.p2.push_back(b);
        d.dep.push_back(3.0 + (1.0 + x / side) * a - (0.5 + y / side) * b + g.normal());
    }
    return d;
}

std::string csv(const points& d) {
    std::string s = "ID,X,Y,DEP,P1,P2\n";
    char buf[200];
    for (int i = 0; i < d.n(); ++i) {
        std::snprintf(buf, sizeof buf, "%d,%.17g,%.17g,%.17g,%.17g,%.17g\n", i + 1, d.x[i], d.y[i], d.dep[i],
                      d.p1[i], d.p2[i]);
        s += buf;
    }
    return s;
}

// Kernel weights of every observation seen from (u, v): the fixed Gaussian
// with bandwidth h, or (nn > 0) the adaptive bi-square of nn neighbours.
std::vector<double> kernel(const points& d, double u, double v, double h, int nn) {
    std::vector<double> d2(d.n());
    for (int j = 0; j < d.n(); ++j) d2[j] = (d.x[j] - u) * (d.x[j] - u) + (d.y[j] - v) * (d.y[j] - v);
    std::vector<double> w(d.n());
    if (nn > 0) {
        std::vector<double> s = d2;
        std::sort(s.begin(), s.end());
        const double dn = s[nn - 1];
        for (int j = 0; j < d.n(); ++j) w[j] = d2[j] < dn ? (1 - d2[j] / dn) * (1 - d2[j] / dn) : 0.0;
    } else {
        for (int j = 0; j < d.n(); ++j) w[j] = std::exp(-d2[j] / (2 * h * h));
    }
    return w;
}

// The weighted least-squares fit at one place: A^-1 = (X'WX)^-1, b and
// C = A^-1 X'W^2X A^-1, formed as dense matrices.
struct localfit {
    Mat ainv, c;
    std::vector<double> b;
};

localfit solve_at(const points& d, const std::vector<double>& w) {
    Mat a(3, std::vector<double>(3, 0.0)), a2 = a;
    std::vector<double> xy(3, 0.0);
    for (int j = 0; j < d.n(); ++j) {
        const auto xj = d.row(j);
        for (int r = 0; r < 3; ++r) {
            xy[r] += w[j] * xj[r] * d.dep[j];
            for (int c = 0; c < 3; ++c) {
                a[r][c] += w[j] * xj[r] * xj[c];
                a2[r][c] += w[j] * w[j] * xj[r] * xj[c];
            }
        }
    }
    localfit f;
    f.ainv = gaussian_reference::inverse(a);
    f.b.assign(3, 0.0);
    f.c.assign(3, std::vector<double>(3, 0.0));
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) {
            f.b[r] += f.ainv[r][c] * xy[c];
            for (int k = 0; k < 3; ++k)
                for (int l = 0; l < 3; ++l) f.c[r][c] += f.ainv[r][k] * a2[k][l] * f.ainv[l][c];
        }
    return f;
}

double quad(const Mat& m, const std::vector<double>& x) {
    double q = 0.0;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) q += x[r] * m[r][c] * x[c];
    return q;
}

// sqrt(RSS / (n - tr S)) of the local model fitted at every observation.
double sigma_reference(const points& d, double h, int nn) {
    double rss = 0.0, trs = 0.0;
    for (int i = 0; i < d.n(); ++i) {
        const auto w = kernel(d, d.x[i], d.y[i], h, nn);
        const localfit f = solve_at(d, w);
        const auto xi = d.row(i);
        double yh = 0.0;
        for (int k = 0; k < 3; ++k) yh += f.b[k] * xi[k];
        rss += (d.dep[i] - yh) * (d.dep[i] - yh);
        trs += w[i] * quad(f.ainv, xi);
    }
    return std::sqrt(rss / (d.n() - trs));
}

std::string control(const std::string& data, const std::string& loc, const std::string& kernel, double bw) {
    std::ostringstream c;
    c.precision(17);
    c << data << "\n" << loc << "\n\n4\n2,3,0\nPredictions\nFFFFTT\n" << kernel << "\n" << bw
      << "\n0\n1\n0\n0\n0\n2\n1\n";
    return c.str();
}

double rel(double a, double b) { return std::fabs(a - b) / std::max(std::fabs(b), 1e-300); }

TEST(Prediction, GaussianAtNewPlacesAgainstLocalFitsSolvedHere) {
    struct kase {
        const char* kernel;
        double bw;
        int n, nn;
    };
    // The fixed Gaussian on 60 points; the adaptive bi-square on 1200, where
    // the fits go through the neighbour index.
    for (const kase& k : {kase{"fnn", 2.0, 60, 0}, kase{"vnn", 80, 1200, 80}}) {
        SCOPED_TRACE(k.kernel);
        tempdir t;
        const double side = k.n == 60 ? 8.0 : 35.0;
        const points d = make_points(k.n, side, 17 + k.n);
        const std::string data = t.write("obs.csv", csv(d));
        // New places with their own predictor values; the columns in
        // another order than in the data file.
        std::vector<std::vector<double>> at;  // x, y, P1, P2
        std::string table = "P2,Y,ID,P1,X\n";
        for (int l = 0; l < 7; ++l) {
            const std::vector<double> v{side * (0.1 + 0.13 * l), side * (0.9 - 0.11 * l), 1.5 - 0.6 * l,
                                        0.3 * l - 1.0};
            at.push_back(v);
            char buf[200];
            std::snprintf(buf, sizeof buf, "%.17g,%.17g,%d,%.17g,%.17g\n", v[3], v[1], 500 + l, v[2], v[0]);
            table += buf;
        }
        const std::string loc = t.write("new.csv", table);

        harness obs(control(data, "", k.kernel, k.bw));
        ASSERT_EQ(gwr::run(*obs.s), 0) << obs.err.str();
        const double sigma = sigma_reference(d, k.bw, k.nn);
        EXPECT_LT(rel(obs.s->hat1.sigma, sigma), 1e-10);

        harness run(control(data, loc, k.kernel, k.bw));
        ASSERT_EQ(gwr::run(*run.s), 0) << run.err.str();
        const gwr::state& s = *run.s;
        ASSERT_TRUE(s.pred.active);
        // The sigma of the run at the observations, bit for bit, and listed.
        EXPECT_EQ(s.pred.sigma, obs.s->hat1.sigma);
        char line[100];
        std::snprintf(line, sizeof line, "** Sigma of the local model at the observations..%20.6f", sigma);
        EXPECT_NE(run.listing().find(line), std::string::npos) << line;
        for (int l = 0; l < 7; ++l) {
            EXPECT_EQ(s.fit2.fitid[l], 500 + l);
            const localfit f = solve_at(d, kernel(d, at[l][0], at[l][1], k.bw, k.nn));
            const std::vector<double> x0{1.0, at[l][2], at[l][3]};
            double yh = 0.0;
            for (int q = 0; q < 3; ++q) yh += f.b[q] * x0[q];
            EXPECT_LT(rel(s.pred.predy[l], yh), 1e-9) << l;
            EXPECT_LT(rel(s.pred.predse[l], sigma * std::sqrt(1.0 + quad(f.c, x0))), 1e-9) << l;
        }
        // The report lists them with their identifiers.
        char row[120];
        std::snprintf(row, sizeof row, "%5d%12d%12.3f%12.3f%12.3f%12.3f  F", 1, 500, at[0][0], at[0][1],
                      s.pred.predy[0], s.pred.predse[0]);
        EXPECT_NE(run.listing().find(row), std::string::npos) << row;
    }
}

TEST(Prediction, LogisticAndPoissonAtNewPlacesByTheDeltaMethod) {
    for (int method : {3, 4}) {
        SCOPED_TRACE(method);
        glmref::data d = glmref::make(method, 40, 50 + method);
        const double h = 3.0;
        glmref::setup t(d, h);
        gwr::glm(t.s);
        t.s.output.samepts = 0;
        const int m = 4;
        t.s.fit3.nloc = m;
        gwr::blocks::predict& p = t.s.pred;
        p.active = true;
        p.x0.resize(m, 3);
        p.off0 = {0.7, 1.0, 2.5, 1.3};
        p.predy.assign(m, 0.0);
        p.predse.assign(m, 0.0);
        p.q.assign(m, 0.0);
        for (int i = 0; i < m; ++i) {
            t.s.fit1.xfit[i] = 2.5 * i + 0.3;
            t.s.fit1.yfit[i] = 1.0 + 2.0 * i;
            p.x0(i, 0) = 1.0;
            // Location 1 predicts at 0 for both predictors: the linear
            // predictor is the intercept alone.
            p.x0(i, 1) = i == 0 ? 0.0 : 0.8 - 0.5 * i;
            p.x0(i, 2) = i == 0 ? 0.0 : 0.3 * i - 0.4;
        }
        gwr::tzmglm(t.s);
        for (int i = 0; i < m; ++i) {
            const auto k = glmref::gauss_kernel(d, t.s.fit1.xfit[i], t.s.fit1.yfit[i], h);
            const glmref::mle fit = glmref::newton(d, k);
            const int P = d.p();
            std::vector<double> a(P * P, 0.0), v(d.n());
            for (int j = 0; j < d.n(); ++j) {
                const double mu = glmref::mean_of(d, j, fit.b);
                v[j] = method == 3 ? mu * (1.0 - mu) : mu;
                for (int r = 0; r < P; ++r)
                    for (int c = 0; c < P; ++c) a[r * P + c] += k[j] * v[j] * d.x[j][r] * d.x[j][c];
            }
            const auto c = glmref::inverse(a, P);
            std::vector<double> x0{1.0, p.x0(i, 1), p.x0(i, 2)}, cx(P, 0.0);
            double eta = 0.0;
            for (int r = 0; r < P; ++r) {
                eta += fit.b[r] * x0[r];
                for (int l = 0; l < P; ++l) cx[r] += c[r * P + l] * x0[l];
            }
            // Var(x0'b) = x0' C (sum_j k_j^2 v_j x_j x_j') C x0.
            double var = 0.0;
            for (int j = 0; j < d.n(); ++j) {
                double r = 0.0;
                for (int l = 0; l < P; ++l) r += cx[l] * d.x[j][l];
                var += k[j] * k[j] * v[j] * r * r;
            }
            const double mu = method == 3 ? 1.0 / (1.0 + std::exp(-eta)) : p.off0[i] * std::exp(eta);
            const double se = (method == 3 ? mu * (1.0 - mu) : mu) * std::sqrt(var);
            EXPECT_LT(rel(p.predy[i], mu), 1e-6) << i;
            // The engine's variances come from its standard errors' refit,
            // which stops at a relative change of 1e-3 of the likelihood.
            EXPECT_LT(rel(p.predse[i], se), 2e-3) << i;
        }
        // At predictors 0 the standard error is the intercept's, scaled.
        const double mu0 = p.predy[0];
        const double slope = method == 3 ? mu0 * (1.0 - mu0) : mu0;
        EXPECT_LT(rel(p.predse[0], slope * t.s.svals(0, 0)), 1e-12);
    }
}

// The lines of a listing that do not say where the locations came from.
std::vector<std::string> model_lines(const std::string& listing) {
    std::vector<std::string> keep;
    for (const std::string& l : lines(testing_support::mask_times(listing))) {
        bool drop = false;
        for (const char* t : {"Prediction location file", "Number of calibration points", "Location table",
                              "Prediction points read", "Regression point file read",
                              "Data and regression points identical", "Offsets at the locations"})
            drop = drop || l.find(t) != std::string::npos;
        if (!drop) keep.push_back(l);
    }
    return keep;
}

TEST(Prediction, LocationTableEqualToTheObservationsGivesTheFittedValues) {
    // The data file itself as the location table: the run is the run at the
    // observations, with the predictions added to its report and result
    // file, and they are its fitted values to the last digit.
    struct kase {
        const char *example, *data, *result;
    };
    for (const kase& k : {kase{"gaussian_fixed.tzm", "columbus.csv", "gaussian_fixed_results.csv"},
                          kase{"logistic.tzm", "columbus.csv", "logistic_results.csv"},
                          kase{"poisson.tzm", "counts.csv", "poisson_results.csv"}}) {
        SCOPED_TRACE(k.example);
        std::vector<std::string> rec = lines(read_file(fs::path(EXAMPLES_DIR) / k.example));
        ASSERT_GE(rec.size(), 16u);
        tempdir plain, table;
        for (const tempdir* t : {&plain, &table}) fs::copy_file(fs::path(EXAMPLES_DIR) / k.data, t->path / k.data);
        rec[10] = "1";  // the prediction report
        std::string ctl;
        for (const auto& r : rec) ctl += r + "\n";
        const auto a = testing_support::run_tzm(ctl, plain.path);
        rec[1] = k.data;
        std::string ctl2;
        for (const auto& r : rec) ctl2 += r + "\n";
        const auto b = testing_support::run_tzm(ctl2, table.path);
        ASSERT_EQ(a.status, 0) << a.err;
        ASSERT_EQ(b.status, 0) << b.err;
        EXPECT_EQ(b.err, "");
        EXPECT_NE(b.out.find("** Location table with predictor values: predictions at every location"),
                  std::string::npos);

        // The listing: the same lines, the report's rows with two columns more.
        const auto la = model_lines(a.out), lb = model_lines(b.out);
        ASSERT_EQ(la.size(), lb.size());
        int longer = 0;
        for (std::size_t i = 0; i < la.size(); ++i) {
            EXPECT_EQ(lb[i].substr(0, la[i].size()), la[i]);
            if (lb[i].size() > la[i].size()) {
                ++longer;
                EXPECT_EQ(lb[i].size(), 92u) << lb[i];  // two columns of 12 more, header too
            }
        }
        EXPECT_GT(longer, 1);

        // The result file: the same columns and values, then PREDY equal to
        // PRED and PREDSE.
        const auto ra = lines(read_file(plain.path / k.result)), rb = lines(read_file(table.path / k.result));
        ASSERT_EQ(ra.size(), rb.size());
        EXPECT_EQ(rb[0], ra[0] + ",PREDY,PREDSE");
        for (std::size_t i = 1; i < ra.size(); ++i) {
            ASSERT_EQ(rb[i].substr(0, ra[i].size()), ra[i]);
            std::vector<std::string> fa, fb;
            std::stringstream sa(ra[i]), sb(rb[i]);
            for (std::string f; std::getline(sa, f, ',');) fa.push_back(f);
            for (std::string f; std::getline(sb, f, ',');) fb.push_back(f);
            ASSERT_EQ(fb.size(), fa.size() + 2);
            const std::size_t pred = fa.size() - 6;  // OBS, PRED, RESID, HAT, STDRES, COOKSD, LOCRSQ
            EXPECT_EQ(fb[fa.size()], fa[pred]) << i;
            EXPECT_GT(std::stod(fb[fa.size() + 1]), 0.0) << i;
        }
    }
}

}  // namespace

namespace {

TEST(Prediction, EveryResultFormatCarriesThemAndTheGeoPackageTheAdjustedCriticalValue) {
    // The prediction example in each format: the two columns at the end,
    // the same values everywhere.
    const auto rec0 = lines(read_file(fs::path(EXAMPLES_DIR) / "predict.tzm"));
    ASSERT_EQ(rec0.size(), 16u);
    std::vector<double> predy, predse;
    for (const char* code : {"1", "2", "3", "4"}) {
        SCOPED_TRACE(code);
        auto rec = rec0;
        rec[11] = code;
        std::string ctl;
        for (const auto& r : rec) ctl += r + "\n";
        tempdir t;
        for (const char* f : {"columbus.csv", "columbus_new.csv"})
            fs::copy_file(fs::path(EXAMPLES_DIR) / f, t.path / f);
        const auto r = testing_support::run_tzm(ctl, t.path);
        ASSERT_EQ(r.status, 0) << r.err;
        const std::string code1 = code;
        if (code1 == "1") {
            const auto rows = lines(read_file(t.path / "predict_results.csv"));
            ASSERT_EQ(rows.size(), 7u);
            EXPECT_NE(rows[0].find(",LOCRSQ,PREDY,PREDSE"), std::string::npos);
            for (std::size_t i = 1; i < rows.size(); ++i) {
                std::vector<double> f;
                std::stringstream ss(rows[i]);
                for (std::string v; std::getline(ss, v, ',');) f.push_back(std::stod(v));
                predy.push_back(f[f.size() - 2]);
                predse.push_back(f.back());
            }
        } else if (code1 == "2") {
            const std::string e00 = read_file(t.path / "predict_results.csv");
            EXPECT_NE(e00.find("\nPREDY             4-1"), std::string::npos);
            EXPECT_NE(e00.find("\nPREDSE            4-1"), std::string::npos);
        } else if (code1 == "3") {
            const std::string mif = read_file(t.path / "predict_results.mif");
            EXPECT_NE(mif.find("LOCRSQ    float\nPREDY     float\nPREDSE    float\nDATA\n"), std::string::npos);
            const auto mid = lines(read_file(t.path / "predict_results.mid"));
            ASSERT_EQ(mid.size(), 6u);
            std::istringstream last(mid[0].substr(mid[0].rfind(' ', mid[0].rfind(' ') - 1)));
            double a = 0, b = 0;
            last >> a >> b;
            EXPECT_NEAR(a, predy[0], 1e-7 * std::fabs(predy[0]));
            EXPECT_NEAR(b, predse[0], 1e-7 * predse[0]);
        } else {
            GDALAllRegister();
            std::unique_ptr<GDALDataset> ds(GDALDataset::Open((t.path / "predict_results.gpkg").c_str(),
                                                              GDAL_OF_VECTOR | GDAL_OF_READONLY));
            ASSERT_TRUE(ds);
            OGRLayer* layer = ds->GetLayer(0);
            // At other places there is no effective number of parameters.
            EXPECT_EQ(layer->GetMetadataItem("ADJUSTED_CRITICAL_T"), nullptr);
            int i = 0;
            for (auto& f : *layer) {
                EXPECT_NEAR(f->GetFieldAsDouble("PREDY"), predy[i], 1e-7 * std::fabs(predy[i]));
                EXPECT_NEAR(f->GetFieldAsDouble("PREDSE"), predse[i], 1e-7 * predse[i]);
                ++i;
            }
            EXPECT_EQ(i, 6);
        }
    }

    // At the observations the layer keeps the critical |t| at the 5 % level
    // that the listing gives.
    auto rec = lines(read_file(fs::path(EXAMPLES_DIR) / "gaussian.tzm"));
    rec[11] = "4";
    std::string ctl;
    for (const auto& r : rec) ctl += r + "\n";
    tempdir t;
    fs::copy_file(fs::path(EXAMPLES_DIR) / "columbus.csv", t.path / "columbus.csv");
    const auto r = testing_support::run_tzm(ctl, t.path);
    ASSERT_EQ(r.status, 0) << r.err;
    std::unique_ptr<GDALDataset> ds(
        GDALDataset::Open((t.path / "gaussian_results.gpkg").c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY));
    ASSERT_TRUE(ds);
    const char* crit = ds->GetLayer(0)->GetMetadataItem("ADJUSTED_CRITICAL_T");
    ASSERT_NE(crit, nullptr);
    const std::string line = r.out.substr(r.out.find("Critical |t|"), 60);
    std::istringstream is(line.substr(12));
    double c10 = 0, c05 = 0;
    is >> c10 >> c05;
    EXPECT_NEAR(std::stod(crit), c05, 5e-7);
}

}  // namespace
