// The run sequence of the engine and its dispatch on the analysis method.
#include <cstdlib>
#include <iostream>

#include "control/control.h"
#include "control/stop.h"
#include "descriptive/descriptive.h"
#include "format/format.h"
#include "gaussian/gaussian.h"
#include "glm/glm.h"
#include "sigtest/sigtest.h"

namespace gwr {

void dispatch(state& s) {
    switch (s.option.method) {
        case 1:
            dstats(s);
            break;
        case 2:
            runmod(s);
            tzm_ft(s);
            summry(s);
            if (std::abs(s.option.itest) == 1)
                mctest(s);
            else if (std::abs(s.option.itest) == 2)
                yltest(s);
            break;
        case 3:
        case 4:
            runglm(s);
            summry(s);
            break;
        default:
            break;
    }
}

}  // namespace gwr
