// Helpers shared by the logistic and Poisson fitting units.
#pragma once

#include "control/blocks.h"

// The elementwise loops over observations select between values with
// conditions (the ratio, or 1 where y is 0; the term, or 0): they are
// compiled without the assumption that a floating-point operation may
// trap, so that the selections become vector blends.  Traps are never
// enabled, and the values (IEEE operations, each rounded once) are the
// same.  TZM_ELEMENTWISE marks such a loop, TZM_VECTOR_CLONE the function
// compiled once for each vector path that runs it.
#define TZM_ELEMENTWISE [[gnu::always_inline, gnu::optimize("no-trapping-math")]]
#define TZM_VECTOR_CLONE [[gnu::noinline, gnu::optimize("no-trapping-math")]]

namespace gwr::glm_detail {

// e^eta / (1 + e^eta) without a cut; 1 exactly where e^eta overflows.
double logistic(double eta);
double logistic_of(double expeta);  // the same from e^eta

// ln(1 + e^eta); where e^eta overflows, eta + ln(1 + e^-eta).
double log1pexp(double eta);
double log1pexp(double eta, double expeta);  // with e^eta already known

// Observations the weighted sums of a local fit visit, in ascending order:
// the kernel's list of the observations with a non-zero weight, or all n.
struct visit {
    const int* idx;  // null: observations 0..cnt-1
    int cnt;         // observations visited
    int operator[](int t) const { return idx ? idx[t] : t; }  // the t-th, 0-based
};

// The observations a fit with the kernel weights of w visits.
inline visit visits(const state& s, const work& w) {
    if (w.nnbr >= 0) return {w.nbr.data(), w.nnbr};
    return {nullptr, s.run().n};
}

// The start of every fit (working weights 1, the start's working response,
// the unweighted solve and its linear predictor and e^eta), which takes no
// kernel weights, into the tables s.glm1.zstart, etastart, expstart and
// bstart; uses s.ws.  Called before a loop of local fits, which then only
// read the tables.
void prepare_start(state& s);

// Packs the observations v visits into w's packed tables (design rows,
// response, offset, kernel weight from w.kwt, and the working response from
// z0, indexed by observation), in visiting order (glm/rows.cpp).
void pack_rows(const state& s, work& w, visit v, const double* z0);

// One reweighting over the packed observations: the new working weights and
// responses from the linear predictor eta and e^eta ex of the latest
// estimates (indexed by observation), and the sums X'WX into the K x K
// matrix A and X'Wz into bz.  The bits of reweight() and
// weighted_products() over the same observations, on every vector path.
void reweighted_products(const state& s, work& w, visit v, const double* eta, const double* ex, double* A,
                         double* bz);

// How a reweighting loop runs.
struct irls_options {
    // Convergence by the relative change of the log-likelihood, |dL / L| <=
    // 0.001 (wglm2), instead of the absolute one, |dL| <= 1e-8 (wglm).
    bool relative = false;
    // Start from the tables of prepare_start instead of forming the start
    // again (the same numbers: the start takes no kernel weights).
    bool shared_start = false;
    // Form the standard errors and the trace of the last solve.
    bool diagnostics = false;
    // With the absolute test: keep in w.brel the estimates of the first pass
    // that meets the relative test, and set w.hasbrel (0 when no pass before
    // the end meets it).
    bool record_relative = false;
};

// The reweighting loop of wglm or wglm2 for the local fits, as the options
// say, without writing anything: false when the fit did not converge, and
// the caller repeats it with wglm or wglm2 to report the failure.  Reads
// the state only, so it runs on several work objects at once.
bool wglm_quiet(const state& s, work& w, const irls_options& o);

// The criteria of a model of log-likelihood L and effective number of
// parameters k (the trace of its hat matrix) over n observations, into h:
// enp = k, AIC = -2L + 2k (Akaike 1973), AICc = -2L + 2k n / (n - k - 1)
// (Hurvich and Tsai 1989) and BIC = -2L + k ln n (Schwarz 1978).
void likelihood_criteria(blocks::hat1& h, double L, double k, double n);

// Inverse of the symmetric K x K matrix a into c (c may be w.minvw, but not
// a): syminv, the inverse of the Gaussian fits, with its generalised
// inverse for a matrix that is singular exactly or numerically.  Returns 1
// when the generalised inverse was used, else 0.
int ginv(const dmat& a, dmat& c, work& w);

}  // namespace gwr::glm_detail
