// Geographically weighted logistic and Poisson regression (Fotheringham,
// Brunsdon and Charlton 2002; for the Poisson model Nakaya, Fotheringham,
// Brunsdon and Charlton 2005), fitted by iteratively reweighted least
// squares (McCullagh and Nelder 1989).
#pragma once

#include "control/blocks.h"

namespace gwr {

// The logistic probability e^eta / (1 + e^eta), 1 for eta >= 32.
double fitl(double eta);
// One weighted least-squares step: w.zwork on the design matrix with the
// working weights w.wwt (over the kernel's list of neighbours when w holds
// one); with `diagnostics` also the standard errors and the trace.
void fitlog(const state& s, work& w, bool diagnostics);
// A reweighted fit with the kernel weights in w.kwt, from scratch, until the
// log-likelihood changes by at most 1e-8, with the standard errors and the
// trace of the last solve; stops (8888) with its failure lines after 60
// passes.
void wglm(state& s, work& w);
// The same until the relative change of the log-likelihood is at most
// 0.001, without the standard errors.
void wglm2(state& s, work& w);
// The global model: every kernel weight 1; its criteria (AIC, AICc, BIC)
// and its table of estimates, standard errors, t values and exp(b).
void glm(state& s);
// The logistic or Poisson run (methods 3 and 4): its banner, the data, the
// design matrix, offsets or weights, the checks of the response, the fit
// locations, the bandwidth search when asked for, the global model (glm),
// the local model (tzmglm) and the prediction report.
void runglm(state& s);
// The local model: a reweighted fit at every fit location, and at the
// observation points the fitted values, leverages (infl), the
// log-likelihood and criteria of the local model; then the casewise
// diagnostics, the standard errors and the result file.
void tzmglm(state& s);
// The logistic and Poisson criterion at bandwidth (or size) bw, from fits
// at the observation points: the AICc of the local model (letter a), else
// the cross-validation sum of squared residuals of fits that leave each
// point out.
double glmval(state& s, double bw);
// The leverages of the local model at the fit locations and their sum, the
// effective number of parameters.
void infl(state& s);
// The standard errors of the local estimates at every fit location (the
// sandwich of a refit by the relative test), each refit made anew rather
// than taken from the local fits' records.
void glm_se(state& s);

}  // namespace gwr
