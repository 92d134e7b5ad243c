#include "results/written.h"

namespace gwr::written {

std::string numbered(const char* stem, int k) {
    std::string d = std::to_string(k);
    if (d.size() < 2) d = "_" + d;
    return stem + d;
}

namespace {
float degrees_if_spherical(const state& s, double v) {
    if (s.run().spherical()) v = v * s.trig.degrad;
    return static_cast<float>(v);
}
}  // namespace

float xwritten(const state& s, int l) { return degrees_if_spherical(s, s.fit1.xfit[l]); }
float ywritten(const state& s, int l) { return degrees_if_spherical(s, s.fit1.yfit[l]); }

double observed(const state& s, int l) {
    return s.output.samepts == 1 ? s.struc2.ydep[l] : -1.0;
}

double tvalue(const state& s, int l, int k) {
    const double se = s.svals(l, k);
    return se > 0.0 ? s.bvals(l, k) / se : 0.0;
}

void casewise(const state& s, int l, double out[7]) {
    out[0] = observed(s, l);
    out[1] = s.output.yhat[l];
    out[2] = s.output.resid[l];
    out[3] = s.hat1.hatdg[l];
    out[4] = s.diags.stdres[l];
    out[5] = s.diags.cookd[l];
    out[6] = s.diags.locr2[l];
}

bool predicted(const state& s) {
    return s.pred.active && static_cast<int>(s.pred.predy.size()) >= s.fit3.nloc;
}

}  // namespace gwr::written
