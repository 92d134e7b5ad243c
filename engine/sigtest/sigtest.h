// Tests for spatial variation of the local parameters.
#pragma once

#include "control/blocks.h"

namespace gwr {

void mctest(state& s);
void yltest(state& s);

}  // namespace gwr
