// Logistic and Poisson local fits over the kernel's neighbour list: whole
// runs must give the same listing, result file and tables bit for bit with
// the neighbour index as without it, failures included; and an observation
// outside the kernel's reach must not touch a local fit even where its mean
// overflows.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "control/control.h"
#include "control/stop.h"
#include "glm/glm.h"
#include "glm_reference.h"
#include "support/testing.h"

namespace {

using testing_support::harness;
using testing_support::mask_times;
using testing_support::read_file;
using testing_support::tempdir;

bool same_bits(const std::vector<double>& a, const std::vector<double>& b) {
    return a.size() == b.size() &&
           (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0);
}

// Observations on a 12 x 12 grid of unit spacing, every point twice (so
// distances tie everywhere, at the N-th one too), with two predictors, a
// positive weight column and a response whose coefficients drift across
// the grid: 0/1 for the logistic model, counts for the Poisson model.  With
// `sphere` the grid is one of longitudes and latitudes 0.05 degrees apart.
std::string grid_data(int method, std::uint64_t seed, bool sphere = false) {
    glmref::lcg g(seed);
    std::ostringstream f;
    f.precision(17);
    f << "ID,X,Y,Y0,W,X1,X2\n";
    int id = 0;
    for (int rep = 0; rep < 2; ++rep)
        for (int a = 0; a < 12; ++a)
            for (int b = 0; b < 12; ++b) {
                const double x1 = g.normal(), x2 = 2.0 * g.uniform() - 1.0;
                const double w = 0.5 + 1.5 * g.uniform();
                const double b1 = 0.3 + 0.08 * a, b2 = -0.6 + 0.07 * b;
                double y;
                if (method == 3)
                    y = g.uniform() < 1.0 / (1.0 + std::exp(-(-0.2 + b1 * x1 + b2 * x2))) ? 1.0 : 0.0;
                else
                    y = g.poisson(w * std::exp(0.3 + 0.5 * b1 * x1 + b2 * x2));
                const double u = sphere ? 10.0 + 0.05 * a : a, v = sphere ? 50.0 + 0.05 * b : b;
                f << ++id << "," << u << "," << v << "," << y << "," << w << "," << x1 << "," << x2 << "\n";
            }
    return f.str();
}

std::string control(const tempdir& t, const std::string& loc, int method, int wcol, const std::string& kernel,
                    const std::string& bw, int coords = 1) {
    std::ostringstream c;
    c << t.file("data.csv") << "\n"
      << (loc.empty() ? "" : t.file(loc)) << "\n"
      << t.file("res.txt") << "\n4\n2,3," << wcol << "\nNeighbour test\nFFFFFTT\n"
      << kernel << "\n" << bw << "\n0\n0\n1\n0\n0\n" << method << "\n" << coords << "\n";
    return c.str();
}

struct outcome {
    int status = 0;
    std::string listing, err, result;
    std::vector<double> bvals, svals, hatdg, yhat;
};

// An in-process run; nbmin 1 builds the neighbour index for every fitting
// loop, 1 << 30 never.
outcome run(const std::string& ctl, const tempdir& t, int nbmin) {
    std::filesystem::remove(t.file("res.txt"));
    harness h(ctl);
    h.s->nbmin = nbmin;
    outcome r;
    r.status = gwr::run(*h.s);
    r.listing = mask_times(h.listing());
    r.err = h.err.str();
    if (std::filesystem::exists(t.file("res.txt"))) r.result = read_file(t.file("res.txt"));
    r.bvals = h.s->bvals.a;
    r.svals = h.s->svals.a;
    r.hatdg = h.s->hat1.hatdg;
    r.yhat = h.s->output.yhat;
    return r;
}

// The first line where two texts differ, for the failure message.
std::string first_difference(const std::string& a, const std::string& b) {
    const auto la = testing_support::lines(a), lb = testing_support::lines(b);
    for (std::size_t i = 0; i < std::max(la.size(), lb.size()); ++i) {
        const std::string x = i < la.size() ? la[i] : "<end>", y = i < lb.size() ? lb[i] : "<end>";
        if (x != y) return "line " + std::to_string(i + 1) + ":\n" + x + "\n" + y;
    }
    return "";
}

void expect_same(const outcome& a, const outcome& b) {
    EXPECT_EQ(a.status, b.status);
    EXPECT_TRUE(a.listing == b.listing) << first_difference(a.listing, b.listing);
    EXPECT_EQ(a.err, b.err);
    EXPECT_TRUE(a.result == b.result) << first_difference(a.result, b.result);
    EXPECT_TRUE(same_bits(a.bvals, b.bvals));
    EXPECT_TRUE(same_bits(a.svals, b.svals));
    EXPECT_TRUE(same_bits(a.hatdg, b.hatdg));
    EXPECT_TRUE(same_bits(a.yhat, b.yhat));
}

TEST(GlmNeighbours, RunsAreIdenticalWithAndWithoutTheIndex) {
    struct model {
        int method;
        std::string kernel, bw, loc;
        int wcol;
        bool complete;  // the run ends normally
        int coords = 1;  // 2: longitudes and latitudes
    };
    const std::vector<model> models{
        // Adaptive kernel: given size (ties at the N-th distance), AICc and
        // cross-validation.
        {3, "vnn", "40", "", 0, true},
        {3, "vaa", "0", "", 0, true},
        {4, "vca", "0", "", 5, true},
        {4, "vnn", "37", "", 5, true},
        // Cylinder (boundary on the grid points) and a fixed Gaussian whose
        // weights underflow to 0 beyond a few units; with a weight variable.
        {3, "cnn", "3", "", 5, true},
        {4, "cnn", "3", "", 0, true},
        {3, "fnn", "0.9", "", 5, true},
        {4, "faa", "0", "", 5, true},
        // A location file holding the observation points, and one holding
        // other points (estimates and standard errors, no diagnostics).
        {4, "vnn", "40", "same.xy", 5, true},
        {3, "vnn", "40", "other.xy", 0, true},
        // Great-circle distances (kilometres).
        {4, "vnn", "40", "", 5, true, 2},
        {3, "cnn", "12", "", 0, true, 2},
        {4, "faa", "0", "", 0, true, 2},
    };
    for (int method : {3, 4}) {
        tempdir t;
        t.write("data.csv", grid_data(method, 11 + method));
        t.write("sphere.csv", grid_data(method, 11 + method, true));
        std::ostringstream same, other;
        for (int j = 0; j < 288; ++j) same << j + 1 << " " << (j % 144) / 12 << " " << j % 12 << "\n";
        for (int j = 0; j < 7; ++j) other << j + 1 << " " << 1.5 * j + 0.25 << " " << 0.5 + j << "\n";
        t.write("same.xy", same.str());
        t.write("other.xy", other.str());
        for (const model& m : models) {
            if (m.method != method) continue;
            SCOPED_TRACE(m.kernel + " " + m.bw + " " + m.loc + (m.coords == 2 ? " sphere" : ""));
            std::string ctl = control(t, m.loc, m.method, m.wcol, m.kernel, m.bw, m.coords);
            if (m.coords == 2) ctl.replace(ctl.find("data.csv"), 8, "sphere.csv");
            const outcome indexed = run(ctl, t, 1);
            const outcome scanned = run(ctl, t, 1 << 30);
            expect_same(indexed, scanned);
            if (m.complete) {
                EXPECT_NE(indexed.listing.find("Program terminates normally"), std::string::npos) << indexed.listing;
                EXPECT_FALSE(indexed.result.empty());
                EXPECT_EQ(indexed.listing.find("NaN"), std::string::npos);
            } else {
                EXPECT_EQ(indexed.err, "STOP 9999 statement executed\n");
                EXPECT_NE(indexed.listing.find(" Jacobian has no inverse..."), std::string::npos);
            }
        }
    }
}

TEST(GlmNeighbours, StandardErrorsOfTheLocalModelEqualThoseOfFreshRefits) {
    // The local model takes its standard errors' refits from the passes of
    // its own fits; glm_se refits every location from scratch.
    for (int method : {3, 4}) {
        for (int kernel : {1, 2}) {
            SCOPED_TRACE(testing::Message() << method << " " << kernel);
            glmref::data d = glmref::make(method, 250, 40 + method);
            glmref::setup t(d, 1.5);
            gwr::state& s = t.s;
            s.nbmin = 1;
            if (kernel == 2) {
                testing_support::describe(s, [](gwr::run_description& r) { testing_support::set_kernel(r, 'v'); });
                s.fit5.nnear = 60;
            }
            gwr::tzmglm(s);
            const std::vector<double> local = s.svals.a;
            int recorded = 0;
            for (int i = 0; i < d.n(); ++i) recorded += s.glm1.hasbrel[i];
            EXPECT_GT(recorded, d.n() / 2);
            std::fill(s.svals.a.begin(), s.svals.a.end(), -1.0);
            gwr::glm_se(s);
            EXPECT_TRUE(same_bits(local, s.svals.a));
            EXPECT_GT(*std::min_element(local.begin(), local.begin() + d.n() * d.p()), 0.0);
        }
    }
}

TEST(GlmNeighbours, ConvergenceFailureLinesAreIdenticalWithAndWithoutTheIndex) {
    // Cylinder windows of radius 1.5 hold only a few observations, and in
    // half of the area the second predictor is 0: some local fits never
    // settle, and the run stops at the first of them.
    glmref::data d = glmref::make(4, 120, 6);
    tempdir t;
    std::ostringstream f;
    f.precision(17);
    f << "ID,X,Y,Y0,W,X1,X2\n";
    for (int j = 0; j < d.n(); ++j)
        f << j + 1 << "," << d.xc[j] << "," << d.yc[j] << "," << d.y[j] << "," << d.offset[j] << ","
          << d.x[j][1] << "," << (d.xc[j] < 5.0 ? 0.0 : d.x[j][2]) << "\n";
    t.write("data.csv", f.str());
    for (const char* kernel : {"cnn", "vnn"}) {
        SCOPED_TRACE(kernel);
        const std::string ctl = control(t, "", 4, 5, kernel, kernel[0] == 'c' ? "1.5" : "4");
        const outcome indexed = run(ctl, t, 1);
        const outcome scanned = run(ctl, t, 1 << 30);
        expect_same(indexed, scanned);
        EXPECT_EQ(indexed.err, "STOP 8888 statement executed\n");
        EXPECT_NE(indexed.listing.find(" [WGLM] IRLS Convergence problem"), std::string::npos) << indexed.listing;
    }
}

// Poisson data with a cluster of observations around the fit locations and
// one far observation F with a zero count, a huge predictor value and a
// tiny offset.  The unweighted start of every fit passes close to F's
// working response ln(0.001) - ln(offset), above 709, so under the start's
// coefficients F's mean e^eta overflows to infinity; F is beyond the
// kernel's reach, where its mean under the local coefficients is tiny.
struct far_case {
    glmref::data d;
    far_case() {
        glmref::lcg g(17);
        d.method = 4;
        for (int j = 0; j < 60; ++j) {
            const double x1 = 2.0 * g.uniform() - 1.0;
            d.xc.push_back(3.0 * g.uniform());
            d.yc.push_back(3.0 * g.uniform());
            d.x.push_back({1.0, x1});
            d.offset.push_back(1.0);
            d.y.push_back(g.poisson(std::exp(0.5 + 0.8 * x1)));
        }
        d.xc.push_back(50.0);
        d.yc.push_back(50.0);
        d.x.push_back({1.0, 200.0});
        d.offset.push_back(1e-315);
        d.y.push_back(0.0);
    }
    int far() const { return d.n() - 1; }
};

TEST(GlmNeighbours, FarObservationWhoseMeanOverflowsAddsNothingToALocalFit) {
    far_case fc;
    const glmref::data& d = fc.d;
    {
        // The premise: the unweighted least-squares start (working response
        // ln(y + 0.001) - ln(offset) on the design) puts F's linear
        // predictor beyond the overflow of e^eta.
        const int p = d.p();
        std::vector<double> xtx(static_cast<std::size_t>(p) * p, 0.0), xtz(p, 0.0);
        for (int j = 0; j < d.n(); ++j) {
            const double z = std::log(d.y[j] + 0.001) - std::log(d.offset[j]);
            for (int k = 0; k < p; ++k) {
                xtz[k] += d.x[j][k] * z;
                for (int l = 0; l < p; ++l) xtx[k * p + l] += d.x[j][k] * d.x[j][l];
            }
        }
        const auto b0 = glmref::solve(xtx, xtz);
        double eta = 0.0;
        for (int k = 0; k < p; ++k) eta += d.x[fc.far()][k] * b0[k];
        ASSERT_GT(eta, 710.0);
        ASSERT_TRUE(std::isinf(d.offset[fc.far()] * std::exp(eta)));

        glmref::setup t(d);
        for (int j = 0; j < d.n(); ++j) t.s.ws.kwt[j] = 1.0;
        t.s.ws.kwt[fc.far()] = 0.0;
        try {
            gwr::wglm(t.s, t.s.ws);
        } catch (const gwr::stop& e) {
            FAIL() << "stop " << e.code << "\n" << t.h.listing();
        }
        // A kernel weight of 0 (a full scan over the observations).
        auto ref = glmref::newton(d, t.s.ws.kwt);
        for (int k = 0; k < d.p(); ++k) EXPECT_NEAR(t.s.ws.bhat[k], ref.b[k], 1e-10) << k;
        EXPECT_TRUE(std::isfinite(t.s.ws.loglik));
        EXPECT_GT(t.s.ws.niter, 1);
    }
    // Local fits at three cluster points with an adaptive kernel of 45
    // neighbours, F the farthest observation; the locations are not the
    // observations, so the run gives estimates and standard errors only.
    const std::vector<std::pair<double, double>> at{{1.0, 1.0}, {2.0, 1.5}, {0.5, 2.5}};
    for (int nbmin : {1, 1 << 30}) {
        SCOPED_TRACE(nbmin);
        glmref::setup t(d);
        gwr::state& s = t.s;
        s.nbmin = nbmin;
        testing_support::describe(s, [](gwr::run_description& r) { testing_support::set_kernel(r, 'v'); });
        s.fit5.nnear = 45;
        s.fit3.nloc = static_cast<int>(at.size());
        s.output.samepts = 0;
        for (std::size_t i = 0; i < at.size(); ++i) {
            s.fit1.xfit[i] = at[i].first;
            s.fit1.yfit[i] = at[i].second;
        }
        try {
            gwr::tzmglm(s);
        } catch (const gwr::stop& e) {
            ADD_FAILURE() << "stop " << e.code;
        }
        for (std::size_t i = 0; i < at.size(); ++i) {
            EXPECT_TRUE(std::isfinite(s.svals(i, 1))) << i;
            const auto w = glmref::bisquare_kernel(d, at[i].first, at[i].second, 45);
            ASSERT_EQ(w[fc.far()], 0.0);
            auto ref = glmref::newton(d, w);
            for (int k = 0; k < d.p(); ++k) {
                EXPECT_TRUE(std::isfinite(s.bvals(i, k)));
                EXPECT_NEAR(s.bvals(i, k), ref.b[k], 1e-10) << i << "," << k;
            }
        }
    }
}

}  // namespace
