// Distances, kernel weights and the heap sort.
#include <algorithm>
#include <cmath>
#include <cstddef>

#include "control/stop.h"
#include "format/format.h"
#include "gaussian/distance.h"
#include "gaussian/gaussian.h"
#include "gaussian/neighbours.h"
#include "gaussian/vexp.h"

namespace gwr {

namespace {

// Squared distances of every observation from (x, y) into d.
void all_dsq(const state& s, double x, double y, double* d, int n) {
    const double* xo = s.struc2.xobs.data();
    const double* yo = s.struc2.yobs.data();
    if (!s.run().spherical()) {
        for (int j = 0; j < n; ++j) d[j] = plane_dsq(xo[j], yo[j], x, y);
    } else {
        // The fit location's terms formed once.
        const double sy = std::sin(y), cy = std::cos(y);
        for (int j = 0; j < n; ++j) d[j] = sphere_dsq(xo[j], std::sin(yo[j]), std::cos(yo[j]), x, sy, cy);
    }
}

void adaptive_too_large(const state& s) {
    ftn::fwrite(*s.out, "(2a)",
                {"** Local sample size is greater than ", "the number of observations **"});
    ftn::fwrite(*s.out, "(a)", {"** Check program limits ... halting **"});
    throw stop{};
}

}  // namespace

double distsq(double x1, double y1, double x2, double y2, coordinates c) {
    return c == coordinates::spherical ? sphere_dsq(x1, y1, x2, y2) : plane_dsq(x1, y1, x2, y2);
}

void genwgt_at(const state& s, work& w, double x, double y, double bw) {
    const int n = s.run().n;
    double* wt = w.wt.data();
    genwgt_check(s);
    if (s.nbix && grid_pays(s, *s.nbix, x, y, bw)) {
        genwgt_grid(s, *s.nbix, w, x, y, bw);
        return;
    }
    if (s.sphix && sphgrid_pays(s, *s.sphix, x, y, bw)) {
        genwgt_sphgrid(s, *s.sphix, w, x, y, bw);
        return;
    }
    // Every entry of wt is written below.
    w.nnbr = -1;
    w.wtsparse = false;
    switch (s.run().kshape) {
        case kernel_shape::bisquare: {
            // Adaptive bi-square: the bandwidth is the distance of the N-th
            // nearest observation; that observation and every one tied with
            // it get weight 0.
            const int nn = s.fit5.nnear;
            all_dsq(s, x, y, wt, n);
            if (nn < 1) {
                // No neighbour defines a bandwidth: nothing carries weight.
                for (int j = 0; j < n; ++j) wt[j] = 0.0;
                return;
            }
            // D, the N-th smallest squared distance, is found by selection:
            // the same value a full ascending sort puts at position N, in
            // linear instead of n log n time.  The work copy is left
            // partitioned around position N, not sorted.
            double* dsq = w.dsqwrk.data();
            for (int j = 0; j < n; ++j) dsq[j] = wt[j];
            std::nth_element(dsq, dsq + (nn - 1), dsq + n);
            const double dmax = dsq[nn - 1];
            for (int j = 0; j < n; ++j) {
                double d = wt[j];
                if (d < dmax) {
                    double t = 1.0 - d / dmax;
                    wt[j] = t * t;
                } else {
                    wt[j] = 0.0;
                }
            }
            return;
        }
        case kernel_shape::cylinder: {
            // Fixed cylinder: weight 1 inside the bandwidth (boundary
            // included), 0 outside.
            const double h2 = bw * bw;
            all_dsq(s, x, y, wt, n);
            for (int j = 0; j < n; ++j) wt[j] = wt[j] <= h2 ? 1.0 : 0.0;
            return;
        }
        default: {
            // Fixed Gaussian, times the observation weight (also for an
            // unknown kernel, which read1 stops at before any fit).
            const double h2 = bw * bw;
            const double twoh2 = 2.0 * h2;
            const double* ow = s.fit6.obswt.data();
            all_dsq(s, x, y, wt, n);
            if (twoh2 == 0.0) {
                // A zero bandwidth (never proposed by the reader or the
                // search) keeps coincident observations only, rather than
                // the 0/0 of the formula.
                for (int j = 0; j < n; ++j) wt[j] = wt[j] == 0.0 ? ow[j] : 0.0;
                return;
            }
            gauss_weights(wt, nullptr, ow, twoh2, wt, n, s.vector_loops ? s.vector_cap : vector_isa::scalar);
            return;
        }
    }
}

void genwgt_check(const state& s) {
    if (s.run().kshape == kernel_shape::bisquare && s.fit5.nnear > s.run().n) adaptive_too_large(s);
}

void genwgt(const state& s, work& w, int ipt, double bw) {
    genwgt_at(s, w, s.fit1.xfit[ipt - 1], s.fit1.yfit[ipt - 1], bw);
}

void hsort(double* a, int n) {
    if (n < 2) return;
    // Heap positions are 1-based: position p lives at a[p - 1].
    auto sift = [a](int root, int last) {
        double v = a[root - 1];
        int i = root;
        int c = 2 * i;
        while (c <= last) {
            if (c < last && a[c] > a[c - 1]) ++c;  // right child only when strictly larger
            if (!(a[c - 1] > v)) break;
            a[i - 1] = a[c - 1];
            i = c;
            c = 2 * i;
        }
        a[i - 1] = v;
    };
    for (int r = n / 2; r >= 1; --r) sift(r, n);
    for (int last = n; last > 1; --last) {
        double t = a[0];
        a[0] = a[last - 1];
        a[last - 1] = t;
        sift(1, last - 1);
    }
}

}  // namespace gwr
