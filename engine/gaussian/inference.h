// Inference on the local estimates that survives many local tests: the
// critical t values adjusted for the number of locally fitted parameters
// (da Silva and Fotheringham 2016), with Student's t quantiles from
// Boost.Math.
#pragma once

#include "control/blocks.h"

namespace gwr {

// The value t with P(T > t) = upper for Student's t with df degrees of
// freedom (df > 0, real; 0 < upper < 1); NaN outside that domain.
double t_upper(double upper, double df);

// The adjusted critical value of the local t values for the two-sided level
// alpha: the level alpha * K / ENP (K parameters, ENP the effective number
// of parameters of the local model) and the critical value of Student's t
// with n - ENP degrees of freedom.  False when the run has no ENP (fit
// locations that are not the observations, descriptive statistics) or
// leaves no degrees of freedom.
bool adjusted_t(const state& s, double alpha, double& level, double& crit);

// The listing block after the parameter summary of a model fitted at the
// observation points: for alpha = 0.10, 0.05 and 0.01 the adjusted level,
// the critical value and, per parameter, the number of locations where |t|
// exceeds it.  Nothing for other runs.
void wradjt(state& s);

}  // namespace gwr
