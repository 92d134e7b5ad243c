// Global logistic and Poisson fits against an independent Newton-Raphson
// maximum-likelihood solve, the generalised-inverse path, the overflow-safe
// logistic function, non-convergence and the guards on the method.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "control/stop.h"
#include "glm/glm.h"
#include "glm/glm_internal.h"
#include "glm_reference.h"

namespace {

using glmref::data;
using glmref::setup;

void expect_criteria(const gwr::state& s, const glmref::mle& r, int n, int p) {
    const double L = r.loglik;
    EXPECT_NEAR(s.glm2.loglik, L, 1e-7);
    EXPECT_NEAR(s.glm2.deviance, r.deviance, 2e-7);
    EXPECT_NEAR(s.hat1.enp, p, 1e-9);
    EXPECT_NEAR(s.hat1.aic, -2 * L + 2 * p, 1e-6);
    EXPECT_NEAR(s.hat1.aicc, -2 * L + 2.0 * p * n / (n - p - 1), 1e-6);
    EXPECT_NEAR(s.hat1.bic, -2 * L + p * std::log(static_cast<double>(n)), 1e-6);
}

TEST(GlmGlobal, LogisticMatchesNewtonRaphson) {
    data d = glmref::make(3, 80, 11);
    auto ref = glmref::newton(d);
    setup t(d);
    gwr::glm(t.s);
    for (int k = 0; k < d.p(); ++k) {
        EXPECT_NEAR(t.s.ws.bhat[k], ref.b[k], 1e-6) << k;
        EXPECT_NEAR(t.s.ws.sehat[k], ref.se[k], 1e-6) << k;
    }
    expect_criteria(t.s, ref, d.n(), d.p());
    EXPECT_GT(t.s.glm1.niter, 2);
    EXPECT_LE(t.s.glm1.niter, 60);

    // The listing block: labels, the Exp(B) column and its spread.
    const auto lines = testing_support::lines(t.h.listing());
    ASSERT_GE(lines.size(), 16u);
    EXPECT_EQ(lines[0], "");
    EXPECT_EQ(lines[1], "");
    EXPECT_EQ(lines[2], "********** Global Logistic Model Diagnostics **********");
    char buf[200];
    std::snprintf(buf, sizeof buf, "Convergence after %5d iterations", t.s.glm1.niter);
    EXPECT_EQ(lines[3], buf);
    std::snprintf(buf, sizeof buf, "Log-likelihood:                  %20.6f", ref.loglik);
    EXPECT_EQ(lines[4], buf);
    EXPECT_EQ(lines[5].substr(0, 33), "Deviance (-2LogLikelihood):      ");
    std::snprintf(buf, sizeof buf, "Number of parameters in model:   %20.6f", 3.0);
    EXPECT_EQ(lines[6], buf);
    EXPECT_EQ(lines[7].substr(0, 33), "Akaike Information Criterion:    ");
    EXPECT_EQ(lines[8].substr(0, 33), "Corrected AIC (AICc)             ");
    EXPECT_EQ(lines[9].substr(0, 33), "Bayesian Information Criterion:  ");
    EXPECT_EQ(lines[10], "");
    EXPECT_EQ(lines[11], "Parameter     Estimate      Std Err            T       Exp(B)   Sd(Exp(B))");
    EXPECT_EQ(lines[12], "--------- ------------ ------------ ------------ ------------ ------------");
    const double b = ref.b[1], se = ref.se[1];
    std::snprintf(buf, sizeof buf, " X1      %13.3f%13.3f%13.3f%13.3f%13.3f", b, se, b / se, std::exp(b),
                  std::exp(b) * se);
    EXPECT_EQ(lines[14], buf);
    EXPECT_EQ(lines[13].substr(0, 9), "Intercept");
}

TEST(GlmGlobal, PoissonWithOffsetsAndZeroCountsMatchesNewtonRaphson) {
    data d = glmref::make(4, 90, 5);
    int zeros = 0;
    for (double y : d.y) zeros += y == 0.0;
    ASSERT_GT(zeros, 5);  // the data must exercise the zero-count terms
    auto ref = glmref::newton(d);
    setup t(d);
    gwr::glm(t.s);
    for (int k = 0; k < d.p(); ++k) {
        EXPECT_NEAR(t.s.ws.bhat[k], ref.b[k], 1e-6) << k;
        EXPECT_NEAR(t.s.ws.sehat[k], ref.se[k], 1e-6) << k;
    }
    expect_criteria(t.s, ref, d.n(), d.p());
    EXPECT_NE(t.h.listing().find("********** Global Poisson Model Diagnostics **********"), std::string::npos);

    // Without offsets every offset is 1: the same fit as offsets of 1.
    data d1 = d;
    for (double& o : d1.offset) o = 1.0;
    setup t1(d1);
    gwr::glm(t1.s);
    auto ref1 = glmref::newton(d1);
    for (int k = 0; k < d.p(); ++k) EXPECT_NEAR(t1.s.ws.bhat[k], ref1.b[k], 1e-6);
}

TEST(GlmGlobal, ObservationWeightsAndKernelWeightsOfEarlierFitsAreIgnored) {
    data d = glmref::make(3, 60, 3);
    setup t(d);
    for (int j = 0; j < d.n(); ++j) {
        t.s.fit6.obswt[j] = 0.1 + j % 4;
        t.s.ws.kwt[j] = 0.0;
    }
    gwr::glm(t.s);
    auto ref = glmref::newton(d);
    for (int k = 0; k < d.p(); ++k) EXPECT_NEAR(t.s.ws.bhat[k], ref.b[k], 1e-6);
}

TEST(GlmGlobal, ZeroPredictorColumnUsesTheGeneralisedInverse) {
    data d = glmref::make(4, 70, 9);
    data full = d;
    for (auto& row : d.x) row.push_back(0.0);  // a fourth column of zeros
    setup t(d);
    gwr::glm(t.s);
    EXPECT_EQ(t.s.ws.singfl, 1);
    auto ref = glmref::newton(full);
    for (int k = 0; k < 3; ++k) {
        EXPECT_NEAR(t.s.ws.bhat[k], ref.b[k], 1e-6);
        EXPECT_NEAR(t.s.ws.sehat[k], ref.se[k], 1e-6);
    }
    EXPECT_EQ(t.s.ws.bhat[3], 0.0);
    EXPECT_EQ(t.s.ws.sehat[3], 0.0);
    // The trace counts the retained parameters only; a 0 standard error
    // prints T as 0.000.
    EXPECT_NEAR(t.s.hat1.enp, 3.0, 1e-9);
    EXPECT_NE(t.h.listing().find(" X3              0.000        0.000        0.000        1.000        0.000"),
              std::string::npos)
        << t.h.listing();
}

TEST(GlmGlobal, LogisticFunctionCutAndOverflow) {
    EXPECT_EQ(gwr::fitl(32.0), 1.0);
    EXPECT_LT(gwr::fitl(31.999), 1.0);
    EXPECT_DOUBLE_EQ(gwr::fitl(0.0), 0.5);
    EXPECT_DOUBLE_EQ(gwr::fitl(-3.0), std::exp(-3.0) / (1.0 + std::exp(-3.0)));
    // Beyond the range of e^eta: probability 1 and ln(1 + e^eta) = eta,
    // never infinity or NaN; ordinary values are the plain formula.
    EXPECT_EQ(gwr::glm_detail::logistic(710.0), 1.0);
    EXPECT_EQ(gwr::glm_detail::logistic(1e6), 1.0);
    EXPECT_EQ(gwr::glm_detail::log1pexp(1000.0), 1000.0);
    EXPECT_EQ(gwr::glm_detail::log1pexp(5.0), std::log(1.0 + std::exp(5.0)));
    EXPECT_EQ(gwr::glm_detail::log1pexp(-800.0), 0.0);
}

TEST(GlmGlobal, SeparableResponseStaysFinite) {
    // y = 1 exactly where x > 0, with x spread so widely that the linear
    // predictor leaves the range of e^eta in both directions: the
    // probabilities reach exactly 1 and exactly 0 and those observations
    // drop out of the reweighting instead of turning everything into NaN.
    data d;
    d.method = 3;
    for (int j = 0; j < 40; ++j) {
        const double x = (j < 20 ? -1.0 : 1.0) * (1.0 + j % 20) * (j % 3 == 0 ? 40.0 : 1.0);
        d.x.push_back({1.0, x});
        d.y.push_back(x > 0 ? 1.0 : 0.0);
        d.offset.push_back(1.0);
        d.xc.push_back(j);
        d.yc.push_back(0.0);
    }
    setup t(d);
    gwr::glm(t.s);
    EXPECT_TRUE(std::isfinite(t.s.ws.bhat[0]));
    EXPECT_TRUE(std::isfinite(t.s.ws.bhat[1]));
    EXPECT_GT(t.s.ws.bhat[1] * 800.0, 710.0);  // e^eta overflowed on the way
    EXPECT_LE(t.s.glm2.loglik, 0.0);
    EXPECT_GT(t.s.glm2.loglik, -1e-6);
    const std::string out = t.h.listing();
    EXPECT_EQ(out.find("NaN"), std::string::npos) << out;
    EXPECT_TRUE(std::isfinite(t.s.ws.sehat[1]));
    EXPECT_TRUE(std::isfinite(t.s.hat1.aicc));
}

TEST(GlmGlobal, NonConvergenceWritesTheFailureLinesAndStops8888) {
    // Kernel weights of alternating sign make the reweighting cycle.
    data d = glmref::make(3, 30, 7);
    for (int variant = 0; variant < 2; ++variant) {
        setup t(d);
        for (int j = 0; j < d.n(); ++j) t.s.ws.kwt[j] = j % 2 ? -1.0 : 1.0;
        try {
            if (variant == 0)
                gwr::wglm(t.s, t.s.ws);
            else
                gwr::wglm2(t.s, t.s.ws);
            FAIL() << "the fit converged";
        } catch (const gwr::stop& e) {
            EXPECT_EQ(e.code, "8888");
        }
        const auto lines = testing_support::lines(t.h.listing());
        const int extra = variant;  // wglm2 adds the previous log-likelihood
        ASSERT_EQ(lines.size(), 7u + extra) << t.h.listing();
        EXPECT_EQ(lines[0], variant == 0 ? " [WGLM] IRLS Convergence problem" : " [WGLM2] IRLS Convergence problem");
        EXPECT_EQ(lines[1], " Program halted after  61 iterations...");
        EXPECT_EQ(lines[2].substr(0, 16), " LogLikelihood: ");
        if (variant == 1) {
            EXPECT_EQ(lines[3].substr(0, 16), " Previous LL:   ");
        }
        EXPECT_EQ(lines[3 + extra], " Current parameter estimates...");
        EXPECT_EQ(lines[5 + extra], " Parameter estimates on last iteration...");
        // Both estimate lines carry the three parameters.
        char cur[40];
        std::snprintf(cur, sizeof cur, "%.9G", t.s.ws.bhat[1]);
        EXPECT_NE(lines[4 + extra].find(cur), std::string::npos) << lines[4 + extra] << " / " << cur;
    }
}

TEST(GlmGlobal, MethodsOtherThanLogisticAndPoissonStop) {
    data d = glmref::make(3, 20, 1);
    setup t(d);
    testing_support::describe(t.s, [](gwr::run_description& r) { r.method = gwr::analysis::gaussian; });
    for (int j = 0; j < d.n(); ++j) t.s.ws.kwt[j] = 1.0;
    try {
        gwr::wglm(t.s, t.s.ws);
        FAIL();
    } catch (const gwr::stop& e) {
        EXPECT_EQ(e.code, "399");
    }
}

}  // namespace
