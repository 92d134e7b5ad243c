// Independent reference computations for the logistic and Poisson tests:
// a direct Newton-Raphson maximum-likelihood solve with observation
// weights, written without any engine routine, and a small data generator.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "control/blocks.h"
#include "support/testing.h"

namespace glmref {

// Solves the dense system a x = b (a is k x k, row-major) by Gaussian
// elimination with partial pivoting; a and b are overwritten.
inline std::vector<double> solve(std::vector<double> a, std::vector<double> b) {
    const int k = static_cast<int>(b.size());
    for (int c = 0; c < k; ++c) {
        int piv = c;
        for (int r = c + 1; r < k; ++r)
            if (std::fabs(a[r * k + c]) > std::fabs(a[piv * k + c])) piv = r;
        for (int j = 0; j < k; ++j) std::swap(a[c * k + j], a[piv * k + j]);
        std::swap(b[c], b[piv]);
        for (int r = c + 1; r < k; ++r) {
            const double f = a[r * k + c] / a[c * k + c];
            for (int j = c; j < k; ++j) a[r * k + j] -= f * a[c * k + j];
            b[r] -= f * b[c];
        }
    }
    std::vector<double> x(k);
    for (int r = k - 1; r >= 0; --r) {
        double v = b[r];
        for (int j = r + 1; j < k; ++j) v -= a[r * k + j] * x[j];
        x[r] = v / a[r * k + r];
    }
    return x;
}

// Inverse of a k x k row-major matrix, column by column.
inline std::vector<double> inverse(const std::vector<double>& a, int k) {
    std::vector<double> inv(static_cast<std::size_t>(k) * k);
    for (int c = 0; c < k; ++c) {
        std::vector<double> e(k, 0.0);
        e[c] = 1.0;
        auto col = solve(a, e);
        for (int r = 0; r < k; ++r) inv[r * k + c] = col[r];
    }
    return inv;
}

struct data {
    int method = 3;                     // 3 logistic, 4 Poisson
    std::vector<std::vector<double>> x;  // rows with the intercept first
    std::vector<double> y, offset, xc, yc;
    int n() const { return static_cast<int>(y.size()); }
    int p() const { return static_cast<int>(x[0].size()); }
};

struct mle {
    std::vector<double> b, se;
    double loglik = 0.0, deviance = 0.0;
    int steps = 0;
};

inline double mean_of(const data& d, int j, const std::vector<double>& b) {
    double e = 0.0;
    for (int k = 0; k < d.p(); ++k) e += d.x[j][k] * b[k];
    return d.method == 3 ? 1.0 / (1.0 + std::exp(-e)) : d.offset[j] * std::exp(e);
}

// Log-likelihood (logistic) or minus half the deviance (Poisson, without
// the saturated-model constant) of b, unweighted over all observations.
inline void likelihood(const data& d, const std::vector<double>& b, double& L, double& D) {
    L = 0.0;
    D = 0.0;
    for (int j = 0; j < d.n(); ++j) {
        const double mu = mean_of(d, j, b);
        if (d.method == 3) {
            L += d.y[j] * std::log(mu) + (1.0 - d.y[j]) * std::log(1.0 - mu);
        } else {
            D += 2.0 * ((d.y[j] > 0 ? d.y[j] * std::log(d.y[j] / mu) : 0.0) - (d.y[j] - mu));
        }
    }
    if (d.method == 3)
        D = -2.0 * L;
    else
        L = -D / 2.0;
}

// Maximises sum_j kw_j * l_j(b) by Newton-Raphson on the score equations,
// starting from 0, until the step is below 1e-13.  Standard errors come
// from the unweighted information matrix at the solution.
inline mle newton(const data& d, const std::vector<double>& kw) {
    const int n = d.n(), p = d.p();
    mle r;
    r.b.assign(p, 0.0);
    if (d.method == 4) {
        double ys = 0.0, os = 0.0;
        for (int j = 0; j < n; ++j) {
            ys += kw[j] * d.y[j];
            os += kw[j] * d.offset[j];
        }
        r.b[0] = std::log(ys / os);
    }
    for (r.steps = 0; r.steps < 200; ++r.steps) {
        std::vector<double> g(p, 0.0), h(static_cast<std::size_t>(p) * p, 0.0);
        for (int j = 0; j < n; ++j) {
            const double mu = mean_of(d, j, r.b);
            const double v = d.method == 3 ? mu * (1.0 - mu) : mu;
            for (int k = 0; k < p; ++k) {
                g[k] += kw[j] * (d.y[j] - mu) * d.x[j][k];
                for (int l = 0; l < p; ++l) h[k * p + l] += kw[j] * v * d.x[j][k] * d.x[j][l];
            }
        }
        auto step = solve(h, g);
        double big = 0.0;
        for (int k = 0; k < p; ++k) {
            r.b[k] += step[k];
            big = std::max(big, std::fabs(step[k]));
        }
        if (big < 1e-13) break;
    }
    std::vector<double> info(static_cast<std::size_t>(p) * p, 0.0);
    for (int j = 0; j < n; ++j) {
        const double mu = mean_of(d, j, r.b);
        const double v = d.method == 3 ? mu * (1.0 - mu) : mu;
        for (int k = 0; k < p; ++k)
            for (int l = 0; l < p; ++l) info[k * p + l] += v * d.x[j][k] * d.x[j][l];
    }
    auto c = inverse(info, p);
    for (int k = 0; k < p; ++k) r.se.push_back(std::sqrt(c[k * p + k]));
    likelihood(d, r.b, r.loglik, r.deviance);
    return r;
}

inline mle newton(const data& d) { return newton(d, std::vector<double>(d.n(), 1.0)); }

// The tests' generator with Poisson counts (Knuth's product method).
struct lcg : testing_support::lcg {
    using testing_support::lcg::lcg;
    int poisson(double lambda) {
        double l = std::exp(-lambda), p = 1.0;
        int k = 0;
        do {
            ++k;
            p *= uniform();
        } while (p > l);
        return k - 1;
    }
};

// n points on a 10 x 10 square with two predictors; the response follows a
// logistic or Poisson model with coefficients that drift gently across the
// square.  Poisson data carry offsets between 0.5 and 3.
inline data make(int method, int n, std::uint64_t seed) {
    lcg g(seed);
    data d;
    d.method = method;
    for (int j = 0; j < n; ++j) {
        const double u = 10.0 * g.uniform(), v = 10.0 * g.uniform();
        const double x1 = g.normal(), x2 = g.uniform() * 2.0 - 1.0;
        d.xc.push_back(u);
        d.yc.push_back(v);
        d.x.push_back({1.0, x1, x2});
        const double b1 = 0.8 + 0.06 * u, b2 = -0.7 + 0.05 * v;
        if (method == 3) {
            d.offset.push_back(1.0);
            const double pr = 1.0 / (1.0 + std::exp(-(-0.3 + b1 * x1 + b2 * x2)));
            d.y.push_back(g.uniform() < pr ? 1.0 : 0.0);
        } else {
            const double o = 0.5 + 2.5 * g.uniform();
            d.offset.push_back(o);
            d.y.push_back(g.poisson(o * std::exp(0.2 + 0.4 * x1 + b2 * x2)));
        }
    }
    return d;
}

// A fresh engine state holding the data set, ready for the fitting
// routines: design matrix, response, offsets, coordinates, the fit
// locations at the observation points, a fixed Gaussian kernel.
struct setup {
    testing_support::harness h;
    gwr::state& s;

    explicit setup(const data& d, double bandw = 1.0) : h(""), s(*h.s) {
        const int n = d.n(), p = d.p();
        s.set_observation_count(n);
        testing_support::describe(s, [&d](gwr::run_description& r) {
            r.method = gwr::method_of(d.method);
            testing_support::set_kernel(r, 'f');
            r.crit = gwr::criterion::given;
        });
        s.parms.bandw = bandw;
        s.set_parameter_count(p);
        s.size_obs(n);
        s.struc1.xmat.resize(n, p);
        for (int j = 0; j < n; ++j) {
            for (int k = 0; k < p; ++k) s.struc1.xmat(j, k) = d.x[j][k];
            s.struc2.ydep[j] = d.y[j];
            s.glm3.offset[j] = d.offset[j];
            s.struc2.xobs[j] = d.xc[j];
            s.struc2.yobs[j] = d.yc[j];
        }
        s.fit1.xfit = d.xc;
        s.fit1.yfit = d.yc;
        s.fit2.fitid.resize(n);
        for (int j = 0; j < n; ++j) s.fit2.fitid[j] = j + 1;
        s.fit3.nloc = n;
        s.option.nfit = n;
        s.output.samepts = 1;
        for (int k = 1; k < p; ++k) {
            std::string name(8, ' ');
            name[0] = 'X';
            name[1] = static_cast<char>('0' + k % 10);
            s.lab1.modlab.push_back(name);
        }
        s.size_loc(n, p);
        s.ws.size(n, p);
    }
};

// Fixed Gaussian kernel weights of every observation seen from point (u, v).
inline std::vector<double> gauss_kernel(const data& d, double u, double v, double h,
                                        const std::vector<double>* obswt = nullptr) {
    std::vector<double> k;
    for (int j = 0; j < d.n(); ++j) {
        const double dx = d.xc[j] - u, dy = d.yc[j] - v;
        double w = std::exp(-(dx * dx + dy * dy) / (2.0 * h * h));
        if (obswt) w *= (*obswt)[j];
        k.push_back(w);
    }
    return k;
}

// Adaptive bi-square weights of size N around (u, v): D the N-th smallest
// squared distance, (1 - d/D)^2 below it.
inline std::vector<double> bisquare_kernel(const data& d, double u, double v, int N) {
    std::vector<double> dsq;
    for (int j = 0; j < d.n(); ++j) dsq.push_back((d.xc[j] - u) * (d.xc[j] - u) + (d.yc[j] - v) * (d.yc[j] - v));
    std::vector<double> sorted = dsq;
    std::sort(sorted.begin(), sorted.end());
    const double D = sorted[N - 1];
    std::vector<double> w;
    for (double q : dsq) w.push_back(q < D ? (1 - q / D) * (1 - q / D) : 0.0);
    return w;
}

}  // namespace glmref
