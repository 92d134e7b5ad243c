// The bandwidth interval of every parameter of the multiscale model (Li,
// Fotheringham, Oshan and Wolf 2020): each parameter's one-predictor
// smoother evaluated across the search range on its partial residual at
// convergence, and the Akaike weights of those trials.
#include <algorithm>
#include <cmath>
#include <vector>

#include "control/progress.h"
#include "gaussian/bwinterval.h"
#include "multiscale/multiscale.h"

namespace gwr {

std::vector<bwresult> msinterval(state& s, const ms_model& m) {
    const int n = m.n, K = m.K;
    const bool adaptive = s.run().adaptive();
    const double* y = s.struc2.ydep.data();
    const std::vector<double> grid = bwgrid(adaptive, m.lo, m.hi);
    std::vector<bwresult> out(K);
    if (grid.size() < 2) return out;
    const int nnear = s.fit5.nnear;
    std::vector<double> r(n), b(n), e2(n), hd(n);
    // The parameters are profiled on the same grid: the neighbour
    // distances kept per size serve them all (up to ms_sizes sizes).
    ms_reach q;
    msreach_init(s, q);
    int evaluated = 0, planned = static_cast<int>(grid.size()) * K;
    for (int j = 0; j < K; ++j) {
        const double* xj = m.xs.col(j);
        for (int i = 0; i < n; ++i) r[i] = y[i] - m.yhat[i] + xj[i] * m.beta(i, j);
        // The search's trials at the sizes the adaptive kernel fitted.
        std::vector<std::pair<double, double>> known = j < static_cast<int>(m.searched.size())
                                                           ? m.searched[j]
                                                           : std::vector<std::pair<double, double>>{};
        if (adaptive)
            for (auto& k : known) k.first = std::floor(k.first + 0.5);
        int left = static_cast<int>(grid.size());
        out[j] = bwanalyse(
            grid, adaptive, known,
            [&](double x, double& a) {
                progress::report(s, "interval", evaluated, std::max(planned, evaluated + 1));
                ++evaluated;
                a = mssmooth(s, m, j, x, r.data(), b.data(), nullptr, e2, hd, false, &q);
                double tr = 0.0;
                for (int i = 0; i < n; ++i) tr += hd[i];
                // AICc is defined while its correction's denominator is positive.
                return std::isfinite(a) && n - 2.0 - tr > 0.0;
            },
            left);
        planned = evaluated + left * (K - 1 - j);
    }
    progress::report(s, "interval", evaluated, evaluated);
    s.fit5.nnear = nnear;
    return out;
}

}  // namespace gwr
