// Placeholders for routines not yet built; each is removed when its real
// implementation lands.
#include "control/control.h"

namespace gwr {

bool fitloc(state&) { return false; }
void thin(state&) {}
void rdata(state&) {}
int run(state& s) {
    dispatch(s);
    return 0;
}

}  // namespace gwr
