// The Monte Carlo test of spatial variation: its statistic, ranks and marks,
// and whole runs on synthetic data whose answer is known.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "gaussian/gaussian.h"
#include "sigtest/sigtest.h"
#include "support/testing.h"

namespace {

using testing_support::harness;
using testing_support::lines;

// Uniform value in [0, 1] from a generator of the test's own.
double unif(gwr::rng& r) { return r.rand() / 32767.0; }

// The Monte Carlo test asked for, at every fit location or at thinned ones.
void monte_carlo(gwr::state& s, bool thinned) {
    testing_support::describe(s, [thinned](gwr::run_description& r) {
        r.test = gwr::variation_test::monte_carlo;
        r.thinned = thinned;
    });
}

// A Gaussian-run state: observations at (xo, yo), the design matrix columns
// `pred` (without the intercept), response y, fixed Gaussian kernel of
// bandwidth bw, fit locations (xf, yf).  The local estimates are filled as
// the estimation run leaves them.
void gaussian_state(gwr::state& s, const std::vector<double>& xo, const std::vector<double>& yo,
                    const std::vector<std::vector<double>>& pred, const std::vector<double>& y,
                    const std::vector<double>& xf, const std::vector<double>& yf, double bw) {
    const int n = static_cast<int>(xo.size());
    const int m = static_cast<int>(xf.size());
    const int k = static_cast<int>(pred.size()) + 1;
    s.set_observation_count(n);
    s.set_parameter_count(k);
    testing_support::describe(s, [](gwr::run_description& r) {
        testing_support::set_kernel(r, 'f');
        r.crit = gwr::criterion::given;
        r.coords = gwr::coordinates::cartesian;
    });
    s.parms.bandw = bw;
    s.size_obs(n);
    s.struc2.xobs = xo;
    s.struc2.yobs = yo;
    s.struc2.ydep = y;
    s.struc1.xmat.resize(n, k);
    for (int i = 0; i < n; ++i) {
        s.struc1.xmat(i, 0) = 1.0;
        for (int j = 1; j < k; ++j) s.struc1.xmat(i, j) = pred[j - 1][i];
    }
    s.fit1.xfit = xf;
    s.fit1.yfit = yf;
    s.fit2.fitid.resize(m);
    for (int i = 0; i < m; ++i) s.fit2.fitid[i] = i + 1;
    s.fit3.nloc = m;
    s.option.nfit = m;
    s.lab1.modlab.clear();
    for (int j = 1; j < k; ++j) {
        std::string name = "x";
        name += std::to_string(j);
        s.lab1.modlab.push_back(name);
    }
    s.size_loc(std::max(n, m), k);
    s.ws.size(n, k);
    // The estimates as the estimation run leaves them: from the full fit.
    for (int i = 1; i <= m; ++i) {
        gwr::genwgt(s, s.ws, i, bw);
        gwr::fitreg(s, s.ws);
        for (int j = 0; j < k; ++j) s.bvals(i - 1, j) = s.ws.bhat[j];
    }
}

// The parameter lines of the test block: label -> (P, mark).
struct pline {
    std::string label;
    double p;
    std::string mark;
};

std::vector<pline> parameter_lines(const std::string& listing) {
    std::vector<pline> v;
    bool in = false;
    for (const auto& l : lines(listing)) {
        if (l == "----------      ------------------") {
            in = true;
            continue;
        }
        if (!in) continue;
        if (l == " " || l.empty()) break;
        v.push_back({l.substr(0, 16), std::stod(l.substr(16, 12)), l.substr(l.size() - 3)});
    }
    return v;
}

// Observations on a 12 x 12 grid; predictor x1's slope changes strongly from
// west to east, x2's slope is the same everywhere.  The data use their own
// generator so that the test's random state is the engine's alone.
struct synthetic {
    std::vector<double> x, y, x1, x2, resp;
    explicit synthetic(unsigned seed) {
        gwr::rng r;
        r.srand(seed);
        for (int i = 0; i < 12; ++i)
            for (int j = 0; j < 12; ++j) {
                double a = 2.0 * unif(r) - 1.0, b = 2.0 * unif(r) - 1.0;
                double noise = unif(r) + unif(r) + unif(r) - 1.5;
                x.push_back(i);
                y.push_back(j);
                x1.push_back(a);
                x2.push_back(b);
                resp.push_back(1.0 + (i - 5.5) / 2.0 * a + 2.0 * b + 0.3 * noise);
            }
    }
};

}  // namespace

TEST(McStatistic, OnePassSpreadMatchesTwoPassSumOfSquares) {
    harness h;
    gwr::rng r;
    r.srand(7);
    for (int m : {1, 2, 3, 50, 997}) {
        std::vector<double> b(m);
        // A large common offset is where a naive sum-of-squares formula fails.
        for (auto& v : b) v = 1.0e6 + 10.0 * unif(r);
        double mean = 0.0;
        for (double v : b) mean += v;
        mean /= m;
        double ss = 0.0;
        for (double v : b) ss += (v - mean) * (v - mean);
        double got = gwr::mcstat(*h.s, b.data(), m);
        EXPECT_NEAR(got, ss, 1e-9 * std::max(1.0, ss)) << "m=" << m;
        EXPECT_NEAR(h.s->monte1.mean, mean, 1e-12 * mean) << "m=" << m;
        EXPECT_EQ(h.s->monte1.ss, got);
    }
}

TEST(McStatistic, RankTakesHighestTieAndMarksFollowTheCount) {
    // Ties with the observed value do not count as exceeding it.
    std::vector<double> sorted{1.0, 2.0, 3.0, 3.0, 3.0, 4.0};
    EXPECT_EQ(gwr::mcrank(sorted.data(), 6, 3.0), 5);
    EXPECT_EQ(gwr::mcrank(sorted.data(), 6, 4.0), 6);
    EXPECT_EQ(gwr::mcrank(sorted.data(), 6, 1.0), 1);
    // A value that is not there (a not-a-number statistic) has rank 0.
    EXPECT_EQ(gwr::mcrank(sorted.data(), 6, std::nan("")), 0);
    EXPECT_EQ(gwr::mcrank(sorted.data(), 6, 2.5), 0);

    EXPECT_STREQ(gwr::mcmark(0), "***");
    EXPECT_STREQ(gwr::mcmark(1), "** ");
    EXPECT_STREQ(gwr::mcmark(2), "*  ");
    EXPECT_STREQ(gwr::mcmark(5), "*  ");
    EXPECT_STREQ(gwr::mcmark(6), "n/s");
    EXPECT_STREQ(gwr::mcmark(100), "n/s");
}

TEST(McTest, VaryingSlopeIsSignificantAndConstantSlopeIsNot) {
    synthetic d(11);
    harness h;
    gwr::state& s = *h.s;
    gaussian_state(s, d.x, d.y, {d.x1, d.x2}, d.resp, d.x, d.y, 2.0);
    monte_carlo(s, false);
    s.rand.srand(12345);
    gwr::mctest(s);

    auto p = parameter_lines(h.listing());
    ASSERT_EQ(p.size(), 3u) << h.listing();
    EXPECT_EQ(p[0].label, "Intercept       ");
    EXPECT_EQ(p[1].label, "x1              ");
    EXPECT_EQ(p[2].label, "x2              ");
    EXPECT_EQ(p[1].p, 0.0);
    EXPECT_EQ(p[1].mark, "***");
    EXPECT_GT(p[2].p, 0.05);
    EXPECT_EQ(p[2].mark, "n/s");
    // P-values move in steps of 0.01.
    for (const auto& l : p) EXPECT_NEAR(l.p * 100.0, std::round(l.p * 100.0), 1e-9);
}

TEST(McTest, RandomisedSpreadEqualToObservedDoesNotExceedIt) {
    // Every observation at one point: the randomisation cannot move anything,
    // so all 100 statistics are the same number and P is 0 (which also needs
    // the test's refits to reproduce the estimation run's to the last bit).
    const int n = 10;
    std::vector<double> xo(n, 3.0), yo(n, 4.0), x1(n), y(n);
    for (int i = 0; i < n; ++i) {
        x1[i] = i % 3;
        y[i] = 2.0 + 0.5 * i;
    }
    std::vector<double> xf{0.0, 1.0, 5.0, 9.0}, yf{0.0, 2.0, 1.0, 7.0};
    harness h;
    gaussian_state(*h.s, xo, yo, {x1}, y, xf, yf, 3.0);
    monte_carlo(*h.s, false);
    gwr::mctest(*h.s);
    auto p = parameter_lines(h.listing());
    ASSERT_EQ(p.size(), 2u) << h.listing();
    for (const auto& l : p) {
        EXPECT_EQ(l.p, 0.0);
        EXPECT_EQ(l.mark, "***");
    }
}

TEST(McTest, RandomLocationsComeFromTheObservationsWhenLocationsOutnumberThem) {
    // 5 observations, 30 fit locations elsewhere: every randomised
    // observation location must be one of the 5 observed ones.
    std::vector<double> xo{0.0, 1.0, 2.0, 3.0, 4.0}, yo{4.0, 1.0, 3.0, 0.0, 2.0};
    std::vector<double> y{1.0, 3.0, 2.0, 5.0, 4.0};
    std::vector<double> xf, yf;
    for (int i = 0; i < 30; ++i) {
        xf.push_back(0.15 * i);
        yf.push_back(4.0 - 0.1 * i);
    }
    harness h;
    gwr::state& s = *h.s;
    gaussian_state(s, xo, yo, {}, y, xf, yf, 1.5);
    monte_carlo(s, false);
    gwr::mctest(s);
    for (int j = 0; j < 5; ++j) {
        bool found = false;
        for (int i = 0; i < 5; ++i)
            if (s.struc2.xobs[j] == xo[i] && s.struc2.yobs[j] == yo[i]) found = true;
        EXPECT_TRUE(found) << "observation " << j + 1;
    }
    auto p = parameter_lines(h.listing());
    ASSERT_EQ(p.size(), 1u);
}

TEST(McTest, ThinnedTestRefitsObservedEstimatesAtTheKeptLocations) {
    // With thinning the observed spreads are those of fits at the kept
    // locations, whatever the estimation run left in the table.
    synthetic d(5);
    harness a, b;
    gaussian_state(*a.s, d.x, d.y, {d.x1, d.x2}, d.resp, d.x, d.y, 2.0);
    gaussian_state(*b.s, d.x, d.y, {d.x1, d.x2}, d.resp, d.x, d.y, 2.0);
    std::fill(b.s->bvals.a.begin(), b.s->bvals.a.end(), 0.0);
    monte_carlo(*a.s, true);
    monte_carlo(*b.s, true);
    gwr::mctest(*a.s);
    gwr::mctest(*b.s);
    EXPECT_LE(a.s->fit3.nloc, 144);
    EXPECT_EQ(a.listing(), b.listing());
    auto p = parameter_lines(a.listing());
    ASSERT_EQ(p.size(), 3u) << a.listing();
    EXPECT_EQ(p[1].mark, "***");
}

TEST(McTest, ListingBlockAndLeungNotice) {
    synthetic d(3);
    harness h;
    gaussian_state(*h.s, d.x, d.y, {d.x1}, d.resp, d.x, d.y, 3.0);
    monte_carlo(*h.s, false);
    gwr::mctest(*h.s);
    auto l = lines(h.listing());
    std::vector<std::string> head{
        " ",
        "*************************************************",
        "*                                               *",
        "*   Test for spatial variability of parameters  *",
        "*                                               *",
        "*************************************************",
        " ",
        "Tests based on the Monte Carlo significance test ",
        "procedure due to Hope [1968,JRSB,30(3),582-598]",
        " ",
        "Parameter                  P-value",
        "----------      ------------------"};
    std::vector<std::string> tail{" ", "*** = significant at .1% level",
                                  "**  = significant at 1% level",
                                  "*   = significant at 5% level"};
    ASSERT_EQ(l.size(), head.size() + 2 + tail.size()) << h.listing();
    for (std::size_t i = 0; i < head.size(); ++i) EXPECT_EQ(l[i], head[i]);
    for (std::size_t i = 0; i < tail.size(); ++i) EXPECT_EQ(l[head.size() + 2 + i], tail[i]);
    // "( a,f12.5,3x,a3)": 16 + 12 + 3 + 3 columns.
    EXPECT_EQ(l[head.size()].size(), 34u);
    EXPECT_EQ(l[head.size()].substr(16, 12).find('.'), 6u);

    harness y;
    gwr::yltest(*y.s);
    std::vector<std::string> notice{" ",
                                    "**************************************************",
                                    "* LEUNG SIGNIFICANCE TESTS FOR SPATIAL VARIATION *",
                                    "**************************************************",
                                    " ",
                                    "",
                                    "** The Leung test has ben withdrawn in TZM3"};
    EXPECT_EQ(lines(y.listing()), notice);
}

TEST(McTest, ObservedStatisticThatIsNotANumberIsReportedNotSignificant) {
    synthetic d(2);
    harness h;
    gaussian_state(*h.s, d.x, d.y, {d.x1}, d.resp, d.x, d.y, 3.0);
    h.s->bvals(5, 1) = std::nan("");
    monte_carlo(*h.s, false);
    gwr::mctest(*h.s);
    auto l = lines(h.listing());
    ASSERT_EQ(l.size(), 12u + 3u + 4u) << h.listing();
    EXPECT_EQ(l[12].substr(0, 16), "Intercept       ");
    EXPECT_EQ(l[13], " You should never get here...");
    EXPECT_EQ(l[14], "x1                   1.00000   n/s");
}

// The index of the observation whose location a randomised observation
// takes: with 40000 observations every one is drawn, and the counts are
// uniform (chi-square over all of them); up to 32767 observations it is
// the one-value index of the stored listings, drawn from the same sequence.
TEST(McIndex, ReachesEveryObservationUniformlyAndKeepsSmallSetsAsTheyWere) {
    const int n = 40000, per = 30;
    gwr::rng r;
    std::vector<int> count(n + 1, 0);
    for (int t = 0; t < n * per; ++t) {
        const int idx = gwr::mcindex(r, n);
        ASSERT_GE(idx, 1);
        ASSERT_LE(idx, n);
        ++count[idx];
    }
    double chi2 = 0.0;
    int never = 0;
    for (int i = 1; i <= n; ++i) {
        never += count[i] == 0;
        chi2 += (count[i] - per) * (count[i] - per) / static_cast<double>(per);
    }
    EXPECT_EQ(never, 0);
    // n - 1 degrees of freedom: mean 39999, standard deviation 283; five
    // deviations either way.
    EXPECT_LT(std::fabs(chi2 - (n - 1)), 5.0 * std::sqrt(2.0 * (n - 1))) << chi2;

    for (int m : {1, 49, 32767}) {
        gwr::rng a, b;
        for (int t = 0; t < 2000; ++t) {
            const double u = unif(b);
            ASSERT_EQ(gwr::mcindex(a, m), std::min(static_cast<int>(u * m) + 1, m)) << m;
        }
        EXPECT_EQ(a.s, b.s);
    }
}
