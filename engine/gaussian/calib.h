// Bandwidth calibration by golden-section search.
#pragma once

#include "control/blocks.h"

namespace gwr {

using criterion = double (*)(state& s, double bw);

void calib(state& s);
void aicmin(state& s, double lo, double hi);
double golden(state& s, double ax, double bx, double cx, double tol, criterion f);
double akeval(state& s, double bw);

}  // namespace gwr
