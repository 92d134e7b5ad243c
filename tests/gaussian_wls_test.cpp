// Weighted least squares and the inversion routines, checked against
// independent computations (normal equations solved by elimination with
// partial pivoting, explicit matrix products).
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "gaussian/gaussian.h"
#include "gaussian_reference.h"
#include "support/testing.h"

namespace {

using gaussian_reference::Mat;

using gaussian_reference::inverse;

double determinant(Mat a) {
    int n = static_cast<int>(a.size());
    double det = 1.0;
    for (int c = 0; c < n; ++c) {
        int p = c;
        for (int r = c + 1; r < n; ++r)
            if (std::fabs(a[r][c]) > std::fabs(a[p][c])) p = r;
        if (p != c) {
            std::swap(a[c], a[p]);
            det = -det;
        }
        det *= a[c][c];
        for (int r = c + 1; r < n; ++r) {
            double f = a[r][c] / a[c][c];
            for (int j = c; j < n; ++j) a[r][j] -= f * a[c][j];
        }
    }
    return det;
}

// A state holding a design matrix (intercept added), y and weights.
struct fit_data {
    testing_support::harness h;
    gwr::state& s;
    int n, K;
    fit_data(const Mat& xcols, const std::vector<double>& y, const std::vector<double>& w)
        : s(*h.s), n(static_cast<int>(y.size())), K(static_cast<int>(xcols.size()) + 1) {
        s.set_observation_count(n);
        s.set_parameter_count(K);
        s.size_obs(n);
        s.struc2.ydep = y;
        s.struc1.xmat.resize(n, K);
        for (int j = 0; j < n; ++j) {
            s.struc1.xmat(j, 0) = 1.0;
            for (int k = 1; k < K; ++k) s.struc1.xmat(j, k) = xcols[k - 1][j];
        }
        s.ws.size(n, K);
        s.ws.wt = w;
    }
    double x(int j, int k) const { return s.struc1.xmat(j, k); }
    Mat xtwx() const {
        Mat a(K, std::vector<double>(K, 0.0));
        for (int j = 0; j < n; ++j)
            for (int k = 0; k < K; ++k)
                for (int m = 0; m < K; ++m) a[k][m] += x(j, k) * x(j, m) * s.ws.wt[j];
        return a;
    }
};

TEST(GaussianInverse, MinvAgainstIndependentInverseAndDeterminant) {
    std::mt19937 g(3);
    std::uniform_real_distribution<double> u(-2, 2);
    for (int n : {1, 2, 3, 5, 8}) {
        Mat a(n, std::vector<double>(n));
        for (auto& r : a)
            for (auto& v : r) v = u(g);
        for (int i = 0; i < n; ++i) a[i][i] += 0.1;  // nonsingular
        std::vector<double> cm(n * n);
        for (int i = 0; i < n; ++i)
            for (int j = 0; j < n; ++j) cm[j * n + i] = a[i][j];
        std::vector<int> l(n), m(n);
        double det = 0;
        gwr::minv(cm.data(), n, n, det, l.data(), m.data());
        Mat inv = inverse(a);
        for (int i = 0; i < n; ++i)
            for (int j = 0; j < n; ++j) EXPECT_NEAR(cm[j * n + i], inv[i][j], 1e-9) << n;
        EXPECT_NEAR(det, determinant(a), 1e-9 * std::fabs(determinant(a)) + 1e-12);
    }
    // Zeros on the diagonal force row and column interchanges.
    std::vector<double> p = {0, 2, 3, 0};  // [[0,3],[2,0]] column-major
    std::vector<int> l(2), m(2);
    double det = 0;
    gwr::minv(p.data(), 2, 2, det, l.data(), m.data());
    EXPECT_DOUBLE_EQ(det, -6.0);
    EXPECT_DOUBLE_EQ(p[0], 0.0);
    EXPECT_DOUBLE_EQ(p[1], 1.0 / 3);
    EXPECT_DOUBLE_EQ(p[2], 0.5);
    EXPECT_DOUBLE_EQ(p[3], 0.0);
    // 1 x 1, and a zero pivot.
    double one = 4.0;
    gwr::minv(&one, 1, 1, det, l.data(), m.data());
    EXPECT_EQ(one, 0.25);
    EXPECT_EQ(det, 4.0);
    double zero = 0.0;
    gwr::minv(&zero, 1, 1, det, l.data(), m.data());
    EXPECT_EQ(det, 0.0);
    // A leading dimension larger than the order leaves the rest untouched.
    std::vector<double> wide = {2, 0, 99, 0, 4, 99};
    gwr::minv(wide.data(), 2, 3, det, l.data(), m.data());
    EXPECT_EQ(wide, (std::vector<double>{0.5, 0, 99, 0, 0.25, 99}));
    EXPECT_EQ(det, 8.0);
}

TEST(GaussianInverse, SubinvOfPrincipalSubmatricesAndFaults) {
    // Packed lower triangle by rows of a 4 x 4 positive definite matrix.
    Mat a = {{4, 1, 0.5, 0.2}, {1, 3, 0.3, 0.1}, {0.5, 0.3, 2, 0.4}, {0.2, 0.1, 0.4, 5}};
    std::vector<double> pa;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j <= i; ++j) pa.push_back(a[i][j]);
    std::vector<double> c(10), w(4);
    int nullty = -1, ifault = -1;
    double det = 0;

    std::vector<int> b = {1, 3, 4};
    gwr::subinv(pa.data(), 4, b.data(), 3, c.data(), w.data(), nullty, ifault, det);
    ASSERT_EQ(ifault, 0);
    EXPECT_EQ(nullty, 0);
    Mat sub = {{4, 0.5, 0.2}, {0.5, 2, 0.4}, {0.2, 0.4, 5}};
    Mat inv = inverse(sub);
    int p = 0;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j <= i; ++j) EXPECT_NEAR(c[p++], inv[i][j], 1e-12);
    EXPECT_NEAR(det, determinant(sub), 1e-10);

    // In place, as the generalised-inverse path of a fit uses it.
    std::vector<double> same = pa;
    b = {1, 2, 3, 4};
    gwr::subinv(same.data(), 4, b.data(), 4, same.data(), w.data(), nullty, ifault, det);
    ASSERT_EQ(ifault, 0);
    inv = inverse(a);
    p = 0;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j <= i; ++j) EXPECT_NEAR(same[p++], inv[i][j], 1e-12);

    // Bad index lists and an empty list.
    for (auto bad : {std::vector<int>{2, 2}, std::vector<int>{3, 1}, std::vector<int>{0, 1},
                     std::vector<int>{1, 5}}) {
        gwr::subinv(pa.data(), 4, bad.data(), 2, c.data(), w.data(), nullty, ifault, det);
        EXPECT_EQ(ifault, 3);
    }
    gwr::subinv(pa.data(), 4, b.data(), 5, c.data(), w.data(), nullty, ifault, det);
    EXPECT_EQ(ifault, 3);
    gwr::subinv(pa.data(), 4, b.data(), 0, c.data(), w.data(), nullty, ifault, det);
    EXPECT_EQ(ifault, 1);

    // Not positive semi-definite: code 2 and a zero factor.
    std::vector<double> neg = {1, 2, 1};  // [[1,2],[2,1]]
    std::vector<double> u(3, 7.0);
    b = {1, 2};
    gwr::subchl(neg.data(), b.data(), 2, u.data(), nullty, ifault, det);
    EXPECT_EQ(ifault, 2);
    EXPECT_EQ(u, (std::vector<double>{0, 0, 0}));
}

TEST(GaussianInverse, SingularSubmatrixGetsZeroRowAndColumn) {
    // Variables 2 and 3 equal: the second of them is a zero pivot.
    Mat a = {{3, 1, 1}, {1, 2, 2}, {1, 2, 2}};
    std::vector<double> pa;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j <= i; ++j) pa.push_back(a[i][j]);
    std::vector<int> b = {1, 2, 3};
    std::vector<double> c(6), w(3);
    int nullty = 0, ifault = 0;
    double det = 0;
    gwr::subinv(pa.data(), 3, b.data(), 3, c.data(), w.data(), nullty, ifault, det);
    ASSERT_EQ(ifault, 0);
    EXPECT_EQ(nullty, 1);
    EXPECT_EQ(det, 0.0);
    Mat inv = inverse({{3, 1}, {1, 2}});
    EXPECT_NEAR(c[0], inv[0][0], 1e-12);
    EXPECT_NEAR(c[1], inv[1][0], 1e-12);
    EXPECT_NEAR(c[2], inv[1][1], 1e-12);
    EXPECT_EQ(c[3], 0.0);
    EXPECT_EQ(c[4], 0.0);
    EXPECT_EQ(c[5], 0.0);
}

// A small data set with two predictors and unequal weights.
fit_data small_set() {
    Mat x = {{1.0, 2.5, 3.1, 4.7, 5.2, 6.9, 7.3, 8.8},
             {0.3, -1.2, 2.2, 0.7, -0.4, 1.9, 3.3, -2.1}};
    std::vector<double> y = {3.2, 4.1, 7.9, 8.3, 8.0, 13.5, 16.1, 10.2};
    std::vector<double> w = {1.0, 0.5, 2.0, 1.5, 0.8, 1.2, 0.3, 1.0};
    return fit_data(x, y, w);
}

TEST(GaussianFit, MatchesNormalEquations) {
    fit_data d = small_set();
    gwr::fitreg(d.s, d.s.ws);
    auto& w = d.s.ws;
    Mat A = d.xtwx();
    Mat C = inverse(A);
    std::vector<double> b(d.K, 0.0);
    for (int j = 0; j < d.n; ++j)
        for (int k = 0; k < d.K; ++k) b[k] += d.x(j, k) * d.s.struc2.ydep[j] * w.wt[j];
    std::vector<double> beta(d.K, 0.0);
    for (int k = 0; k < d.K; ++k)
        for (int m = 0; m < d.K; ++m) beta[k] += C[k][m] * b[m];

    EXPECT_EQ(w.singfl, 0);
    for (int k = 0; k < d.K; ++k) {
        EXPECT_NEAR(w.bhat[k], beta[k], 1e-10);
        for (int m = 0; m < d.K; ++m) EXPECT_NEAR(w.xtwxi(k, m), C[k][m], 1e-12);
    }
    double rss = 0, tr = 0;
    for (int j = 0; j < d.n; ++j) {
        double f = 0;
        for (int k = 0; k < d.K; ++k) f += beta[k] * d.x(j, k);
        double e = d.s.struc2.ydep[j] - f;
        EXPECT_NEAR(w.lresid[j], e, 1e-10);
        rss += e * e;
        double h = 0;
        for (int k = 0; k < d.K; ++k)
            for (int m = 0; m < d.K; ++m) h += d.x(j, k) * C[k][m] * d.x(j, m);
        EXPECT_NEAR(w.hdiag[j], w.wt[j] * h, 1e-12);
        tr += w.wt[j] * h;
    }
    EXPECT_NEAR(w.lrss, rss, 1e-10);
    EXPECT_NEAR(w.trloc, 3.0, 1e-12);
    EXPECT_NEAR(tr, 3.0, 1e-12);
    // The weighted residuals are orthogonal to every design column.
    for (int k = 0; k < d.K; ++k) {
        double dot = 0;
        for (int j = 0; j < d.n; ++j) dot += d.x(j, k) * w.wt[j] * w.lresid[j];
        EXPECT_NEAR(dot, 0.0, 1e-10);
    }
    // Simple standard errors with sigma^2 held in single precision.
    float sig2 = static_cast<float>(rss / (d.n - 3.0));
    for (int k = 0; k < d.K; ++k)
        EXPECT_NEAR(w.sehat[k], std::sqrt(static_cast<double>(sig2) * C[k][k]), 1e-12);

    // The cheaper variant gives bit-identical coefficients and inverse.
    std::vector<double> bh = w.bhat;
    std::vector<double> ci = w.xtwxi.a;
    w.bhat.assign(d.K, -1);
    w.xtwxi.a.assign(ci.size(), -1);
    gwr::fitcoef(d.s, w);
    EXPECT_EQ(std::memcmp(bh.data(), w.bhat.data(), bh.size() * sizeof(double)), 0);
    EXPECT_EQ(std::memcmp(ci.data(), w.xtwxi.a.data(), ci.size() * sizeof(double)), 0);
}

TEST(GaussianFit, VarianceFactorsAreDiagonalOfCXW2XC) {
    fit_data d = small_set();
    d.s.ws.wt = {0.9, 0.0, 1.7, 1.1, 0.2, 0.6, 1.4, 0.05};
    gwr::fitreg(d.s, d.s.ws);
    Mat C = inverse(d.xtwx());
    gwr::calcse(d.s, d.s.ws);
    for (int k = 0; k < d.K; ++k) {
        double v = 0;
        for (int j = 0; j < d.n; ++j) {
            double mkj = 0;
            for (int m = 0; m < d.K; ++m) mkj += C[k][m] * d.x(j, m) * d.s.ws.wt[j];
            v += mkj * mkj;
        }
        EXPECT_NEAR(d.s.ws.sehat[k], v, 1e-12 * v);
    }
}

TEST(GaussianFit, PredictorWithoutWeightIsDroppedByTheGeneralisedInverse) {
    // Predictor 2 is non-zero only where the weight is 0.
    Mat x = {{1.0, 2.0, 3.0, 4.0, 5.0, 6.0}, {0.0, 0.0, 0.0, 0.0, 2.0, 3.0}};
    std::vector<double> y = {2.1, 3.9, 6.2, 7.8, 20.0, 30.0};
    std::vector<double> w = {1, 1, 1, 1, 0, 0};
    fit_data d(x, y, w);
    gwr::fitreg(d.s, d.s.ws);
    auto& ws = d.s.ws;
    EXPECT_EQ(ws.singfl, 1);
    EXPECT_EQ(ws.bhat[2], 0.0);
    EXPECT_EQ(ws.sehat[2], 0.0);
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(ws.xtwxi(2, k), 0.0);
        EXPECT_EQ(ws.xtwxi(k, 2), 0.0);
    }
    // The rest is the straight-line fit on the four weighted points.
    double sx = 10, sy = 2.1 + 3.9 + 6.2 + 7.8, sxx = 30, sxy = 2.1 + 7.8 + 18.6 + 31.2;
    double b1 = (4 * sxy - sx * sy) / (4 * sxx - sx * sx);
    double b0 = (sy - b1 * sx) / 4;
    EXPECT_NEAR(ws.bhat[0], b0, 1e-12);
    EXPECT_NEAR(ws.bhat[1], b1, 1e-12);
    EXPECT_NEAR(ws.trloc, 2.0, 1e-12);
    gwr::calcse(d.s, ws);
    EXPECT_EQ(ws.sehat[2], 0.0);
    EXPECT_GT(ws.sehat[1], 0.0);
}

TEST(GaussianFit, DuplicatePredictorAndZeroWeights) {
    // Predictors 1 and 2 identical: the retained matrix is itself singular;
    // the second copy becomes a zero pivot and gets a zero coefficient.
    Mat x = {{1.0, 2.0, 3.0, 4.0, 5.0}, {1.0, 2.0, 3.0, 4.0, 5.0}};
    std::vector<double> y = {1.0, 3.1, 4.9, 7.2, 8.8};
    fit_data d(x, y, std::vector<double>(5, 1.0));
    gwr::fitreg(d.s, d.s.ws);
    auto& ws = d.s.ws;
    EXPECT_EQ(ws.singfl, 1);
    EXPECT_EQ(ws.bhat[2], 0.0);
    double b1 = (5 * (1.0 + 6.2 + 14.7 + 28.8 + 44.0) - 15 * 25.0) / (5 * 55.0 - 225.0);
    EXPECT_NEAR(ws.bhat[1], b1, 1e-10);
    EXPECT_NEAR(ws.bhat[0], (25.0 - b1 * 15) / 5, 1e-10);

    // No weight anywhere: every predictor dropped, C all zeros, beta 0.
    ws.wt.assign(5, 0.0);
    gwr::fitreg(d.s, ws);
    EXPECT_EQ(ws.singfl, 1);
    for (double v : ws.xtwxi.a) EXPECT_EQ(v, 0.0);
    for (double v : ws.bhat) EXPECT_EQ(v, 0.0);
}

TEST(GaussianFit, NumericallyDependentPredictorsAreDroppedByTheRelativePivotTest) {
    // x2 = 3 x1 + 2 + d e: its part outside (1, x1) has a weighted squared
    // norm of 0.0069 d^2 of its own, against the limit 1e-6.  x3 = e, the
    // very direction in which x2 departs from (1, x1).
    const std::vector<double> x1 = {1.0, 2.5, 3.1, 4.7, 5.2, 6.9, 7.3, 8.8};
    const std::vector<double> e = {0.3, -1.2, 2.2, 0.7, -0.4, 1.9, 3.3, -2.1};
    const std::vector<double> y = {3.2, 4.1, 7.9, 8.3, 8.0, 13.5, 16.1, 10.2};
    const std::vector<double> w = {1.0, 0.5, 2.0, 1.5, 0.8, 1.2, 0.3, 1.0};
    auto x2 = [&](double d) {
        std::vector<double> v;
        for (std::size_t j = 0; j < x1.size(); ++j) v.push_back(3.0 * x1[j] + 2.0 + d * e[j]);
        return v;
    };
    // Weighted least squares over the columns (x0 = 1) by elimination.
    auto reference = [&](const Mat& cols) {
        const int k = static_cast<int>(cols.size()) + 1;
        Mat a(k, std::vector<double>(k, 0.0));
        std::vector<double> b(k, 0.0);
        for (std::size_t j = 0; j < y.size(); ++j) {
            std::vector<double> r = {1.0};
            for (const auto& c : cols) r.push_back(c[j]);
            for (int p = 0; p < k; ++p) {
                b[p] += w[j] * r[p] * y[j];
                for (int q = 0; q < k; ++q) a[p][q] += w[j] * r[p] * r[q];
            }
        }
        Mat inv = inverse(a);
        std::vector<double> beta(k, 0.0);
        for (int p = 0; p < k; ++p)
            for (int q = 0; q < k; ++q) beta[p] += inv[p][q] * b[q];
        return beta;
    };

    // Dependent up to rounding-sized departures: Gauss-Jordan inverts the
    // matrix, the relative test drops x2, and the fit is that of (1, x1).
    {
        fit_data d({x1, x2(1e-7)}, y, w);
        gwr::fitreg(d.s, d.s.ws);
        const auto& ws = d.s.ws;
        EXPECT_EQ(ws.singfl, 1);
        const auto ref = reference({x1});
        EXPECT_NEAR(ws.bhat[0], ref[0], 1e-10);
        EXPECT_NEAR(ws.bhat[1], ref[1], 1e-10);
        EXPECT_EQ(ws.bhat[2], 0.0);
        EXPECT_NEAR(ws.trloc, 2.0, 1e-10);
        std::vector<double> a(ws.xtwx.a);
        double det = 0.0;
        std::vector<int> l(3), m(3);
        gwr::minv(a.data(), 3, 3, det, l.data(), m.data());
        EXPECT_NE(det, 0.0);
    }
    // A later predictor along the direction of the dropped one's departure:
    // the factor of all columns fails there, and only dropping x2 before
    // factoring the rest gives the fit of (1, x1, x3).
    {
        fit_data d({x1, x2(1e-3), e}, y, w);
        gwr::fitreg(d.s, d.s.ws);
        const auto& ws = d.s.ws;
        EXPECT_EQ(ws.singfl, 1);
        const auto ref = reference({x1, e});
        EXPECT_NEAR(ws.bhat[0], ref[0], 1e-9);
        EXPECT_NEAR(ws.bhat[1], ref[1], 1e-9);
        EXPECT_EQ(ws.bhat[2], 0.0);
        EXPECT_NEAR(ws.bhat[3], ref[2], 1e-9);
        EXPECT_NEAR(ws.trloc, 3.0, 1e-9);
        // The premise: the factor over all four columns fails.
        std::vector<double> pa;
        for (int i = 0; i < 4; ++i)
            for (int j = 0; j <= i; ++j) pa.push_back(ws.xtwx(i, j));
        std::vector<int> b = {1, 2, 3, 4};
        std::vector<double> u(10);
        int nullty = 0, ifault = 0;
        double det = 0.0;
        gwr::subchl(pa.data(), b.data(), 4, u.data(), nullty, ifault, det);
        EXPECT_EQ(ifault, 2);
    }
    // The global model lists the dropped predictor with 0 and says why.
    {
        fit_data d({x1, x2(1e-7)}, y, w);
        d.s.lab1.modlab = {"X1      ", "X2      "};
        d.s.hat1.pi = 3.141592653589793;
        d.s.size_loc(d.n, d.K);
        gwr::reg1(d.s);
        const auto out = d.h.listing();
        EXPECT_NE(out.find("\n X2               0.000000000000         0.000000000000"
                           "         0.000000000000\n"
                           "** Warning: the global design is singular: predictors that depend on\n"
                           "**   others are dropped (estimate and standard error 0)\n"),
                  std::string::npos)
            << out;
    }
}

TEST(GaussianFit, RSquareFromObservedAndFitted) {
    std::vector<double> y = {1, 2, 3, 4}, f = {1.5, 1.5, 3.5, 3.5};
    double ybar, sse, sst, r2;
    gwr::calcr2(y.data(), f.data(), 4, ybar, sse, sst, r2);
    EXPECT_DOUBLE_EQ(ybar, 2.5);
    EXPECT_DOUBLE_EQ(sse, 1.0);
    EXPECT_DOUBLE_EQ(sst, 5.0);
    EXPECT_DOUBLE_EQ(r2, 0.8);
}

}  // namespace
