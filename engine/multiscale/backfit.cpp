// The multiscale model's fitting: the design on the fitting scale, the
// one-predictor smoother and its criterion, the bandwidth search of each
// parameter and the back-fitting (Fotheringham, Yang and Kang 2017).
#include <algorithm>
#include <cmath>
#include <vector>

#include "control/progress.h"
#include "gaussian/calib.h"
#include "gaussian/gaussian.h"
#include "gaussian/neighbours.h"
#include "gaussian/parallel.h"
#include "multiscale/multiscale.h"

namespace gwr {

namespace {

// The bandwidth argument of the kernel routines for bandwidth bw: the size
// of the adaptive kernel is the state's, set here (outside any parallel
// region).
double kernel_bw(state& s, double bw) {
    if (s.run().adaptive()) s.fit5.nnear = static_cast<int>(bw + 0.5);
    return bw;
}

}  // namespace

void msdesign(const state& s, ms_model& m, bool scale) {
    const int n = s.run().n, K = s.run().K;
    const dmat& x = s.struc1.xmat;
    m.n = n;
    m.K = K;
    m.xs = x;
    m.mean.assign(K, 0.0);
    m.sd.assign(K, 1.0);
    if (scale) {
        for (int j = 1; j < K; ++j) {
            const double* c = x.col(j);
            double mu = 0.0;
            for (int i = 0; i < n; ++i) mu += c[i];
            mu /= n;
            double ss = 0.0;
            for (int i = 0; i < n; ++i) ss += (c[i] - mu) * (c[i] - mu);
            // A constant column has no spread to scale by: it is centred
            // only, and its smoother then has nothing to fit.
            const double sd = n > 1 ? std::sqrt(ss / (n - 1)) : 0.0;
            m.mean[j] = mu;
            m.sd[j] = sd > 0.0 ? sd : 1.0;
            double* d = m.xs.col(j);
            for (int i = 0; i < n; ++i) d[i] = (c[i] - mu) / m.sd[j];
        }
    }
    m.bw.assign(K, 0.0);
    m.beta.resize(n, K);
    m.yhat.assign(n, 0.0);
    m.denom.assign(static_cast<std::size_t>(n) * K, 0.0);
    m.rounds.clear();
    m.converged = false;
    m.inferred = false;
}

double mssmooth(state& s, const ms_model& m, int j, double bw, const double* r, double* b, double* denom,
                std::vector<double>& e2, std::vector<double>& hd, bool leave_one_out, ms_reach* q) {
    const int n = m.n;
    const double* xj = m.xs.col(j);
    const double* xo = s.struc2.xobs.data();
    const double* yo = s.struc2.yobs.data();
    const double h = kernel_bw(s, bw);
    genwgt_check(s);
    if (q && q->on) {
        // The sums from the kept distances: a into hd, c into b, w_ii into
        // e2, then every location's values from them.
        const double* dmax = msreach_dmax(s, *q, s.fit5.nnear);
        mssums(s, *q, dmax, xj, r, leave_one_out, hd.data(), b, e2.data());
        for (int i = 0; i < n; ++i) {
            const double a = hd[i], c = b[i], wii = e2[i];
            const double bi = a > 0.0 ? c / a : 0.0;
            b[i] = bi;
            if (denom) denom[i] = a;
            const double e = r[i] - xj[i] * bi;
            e2[i] = e * e;
            hd[i] = a > 0.0 ? xj[i] * xj[i] * wii / a : 0.0;
        }
    } else {
        size_pool(s);
        nbscope nb(s);
#pragma omp parallel
        {
            work& w = thread_work(s, thread_num());
#pragma omp for schedule(dynamic, 16)
            for (int i = 0; i < n; ++i) {
                genwgt_at(s, w, xo[i], yo[i], h);
                if (leave_one_out) w.wt[i] = 0.0;
                const double* wt = w.wt.data();
                double a = 0.0, c = 0.0;
                if (w.nnbr >= 0) {
                    for (int t = 0; t < w.nnbr; ++t) {
                        const int k = w.nbr[t];
                        const double wx = wt[k] * xj[k];
                        a += wx * xj[k];
                        c += wx * r[k];
                    }
                } else {
                    for (int k = 0; k < n; ++k) {
                        const double wx = wt[k] * xj[k];
                        a += wx * xj[k];
                        c += wx * r[k];
                    }
                }
                // No weight on the column near i (it is 0 on every neighbour):
                // the term is 0 there.
                const double bi = a > 0.0 ? c / a : 0.0;
                b[i] = bi;
                if (denom) denom[i] = a;
                const double e = r[i] - xj[i] * bi;
                e2[i] = e * e;
                hd[i] = a > 0.0 ? xj[i] * xj[i] * wt[i] / a : 0.0;
            }
        }
    }
    double rss = 0.0, tr = 0.0;
    for (int i = 0; i < n; ++i) {
        rss += e2[i];
        tr += hd[i];
    }
    blocks::hat1 crit;
    gaussian_criteria(crit, n, rss, tr);
    return crit.aicc;
}

namespace {

// Golden-section search of the smoother's criterion for column j on the
// partial residual r, with the rules and tolerance of the single-bandwidth
// search (golden), quietly; returns the abscissa of the smaller of the two
// final inner points.
double msgolden(state& s, ms_model& m, int j, const double* r, double lo, double hi,
                std::vector<double>& b, std::vector<double>& e2, std::vector<double>& hd, ms_reach& q) {
    const bool loo = s.run().leave_one_out();
    auto& trials = m.searched[j];
    trials.clear();
    return golden_section(lo, (lo + hi) * 0.5, hi, search_tol, [&](double x, int, const double*) {
        const double a = mssmooth(s, m, j, x, r, b.data(), nullptr, e2, hd, loo, &q);
        trials.emplace_back(x, a);
        return a;
    });
}

}  // namespace

void msfit(state& s, ms_model& m, bool search) {
    const int n = m.n, K = m.K;
    const double* y = s.struc2.ydep.data();
    std::vector<double> r(n), bnew(n), e2(n), hd(n), change(n);
    for (int i = 0; i < n; ++i) {
        double f = 0.0;
        for (int j = 0; j < K; ++j) f += m.xs(i, j) * m.beta(i, j);
        m.yhat[i] = f;
    }
    double lo = 0.0, hi = 0.0;
    if (search) searchlimits(s, lo, hi);
    m.lo = lo;
    m.hi = hi;
    m.searched.assign(K, {});
    ms_reach q;
    msreach_init(s, q);
    m.rounds.clear();
    m.converged = false;
    for (int round = 1; round <= m.maxrounds; ++round) {
        progress::report(s, "multiscale", round - 1, m.maxrounds);
        std::fill(change.begin(), change.end(), 0.0);
        for (int j = 0; j < K; ++j) {
            const double* xj = m.xs.col(j);
            double* bj = m.beta.col(j);
            // The partial residual: the response less every other term.
            for (int i = 0; i < n; ++i) r[i] = y[i] - m.yhat[i] + xj[i] * bj[i];
            if (search) {
                const double x = msgolden(s, m, j, r.data(), lo, hi, bnew, e2, hd, q);
                m.bw[j] = s.run().adaptive() ? static_cast<int>(x + 0.5) : x;
            }
            mssmooth(s, m, j, m.bw[j], r.data(), bnew.data(), m.denom.data() + static_cast<std::size_t>(j) * n,
                     e2, hd, false, &q);
            for (int i = 0; i < n; ++i) {
                const double d = xj[i] * (bnew[i] - bj[i]);
                change[i] += d * d;
                m.yhat[i] += d;
                bj[i] = bnew[i];
            }
        }
        // The score of change: the root mean square change of the terms over
        // the root mean square of the fit, summed in observation order.
        double num = 0.0, den = 0.0;
        for (int i = 0; i < n; ++i) {
            num += change[i];
            den += m.yhat[i] * m.yhat[i];
        }
        ms_round rd;
        rd.score = den > 0.0 ? std::sqrt(num / n) / std::sqrt(den / n) : std::sqrt(num / n);
        rd.bw = m.bw;
        m.rounds.push_back(rd);
        if (rd.score < m.tol) {
            m.converged = true;
            break;
        }
    }
    progress::report(s, "multiscale", m.maxrounds, m.maxrounds);
    // The fitted values afresh from the final estimates, so that they do
    // not carry the rounding of the updates.
    for (int i = 0; i < n; ++i) {
        double f = 0.0;
        for (int j = 0; j < K; ++j) f += m.xs(i, j) * m.beta(i, j);
        m.yhat[i] = f;
    }
}

}  // namespace gwr
