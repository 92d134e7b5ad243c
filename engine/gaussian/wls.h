// Many fits at once: the lanes of a vector register hold fit locations
// whose kernel weights reach every observation, so one pass over the
// observations serves eight (AVX-512) or four (AVX2) fits.  Every lane's
// sums run over the observations in order with the terms of the one-fit
// routines (wls.cpp), an observation of weight 0 adding an exact +0, so
// each lane's results are the bits of one fit at a time, whatever the
// width.
#pragma once

#include "control/blocks.h"

namespace gwr {

// How many fit locations the loops fit at once for K parameters: 8 with
// AVX-512, 4 with AVX2 (within s.vector_cap, K <= fourfold_kmax), else 1
// (also without s.vector_loops).
int fit_lanes(const state& s, int K);

// True when the run's kernel can be formed in the lanes: a fixed Gaussian
// kernel on plane coordinates.
bool lane_kernel(const state& s);

// True when the weights of a fit at (x, y) with bandwidth bw can be formed
// in the lanes: a fixed Gaussian kernel on plane coordinates with bw > 0
// whose weights reach every observation (no neighbour index serves it), so
// that the weights are those genwgt_at forms with the vector exponential.
bool lane_weights(const state& s, double x, double y, double bw);

// The fit locations i0..i1 (1-based, at most eight) whose weights can be
// formed in the lanes, in order: their coordinates into lx, ly and their
// numbers into at; alone(i) is called for every other one.  Returns how
// many went to the lanes.
template <class Alone>
int lane_group(const state& s, int i0, int i1, double bw, double* lx, double* ly, int* at, Alone&& alone) {
    int nl = 0;
    for (int i = i0; i <= i1; ++i) {
        const double x = s.fit1.xfit[i - 1], y = s.fit1.yfit[i - 1];
        if (lane_weights(s, x, y, bw)) {
            lx[nl] = x;
            ly[nl] = y;
            at[nl++] = i;
        } else {
            alone(i);
        }
    }
    return nl;
}

// The results of up to eight fits formed side by side; fit f's matrices at
// f K K, its vectors at f K.
struct lane_fits {
    static constexpr int kk = 16;  // fourfold_kmax squared
    double A[8 * kk];              // X'WX, both triangles
    double b[8 * 4];               // X'Wy
    double C[8 * kk];              // its (generalised) inverse, as syminv
    double beta[8 * 4];            // C b
    double v[8 * 4];               // variance factors, as calcse
    int sing[8];                   // syminv's singular flag
    int npos[8];                   // observations of positive weight
};

// Eight fits at the locations (lx[f], ly[f]), f < nl <= 8, each of which
// satisfies lane_weights, with bandwidth bw: their kernel weights into
// w.wtl[8j + f] (observation skip[f] at weight 0 when skip[f] >= 0; the
// lanes from nl on all 0), then cross products, inverses, coefficients and
// variance factors into r: the bits of genwgt_at, fitcoef and calcse with
// the vector exponential.  Needs AVX-512 (fit_lanes 8) and K <= 4.
void fit_eight(const state& s, work& w, const double* lx, const double* ly, const int* skip, int nl, double bw,
               lane_fits& r);

// The local r of the casewise diagnostics (diag.cpp) at eight locations
// (lx[f], ly[f]), f < nl <= 8, each satisfying lane_weights, into r[f]:
// the kernel-weighted correlation of the observed values and fitted,
// observations of weight at or below tiny left out, with the bits of one
// location at a time (weights into w.wtl).  Needs AVX-512.
void local_r_eight(const state& s, work& w, const double* lx, const double* ly, int nl, double bw, const double* fitted,
                   double tiny, double* r);

}  // namespace gwr
