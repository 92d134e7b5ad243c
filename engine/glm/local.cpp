// The local logistic and Poisson models: a complete reweighted fit at every
// location, the leverages, the model criteria and their listing block, the
// bandwidth criterion of the calibration search and the standard errors of
// the local estimates.
#include <algorithm>
#include <cmath>
#include <limits>

#include "control/progress.h"
#include "control/stop.h"
#include "format/format.h"
#include "gaussian/gaussian.h"
#include "gaussian/neighbours.h"
#include "gaussian/parallel.h"
#include "gaussian/predict.h"
#include "glm/glm.h"
#include "glm/glm_internal.h"
#include "results/results.h"

namespace gwr {

namespace {

struct totals {
    double rss = 0.0;  // sum of squared residuals
    double L = 0.0;    // logistic log-likelihood
    double D = 0.0;    // Poisson deviance
};

constexpr int none = std::numeric_limits<int>::max();

// The guards of the fitting routines, made once before a parallel loop
// (where no stop may be thrown): the method, and the adaptive kernel's size.
void precheck(const state& s) {
    if (!s.run().glm()) throw stop("399");
    genwgt_check(s);
}

// Whether the kernel weights come from the planar neighbour index with a
// selected D (the adaptive bi-square), which the loop of fits keeps.
bool keeps_d(const state& s) {
    return s.nbix && s.run().kshape == kernel_shape::bisquare && s.fit5.nnear >= 1;
}

// Kernel weights of location i (1-based) into w.wt: at the fit location, or
// at observation i's own coordinates when the criterion is evaluated at the
// observation points.  With `known`, the D of each location that the loop
// of fits at the same points and size kept in s.glm1.dfit is taken instead
// of selecting it again (the same weights).
void weights(const state& s, work& w, int i, double bw, bool atobs, bool known = false) {
    const double x = atobs ? s.struc2.xobs[i - 1] : s.fit1.xfit[i - 1];
    const double y = atobs ? s.struc2.yobs[i - 1] : s.fit1.yfit[i - 1];
    if (known && keeps_d(s) && s.glm1.dfit_nn == s.fit5.nnear && s.glm1.dfit_atobs == atobs) {
        const double D = s.glm1.dfit[i - 1];
        if (std::isfinite(D) && std::isfinite(x) && std::isfinite(y)) {
            bisquare_within_grid(s, *s.nbix, w, x, y, D);
            return;
        }
    }
    genwgt_at(s, w, x, y, bw);
}

// The kernel weights of the fit, w.kwt, from w.wt: the listed neighbours
// only when the weights came with a list (the fit then reads no other
// entry), else every observation.
void take_kernel(const state& s, work& w) {
    const glm_detail::visit v = glm_detail::visits(s, w);
    for (int t = 0; t < v.cnt; ++t) {
        const int j = v[t];
        w.kwt[j] = w.wt[j];
    }
}

// Sum over the visited observations of a_j x_j x_j' into the symmetric
// K x K matrix m, each entry summed in observation order as
// (a_j x_jk) x_jl, k >= l; an observation with a_j = 0 adds nothing and is
// passed over.
template <int KF>
#if defined(__GNUC__) && !defined(__clang__)
// Keeping the sums in vector registers spills them to memory on every
// observation.
__attribute__((optimize("no-tree-slp-vectorize")))
#endif
void weighted_cross(int Kd, const dmat& xm, const double* a, glm_detail::visit v, dmat& m) {
    constexpr bool fixed = KF > 0;
    const int K = fixed ? KF : Kd;
    constexpr int cap = fixed ? KF : maxvar + 1;
    const std::size_t ldx = static_cast<std::size_t>(xm.rows);
    const double* X = xm.a.data();
    double c[cap * cap];
    double x[cap];
    for (int q = 0; q < K * K; ++q) c[q] = 0.0;
    for (int t = 0; t < v.cnt; ++t) {
        const int j = v[t];
        const double aj = a[j];
        if (aj == 0.0) continue;
#pragma GCC unroll 8
        for (int k = 0; k < K; ++k) x[k] = X[k * ldx + j];
#pragma GCC unroll 8
        for (int k = 0; k < K; ++k) {
            const double ak = aj * x[k];
#pragma GCC unroll 8
            for (int l = 0; l <= k; ++l) c[k * K + l] += ak * x[l];
        }
    }
    for (int k = 0; k < K; ++k)
        for (int l = 0; l <= k; ++l) {
            m(k, l) = c[k * K + l];
            m(l, k) = c[k * K + l];
        }
}

void weighted_cross(const dmat& x, const double* a, glm_detail::visit v, dmat& m) {
    const int K = x.cols;
    switch (K) {
        case 1: weighted_cross<1>(K, x, a, v, m); break;
        case 2: weighted_cross<2>(K, x, a, v, m); break;
        case 3: weighted_cross<3>(K, x, a, v, m); break;
        case 4: weighted_cross<4>(K, x, a, v, m); break;
        case 5: weighted_cross<5>(K, x, a, v, m); break;
        case 6: weighted_cross<6>(K, x, a, v, m); break;
        default: weighted_cross<0>(K, x, a, v, m); break;
    }
}

// Observations of positive kernel weight in w.kwt (over the kernel's list
// when there is one).
int positive(const state& s, const work& w) {
    const glm_detail::visit v = glm_detail::visits(s, w);
    int c = 0;
    for (int t = 0; t < v.cnt; ++t)
        if (w.kwt[v[t]] > 0.0) ++c;
    return c;
}

// A loop of local fits.
struct fit_plan {
    double bw = 0.0;               // bandwidth, or size of the adaptive kernel
    bool at_observations = false;  // kernel weights at observation i's point (the criterion), else at fit location i
    bool leave_out = false;        // the own observation's kernel weight 0 (cross-validation)
    // The fits of the final model: also record the estimates at which the
    // standard errors' refit would stop, the condition numbers and the
    // counts of observations of positive kernel weight.
    bool record = false;
};

// The kernel weights of location i under the plan, into w.kwt.
void plan_weights(const state& s, work& w, int i, const fit_plan& f) {
    weights(s, w, i, f.bw, f.at_observations);
    take_kernel(s, w);
    if (f.leave_out) w.kwt[i - 1] = 0.0;
}

// The local fit at location i: kernel weights, a complete reweighted fit
// from the shared start and the estimates with the singular flag of the
// last solve.  With f.record, also the estimates at which the standard
// errors' refit would stop (s.glm1.brel), the condition number of the last
// solve's X'WX (s.diags.cond) and the number of observations of positive
// kernel weight (npos[i-1]).  False when the fit did not converge.
bool localfit(state& s, work& w, int i, const fit_plan& f, int* npos) {
    plan_weights(s, w, i, f);
    s.glm1.dfit[i - 1] = keeps_d(s) ? w.dmax : std::numeric_limits<double>::quiet_NaN();
    if (!glm_detail::wglm_quiet(s, w, {.shared_start = true, .record_relative = f.record})) return false;
    const int p = s.run().K;
    for (int k = 0; k < p; ++k) s.bvals(i - 1, k) = w.bhat[k];
    s.output.locsing[i - 1] = w.singfl;
    if (f.record) {
        s.glm1.hasbrel[i - 1] = w.hasbrel;
        if (w.hasbrel) std::copy(w.brel.begin(), w.brel.begin() + p, s.glm1.brel.col(i - 1));
        s.diags.cond[i - 1] =
            w.singfl ? std::numeric_limits<double>::infinity() : condition(w.xtwx.a.data(), p);
        npos[i - 1] = positive(s, w);
    }
    return true;
}

// Runs fit(w, i) for locations 1..m in parallel, each thread on its own
// work object; returns the first location whose fit failed, or `none`.
template <class Fit>
int first_failure(state& s, int m, Fit fit) {
    int firstfail = none;
    progress::loop pl(s, m);
#pragma omp parallel reduction(min : firstfail)
    {
        work& w = thread_work(s, thread_num());
#pragma omp for schedule(dynamic, 4)
        for (int i = 1; i <= m; ++i) {
            if (!fit(w, i)) firstfail = std::min(firstfail, i);
            pl.tick();
        }
    }
    return firstfail;
}

// The local fits at locations 1..m, in parallel; a fit that does not
// converge stops the run, reported for the first such location as a serial
// run would (its fit is repeated with the failure lines).  With f.record,
// npos receives the count of observations of positive kernel weight of
// every location.
void localfits(state& s, int m, const fit_plan& f, int* npos = nullptr) {
    precheck(s);
    size_pool(s);
    nbscope nb(s);
    glm_detail::prepare_start(s);
    s.glm1.dfit.resize(std::max<std::size_t>(s.glm1.dfit.size(), static_cast<std::size_t>(m)));
    s.glm1.dfit_nn = s.fit5.nnear;
    s.glm1.dfit_atobs = f.at_observations;
    const int firstfail = first_failure(s, m, [&](work& w, int i) { return localfit(s, w, i, f, npos); });
    if (firstfail != none) {
        work& w = s.ws;
        plan_weights(s, w, firstfail, f);
        wglm(s, w);  // writes the failure lines and stops
    }
}

// Fitted values and residuals at the observation points from the local
// estimates, and the likelihood sums, in location order.
void fitted(state& s, int m, totals& t) {
    if (!s.run().glm()) throw stop("345");
    const dmat& x = s.struc1.xmat;
    const int p = s.run().K;
    const bool logit = s.run().method == analysis::logistic;
    for (int i = 1; i <= m; ++i) {
        double e = 0.0;
        for (int k = 0; k < p; ++k) e += s.bvals(i - 1, k) * x(i - 1, k);
        const double y = s.struc2.ydep[i - 1];
        double yh;
        if (logit) {
            yh = fitl(e);
            t.L += y * e - glm_detail::log1pexp(e);
        } else {
            yh = s.glm3.offset[i - 1] * std::exp(e);
            double term = 0.0;
            if (y > 0.0) term = y * std::log(y / yh);
            t.D += 2.0 * (term - (y - yh));
        }
        s.output.yhat[i - 1] = yh;
        s.output.resid[i - 1] = y - yh;
        t.rss += (y - yh) * (y - yh);
    }
}

// Variance weight of an observation from its fitted value.
inline double variance_weight(const state& s, double yh) {
    return s.run().method == analysis::logistic ? yh * (1.0 - yh) : yh;
}

// A = sum_j k_j a_j x_j x_j' of location i into w.vmat, with the variance
// weights a_j in w.varwt, and the leverage h = a_i x_i' A^-1 x_i, through
// the generalised inverse when A is singular (exactly or numerically; for
// example where the fitted probabilities of the neighbours are 0 or 1).
// Returns 1 when the generalised inverse was taken, else 0.  An
// observation with kernel weight 0 adds nothing, whatever its variance
// weight.
int leverage(const state& s, work& w, int i, bool atobs, double& h) {
    const dmat& x = s.struc1.xmat;
    const int p = s.run().K;
    weights(s, w, i, s.parms.bandw, atobs, true);
    const glm_detail::visit v = glm_detail::visits(s, w);
    for (int t = 0; t < v.cnt; ++t) {
        const int j = v[t];
        w.kvwt[j] = w.wt[j] == 0.0 ? 0.0 : w.wt[j] * w.varwt[j];
    }
    weighted_cross(x, w.kvwt.data(), v, w.vmat);
    const int sing = glm_detail::ginv(w.vmat, w.minvw, w);
    double q = 0.0;
    for (int k = 0; k < p; ++k) {
        double r = 0.0;
        for (int l = 0; l < p; ++l) r += w.minvw(k, l) * x(i - 1, l);
        q += x(i - 1, k) * r;
    }
    h = w.varwt[i - 1] * q;
    return sing;
}

// Leverages of locations 1..m and their sum, with the kernel weights at the
// fit locations or at the observation points.
void leverages(state& s, int m, bool atobs) {
    const int n = s.run().n;
    precheck(s);
    size_pool(s);
    nbscope nb(s);
    progress::loop pl(s, m);
#pragma omp parallel
    {
        work& w = thread_work(s, thread_num());
        for (int j = 0; j < n; ++j) w.varwt[j] = variance_weight(s, s.output.yhat[j]);
#pragma omp for schedule(dynamic, 16)
        for (int i = 1; i <= m; ++i) {
            pl.tick();
            double h = 0.0;
            leverage(s, w, i, atobs, h);
            s.hat1.hatdg[i - 1] = h;
        }
    }
    s.hat1.trs = 0.0;
    for (int i = 1; i <= m; ++i) s.hat1.trs += s.hat1.hatdg[i - 1];
}

// Criteria of the local model from its likelihood sums.
void criteria(state& s, totals& t) {
    if (s.run().method == analysis::logistic)
        t.D = -2.0 * t.L;
    else
        t.L = -t.D / 2.0;
    s.glm2.loclik = t.L;
    s.glm2.locdev = t.D;
    s.anova.rss = t.rss;
    glm_detail::likelihood_criteria(s.hat1, t.L, s.hat1.trs, s.run().n);
}

// Standard errors at location i into row i of svals; false when the refit
// did not converge.  With `reuse`, the refit's estimates are taken from
// s.glm1.brel where the local fit recorded them.  Only observations with a
// non-zero kernel weight enter the sums (the listed neighbours when there
// is a list).  The variance u_j of each observation is its fitted value's
// (from yhat) when the fit locations are the observations; elsewhere no
// observation has a fitted value of its own, and u_j is the variance at
// this location's refitted estimates, which makes the sum the usual
// sandwich of the local fit, sum_j k_j^2 v_j (C x_j)_k^2.
bool stderrs(state& s, work& w, int i, bool reuse) {
    const dmat& x = s.struc1.xmat;
    const int p = s.run().K;
    const bool logit = s.run().method == analysis::logistic;
    const bool same = s.output.samepts == 1;
    const std::vector<double>& yh = s.output.yhat;
    weights(s, w, i, s.parms.bandw, false, reuse);
    take_kernel(s, w);
    if (reuse && s.glm1.hasbrel[i - 1] != 0) {
        const double* b = s.glm1.brel.col(i - 1);
        for (int k = 0; k < p; ++k) w.bhat[k] = b[k];
    } else if (!glm_detail::wglm_quiet(s, w, {.relative = true, .shared_start = true})) {
        return false;
    }
    const glm_detail::visit v = glm_detail::visits(s, w);
    // Variance weights at the refitted estimates, times the kernel.
    for (int t = 0; t < v.cnt; ++t) {
        const int j = v[t];
        double e = 0.0;
        for (int k = 0; k < p; ++k) e += x(j, k) * w.bhat[k];
        double vj;
        if (logit) {
            const double pr = fitl(e);
            vj = pr * (1.0 - pr);
        } else {
            vj = s.glm3.offset[j] * std::exp(e);
        }
        w.varwt[j] = vj;
        w.kvwt[j] = w.kwt[j] == 0.0 ? 0.0 : w.kwt[j] * vj;
    }
    weighted_cross(x, w.kvwt.data(), v, w.vmat);
    glm_detail::ginv(w.vmat, w.minvw, w);
    const dmat& c = w.minvw;
    for (int k = 0; k < p; ++k) w.sehat[k] = 0.0;
    for (int t = 0; t < v.cnt; ++t) {
        const int j = v[t];
        if (w.kwt[j] == 0.0) continue;  // outside the fit
        const double u = same ? variance_weight(s, yh[j]) : w.varwt[j];
        // A fitted value of exactly 0 (or a probability of exactly 1)
        // has no variance to scale by; it adds nothing.
        if (!(u > 0.0)) continue;
        for (int k = 0; k < p; ++k) {
            double r = 0.0;
            for (int l = 0; l < p; ++l) r += c(k, l) * x(j, l) * w.varwt[j] * w.kwt[j];
            w.sehat[k] += r * r / u;
        }
    }
    if (s.pred.active) predict_glm_at(s, w, i);
    for (int k = 0; k < p; ++k) s.svals(i - 1, k) = w.sehat[k] > 0.0 ? std::sqrt(w.sehat[k]) : 0.0;
    return true;
}

// Standard errors of locations 1..m; a refit that does not converge stops
// the run at its first location, as a serial run would.
void standard_errors(state& s, bool reuse) {
    const int m = s.fit3.nloc;
    precheck(s);
    size_pool(s);
    nbscope nb(s);
    glm_detail::prepare_start(s);
    const int firstfail = first_failure(s, m, [&](work& w, int i) { return stderrs(s, w, i, reuse); });
    if (firstfail != none) {
        work& w = s.ws;
        genwgt(s, w, firstfail, s.parms.bandw);
        take_kernel(s, w);
        wglm2(s, w);  // writes the failure lines and stops
    }
}

}  // namespace

void infl(state& s) { leverages(s, s.fit3.nloc, false); }

void tzmglm(state& s) {
    const int m = s.fit3.nloc;
    const bool same = s.output.samepts == 1;
    // Fitted values exist only at the observation points; elsewhere none of
    // them may survive from the calibration trials.
    if (!same) {
        std::fill(s.output.yhat.begin(), s.output.yhat.end(), 0.0);
        std::fill(s.output.resid.begin(), s.output.resid.end(), 0.0);
    }
    totals t;
    s.hat1.trs = 0.0;
    std::vector<int> npos(static_cast<std::size_t>(std::max(m, 0)));
    localfits(s, m, {.bw = s.parms.bandw, .record = true}, npos.data());
    wrsing(s, npos.data(), s.run().K);

    std::ostream& o = *s.out;
    const bool logit = s.run().method == analysis::logistic;
    ftn::fwrite(o, "(//a)",
                {logit ? "********** Local Logistic Model Diagnostics **********"
                       : "********** Local Poisson Model Diagnostics **********"});
    if (same) {
        fitted(s, m, t);
        infl(s);
        criteria(s, t);
        ftn::fwrite(o, "(a,f20.6)", {" Log Likelihood:                ", t.L});
        ftn::fwrite(o, "(a,f20.6)", {" Deviance:                      ", t.D});
        ftn::fwrite(o, "(a,f20.6)", {"Residual sum of squares.........", t.rss});
        ftn::fwrite(o, "(a,f20.6)", {"Effective number of parameters..", s.hat1.enp});
        ftn::fwrite(o, "(a,f20.6)", {"Akaike Information Criterion....", s.hat1.aic});
        ftn::fwrite(o, "(a,f20.6)", {"Corrected AIC...................", s.hat1.aicc});
        ftn::fwrite(o, "(a,f20.6)", {"Bayesian Information Criterion..", s.hat1.bic});
    } else {
        // No observation belongs to a fit location: no fitted values,
        // leverages or likelihood of the local model (diagpt writes the
        // markers); the estimates and their standard errors follow.
        ftn::fwrite(o, "(a/a)",
                    {"** Diagnostics not available when estimating", "   at non sample points **"});
    }

    diagpt(s);
    // The standard errors' refits start from the same start with the same
    // kernel weights as the fits above, so most of them were recorded there.
    standard_errors(s, true);

    s.outst1.npar = s.run().K;
    write_results(s);
}

double glmval(state& s, double bw) {
    const int n = s.run().n;
    if (s.run().adaptive()) s.fit5.nnear = static_cast<int>(std::floor(bw + 0.5));
    // The criterion is evaluated at the observation points: observation i
    // is its own fit location, whatever location list the final fit uses.
    totals t;
    s.hat1.trs = 0.0;
    localfits(s, n, {.bw = bw, .at_observations = true, .leave_out = s.run().leave_one_out()});
    fitted(s, n, t);
    const double score = t.rss;
    s.parms.bandw = bw;
    leverages(s, n, true);
    criteria(s, t);
    if (s.run().crit == criterion::aicc) return s.hat1.aicc;
    return score;
}

void glm_se(state& s) { standard_errors(s, false); }

}  // namespace gwr
