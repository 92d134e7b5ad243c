// The parameter summary (quartile positions, fences and counts) and the
// casewise diagnostics on small hand-made cases.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "gaussian/gaussian.h"
#include "support/testing.h"

namespace {

using testing_support::harness;
using testing_support::lines;

// Numbers on the occurrence-th line of the listing that begins with label.
std::vector<double> row(const std::string& listing, const std::string& label, int occurrence) {
    for (const auto& l : lines(listing)) {
        if (l.rfind(label, 0) != 0 || --occurrence > 0) continue;
        std::istringstream is(l.substr(label.size()));
        std::vector<double> v;
        double x;
        while (is >> x) v.push_back(x);
        return v;
    }
    return {};
}

// A state whose local-estimate table holds the given columns.
void fill(gwr::state& s, const std::vector<std::vector<double>>& cols,
          const std::vector<std::string>& names) {
    const int n = static_cast<int>(cols[0].size());
    const int K = static_cast<int>(cols.size());
    s.fit3.nloc = n;
    s.set_parameter_count(K);
    s.lab1.modlab = names;
    s.size_loc(n, K);
    for (int k = 0; k < K; ++k)
        for (int i = 0; i < n; ++i) s.bvals(i, k) = cols[k][i];
}

TEST(GaussianSummary, QuartilePositions) {
    struct c { int n, lq, med, uq; };
    for (c t : {c{1, 1, 1, 1}, c{2, 1, 1, 1}, c{4, 1, 2, 3}, c{10, 2, 5, 7}, c{49, 12, 24, 37},
                c{80000, 20000, 40000, 60000}}) {
        int lq, med, uq;
        gwr::quartile_positions(t.n, lq, med, uq);
        EXPECT_EQ(lq, t.lq) << t.n;
        EXPECT_EQ(med, t.med) << t.n;
        EXPECT_EQ(uq, t.uq) << t.n;
    }
}

TEST(GaussianSummary, FiveNumbersFencesAndCountsForTenLocations) {
    harness h;
    // Shuffled columns; sorted they are
    //   A: -30 0 1 2 3 4 10 25 40 55   (on the lower outer, upper inner and
    //                                     upper outer fences, one far out)
    //   B: -15 0 1 2 3 4 10 11 12 13   (on the lower inner fence)
    //   C: -31 0 1 2 3 4 10 11 12 13   (beyond the lower outer fence)
    //   D: constant
    fill(*h.s,
         {{10, 55, 0, 3, -30, 2, 40, 1, 25, 4},
          {13, 0, -15, 11, 1, 12, 2, 3, 4, 10},
          {3, 13, 11, -31, 0, 12, 1, 2, 4, 10},
          {7.5, 7.5, 7.5, 7.5, 7.5, 7.5, 7.5, 7.5, 7.5, 7.5}},
         {"B       ", "C       ", "D       "});
    gwr::summry(*h.s);
    std::string out = h.listing();
    EXPECT_EQ(row(out, "Intrcept", 1), (std::vector<double>{-30, 0, 3, 10, 55}));
    EXPECT_EQ(row(out, "Intrcept", 2), (std::vector<double>{0, -30, 1, -15, 25, 1, 40, 1}));
    EXPECT_EQ(row(out, "B       ", 2), (std::vector<double>{0, -30, 0, -15, 25, 0, 40, 0}));
    EXPECT_EQ(row(out, "C       ", 2), (std::vector<double>{1, -30, 0, -15, 25, 0, 40, 0}));
    EXPECT_EQ(row(out, "D       ", 1), (std::vector<double>{7.5, 7.5, 7.5, 7.5, 7.5}));
    EXPECT_EQ(row(out, "D       ", 2), (std::vector<double>{0, 7.5, 0, 7.5, 7.5, 0, 7.5, 0}));
    // The table is read, not changed.
    EXPECT_EQ(h.s->bvals(0, 0), 10.0);
    // Layout of the two tables.
    auto L = lines(out);
    EXPECT_EQ(L[0], " ");
    EXPECT_EQ(L[2], std::string(58, '*'));
    EXPECT_EQ(L[3], "*          PARAMETER 5-NUMBER SUMMARIES                  *");
    EXPECT_EQ(L[7], "Intrcept    -30.000000      0.000000      3.000000     10.000000     55.000000");
    EXPECT_EQ(L[11], " ");
    EXPECT_EQ(L[12], " ");
    EXPECT_EQ(L[16], "Intrcept       0    -30.000000       1    -15.000000     25.000000       1"
                     "     40.000000       1");
}

TEST(GaussianSummary, SingleLocation) {
    harness h;
    fill(*h.s, {{4.25}, {-1.5}}, {"X1      "});
    gwr::summry(*h.s);
    EXPECT_EQ(row(h.listing(), "X1      ", 1), (std::vector<double>{-1.5, -1.5, -1.5, -1.5, -1.5}));
    EXPECT_EQ(row(h.listing(), "Intrcept", 2),
              (std::vector<double>{0, 4.25, 0, 4.25, 4.25, 0, 4.25, 0}));
}

// Observations on a line; the fit locations are the observations.
void diag_state(gwr::state& s, const std::vector<double>& y, const std::vector<double>& f,
                const std::vector<double>& hat, int shape, double bw) {
    const int n = static_cast<int>(y.size());
    s.set_observation_count(n);
    testing_support::describe(s, [shape](gwr::run_description& r) {
        testing_support::set_kernel(r, "fvc"[shape - 1]);
        r.casewise = true;
    });
    s.parms.bandw = bw;
    s.size_obs(n);
    s.size_loc(n, 1);
    s.ws.size(n, 1);
    s.fit3.nloc = n;
    s.output.samepts = 1;
    s.hat1.trs = 2.0;
    for (int i = 0; i < n; ++i) {
        s.struc2.xobs[i] = 5.0 * i;
        s.struc2.ydep[i] = y[i];
        s.output.yhat[i] = f[i];
        s.output.resid[i] = y[i] - f[i];
        s.hat1.hatdg[i] = hat[i];
    }
    s.fit1.xfit = s.struc2.xobs;
    s.fit1.yfit = s.struc2.yobs;
}

TEST(GaussianDiagnostics, LeverageOneAndLonelyObservations) {
    harness h;
    auto& s = *h.s;
    // A cylinder that holds only the location's own observation: nothing
    // enters the local correlation, so every local r-square is 0.
    diag_state(s, {1, 4, 2, 8}, {1.5, 3.5, 2.5, 7.0}, {0.5, 1.0, 0.25, 0.75}, 3, 0.1);
    gwr::diagpt(s);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(s.diags.locr2[i], 0.0);
    EXPECT_EQ(s.diags.stdres[1], -999.0);
    EXPECT_EQ(s.diags.cookd[1], -999.0);
    // Residuals -0.5, 0.5, -0.5, 1: mean 0.125, sample standard deviation
    // sqrt(1.6875 / 3) = 0.75 exactly.
    const double sd = 0.75;
    EXPECT_DOUBLE_EQ(s.diags.stdres[0], -0.5 / (std::sqrt(0.5) * sd));
    EXPECT_DOUBLE_EQ(s.diags.cookd[3],
                     s.diags.stdres[3] * s.diags.stdres[3] * 0.75 / (0.25 * 2.0));
    auto L = lines(h.listing());
    ASSERT_EQ(L.size(), 12u);
    EXPECT_EQ(L[3], "*                CASEWISE DIAGNOSTICS                    *");
    EXPECT_EQ(L[6], "   Obs       Observed      Predicted       Residual   Std Resid    R-Square"
                    "   Influence    Cook's D");
    EXPECT_EQ(L[9], "     2        4.00000        3.50000        0.50000 -999.000000    0.000000"
                    "    1.000000 -999.000000");
}

TEST(GaussianDiagnostics, FittedValuesLinearInObservedGiveLocalRSquareOne) {
    harness h;
    auto& s = *h.s;
    std::vector<double> y = {1, 4, 2, 8, 5, 7}, f;
    for (double v : y) f.push_back(2 * v + 1);
    diag_state(s, y, f, std::vector<double>(6, 0.3), 1, 7.0);
    testing_support::describe(s, [](gwr::run_description& r) { r.casewise = false; });
    gwr::diagpt(s);
    for (int i = 0; i < 6; ++i) EXPECT_NEAR(s.diags.locr2[i], 1.0, 1e-6);
    EXPECT_EQ(h.listing(), "");
}

TEST(GaussianDiagnostics, OtherLocationsGetMarkers) {
    harness h;
    auto& s = *h.s;
    diag_state(s, {1, 4, 2}, {1.5, 3.5, 2.5}, {0.5, 0.5, 0.5}, 1, 7.0);
    s.output.samepts = 0;
    s.fit3.nloc = 2;
    gwr::diagpt(s);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(s.diags.stdres[i], -1.0);
        EXPECT_EQ(s.diags.cookd[i], -1.0);
        EXPECT_EQ(s.diags.locr2[i], -1.0);
        EXPECT_EQ(s.output.yhat[i], -1.0);
        EXPECT_EQ(s.output.resid[i], -1.0);
        EXPECT_EQ(s.hat1.hatdg[i], -1.0);
    }
    auto L = lines(h.listing());
    EXPECT_EQ(L.back(), "     2       -1.00000       -1.00000       -1.00000   -1.000000   -1.000000"
                        "   -1.000000   -1.000000");
}

}  // namespace
