// Predictions at the fit locations from a location table's predictor
// values, their standard errors, and the prediction report.
#include "gaussian/predict.h"

#include <cmath>
#include <ostream>
#include <vector>

#include "control/progress.h"
#include "format/format.h"
#include "gaussian/gaussian.h"
#include "gaussian/neighbours.h"
#include "gaussian/parallel.h"
#include "glm/glm.h"

namespace gwr {

namespace {

// Observations that can carry weight in the fit held by w: the kernel's
// list when it made one (every other weight is 0), else all n.
struct visit {
    const int* idx;
    int cnt;
    int operator[](int t) const { return idx ? idx[t] : t; }
};

visit visits(const work& w, int n) {
    if (w.nnbr >= 0) return {w.nbr.data(), w.nnbr};
    return {nullptr, n};
}

// a = C x0 for the symmetric K x K matrix C and row l of the design x0.
void times_row(const dmat& c, const dmat& x0, int l, int K, double* a) {
    for (int k = 0; k < K; ++k) {
        double v = 0.0;
        for (int m = 0; m < K; ++m) v += c(k, m) * x0(l, m);
        a[k] = v;
    }
}

}  // namespace

void predict_gauss_at(state& s, const work& w, int i) {
    blocks::predict& p = s.pred;
    const dmat& x = s.struc1.xmat;
    const int K = s.run().K;
    const int l = i - 1;
    double yh = 0.0;
    for (int k = 0; k < K; ++k) yh += s.bvals(l, k) * p.x0(l, k);
    p.predy[l] = yh;
    // x0' C X'W^2X C x0 = sum_j (w_j x_j' a)^2 with a = C x0.
    double a[maxvar + 1];
    times_row(w.xtwxi, p.x0, l, K, a);
    const visit v = visits(w, s.run().n);
    double q = 0.0;
    for (int t = 0; t < v.cnt; ++t) {
        const int j = v[t];
        const double wj = w.wt[j];
        if (wj == 0.0) continue;
        double r = 0.0;
        for (int k = 0; k < K; ++k) r += x(j, k) * a[k];
        r *= wj;
        q += r * r;
    }
    p.q[l] = q;
}

double sigma_at_observations(state& s) {
    const int n = s.run().n;
    const dmat& x = s.struc1.xmat;
    const int K = s.run().K;
    std::vector<double> res(n), hat(n);
    genwgt_check(s);
    size_pool(s);
    {
        nbscope nb(s);
        progress::loop pl(s, n);
#pragma omp parallel
        {
            work& w = thread_work(s, thread_num());
#pragma omp for schedule(dynamic, 16)
            for (int i = 0; i < n; ++i) {
                genwgt_at(s, w, s.struc2.xobs[i], s.struc2.yobs[i], s.parms.bandw);
                fitcoef(s, w);
                // Fitted value and leverage as the local fit at the
                // observation point forms them.
                double yh = 0.0;
                for (int k = 0; k < K; ++k) yh += w.bhat[k] * x(i, k);
                res[i] = s.struc2.ydep[i] - yh;
                const double wi = w.wt[i];
                double h = 0.0;
                for (int k = 0; k < K; ++k) {
                    double inner = 0.0;
                    for (int m = 0; m < K; ++m) inner += w.xtwxi(k, m) * x(i, m) * wi;
                    h += x(i, k) * inner;
                }
                hat[i] = h;
                pl.tick();
            }
        }
    }
    double rss = 0.0, trs = 0.0;
    for (int i = 0; i < n; ++i) {
        rss += res[i] * res[i];
        trs += hat[i];
    }
    return std::sqrt(rss / (n - trs));
}

void predict_gauss_finish(state& s) {
    blocks::predict& p = s.pred;
    if (!p.active) return;
    if (s.output.samepts == 1) {
        p.sigma = s.hat1.sigma;
    } else {
        p.sigma = sigma_at_observations(s);
        ftn::fwrite(*s.out, "(a,f20.6)", {"** Sigma of the local model at the observations..", p.sigma});
        ftn::fwrite(*s.out, "(a)", {"**   (for the standard errors of the predictions)"});
    }
    const int m = s.fit3.nloc;
    for (int l = 0; l < m; ++l) p.predse[l] = p.sigma * std::sqrt(1.0 + p.q[l]);
}

void predict_glm_at(state& s, const work& w, int i) {
    blocks::predict& p = s.pred;
    const dmat& x = s.struc1.xmat;
    const int K = s.run().K;
    const int l = i - 1;
    const bool logit = s.run().method == analysis::logistic;
    const bool same = s.output.samepts == 1;
    double eta = 0.0;
    for (int k = 0; k < K; ++k) eta += s.bvals(l, k) * p.x0(l, k);
    const double mu = logit ? fitl(eta) : p.off0[l] * std::exp(eta);
    p.predy[l] = mu;
    // Var(x0'b) = sum_j (k_j v_j x_j' a)^2 / u_j with a = C x0: the
    // sandwich whose diagonal the estimates' standard errors are, with the
    // same variance u_j of each observation.
    double a[maxvar + 1];
    times_row(w.minvw, p.x0, l, K, a);
    const visit v = visits(w, s.run().n);
    double var = 0.0;
    for (int t = 0; t < v.cnt; ++t) {
        const int j = v[t];
        if (w.kwt[j] == 0.0) continue;
        double u = w.varwt[j];
        if (same) {
            const double yh = s.output.yhat[j];
            u = logit ? yh * (1.0 - yh) : yh;
        }
        if (!(u > 0.0)) continue;
        double r = 0.0;
        for (int k = 0; k < K; ++k) r += x(j, k) * a[k];
        r *= w.varwt[j] * w.kwt[j];
        var += r * r / u;
    }
    // d mu / d eta: mu (1 - mu) for the logistic model, mu for the Poisson.
    const double slope = logit ? mu * (1.0 - mu) : mu;
    p.predse[l] = var > 0.0 ? slope * std::sqrt(var) : 0.0;
}

void wrpredx(state& s) {
    const blocks::predict& p = s.pred;
    std::ostream& out = *s.out;
    const int m = s.fit3.nloc;
    const bool sph = s.run().spherical();
    ftn::ldwrite(out);
    ftn::ldwrite(out, {"Predictions from this model..."});
    if (s.output.samepts == 1) {
        ftn::fwrite(out, "(a)",
                    {"   Obs        Y(i)    Yhat(i)      Res(i)        X(i)        Y(i)        Pred(i)   PredSE(i)"});
        for (int i = 0; i < m; ++i) {
            double xf = s.fit1.xfit[i], yf = s.fit1.yfit[i];
            if (sph) {
                xf = xf * s.trig.degrad;
                yf = yf * s.trig.degrad;
            }
            ftn::fwrite(out, "(i5,5f12.3,2x,l1,2f12.3)",
                        {i + 1, s.struc2.ydep[i], s.output.yhat[i], s.output.resid[i], xf, yf,
                         s.output.locsing[i] == 1, p.predy[i], p.predse[i]});
        }
        return;
    }
    ftn::fwrite(out, "(a)", {"  Loc          ID        X(i)        Y(i)     Pred(i)   PredSE(i)"});
    for (int i = 0; i < m; ++i) {
        double xf = s.fit1.xfit[i], yf = s.fit1.yfit[i];
        if (sph) {
            xf = xf * s.trig.degrad;
            yf = yf * s.trig.degrad;
        }
        ftn::fwrite(out, "(i5,i12,4f12.3,2x,l1)",
                    {i + 1, s.fit2.fitid[i], xf, yf, p.predy[i], p.predse[i], s.output.locsing[i] == 1});
    }
}

}  // namespace gwr
