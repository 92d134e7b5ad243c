// Local logistic and Poisson models against independent weighted
// Newton-Raphson fits at every location: estimates, likelihood sums,
// leverages, the bandwidth criterion and the standard errors.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>

#include "control/stop.h"
#include "gaussian/vexp.h"
#include "glm/glm.h"
#include "glm/glm_internal.h"
#include "gaussian_reference.h"
#include "glm_reference.h"

namespace {

using glmref::data;
using glmref::setup;

// Leverage of location i from the fitted values f of all locations and the
// kernel weights k of location i: a_i x_i' (sum_j k_j a_j x_j x_j')^-1 x_i.
double leverage(const data& d, const std::vector<double>& f, const std::vector<double>& k, int i) {
    const int p = d.p();
    std::vector<double> a(static_cast<std::size_t>(p) * p, 0.0);
    auto var = [&](int j) { return d.method == 3 ? f[j] * (1.0 - f[j]) : f[j]; };
    for (int j = 0; j < d.n(); ++j)
        for (int r = 0; r < p; ++r)
            for (int c = 0; c < p; ++c) a[r * p + c] += k[j] * var(j) * d.x[j][r] * d.x[j][c];
    auto inv = glmref::inverse(a, p);
    double q = 0.0;
    for (int r = 0; r < p; ++r)
        for (int c = 0; c < p; ++c) q += d.x[i][r] * inv[r * p + c] * d.x[i][c];
    return var(i) * q;
}

struct localref {
    std::vector<std::vector<double>> b;
    std::vector<double> fitted;
    double L = 0.0, D = 0.0, rss = 0.0, trs = 0.0;
};

// Weighted maximum-likelihood fit at every observation point with the
// fixed Gaussian kernel of bandwidth h (times the observation weights when
// given); leave_out zeroes the own observation's weight.
localref local_fits(const data& d, double h, const std::vector<double>* obswt, bool leave_out) {
    localref r;
    const int n = d.n();
    std::vector<std::vector<double>> kern;
    for (int i = 0; i < n; ++i) {
        auto k = glmref::gauss_kernel(d, d.xc[i], d.yc[i], h, obswt);
        if (leave_out) k[i] = 0.0;
        kern.push_back(k);
        auto m = glmref::newton(d, k);
        r.b.push_back(m.b);
        const double f = glmref::mean_of(d, i, m.b);
        r.fitted.push_back(f);
        const double y = d.y[i];
        r.rss += (y - f) * (y - f);
        if (d.method == 3) {
            r.L += y * std::log(f) + (1 - y) * std::log(1 - f);
        } else {
            // A zero count adds 2 * fitted value to the deviance.
            r.D += y > 0 ? 2.0 * (y * std::log(y / f) - (y - f)) : 2.0 * f;
        }
    }
    if (d.method == 3)
        r.D = -2 * r.L;
    else
        r.L = -r.D / 2;
    for (int i = 0; i < n; ++i) r.trs += leverage(d, r.fitted, glmref::gauss_kernel(d, d.xc[i], d.yc[i], h, obswt), i);
    return r;
}

void expect_local(const gwr::state& s, const data& d, const localref& r) {
    for (int i = 0; i < d.n(); ++i) {
        for (int k = 0; k < d.p(); ++k) EXPECT_NEAR(s.bvals(i, k), r.b[i][k], 1e-6) << i << "," << k;
        EXPECT_NEAR(s.output.yhat[i], r.fitted[i], 1e-8) << i;
        EXPECT_NEAR(s.output.resid[i], d.y[i] - r.fitted[i], 1e-8) << i;
    }
    EXPECT_NEAR(s.glm2.loclik, r.L, 1e-7);
    EXPECT_NEAR(s.glm2.locdev, r.D, 1e-7);
    EXPECT_NEAR(s.anova.rss, r.rss, 1e-8);
    EXPECT_NEAR(s.hat1.trs, r.trs, 1e-7);
    const double n = d.n(), k = r.trs;
    EXPECT_NEAR(s.hat1.aicc, -2 * r.L + 2 * k * n / (n - k - 1), 1e-6);
    EXPECT_NEAR(s.hat1.bic, -2 * r.L + k * std::log(n), 1e-6);
}

TEST(GlmLocal, LogisticWeightVariableEntersTheLocalFitsOnly) {
    data d = glmref::make(3, 70, 21);
    std::vector<double> ow;
    for (int j = 0; j < d.n(); ++j) ow.push_back(0.5 + 0.25 * (j % 7));
    const double h = 4.0;
    setup t(d, h);
    t.s.fit6.obswt = ow;
    gwr::glm(t.s);
    auto g = glmref::newton(d);
    for (int k = 0; k < d.p(); ++k) EXPECT_NEAR(t.s.ws.bhat[k], g.b[k], 1e-6);
    gwr::tzmglm(t.s);
    expect_local(t.s, d, local_fits(d, h, &ow, false));

    const auto out = t.h.listing();
    const auto at = out.find("********** Local Logistic Model Diagnostics **********");
    ASSERT_NE(at, std::string::npos) << out;
    char buf[100];
    std::snprintf(buf, sizeof buf, " Log Likelihood:                %20.6f\n", t.s.glm2.loclik);
    EXPECT_NE(out.find(buf, at), std::string::npos) << out;
    std::snprintf(buf, sizeof buf, "Effective number of parameters..%20.6f\n", t.s.hat1.trs);
    EXPECT_NE(out.find(buf, at), std::string::npos);
    for (const char* label : {" Deviance:                      ", "Residual sum of squares.........",
                              "Akaike Information Criterion....", "Corrected AIC...................",
                              "Bayesian Information Criterion.."}) {
        std::string needle = "\n";
        needle += label;
        EXPECT_NE(out.find(needle, at), std::string::npos) << label;
    }
}

TEST(GlmLocal, PoissonWithOffsetsAndZeroCounts) {
    data d = glmref::make(4, 70, 8);
    ASSERT_GT(std::count(d.y.begin(), d.y.end(), 0.0), 5);
    const double h = 3.0;
    setup t(d, h);
    gwr::glm(t.s);
    gwr::tzmglm(t.s);
    expect_local(t.s, d, local_fits(d, h, nullptr, false));
    EXPECT_NE(t.h.listing().find("********** Local Poisson Model Diagnostics **********"), std::string::npos);
    // The condition number of each local fit: that of X' K V X at its
    // estimates, scaled to unit diagonal.
    for (int i = 0; i < d.n(); ++i) {
        auto k = glmref::gauss_kernel(d, d.xc[i], d.yc[i], h);
        auto m = glmref::newton(d, k);
        double a[3][3] = {};
        for (int j = 0; j < d.n(); ++j)
            for (int r = 0; r < 3; ++r)
                for (int c = 0; c < 3; ++c) a[r][c] += k[j] * glmref::mean_of(d, j, m.b) * d.x[j][r] * d.x[j][c];
        const double ref = gaussian_reference::cond3(a);
        EXPECT_NEAR(t.s.diags.cond[i], ref, 1e-4 * ref) << i;
    }
}

TEST(GlmLocal, HugeBandwidthGivesTheGlobalModel) {
    for (int method : {3, 4}) {
        data d = glmref::make(method, 60, 31);
        setup t(d, 1e6);
        gwr::glm(t.s);
        const auto gb = t.s.ws.bhat, gse = t.s.ws.sehat;
        const double gL = t.s.glm2.loglik;
        gwr::tzmglm(t.s);
        for (int i = 0; i < d.n(); ++i)
            for (int k = 0; k < d.p(); ++k) {
                EXPECT_NEAR(t.s.bvals(i, k), gb[k], 1e-6) << method;
                // The standard errors come from a refit with a looser stop.
                EXPECT_NEAR(t.s.svals(i, k), gse[k], 1e-3 * gse[k]) << method;
            }
        EXPECT_NEAR(t.s.hat1.trs, 3.0, 1e-6) << method;
        EXPECT_NEAR(t.s.glm2.loclik, gL, 1e-6) << method;
    }
}

TEST(GlmLocal, StandardErrorsFollowTheSandwichFormula) {
    // s_k = sum_j R(k,j)^2 / u_j with R = C X' V K, C = (X' K V X)^-1, at
    // the estimates of the refit; checked with the converged estimates.
    data d = glmref::make(4, 50, 44);
    const double h = 3.5;
    setup t(d, h);
    gwr::glm(t.s);
    gwr::tzmglm(t.s);
    const int p = d.p();
    for (int i : {0, 17, 49}) {
        auto k = glmref::gauss_kernel(d, d.xc[i], d.yc[i], h);
        auto m = glmref::newton(d, k);
        std::vector<double> a(p * p, 0.0), v(d.n());
        for (int j = 0; j < d.n(); ++j) {
            v[j] = glmref::mean_of(d, j, m.b);
            for (int r = 0; r < p; ++r)
                for (int c = 0; c < p; ++c) a[r * p + c] += k[j] * v[j] * d.x[j][r] * d.x[j][c];
        }
        auto c = glmref::inverse(a, p);
        for (int q = 0; q < p; ++q) {
            double sum = 0.0;
            for (int j = 0; j < d.n(); ++j) {
                double r = 0.0;
                for (int l = 0; l < p; ++l) r += c[q * p + l] * d.x[j][l] * v[j] * k[j];
                sum += r * r / t.s.output.yhat[j];
            }
            EXPECT_NEAR(t.s.svals(i, q), std::sqrt(sum), 2e-3 * std::sqrt(sum)) << i << "," << q;
        }
    }
}

TEST(GlmLocal, CrossValidationLeavesTheOwnObservationOut) {
    data d = glmref::make(4, 50, 12);
    const double h = 2.5;
    setup t(d, 99.0);
    testing_support::describe(t.s, [](gwr::run_description& r) { testing_support::set_calibration(r, 2); });
    const double score = gwr::glmval(t.s, h);
    auto r = local_fits(d, h, nullptr, true);
    EXPECT_NEAR(score, r.rss, 1e-8 * r.rss);
    for (int i = 0; i < d.n(); ++i) EXPECT_NEAR(t.s.output.resid[i], d.y[i] - r.fitted[i], 1e-8);
    EXPECT_EQ(t.s.parms.bandw, h);  // the trial bandwidth stays current

    // The AICc codes keep the own observation and return the AICc.
    setup a(d, 99.0);
    testing_support::describe(a.s, [](gwr::run_description& r) { testing_support::set_calibration(r, 3); });
    const double aicc = gwr::glmval(a.s, h);
    auto ra = local_fits(d, h, nullptr, false);
    EXPECT_NEAR(a.s.anova.rss, ra.rss, 1e-8);
    const double n = d.n(), k = ra.trs;
    EXPECT_NEAR(aicc, -2 * ra.L + 2 * k * n / (n - k - 1), 1e-6);
}

TEST(GlmLocal, CriterionIsEvaluatedAtTheObservationPoints) {
    // A separate, shorter location list does not change the criterion.
    data d = glmref::make(4, 40, 3);
    setup t(d);
    testing_support::describe(t.s, [](gwr::run_description& r) { testing_support::set_calibration(r, 3); });
    const double at_obs = gwr::glmval(t.s, 3.0);
    setup u(d);
    testing_support::describe(u.s, [](gwr::run_description& r) { testing_support::set_calibration(r, 3); });
    u.s.output.samepts = 0;
    u.s.fit3.nloc = 5;
    u.s.fit1.xfit.assign(5, 100.0);
    u.s.fit1.yfit.assign(5, -100.0);
    EXPECT_EQ(gwr::glmval(u.s, 3.0), at_obs);
}

TEST(GlmLocal, AdaptiveTrialSizesRoundHalfUp) {
    data d = glmref::make(4, 60, 17);
    setup t(d);
    testing_support::describe(t.s, [](gwr::run_description& r) {
        testing_support::set_kernel(r, 'v');
        testing_support::set_calibration(r, 3);
    });
    for (double trial : {17.5, 17.49}) {
        gwr::glmval(t.s, trial);
        const int nn = trial == 17.5 ? 18 : 17;
        EXPECT_EQ(t.s.fit5.nnear, nn);
        // The fit at location 1 used the bi-square of its nn-th neighbour.
        std::vector<double> dsq;
        for (int j = 0; j < d.n(); ++j)
            dsq.push_back(std::pow(d.xc[j] - d.xc[0], 2) + std::pow(d.yc[j] - d.yc[0], 2));
        auto sorted = dsq;
        std::sort(sorted.begin(), sorted.end());
        const double D = sorted[nn - 1];
        std::vector<double> k;
        for (double q : dsq) k.push_back(q < D ? std::pow(1 - q / D, 2) : 0.0);
        auto m = glmref::newton(d, k);
        for (int q = 0; q < d.p(); ++q) EXPECT_NEAR(t.s.bvals(0, q), m.b[q], 1e-6) << trial;
    }
}

TEST(GlmLocal, OtherFitLocationsGiveEstimatesAndSandwichStandardErrors) {
    // At points that are not observations no fitted value, leverage or
    // likelihood exists; the estimates are the weighted maximum-likelihood
    // fits there, and the standard errors the sandwich sum_j k_j^2 v_j
    // (C x_j)_k^2 with C = (X' K V X)^-1 at the local estimates.
    for (int method : {3, 4}) {
        SCOPED_TRACE(method);
        data d = glmref::make(method, 40, 30 + method);
        const double h = 3.0;
        setup t(d, h);
        gwr::glm(t.s);
        // Fitted values left behind by a calibration must not be used.
        std::fill(t.s.output.yhat.begin(), t.s.output.yhat.end(), 2.0);
        t.s.output.samepts = 0;
        t.s.fit3.nloc = 4;
        for (int i = 0; i < 4; ++i) {
            t.s.fit1.xfit[i] = 2.5 * i + 0.3;
            t.s.fit1.yfit[i] = 1.0 + 2.0 * i;
        }
        const auto before = t.h.listing().size();
        gwr::tzmglm(t.s);
        const int p = d.p();
        for (int i = 0; i < 4; ++i) {
            auto k = glmref::gauss_kernel(d, t.s.fit1.xfit[i], t.s.fit1.yfit[i], h);
            auto m = glmref::newton(d, k);
            std::vector<double> a(p * p, 0.0), v(d.n());
            for (int j = 0; j < d.n(); ++j) {
                const double mu = glmref::mean_of(d, j, m.b);
                v[j] = method == 3 ? mu * (1.0 - mu) : mu;
                for (int r = 0; r < p; ++r)
                    for (int c = 0; c < p; ++c) a[r * p + c] += k[j] * v[j] * d.x[j][r] * d.x[j][c];
            }
            auto c = glmref::inverse(a, p);
            for (int q = 0; q < p; ++q) {
                EXPECT_NEAR(t.s.bvals(i, q), m.b[q], 1e-6) << i << "," << q;
                double sum = 0.0;
                for (int j = 0; j < d.n(); ++j) {
                    double r = 0.0;
                    for (int l = 0; l < p; ++l) r += c[q * p + l] * d.x[j][l];
                    sum += k[j] * k[j] * v[j] * r * r;
                }
                EXPECT_NEAR(t.s.svals(i, q), std::sqrt(sum), 2e-3 * std::sqrt(sum)) << i << "," << q;
            }
            for (double marker : {t.s.output.yhat[i], t.s.output.resid[i], t.s.hat1.hatdg[i],
                                  t.s.diags.stdres[i], t.s.diags.cookd[i], t.s.diags.locr2[i]})
                EXPECT_EQ(marker, -1.0) << i;
        }
        const auto lines = testing_support::lines(t.h.listing().substr(before));
        const auto head = std::find(lines.begin(), lines.end(),
                                    method == 3 ? "********** Local Logistic Model Diagnostics **********"
                                                : "********** Local Poisson Model Diagnostics **********");
        ASSERT_LT(head + 2, lines.end()) << t.h.listing();
        EXPECT_EQ(head[1], "** Diagnostics not available when estimating");
        EXPECT_EQ(head[2], "   at non sample points **");
        EXPECT_EQ(t.h.listing().find("Log Likelihood"), std::string::npos);
    }
}

TEST(GlmLocal, SingularLocalFitIsFlagged) {
    // The second predictor is 0 where x < 6; a cylinder kernel of radius
    // 2.5 sees only zeros around the points left of x = 3.4.
    data d = glmref::make(4, 150, 6);
    for (int j = 0; j < d.n(); ++j)
        if (d.xc[j] < 6.0) d.x[j][2] = 0.0;
    setup t(d, 2.5);
    testing_support::describe(t.s, [](gwr::run_description& r) { testing_support::set_kernel(r, 'c'); });
    gwr::glm(t.s);
    // The leverage matrix of such a location is singular as well: its
    // leverage is that of the model without the predictor.
    gwr::tzmglm(t.s);
    int flagged = 0, first = 0;
    for (int i = 0; i < d.n(); ++i) {
        if (d.xc[i] < 3.4) {
            EXPECT_EQ(t.s.output.locsing[i], 1) << i;
            EXPECT_EQ(t.s.bvals(i, 2), 0.0);
            EXPECT_EQ(t.s.svals(i, 2), 0.0);
            EXPECT_EQ(t.s.diags.cond[i], std::numeric_limits<double>::infinity());
        }
        if (d.xc[i] > 6.0) {
            EXPECT_EQ(t.s.output.locsing[i], 0) << i;
            EXPECT_TRUE(std::isfinite(t.s.diags.cond[i])) << i;
        }
        EXPECT_GE(t.s.hat1.hatdg[i], 0.0) << i;
        EXPECT_LE(t.s.hat1.hatdg[i], 1.0) << i;
        if (t.s.output.locsing[i] && flagged++ == 0) first = i + 1;
    }
    ASSERT_GT(flagged, 0);
    char line[100];
    std::snprintf(line, sizeof line, "** Warning:%7d of%7d fit locations have a singular local design:\n", flagged,
                  d.n());
    EXPECT_NE(t.h.listing().find(line), std::string::npos) << t.h.listing();
    std::snprintf(line, sizeof line, "(first: location%7d)\n", first);
    EXPECT_NE(t.h.listing().find(line), std::string::npos);
}

// A local fit's reweighting passes run over its observations packed side
// by side in blocks; the passes with diagnostics keep the n-long working
// arrays.  Both must give the same bits: with and without a neighbour list,
// a zero kernel weight inside the list, several blocks and a part block,
// every parameter count from the specialised ones to the general loop, and
// on each vector path; the likelihood of the last pass is that of its
// estimates, computed here.
TEST(GlmLocal, PackedPassesGiveTheBitsOfTheUnpackedOnes) {
    std::vector<gwr::vector_isa> paths{gwr::vector_isa::scalar};
    if (gwr::vexp_available()) paths.push_back(gwr::vector_isa::avx2);
    if (gwr::vector_isa_available() == gwr::vector_isa::avx512) paths.push_back(gwr::vector_isa::avx512);
    for (int method : {3, 4})
        for (int K : {1, 3, 7, 9}) {
            glmref::data d = glmref::make(method, 601, 40 + K);
            glmref::lcg g(7 + K);
            for (auto& row : d.x) {
                row.resize(K);
                for (int k = 3; k < K; ++k) row[k] = 0.3 * g.normal();
            }
            glmref::setup t(d);
            gwr::state& s = t.s;
            gwr::work& w = s.ws;
            for (bool listed : {true, false}) {
                // Bi-square weights of the nearest 400 around (4, 6) with a
                // list, or Gaussian weights of every observation without.
                const auto kw = listed ? glmref::bisquare_kernel(d, 4.0, 6.0, 400) : glmref::gauss_kernel(d, 4.0, 6.0, 3.0);
                w.nnbr = listed ? 0 : -1;
                for (int j = 0; j < d.n(); ++j) {
                    w.kwt[j] = kw[j];
                    if (listed && kw[j] > 0.0) w.nbr[w.nnbr++] = j;
                }
                w.kwt[listed ? w.nbr[5] : 5] = 0.0;  // left out, as cross-validation does
                for (gwr::vector_isa path : paths) {
                    SCOPED_TRACE(::testing::Message() << "method " << method << " K " << K << " listed " << listed
                                                      << " path " << static_cast<int>(path));
                    s.vector_cap = path;
                    gwr::glm_detail::prepare_start(s);
                    ASSERT_TRUE(gwr::glm_detail::wglm_quiet(s, w, {.shared_start = true}));
                    const std::vector<double> packed(w.bhat.begin(), w.bhat.begin() + K);
                    const int passes = w.niter;
                    const double L = w.loglik;
                    ASSERT_TRUE(gwr::glm_detail::wglm_quiet(s, w, {.shared_start = true, .diagnostics = true}));
                    EXPECT_EQ(passes, w.niter);
                    EXPECT_GT(passes, 2);
                    EXPECT_EQ(std::memcmp(&L, &w.loglik, sizeof L), 0);
                    EXPECT_EQ(std::memcmp(packed.data(), w.bhat.data(), K * sizeof(double)), 0);
                    // The likelihood of the passes (in blocks, in lanes) is
                    // that of the estimates.
                    double Lref, Dref;
                    glmref::likelihood(d, packed, Lref, Dref);
                    EXPECT_NEAR(L, Lref, 1e-10 * std::fabs(Lref));
                }
            }
        }
}

}  // namespace
