// Helpers shared by the logistic and Poisson fitting units.
#pragma once

#include "control/blocks.h"

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
    int cnt;
    int operator[](int t) const { return idx ? idx[t] : t; }
};

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

// The reweighting loop of wglm (relative = false) or wglm2 (true) for the
// local fits, without the standard errors and trace of the last solve and
// without writing anything: false when the fit did not converge, and the
// caller repeats it with wglm or wglm2 to report the failure.  With
// `shared` the fit starts from the tables of prepare_start.  With relb, a
// fit with the absolute test also copies the estimates of the first pass
// that meets the relative test into relb[0..K-1] and sets *relfound (left
// as it is when no pass before the end meets it).  Safe to run on several
// work objects at once.
bool wglm_quiet(state& s, work& w, bool relative, bool shared, double* relb = nullptr,
                int* relfound = nullptr);

// Inverse of the symmetric K x K matrix a into c (c may be w.minvw, but not
// a): syminv, the inverse of the Gaussian fits, with its generalised
// inverse for a matrix that is singular exactly or numerically.  Returns 1
// when the generalised inverse was used, else 0.
int ginv(const dmat& a, dmat& c, work& w);

}  // namespace gwr::glm_detail
