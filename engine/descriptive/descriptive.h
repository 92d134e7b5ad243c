// Geographically weighted descriptive statistics.
#pragma once

#include "control/blocks.h"

namespace gwr {

void dstats(state& s);
void gendst(state& s);
void wrscsv(state& s);

}  // namespace gwr
