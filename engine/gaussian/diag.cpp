// Casewise diagnostics: standardised residuals, Cook's distances and local
// r-squares per fit location, and their listing.
#include <algorithm>
#include <cmath>

#include "control/progress.h"
#include "format/format.h"
#include "gaussian/gaussian.h"
#include "gaussian/neighbours.h"
#include "gaussian/parallel.h"
#include "gaussian/wls.h"

namespace gwr {

namespace {

constexpr double tiny_wt = 1e-10;  // weights at or below this are left out
constexpr double marker_na = -1.0;
constexpr double marker_lev = -999.0;

// Weighted correlation of observed and fitted values over the observations,
// one pass with running means.  The r of the last observation taken in
// stands; no observation taken in gives 0.  With a neighbour list (idx,
// cnt entries, ascending) only the listed observations are visited: the
// others have weight 0 and are never taken in.
double local_r(const double* y, const double* f, const double* w, int n, const int* idx,
               int cnt) {
    if (n < 1) return 0.0;
    double wsum = w[0];
    double my = y[0], mf = f[0];
    float sxy = 0.0f;
    double syy = 0.0, sff = 0.0;
    // r depends only on the sums at the last observation taken in, so it is
    // formed once, from the sums kept at that observation.
    int last = 0;
    float sxy_last = 0.0f;
    double syy_last = 0.0, sff_last = 0.0, wsum_last = 0.0;
    const int steps = idx ? cnt : n - 1;
    for (int t = 0; t < steps; ++t) {
        const int j = idx ? idx[t] + 1 : t + 2;
        if (j < 2) continue;  // observation 1 starts the sums
        const double wj = w[j - 1];
        wsum = wsum + wj;
        if (!(wsum > tiny_wt && wj > tiny_wt)) continue;
        my = my + wj * (y[j - 1] - my) / wsum;
        const double dy = y[j - 1] - my;
        mf = mf + wj * (f[j - 1] - mf) / wsum;
        const double df = f[j - 1] - mf;
        sxy = static_cast<float>(sxy + wj * dy * df);
        syy = syy + wj * dy * dy;
        sff = sff + wj * df * df;
        last = j;
        sxy_last = sxy;
        syy_last = syy;
        sff_last = sff;
        wsum_last = wsum;
    }
    if (last == 0) return 0.0;
    const double v = wsum_last * (last - 1) / last;
    if (syy_last / v > 0.0 && sff_last / v > 0.0)
        return (sxy_last / v) / std::sqrt((syy_last / v) * (sff_last / v));
    return 0.0;
}

}  // namespace

void diagpt(state& s) {
    std::ostream& out = *s.out;
    const bool list = s.run().casewise;
    if (list) {
        ftn::fwrite(out, "(a)",
                    {"", "", std::string(58, '*'),
                     "*                CASEWISE DIAGNOSTICS                    *",
                     std::string(58, '*'), ""});
        ftn::fwrite(out, "(2a)",
                    {"   Obs       Observed      Predicted       Residual",
                     "   Std Resid    R-Square   Influence    Cook's D"});
        ftn::fwrite(out, "(2a)",
                    {" ----- -------------- -------------- --------------",
                     " ----------- ----------- ----------- -----------"});
    }

    const int n = s.run().n;
    const int nfit = s.fit3.nloc;
    const bool same = s.output.samepts == 1;
    double* resid = s.output.resid.data();
    double* yhat = s.output.yhat.data();
    double* hat = s.hat1.hatdg.data();

    // Standard deviation of the residuals by running updates.  Each step adds
    // the product of the deviations from the mean before and after the
    // update; squaring the deviation from the updated mean alone would
    // shrink every term by (j-1)/j and understate the deviation, inflating
    // every standardised residual and Cook's distance.
    double m = n > 0 ? resid[0] : 0.0;
    double ss = 0.0;
    for (int j = 2; j <= n; ++j) {
        const double d = resid[j - 1] - m;
        m = m + d / j;
        ss = ss + d * (resid[j - 1] - m);
    }
    const double sd = std::sqrt(ss / (n - 1));

    if (same) {
        // Per-location values in parallel; the listing follows in order.
        if (nfit > 0) genwgt_check(s);
        size_pool(s);
        nbscope nb(s);
        progress::loop pl(s, nfit);
        // The values of location i from its local r.
        auto store = [&](int i, double r) {
            const double h = hat[i - 1];
            if (h >= 1.0) {
                s.diags.stdres[i - 1] = marker_lev;
                s.diags.cookd[i - 1] = marker_lev;
            } else {
                // r_i / (sd sqrt(1 - h_i)), and Cook's (1977) distance
                // r_i^2 h_i / ((1 - h_i) tr(S)).
                const double sr = resid[i - 1] / (std::sqrt(1.0 - h) * sd);
                s.diags.stdres[i - 1] = sr;
                s.diags.cookd[i - 1] = sr * sr * h / ((1.0 - h) * s.hat1.trs);
            }
            s.diags.locr2[i - 1] = r * r;
        };
        // Eight locations' weights and local r at once where the processor
        // allows (wls.h), with the bits of one at a time.
        const bool eight = fit_lanes(s, 1) == 8 && lane_kernel(s);
        const double bw = s.parms.bandw;
#pragma omp parallel
        {
            work& w = thread_work(s, thread_num());
            auto alone = [&](int i) {
                genwgt(s, w, i, bw);
                store(i, local_r(s.struc2.ydep.data(), yhat, w.wt.data(), n, w.nnbr >= 0 ? w.nbr.data() : nullptr,
                                 w.nnbr));
            };
            if (eight) {
#pragma omp for schedule(dynamic, 2)
                for (int g = 0; g < (nfit + 7) / 8; ++g) {
                    double lx[8], ly[8], r[8];
                    int at[8];
                    const int i0 = 8 * g + 1, i1 = std::min(nfit, 8 * g + 8);
                    for (int i = i0; i <= i1; ++i) pl.tick();
                    const int nl = lane_group(s, i0, i1, bw, lx, ly, at, alone);
                    if (nl == 0) continue;
                    local_r_eight(s, w, lx, ly, nl, bw, yhat, tiny_wt, r);
                    for (int f = 0; f < nl; ++f) store(at[f], r[f]);
                }
            } else {
#pragma omp for schedule(dynamic, 16)
                for (int i = 1; i <= nfit; ++i) {
                    pl.tick();
                    alone(i);
                }
            }
        }
    } else {
        // No observation belongs to a location.
        for (int i = 1; i <= nfit; ++i) {
            s.diags.stdres[i - 1] = marker_na;
            s.diags.cookd[i - 1] = marker_na;
            s.diags.locr2[i - 1] = marker_na;
            yhat[i - 1] = marker_na;
            resid[i - 1] = marker_na;
            hat[i - 1] = marker_na;
        }
    }

    if (list) {
        for (int i = 1; i <= nfit; ++i) {
            const double obs = same ? s.struc2.ydep[i - 1] : marker_na;
            ftn::fwrite(out, "(i6,3f15.5,4f12.6)",
                        {i, obs, yhat[i - 1], resid[i - 1], s.diags.stdres[i - 1],
                         s.diags.locr2[i - 1], hat[i - 1], s.diags.cookd[i - 1]});
        }
    }
}

}  // namespace gwr
