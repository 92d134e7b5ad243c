// Local designs that are singular in exact arithmetic but not after
// rounding: the calibration criterion and the search against a
// rank-revealing least-squares fit written here, the local condition
// numbers against closed-form eigenvalues, and the counts of singular and
// under-supplied fit locations.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "control/stop.h"
#include "gaussian/calib.h"
#include "gaussian/gaussian.h"
#include "gaussian_reference.h"
#include "support/testing.h"

namespace {

constexpr double pi = 3.141592653589793;
constexpr double inf = std::numeric_limits<double>::infinity();

using testing_support::lcg;

// Points with two predictors; the intercept makes the first design column.
struct dataset {
    int n = 0;
    std::vector<double> u, v, x1, x2, y;
    std::array<double, 3> row(int j) const { return {1.0, x1[j], x2[j]}; }
};

// Tracts on a side x side jittered grid, grouped into districts of
// block x block tracts.  x1 is a district value, the same for every tract
// of a district, and not exact in binary, so that the cross products of a
// neighbourhood inside one district are singular only up to rounding.
dataset tracts(int side, int block, std::uint64_t seed) {
    dataset d;
    lcg g(seed);
    for (int a = 0; a < side; ++a)
        for (int b = 0; b < side; ++b) {
            const double u = a + 0.4 * g.uniform(), v = b + 0.4 * g.uniform();
            const int district = (a / block) * (side / block) + b / block;
            const double x1 = 0.37 + 0.1 * district;
            const double x2 = 2.0 * g.uniform() - 1.0;
            d.u.push_back(u);
            d.v.push_back(v);
            d.x1.push_back(x1);
            d.x2.push_back(x2);
            d.y.push_back(1.0 + 0.8 * std::sin(u / 2.0) + 2.0 * x1 + (0.5 + 0.1 * v) * x2 + 0.2 * g.normal());
        }
    d.n = static_cast<int>(d.y.size());
    return d;
}

// A state ready for the Gaussian fitting routines: fit locations at the
// observations, kernel 'f' (fixed Gaussian), 'c' (cylinder) or 'v'
// (adaptive bi-square), AICc calibration code.
void load(gwr::state& s, const dataset& d, char kernel) {
    const int n = d.n, K = 3;
    s.set_observation_count(n);
    s.set_parameter_count(K);
    testing_support::describe(s, [kernel](gwr::run_description& r) {
        r.method = gwr::analysis::gaussian;
        testing_support::set_calibration(r, 3);
        testing_support::set_kernel(r, kernel == 'v' || kernel == 'c' ? kernel : 'f');
    });
    s.size_obs(n);
    s.struc1.xmat.resize(n, K);
    for (int i = 0; i < n; ++i) {
        s.struc2.xobs[i] = d.u[i];
        s.struc2.yobs[i] = d.v[i];
        s.struc2.ydep[i] = d.y[i];
        for (int k = 0; k < K; ++k) s.struc1.xmat(i, k) = d.row(i)[k];
    }
    s.fit1.xfit = s.struc2.xobs;
    s.fit1.yfit = s.struc2.yobs;
    s.fit2.fitid.resize(n);
    for (int i = 0; i < n; ++i) s.fit2.fitid[i] = i + 1;
    s.fit3.nloc = n;
    s.option.nfit = n;
    s.output.samepts = 1;
    s.lab1.modlab = {"X1      ", "X2      "};
    s.size_loc(n, K);
    s.ws.size(n, K);
}

// Squared distances from point i to every point, and their sorted copy.
struct distances {
    std::vector<double> dsq, sorted;
};

distances from(const dataset& d, int i) {
    distances r;
    for (int j = 0; j < d.n; ++j) {
        const double du = d.u[j] - d.u[i], dv = d.v[j] - d.v[i];
        r.dsq.push_back(du * du + dv * dv);
    }
    r.sorted = r.dsq;
    std::sort(r.sorted.begin(), r.sorted.end());
    return r;
}

// Bi-square weights of the N-th nearest neighbour.
std::vector<double> bisquare(const distances& g, int N) {
    const double D = g.sorted[N - 1];
    std::vector<double> w;
    for (double q : g.dsq) w.push_back(q < D ? (1.0 - q / D) * (1.0 - q / D) : 0.0);
    return w;
}

// Weighted least squares of y on (1, x1, x2) by modified Gram-Schmidt on
// the columns scaled by sqrt(w), rank revealing: a column whose part
// orthogonal to the columns kept before it has a squared norm of at most
// 1e-6 of its own is linearly dependent and dropped.  Gives the fitted
// value and the leverage w_i x_i' (X'WX)^-1 x_i at observation i over the
// kept columns, and how many columns were dropped.
struct wls {
    double fitted = 0.0, leverage = 0.0;
    int dropped = 0;
};

wls rank_revealing(const dataset& d, const std::vector<double>& w, int i) {
    const int n = d.n;
    std::vector<std::vector<double>> q;   // orthonormal columns
    std::vector<std::vector<double>> r;   // r[c][m]: column c of R, m < kept
    std::vector<int> kept;
    wls out;
    for (int k = 0; k < 3; ++k) {
        std::vector<double> c(n);
        double own = 0.0;
        for (int j = 0; j < n; ++j) {
            c[j] = std::sqrt(w[j]) * d.row(j)[k];
            own += c[j] * c[j];
        }
        std::vector<double> rc;
        for (const auto& qm : q) {
            double dot = 0.0;
            for (int j = 0; j < n; ++j) dot += qm[j] * c[j];
            for (int j = 0; j < n; ++j) c[j] -= dot * qm[j];
            rc.push_back(dot);
        }
        double rest = 0.0;
        for (int j = 0; j < n; ++j) rest += c[j] * c[j];
        if (rest <= 1e-6 * own) {
            ++out.dropped;
            continue;
        }
        const double norm = std::sqrt(rest);
        for (int j = 0; j < n; ++j) c[j] /= norm;
        rc.push_back(norm);
        q.push_back(c);
        r.push_back(rc);
        kept.push_back(k);
    }
    const int m = static_cast<int>(kept.size());
    // R b = Q' sqrt(W) y, then the fitted value and R' z = x_i.
    std::vector<double> qy(m, 0.0), b(m, 0.0), z(m, 0.0);
    for (int a = 0; a < m; ++a)
        for (int j = 0; j < n; ++j) qy[a] += q[a][j] * std::sqrt(w[j]) * d.y[j];
    for (int a = m - 1; a >= 0; --a) {
        double t = qy[a];
        for (int c = a + 1; c < m; ++c) t -= r[c][a] * b[c];
        b[a] = t / r[a][a];
    }
    for (int a = 0; a < m; ++a) {
        double t = d.row(i)[kept[a]];
        for (int c = 0; c < a; ++c) t -= r[a][c] * z[c];
        z[a] = t / r[a][a];
        out.fitted += b[a] * d.row(i)[kept[a]];
        out.leverage += z[a] * z[a];
    }
    out.leverage *= w[i];
    return out;
}

double aicc_of(double rss, double trs, int n) {
    return n * (std::log(2.0 * pi * rss / n) + 1.0 + 2.0 * (trs + 1.0) / (n - 2.0 - trs));
}

// Condition number of X'WX scaled to unit diagonal, from the eigenvalues.
double cond_of(const dataset& d, const std::vector<double>& w) {
    double a[3][3] = {};
    for (int j = 0; j < d.n; ++j)
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c) a[r][c] += w[j] * d.row(j)[r] * d.row(j)[c];
    return gaussian_reference::cond3(a);
}

}  // namespace

// District-level predictor, adaptive kernel of a few tracts: wherever a
// neighbourhood lies inside one district x1 equals the intercept times a
// constant.  The criterion at every trial size is that of fits with x1
// dropped there, and the search picks the size a grid scan of those fits
// picks.
TEST(GaussianSingular, CriterionAndSearchFollowTheRankRevealingFits) {
    const dataset d = tracts(16, 4, 5);
    const int n = d.n;
    std::vector<distances> dist;
    for (int i = 0; i < n; ++i) dist.push_back(from(d, i));

    testing_support::harness h;
    gwr::state& s = *h.s;
    load(s, d, 'v');
    double lo = 0.0, hi = 0.0;
    gwr::searchlimits(s, lo, hi);
    ASSERT_EQ(lo, 12.0);
    const int top = 80;  // sizes beyond reach no district's interior

    int singular = 0, rounded = 0;
    std::vector<double> ref(top + 1, 0.0);
    for (int N = static_cast<int>(lo); N <= top; ++N) {
        double rss = 0.0, trs = 0.0;
        for (int i = 0; i < n; ++i) {
            const auto w = bisquare(dist[i], N);
            const wls f = rank_revealing(d, w, i);
            rss += (d.y[i] - f.fitted) * (d.y[i] - f.fitted);
            trs += f.leverage;
            if (f.dropped == 0) continue;
            ++singular;
            // The premise: Gauss-Jordan meets no exact zero pivot in most
            // of these cross products; only the relative test finds them.
            std::vector<double> a(9, 0.0);
            for (int j = 0; j < n; ++j)
                for (int r = 0; r < 3; ++r)
                    for (int c = 0; c < 3; ++c) a[c * 3 + r] += (d.row(j)[r] * d.row(j)[c]) * w[j];
            double det = 0.0;
            int l[3], m[3];
            gwr::minv(a.data(), 3, 3, det, l, m);
            if (det != 0.0) ++rounded;
        }
        ref[N] = aicc_of(rss, trs, n);
        const double got = gwr::akeval(s, N);
        EXPECT_NEAR(got, ref[N], 1e-9 * std::fabs(ref[N])) << "N = " << N;
    }
    ASSERT_GT(singular, 100);
    ASSERT_GT(rounded, singular / 2);

    // The search, limited to the sizes scanned here.
    testing_support::describe(s, [&](gwr::run_description& r) {
        r.keys.limits = true;
        r.keys.limlo = lo;
        r.keys.limhi = top;
    });
    gwr::calib(s);
    int best = static_cast<int>(lo);
    for (int N = best; N <= top; ++N)
        if (ref[N] < ref[best]) best = N;
    EXPECT_EQ(s.fit5.nnear, best) << h.listing();
}

// A fixed Gaussian kernel narrower than a district: the other districts
// keep tiny weights, so that some local designs are singular by the
// relative test and others merely ill-conditioned.  The condition numbers
// equal those of closed-form eigenvalues (infinity where the reference
// drops x1), and the warnings count them.
TEST(GaussianSingular, ConditionNumbersAndTheirWarnings) {
    const dataset d = tracts(16, 4, 9);
    const int n = d.n;
    testing_support::harness h;
    gwr::state& s = *h.s;
    load(s, d, 'f');
    s.parms.bandw = 0.55;
    gwr::tzm(s);
    gwr::summry(s);

    int singular = 0, firstsing = 0, above = 0, finite_above = 0;
    double largest = 0.0;
    for (int i = 0; i < n; ++i) {
        const distances g = from(d, i);
        std::vector<double> w;
        for (double q : g.dsq) w.push_back(std::exp(-q / (2.0 * 0.55 * 0.55)));
        const wls f = rank_revealing(d, w, i);
        const double c = f.dropped ? inf : cond_of(d, w);
        if (f.dropped) {
            EXPECT_EQ(s.diags.cond[i], inf) << i;
            EXPECT_EQ(s.output.locsing[i], 1) << i;
            if (singular++ == 0) firstsing = i + 1;
        } else {
            EXPECT_NEAR(s.diags.cond[i], c, 1e-6 * c) << i;
            EXPECT_EQ(s.output.locsing[i], 0) << i;
        }
        // The leverage is that of the rank-revealing fit, in [0, 1].
        EXPECT_NEAR(s.hat1.hatdg[i], f.leverage, 1e-9) << i;
        if (c > 30.0) {
            ++above;
            largest = std::max(largest, c);
            if (std::isfinite(c)) ++finite_above;
        }
    }
    ASSERT_GT(singular, 0);
    ASSERT_GT(finite_above, 0);
    ASSERT_LT(above, n);

    const std::string out = h.listing();
    char line[160];
    std::snprintf(line, sizeof line,
                  "** Warning:%7d of%7d fit locations have a singular local design:\n"
                  "**   predictors that depend on others there are dropped (first: location%7d)\n",
                  singular, n, firstsing);
    EXPECT_NE(out.find(line), std::string::npos) << out;
    std::snprintf(line, sizeof line,
                  "** Warning: the local design is ill-conditioned at%7d of%7d fit locations\n"
                  "**   (condition number above 30); the largest is      Infinity\n",
                  above, n);
    EXPECT_NE(out.find(line), std::string::npos) << out;
    // The warnings follow the fits and the summary of the parameters.
    EXPECT_LT(out.find("TZM ESTIMATION"), out.find("singular local design"));
    EXPECT_LT(out.find("Diagnostic information..."), out.find("ill-conditioned"));
    EXPECT_LT(out.find("Far Out"), out.find("ill-conditioned"));
    EXPECT_EQ(out.find("fewer than"), std::string::npos);

    // Without a singular location the largest value is written as a number.
    testing_support::harness h2;
    load(*h2.s, d, 'f');
    h2.s->parms.bandw = 0.55;
    h2.s->fit3.nloc = 1;
    h2.s->diags.cond[0] = 123.456;
    gwr::wrcond(*h2.s);
    EXPECT_EQ(h2.listing(), " \n** Warning: the local design is ill-conditioned at      1 of      1 fit locations\n"
                            "**   (condition number above 30); the largest is        123.46\n");
    h2.s->diags.cond[0] = 30.0;
    gwr::wrcond(*h2.s);
    EXPECT_EQ(h2.listing().find("123.46\n "), std::string::npos);
}

// Fit locations whose kernel leaves fewer observations of positive weight
// than parameters: counted and named when some locations have enough,
// a stop when none has.
TEST(GaussianSingular, LocationsWithTooFewWeightedObservations) {
    dataset d = tracts(8, 4, 3);
    // Two tracts far from the others: a cylinder of radius 1.5 sees only
    // the pair from either of them.
    for (double u : {40.0, 40.5}) {
        d.u.push_back(u);
        d.v.push_back(40.0);
        d.x1.push_back(0.5);
        d.x2.push_back(u - 40.2);
        d.y.push_back(2.0);
    }
    d.n += 2;
    {
        testing_support::harness h;
        gwr::state& s = *h.s;
        load(s, d, 'c');
        s.parms.bandw = 1.5;
        gwr::tzm(s);
        char line[200];
        std::snprintf(line, sizeof line,
                      "** Warning:%7d of%7d fit locations have fewer than  3 observations\n"
                      "**   of positive kernel weight (first: location%7d)\n",
                      2, d.n, d.n - 1);
        EXPECT_NE(h.listing().find(line), std::string::npos) << h.listing();
        EXPECT_EQ(s.output.locsing[d.n - 1], 1);
        EXPECT_EQ(s.output.locsing[d.n - 2], 1);
        // Two points determine the intercept and x2 there; x1 is constant.
        for (int i : {d.n - 2, d.n - 1}) {
            EXPECT_EQ(s.bvals(i, 1), 0.0);
            EXPECT_NEAR(s.bvals(i, 0) + s.bvals(i, 2) * d.x2[i], 2.0, 1e-12);
        }
    }
    // An adaptive size of 2 weights only the location's own observation;
    // observation weights of 0 leave a Gaussian kernel nothing.
    for (int variant = 0; variant < 2; ++variant) {
        testing_support::harness h;
        gwr::state& s = *h.s;
        load(s, d, variant == 0 ? 'v' : 'f');
        s.fit5.nnear = 2;
        s.parms.bandw = 3.0;
        if (variant == 1) std::fill(s.fit6.obswt.begin(), s.fit6.obswt.end(), 0.0);
        EXPECT_THROW(gwr::tzm(s), gwr::stop);
        const auto lines = testing_support::lines(h.listing());
        ASSERT_GE(lines.size(), 3u);
        EXPECT_EQ(lines[lines.size() - 3], "*** Every fit location has fewer than  3 observations of positive kernel");
        EXPECT_EQ(lines.back(), "*** sample size and the observation weights)... halting");
        EXPECT_EQ(h.listing().find("Diagnostic information"), std::string::npos);
    }
}
