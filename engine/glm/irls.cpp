// Iteratively reweighted least squares (McCullagh and Nelder 1989) for the
// logistic and Poisson models (Fotheringham, Brunsdon and Charlton 2002;
// Nakaya, Fotheringham, Brunsdon and Charlton 2005): the weighted
// least-squares step, the reweighting loops and the global fit.
//
// Every fit works on one `work` object: the kernel weights of the fit in
// w.kwt, the working weights in w.wwt, the working response in w.zwork and
// the linear predictor in w.eta (a fit without diagnostics keeps its
// working weights and responses in the packed tables of glm/rows.cpp
// instead, with the same bits).  When the kernel weights came with a list
// of the observations that carry weight (w.nnbr >= 0), the weighted sums
// visit only those, in observation order; the others have kernel weight 0,
// working weight 0 and add nothing, so the sums are the bits of a scan over
// all observations.  The log-likelihood of every pass is still summed over
// all observations.  The state is only read (design matrix,
// response, offsets, method), so fits at different locations can run on
// different `work` objects side by side.
#include <algorithm>
#include <cmath>

#include "control/stop.h"
#include "format/format.h"
#include "gaussian/gaussian.h"
#include "gaussian/vexp.h"
#include "gaussian/vlog.h"
#include "glm/glm.h"
#include "glm/glm_internal.h"

namespace gwr {

namespace {

constexpr int maxpass = 60;           // reweighting passes before giving up
constexpr double abstol = 1e-8;       // absolute change of the log-likelihood (wglm)
constexpr double reltol = 0.001;      // relative change of the log-likelihood (wglm2)
constexpr double llstart = -999999999.0;
// Shift of the Poisson start ln(y + shift), kept at its single-precision value.
constexpr double pshift = static_cast<double>(0.001f);

void check_method(const state& s, const char* code) {
    if (!s.run().glm()) throw stop(code);
}

// Linear predictor x_j'b of observations j0..j1-1 into eta, walking the
// design matrix column by column (the sum for each observation still runs
// over the parameters in order, from 0).
void predictor(const state& s, const double* b, double* eta, int j0, int j1) {
    const dmat& x = s.struc1.xmat;
    for (int j = j0; j < j1; ++j) eta[j] = 0.0;
    const int K = s.run().K;
    for (int k = 0; k < K; ++k) {
        const double* xk = x.col(k);
        const double bk = b[k];
        for (int j = j0; j < j1; ++j) eta[j] += xk[j] * bk;
    }
}

// Linear predictor and e^eta of every observation into w.eta and w.expeta
// (the reweighting loop's cache: the likelihood of one pass and the
// reweighting of the next read the same estimates).
void predict_all(const state& s, work& w) {
    const int n = s.run().n;
    predictor(s, w.bhat.data(), w.eta.data(), 0, n);
    vexp(w.eta.data(), w.expeta.data(), n, s.vector_loops);
}

// Observations per block of the likelihood pass: the block's linear
// predictor is formed column by column and then used at once, while it is
// still in the cache.
constexpr int lblock = 512;

// Lanes of the likelihood's sum on the vector paths: the terms of
// observations j = q mod 8 are summed in order into partial sum q, and the
// eight partial sums are added at the end as ((s0 + s1) + (s2 + s3)) +
// ((s4 + s5) + (s6 + s7)).  Every path forms the same partial sums (each
// term is formed by the same operations), so AVX2 and AVX-512 give the same
// bits; the scalar path keeps the sum in observation order.
constexpr int lanes = 8;
static_assert(lblock % lanes == 0);

// The terms of one block of the likelihood, elementwise (the same bits at
// any vector width: no operation joins two observations, and contraction
// into fused multiply-adds is off), then the lanes' sums.  lg receives the
// terms.  Compiled once for each vector path below.
struct lblock_args {
    const double* x;    // design matrix at the block's first observation (column after column)
    std::size_t ldx;    // its column stride
    int K;              // parameters
    const double* b;    // estimates
    const double* y;    // response
    const double* o;    // Poisson offsets (expected counts)
    double* eta;        // linear predictor of the block
    double* ex;         // e^eta of the block
    double* lg;         // scratch of the block: logarithms, then the terms
    const double* lr;   // Poisson: ln(y/offset) of the block, or null
    int m;              // observations in the block
    vector_isa path;    // for the vector logarithm
};

// The block's linear predictor with the sum of each observation over the
// parameters in order from 0, as predictor() forms it; for K <= 8 in one
// pass over the block with the sum in a register.
template <int KF>
TZM_ELEMENTWISE inline void block_eta(const lblock_args& a) {
    double* __restrict eta = a.eta;
    const double* __restrict x = a.x;
    const std::size_t ldx = a.ldx;
    double b[KF];
    for (int k = 0; k < KF; ++k) b[k] = a.b[k];
    for (int j = 0; j < a.m; ++j) {
        double e = 0.0;
#pragma GCC unroll 8
        for (int k = 0; k < KF; ++k) e += x[k * ldx + j] * b[k];
        eta[j] = e;
    }
}

// The block's linear predictor and its e^eta.
TZM_ELEMENTWISE inline void block_predictor(const lblock_args& a) {
    double* eta = a.eta;
    const int m = a.m;
    switch (a.K) {
        case 1: block_eta<1>(a); break;
        case 2: block_eta<2>(a); break;
        case 3: block_eta<3>(a); break;
        case 4: block_eta<4>(a); break;
        case 5: block_eta<5>(a); break;
        case 6: block_eta<6>(a); break;
        case 7: block_eta<7>(a); break;
        case 8: block_eta<8>(a); break;
        default:
            for (int j = 0; j < m; ++j) eta[j] = 0.0;
            for (int k = 0; k < a.K; ++k) {
                const double* xk = a.x + k * a.ldx;
                const double bk = a.b[k];
                for (int j = 0; j < m; ++j) eta[j] += xk[j] * bk;
            }
    }
    vexp(eta, a.ex, m, true);
}

TZM_ELEMENTWISE inline void poisson_terms(const lblock_args& a, double* acc) {
    block_predictor(a);
    const double* y = a.y;
    const double* o = a.o;
    const double* ex = a.ex;
    double* lg = a.lg;
    const int m = a.m;
    if (a.lr) {
        // ln(y/mu) = ln(y/offset) - eta, the first formed once per run: no
        // logarithm or division per pass.
        const double* eta = a.eta;
        for (int j = 0; j < m; ++j) {
            const double mu = o[j] * ex[j];
            const double yl = y[j] * (a.lr[j] - eta[j]);
            const double t = y[j] > 0.0 ? yl : 0.0;
            lg[j] = t - (y[j] - mu);
        }
    } else {
        // y/mu, 1 where y is 0 (its term is 0), then the logarithms.
        for (int j = 0; j < m; ++j) {
            const double r = y[j] / (o[j] * ex[j]);
            lg[j] = y[j] > 0.0 ? r : 1.0;
        }
        vlog(lg, lg, m, a.path);
        for (int j = 0; j < m; ++j) {
            const double mu = o[j] * ex[j];
            const double yl = y[j] * lg[j];
            const double t = y[j] > 0.0 ? yl : 0.0;
            lg[j] = t - (y[j] - mu);
        }
    }
    int j = 0;
    for (; j + lanes <= m; j += lanes)
        for (int q = 0; q < lanes; ++q) acc[q] += lg[j + q];
    for (int q = 0; j + q < m; ++q) acc[q] += lg[j + q];
}

TZM_ELEMENTWISE inline void logistic_terms(const lblock_args& a, double* acc) {
    block_predictor(a);
    const double* y = a.y;
    const double* eta = a.eta;
    const double* ex = a.ex;
    double* lg = a.lg;
    const int m = a.m;
    // ln(1 + e^eta); where e^eta overflows, eta + ln(1 + e^-eta) as in
    // log1pexp.
    for (int j = 0; j < m; ++j) lg[j] = 1.0 + ex[j];
    vlog(lg, lg, m, a.path);
    for (int j = 0; j < m; ++j)
        if (std::isinf(ex[j])) lg[j] = glm_detail::log1pexp(eta[j], ex[j]);
    for (int j = 0; j < m; ++j) lg[j] = y[j] * eta[j] - lg[j];
    int j = 0;
    for (; j + lanes <= m; j += lanes)
        for (int q = 0; q < lanes; ++q) acc[q] += lg[j + q];
    for (int q = 0; j + q < m; ++q) acc[q] += lg[j + q];
}

TZM_VECTOR_CLONE void poisson_terms_any(const lblock_args& a, double* acc) { poisson_terms(a, acc); }
TZM_VECTOR_CLONE void logistic_terms_any(const lblock_args& a, double* acc) { logistic_terms(a, acc); }
#if defined(__x86_64__) && defined(__GNUC__)
#define TZM_AVX2 __attribute__((target("avx2")))
#define TZM_AVX512 __attribute__((target("avx512f,avx512dq")))
TZM_VECTOR_CLONE TZM_AVX2 void poisson_terms_avx2(const lblock_args& a, double* acc) { poisson_terms(a, acc); }
TZM_VECTOR_CLONE TZM_AVX512 void poisson_terms_avx512(const lblock_args& a, double* acc) { poisson_terms(a, acc); }
TZM_VECTOR_CLONE TZM_AVX2 void logistic_terms_avx2(const lblock_args& a, double* acc) { logistic_terms(a, acc); }
TZM_VECTOR_CLONE TZM_AVX512 void logistic_terms_avx512(const lblock_args& a, double* acc) { logistic_terms(a, acc); }
#endif

void block_terms(bool logit, const lblock_args& a, double* acc) {
#if defined(__x86_64__) && defined(__GNUC__)
    switch (vector_path(a.path)) {
        case vector_isa::avx512:
            logit ? logistic_terms_avx512(a, acc) : poisson_terms_avx512(a, acc);
            return;
        case vector_isa::avx2:
            logit ? logistic_terms_avx2(a, acc) : poisson_terms_avx2(a, acc);
            return;
        case vector_isa::scalar: break;
    }
#endif
    logit ? logistic_terms_any(a, acc) : poisson_terms_any(a, acc);
}

// Log-likelihood and deviance of the coefficients in w.bhat over all
// observations, without weights (this decides convergence, so it is never
// cut to the neighbours); leaves eta and e^eta of every observation in the
// cache.  The vector paths take the vector logarithm and the lanes' sum;
// the scalar path the library's logarithm and the sum in order.
void likelihood(const state& s, work& w, double& L, double& D) {
    const int n = s.run().n;
    const double* y = s.struc2.ydep.data();
    const double* b = w.bhat.data();
    double* eta = w.eta.data();
    double* ex = w.expeta.data();
    // Scratch of one block, reused by every block so that it stays in the
    // first level cache.
    double* lg = w.lgterm.data();
    const bool logit = s.run().method == analysis::logistic;
    const double* o = s.glm3.offset.data();
    const bool vector = s.vector_loops && vector_path(s.vector_cap) != vector_isa::scalar;
    const dmat& x = s.struc1.xmat;
    const std::size_t ldx = static_cast<std::size_t>(x.rows);
    const int K = s.run().K;
    const double* lr = !logit && static_cast<int>(s.glm3.lnratio.size()) == n ? s.glm3.lnratio.data() : nullptr;
    double acc[lanes] = {0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0};
    double sum = 0.0;
    for (int j0 = 0; j0 < n; j0 += lblock) {
        const int j1 = std::min(n, j0 + lblock);
        if (vector) {
            block_terms(logit,
                        {x.a.data() + j0, ldx, K, b, y + j0, logit ? nullptr : o + j0, eta + j0, ex + j0, lg,
                         lr ? lr + j0 : nullptr, j1 - j0, s.vector_cap},
                        acc);
            continue;
        }
        predictor(s, b, eta, j0, j1);
        vexp(eta + j0, ex + j0, j1 - j0, s.vector_loops);
        // In stages over the block: the logarithmic terms, then the sum in
        // order.
        if (logit) {
            for (int j = j0; j < j1; ++j) lg[j] = glm_detail::log1pexp(eta[j], ex[j]);
            for (int j = j0; j < j1; ++j) sum += y[j] * eta[j] - lg[j];
        } else {
            for (int j = j0; j < j1; ++j) lg[j] = y[j] / (o[j] * ex[j]);
            for (int j = j0; j < j1; ++j)
                if (y[j] > 0.0) lg[j] = std::log(lg[j]);
            for (int j = j0; j < j1; ++j) {
                const double mu = o[j] * ex[j];
                double t = 0.0;
                if (y[j] > 0.0) t = y[j] * lg[j];
                sum += t - (y[j] - mu);
            }
        }
    }
    if (vector) sum = ((acc[0] + acc[1]) + (acc[2] + acc[3])) + ((acc[4] + acc[5]) + (acc[6] + acc[7]));
    if (logit) {
        L = sum;
        D = -2.0 * L;
    } else {
        D = 2.0 * sum;
        L = -D / 2.0;
    }
}

void poisson_lnratio(state& s) {
    const int n = s.run().n;
    const double* y = s.struc2.ydep.data();
    const double* o = s.glm3.offset.data();
    s.glm3.lnratio.assign(n, 0.0);
    for (int j = 0; j < n; ++j)
        if (y[j] > 0.0) s.glm3.lnratio[j] = std::log(y[j] / o[j]);
}

// The unweighted start of every fit: working weight 1 and the start's
// working response for every observation.
void start(const state& s, work& w) {
    check_method(s, "399");
    const int n = s.run().n;
    const std::vector<double>& y = s.struc2.ydep;
    const bool logit = s.run().method == analysis::logistic;
    for (int j = 0; j < n; ++j) {
        w.wwt[j] = 1.0;
        if (logit)
            w.zwork[j] = y[j];
        else
            w.zwork[j] = std::log(y[j] + pshift) - std::log(s.glm3.offset[j]);
    }
}

// New working weights and response of the visited observations from the
// linear predictor eta and e^eta ex of the latest estimates; zprev holds
// the working response to keep where the new one is not defined.  An
// observation with kernel weight 0 gets working weight 0 whatever its mean
// (0 times an infinite mean would otherwise make the fit not a number):
// it is outside the fit.
void reweight(const state& s, work& w, glm_detail::visit v, const double* eta, const double* ex,
              const double* zprev) {
    const double* y = s.struc2.ydep.data();
    const double* o = s.glm3.offset.data();
    const double* kwt = w.kwt.data();
    double* z = w.zwork.data();
    double* ww = w.wwt.data();
    if (s.run().method == analysis::logistic) {
        for (int t = 0; t < v.cnt; ++t) {
            const int j = v[t];
            if (kwt[j] == 0.0) {
                ww[j] = 0.0;
                continue;
            }
            const double p = glm_detail::logistic_of(ex[j]);
            // A probability of exactly 1 (or 0) carries no information: the
            // observation keeps its working response and gets weight 0.
            z[j] = (p != 1.0 && p != 0.0) ? eta[j] + (y[j] - p) / (p * (1.0 - p)) : zprev[j];
            ww[j] = p * (1.0 - p) * kwt[j];
        }
    } else {
        for (int t = 0; t < v.cnt; ++t) {
            const int j = v[t];
            if (kwt[j] == 0.0) {
                ww[j] = 0.0;
                continue;
            }
            const double mu = o[j] * ex[j];
            ww[j] = mu * kwt[j];
            // A mean that underflows to 0 likewise keeps its working response.
            z[j] = mu != 0.0 ? eta[j] + (y[j] - mu) / mu : zprev[j];
        }
    }
}

// The estimates from the sums X'WX and X'Wz in w.xtwx and w.xtwy, through
// the (generalised) inverse.
void solve_sums(const state& s, work& w) {
    const int K = s.run().K;
    w.singfl = glm_detail::ginv(w.xtwx, w.xtwxi, w);
    for (int k = 0; k < K; ++k) {
        double b = 0.0;
        for (int l = 0; l < K; ++l) b += w.xtwxi(k, l) * w.xtwy[l];
        w.bhat[k] = b;
    }
}

// The weighted least-squares solve over the visited observations: X'WX,
// X'Wz, the (generalised) inverse and the estimates.
void solve(const state& s, work& w, glm_detail::visit v) {
    // An observation of working weight 0 adds nothing and is passed over.
    weighted_products(s.struc1.xmat, s.run().K, w.zwork.data(), w.wwt.data(), v.idx, v.cnt, w.xtwx.a.data(),
                      w.xtwy.data());
    solve_sums(s, w);
}

// Linear predictor, standard errors and hat-matrix trace of the latest
// solve.  The variance matrix takes no kernel weights.
void diagnose(const state& s, work& w) {
    const int n = s.run().n;
    const dmat& x = s.struc1.xmat;
    const int p = s.run().K;
    const bool logit = s.run().method == analysis::logistic;
    predictor(s, w.bhat.data(), w.eta.data(), 0, n);
    for (int j = 0; j < n; ++j) {
        const double e = w.eta[j];
        const double mu = logit ? fitl(e) : s.glm3.offset[j] * std::exp(e);
        w.varwt[j] = logit ? mu * (1.0 - mu) : mu;
    }
    for (int k = 0; k < p; ++k) {
        const double* xk = x.col(k);
        for (int l = 0; l <= k; ++l) {
            const double* xl = x.col(l);
            double sum = 0.0;
            for (int j = 0; j < n; ++j) sum += w.varwt[j] * xk[j] * xl[j];
            w.vmat(k, l) = sum;
            w.vmat(l, k) = sum;
        }
    }
    glm_detail::ginv(w.vmat, w.minvw, w);
    const dmat& c = w.minvw;
    for (int k = 0; k < p; ++k) w.sehat[k] = c(k, k) > 0.0 ? std::sqrt(c(k, k)) : 0.0;

    // Leverages: v_j x_j'C x_j (logistic) or w_j x_j'(X'WX)^-1 x_j (Poisson),
    // through X times the matrix, column by column.
    const dmat& h = logit ? c : w.xtwxi;
    for (int k = 0; k < p; ++k) {
        double* r = w.xc.col(k);
        for (int j = 0; j < n; ++j) r[j] = 0.0;
        for (int l = 0; l < p; ++l) {
            const double* xl = x.col(l);
            const double hk = h(k, l);
            for (int j = 0; j < n; ++j) r[j] += hk * xl[j];
        }
    }
    for (int j = 0; j < n; ++j) w.quad[j] = 0.0;
    for (int k = 0; k < p; ++k) {
        const double* xk = x.col(k);
        const double* r = w.xc.col(k);
        for (int j = 0; j < n; ++j) w.quad[j] += xk[j] * r[j];
    }
    double tr = 0.0;
    if (logit) {
        for (int j = 0; j < n; ++j) tr += w.varwt[j] * w.quad[j];
    } else {
        // Observations outside the fit (working weight 0) add nothing.
        const glm_detail::visit v = glm_detail::visits(s, w);
        for (int t = 0; t < v.cnt; ++t) {
            const int j = v[t];
            if (w.wwt[j] != 0.0) tr += w.wwt[j] * w.quad[j];
        }
    }
    w.enp = tr;
}

// A reweighting loop that ran out of passes: the last log-likelihood and the
// one it was compared with.  Caught by the caller, which writes the
// failure lines (never inside a parallel loop).
struct nonconvergence {
    double L, Lprev;
};

void failure(state& s, const work& w, const char* who, double L, double Lprev, bool both) {
    std::ostream& o = *s.out;
    ftn::ldwrite(o, {std::string(who) + " IRLS Convergence problem"});
    ftn::ldwrite(o, {"Program halted after ", w.niter, " iterations..."});
    ftn::ldwrite(o, {"LogLikelihood: ", L});
    if (both) ftn::ldwrite(o, {"Previous LL:   ", Lprev});
    const int p = s.run().K;
    ftn::items cur, prev;
    for (int k = 0; k < p; ++k) {
        cur.emplace_back(w.bhat[k]);
        prev.emplace_back(w.bprev[k]);
    }
    ftn::ldwrite(o, {"Current parameter estimates..."});
    ftn::ldwrite(o, cur);
    ftn::ldwrite(o, {"Parameter estimates on last iteration..."});
    ftn::ldwrite(o, prev);
    throw stop("8888");
}

// The start of a fit from scratch into w: working weights 1 and the
// start's working response for every observation, the unweighted solve
// over all of them, and its linear predictor and e^eta.
void fresh_start(const state& s, work& w) {
    start(s, w);
    solve(s, w, glm_detail::visit{nullptr, s.run().n});
    predict_all(s, w);
}

// The reweighting loop shared by wglm and wglm2, over the observations of
// the current kernel list (all of them without one), as the options say.
// The diagnostics of a solve (standard errors, trace) depend only on that
// solve, so they are formed once, for the last one; every pass before it
// would overwrite them.
void irls(const state& s, work& w, const glm_detail::irls_options& o) {
    check_method(s, "399");
    const glm_detail::visit v = glm_detail::visits(s, w);
    const int p = s.run().K;
    // Linear predictor, e^eta and working response that the first
    // reweighting starts from.
    const double* eta0 = w.eta.data();
    const double* ex0 = w.expeta.data();
    const double* z0 = w.zwork.data();
    if (o.record_relative) w.hasbrel = 0;
    if (o.shared_start) {
        for (int k = 0; k < p; ++k) w.bhat[k] = s.glm1.bstart[k];
        eta0 = s.glm1.etastart.data();
        ex0 = s.glm1.expstart.data();
        z0 = s.glm1.zstart.data();
    } else {
        fresh_start(s, w);
    }
    // Without diagnostics (which read the working weights of every
    // observation) the passes run over the visited observations packed
    // side by side, with the same bits.
    const bool packed = !o.diagnostics;
    if (packed) glm_detail::pack_rows(s, w, v, z0);
    w.niter = 1;
    double L0 = llstart;
    double Lbefore = llstart;  // the value L0 was compared with, for the failure lines
    double L = llstart;
    for (;;) {
        if (w.niter > maxpass) throw nonconvergence{L0, Lbefore};
        for (int k = 0; k < p; ++k) w.bprev[k] = w.bhat[k];
        const bool first = w.niter == 1;
        if (packed) {
            glm_detail::reweighted_products(s, w, v, first ? eta0 : w.eta.data(), first ? ex0 : w.expeta.data(),
                                            w.xtwx.a.data(), w.xtwy.data());
            solve_sums(s, w);
        } else {
            reweight(s, w, v, first ? eta0 : w.eta.data(), first ? ex0 : w.expeta.data(),
                     first ? z0 : w.zwork.data());
            solve(s, w, v);
        }
        double D = 0.0;
        likelihood(s, w, L, D);
        w.loglik = L;
        w.deviance = D;
        const bool reldone = L == L0 || std::fabs((L - L0) / L) <= reltol;
        if (o.record_relative && !o.relative && reldone && w.hasbrel == 0) {
            for (int k = 0; k < p; ++k) w.brel[k] = w.bhat[k];
            w.hasbrel = 1;
        }
        const bool done = o.relative ? reldone : std::fabs(L - L0) <= abstol;
        if (done) break;
        ++w.niter;
        Lbefore = L0;
        L0 = L;
    }
    if (o.diagnostics) diagnose(s, w);
}

}  // namespace

namespace glm_detail {

double logistic_of(double e) {
    if (std::isinf(e)) return 1.0;
    return e / (1.0 + e);
}

double log1pexp(double eta, double e) {
    if (std::isinf(e)) return eta + std::log(1.0 + std::exp(-eta));
    return std::log(1.0 + e);
}

double logistic(double eta) { return logistic_of(std::exp(eta)); }

double log1pexp(double eta) { return log1pexp(eta, std::exp(eta)); }

void prepare_start(state& s) {
    check_method(s, "399");
    const int n = s.run().n;
    const int p = s.run().K;
    work& w = s.ws;
    if (s.run().method != analysis::logistic) poisson_lnratio(s);
    fresh_start(s, w);
    auto& g = s.glm1;
    // Sized with the run's tables; kept for states sized otherwise.
    g.zstart.resize(n);
    g.etastart.resize(n);
    g.expstart.resize(n);
    g.bstart.resize(p);
    std::copy(w.zwork.begin(), w.zwork.begin() + n, g.zstart.begin());
    std::copy(w.eta.begin(), w.eta.begin() + n, g.etastart.begin());
    std::copy(w.expeta.begin(), w.expeta.begin() + n, g.expstart.begin());
    std::copy(w.bhat.begin(), w.bhat.begin() + p, g.bstart.begin());
}

bool wglm_quiet(const state& s, work& w, const irls_options& o) {
    try {
        irls(s, w, o);
    } catch (const nonconvergence&) {
        return false;
    }
    return true;
}

void likelihood_criteria(blocks::hat1& h, double L, double k, double n) {
    h.enp = k;
    h.aic = -2.0 * L + 2.0 * k;
    h.aicc = -2.0 * L + 2.0 * k * n / (n - k - 1.0);
    h.bic = -2.0 * L + k * std::log(n);
}

int ginv(const dmat& a, dmat& c, work& w) { return syminv(a.a.data(), a.rows, c.a.data(), w); }

}  // namespace glm_detail

double fitl(double eta) {
    if (eta < 32.0) {
        const double e = std::exp(eta);
        return e / (1.0 + e);
    }
    return 1.0;
}

void fitlog(const state& s, work& w, bool diagnostics) {
    solve(s, w, glm_detail::visits(s, w));
    if (diagnostics) diagnose(s, w);
}

void wglm(state& s, work& w) {
    try {
        irls(s, w, {.diagnostics = true});
    } catch (const nonconvergence& e) {
        failure(s, w, "[WGLM]", e.L, e.Lprev, false);
    }
}

void wglm2(state& s, work& w) {
    try {
        irls(s, w, {.relative = true});
    } catch (const nonconvergence& e) {
        failure(s, w, "[WGLM2]", e.L, e.Lprev, true);
    }
}

void glm(state& s) {
    work& w = s.ws;
    const int n = s.run().n;
    for (int j = 0; j < n; ++j) w.kwt[j] = 1.0;
    // Every observation enters the global fit: no kernel list applies.
    w.nnbr = -1;
    w.wtsparse = false;
    wglm(s, w);
    s.anova.gbeta.assign(w.bhat.begin(), w.bhat.begin() + s.run().K);
    const double L = w.loglik;
    const double k = w.enp;
    s.glm1.niter = w.niter;
    s.glm2.loglik = L;
    s.glm2.deviance = w.deviance;
    glm_detail::likelihood_criteria(s.hat1, L, k, n);

    std::ostream& o = *s.out;
    const bool logit = s.run().method == analysis::logistic;
    ftn::fwrite(o, "(//a)",
                {logit ? "********** Global Logistic Model Diagnostics **********"
                       : "********** Global Poisson Model Diagnostics **********"});
    ftn::fwrite(o, "(a,i5,a)", {"Convergence after ", w.niter, " iterations"});
    ftn::fwrite(o, "(a,f20.6)", {"Log-likelihood:                  ", L});
    ftn::fwrite(o, "(a,f20.6)", {"Deviance (-2LogLikelihood):      ", w.deviance});
    ftn::fwrite(o, "(a,f20.6)", {"Number of parameters in model:   ", k});
    ftn::fwrite(o, "(a,f20.6)", {"Akaike Information Criterion:    ", s.hat1.aic});
    ftn::fwrite(o, "(a,f20.6)", {"Corrected AIC (AICc)             ", s.hat1.aicc});
    ftn::fwrite(o, "(a,f20.6)", {"Bayesian Information Criterion:  ", s.hat1.bic});
    ftn::fwrite(o, "(/5a)",
                {"Parameter     Estimate", "      Std Err", "            T", "       Exp(B)", "   Sd(Exp(B))"});
    ftn::fwrite(o, "(5a)",
                {"--------- ------------", " ------------", " ------------", " ------------", " ------------"});
    const int p = s.run().K;
    for (int j = 0; j < p; ++j) {
        const double b = w.bhat[j];
        const double se = w.sehat[j];
        const double t = se > 0.0 ? b / se : 0.0;
        const double eb = std::exp(b);
        if (j == 0)
            ftn::fwrite(o, "(a,5f13.3)", {"Intercept", b, se, t, eb, eb * se});
        else
            ftn::fwrite(o, "(1x,a8,5f13.3)", {s.lab1.modlab[j - 1], b, se, t, eb, eb * se});
    }
    if (w.singfl) wrsingglobal(s);
    ftn::ldwrite(o);
}

}  // namespace gwr
