// Critical t values adjusted for multiple testing and their listing block.
#include "gaussian/inference.h"

#include <cmath>
#include <limits>
#include <ostream>
#include <string>

#include <boost/math/distributions/students_t.hpp>

#include "format/format.h"

namespace gwr {

double t_upper(double upper, double df) {
    if (!(df > 0.0) || !std::isfinite(df) || !(upper > 0.0 && upper < 1.0))
        return std::numeric_limits<double>::quiet_NaN();
    try {
        const boost::math::students_t dist(df);
        return boost::math::quantile(boost::math::complement(dist, upper));
    } catch (const std::exception&) {
        return std::numeric_limits<double>::quiet_NaN();
    }
}

bool adjusted_t(const state& s, double alpha, double& level, double& crit) {
    if (!s.run().regression() || s.output.samepts != 1) return false;
    const double n = s.run().n;
    const double enp = s.hat1.enp;
    const double K = s.run().K;
    if (!(enp > 0.0) || !(n - enp > 0.0)) return false;
    level = alpha * K / enp;
    if (!(level < 1.0)) return false;
    crit = t_upper(level / 2.0, n - enp);
    return std::isfinite(crit);
}

void wradjt(state& s) {
    if (!s.run().regression() || s.output.samepts != 1) return;
    std::ostream& out = *s.out;
    const double alphas[3] = {0.10, 0.05, 0.01};
    double level[3], crit[3];
    bool ok = true;
    for (int a = 0; a < 3; ++a) ok = ok && adjusted_t(s, alphas[a], level[a], crit[a]);
    ftn::ldwrite(out);
    if (!ok) {
        ftn::fwrite(out, "(a)", {"** No critical t values adjusted for multiple testing: the effective"});
        ftn::fwrite(out, "(a)", {"**   number of parameters leaves no degrees of freedom"});
        return;
    }
    const int K = s.run().K;
    const int m = s.fit3.nloc;
    const double enp = s.hat1.enp;
    ftn::fwrite(out, "(a)", {"** Local t values adjusted for multiple testing (da Silva and Fotheringham):"});
    ftn::fwrite(out, "(a,i3,a,f14.6)", {"**   level alpha*K/ENP with K =", K, " and ENP =", enp});
    ftn::fwrite(out, "(a,f14.6,a)", {"**   Student's t with", s.run().n - enp, " degrees of freedom (n - ENP)"});
    ftn::fwrite(out, "(a18,3a14)", {"", "alpha 0.10", "alpha 0.05", "alpha 0.01"});
    ftn::fwrite(out, "(a,4x,3f14.6)", {"Adjusted level", level[0], level[1], level[2]});
    ftn::fwrite(out, "(a,6x,3f14.6)", {"Critical |t|", crit[0], crit[1], crit[2]});
    ftn::fwrite(out, "(a,i7,a)", {"Locations with |t| above the critical value (of", m, "):"});
    for (int k = 0; k < K; ++k) {
        int count[3] = {0, 0, 0};
        for (int i = 0; i < m; ++i) {
            const double se = s.svals(i, k);
            if (!(se > 0.0)) continue;  // a dropped parameter has no t value
            const double t = std::fabs(s.bvals(i, k) / se);
            for (int a = 0; a < 3; ++a)
                if (t > crit[a]) ++count[a];
        }
        const std::string label = k == 0 ? std::string("Intrcept") : s.lab1.modlab[k - 1];
        ftn::fwrite(out, "(a8,10x,3i14)", {label, count[0], count[1], count[2]});
    }
}

}  // namespace gwr
