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

// The reweighting loop of wglm (relative = false) or wglm2 (true) for the
// local fits, without the standard errors and trace of the last solve and
// without writing anything: false when the fit did not converge, and the
// caller repeats it with wglm or wglm2 to report the failure.  Safe to run
// on several work objects at once.
bool wglm_quiet(state& s, work& w, bool relative);

// Inverse of the symmetric K x K matrix a into c (c may be w.minvw, but not
// a) by Gauss-Jordan elimination; when the determinant is 0, the
// generalised inverse over the intercept and the columns whose diagonal is
// positive.  Returns 1 when the generalised inverse was used, else 0.
int ginv(const dmat& a, dmat& c, work& w);

}  // namespace gwr::glm_detail
