// Geographically weighted logistic and Poisson regression.
#pragma once

#include "control/blocks.h"

namespace gwr {

double fitl(double eta);
// One weighted least-squares step: w.zwork on the design matrix with the
// working weights w.wwt (over the kernel's list of neighbours when w holds
// one); with `diagnostics` also the standard errors and the trace.
void fitlog(const state& s, work& w, bool diagnostics);
void wglm(state& s, work& w);
void wglm2(state& s, work& w);
void glm(state& s);
void runglm(state& s);
void tzmglm(state& s);
double glmval(state& s, double bw);
void infl(state& s);
void glm_se(state& s);

}  // namespace gwr
