// Bandwidth calibration by golden-section search.
#pragma once

#include "control/blocks.h"

namespace gwr {

using criterion = double (*)(state& s, double bw);

void calib(state& s);
void aicmin(state& s, double lo, double hi);
double golden(state& s, double ax, double bx, double cx, double tol, criterion f);
double akeval(state& s, double bw);

// Lower and upper limit of the bandwidth search for the current kernel and
// method: fixed kernels from the smaller coordinate extent (kilometres for
// spherical coordinates), the adaptive kernel from the observation count.
void searchlimits(const state& s, double& lo, double& hi);

// Draws the calibration sample for the sampled codes (4, 5, 7): one draw per
// observation, kept when it does not exceed smppct/100; writes one line per
// observation and returns the number kept.  Other codes keep every
// observation without drawing.
int selsmp(state& s);

}  // namespace gwr
