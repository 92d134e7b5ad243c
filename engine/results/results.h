// Result files of the local fits and of the local statistics.
#pragma once

#include "control/blocks.h"

namespace gwr {

void wr_csv(state& s);
void wr_e00(state& s);
void wrse00(state& s);
void wr_mif(state& s);
void wrsmif(state& s);

}  // namespace gwr
