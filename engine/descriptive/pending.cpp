// Placeholders for routines not yet built; each is removed when its real
// implementation lands.
#include "descriptive/descriptive.h"

namespace gwr {

void dstats(state&) {}

}  // namespace gwr
