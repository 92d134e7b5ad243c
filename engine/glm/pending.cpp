// Placeholders for routines not yet built; each is removed when its real
// implementation lands.
#include "glm/glm.h"

namespace gwr {

void runglm(state&) {}
double glmval(state&, double) { return 0.0; }

}  // namespace gwr
