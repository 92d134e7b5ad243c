// Predictions at the fit locations from the predictor values of a location
// table (s.pred): the predicted response and its standard error for the
// Gaussian, logistic and Poisson models, and their prediction report.
#pragma once

#include "control/blocks.h"

namespace gwr {

// Gaussian model, at fit location i (1-based), right after its local fit
// (w holds the kernel weights and C = (X'WX)^-1 of the fit, row i of bvals
// the estimates): the prediction x0'b and q = x0' C X'W^2X C x0 into
// s.pred.  Writes only row i; safe in the parallel loop.
void predict_gauss_at(state& s, const work& w, int i);

// Gaussian model, after the local fits and their diagnostics: the standard
// errors of prediction sigma * sqrt(1 + q) (Harris, Fotheringham, Crespo
// and Charlton 2010).  sigma is the local model's sigma at the observation
// points: the run's own when the fit locations are the observations, else
// that of the same model fitted at the observation points here (one more
// local fit per observation), written to the listing.
void predict_gauss_finish(state& s);

// Logistic and Poisson models, at fit location i (1-based), in the standard
// errors' refit (w holds the kernel weights w.kwt, the variance weights
// w.hdiag at the refit and its C = (X'KVX)^-1 in w.minvw): the predicted
// probability or mean from row i of bvals and its standard error by the
// delta method from the sandwich covariance that the standard errors of
// the estimates take their diagonal from.  Writes only row i.
void predict_glm_at(state& s, const work& w, int i);

// The sigma of the Gaussian local model fitted at every observation point
// with the run's kernel and bandwidth, as the listing's diagnostics give it
// for a run at the observations: sqrt(RSS / (n - tr S)).
double sigma_at_observations(state& s);

// The prediction report of a run with predictor values (when the control
// file asks for the report): at the observation points the usual report
// with the predictions appended, elsewhere one line per fit location.
void wrpredx(state& s);

}  // namespace gwr
