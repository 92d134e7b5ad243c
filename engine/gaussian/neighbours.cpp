#include "gaussian/neighbours.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "gaussian/gaussian.h"

namespace gwr {

namespace {

// Points are put in cells by rounded arithmetic: the distances a search
// relies on are shrunk by this share of a cell, so that an observation
// placed in a neighbouring cell by rounding is never overlooked.
constexpr double cell_margin = 1e-6;

// Squared distance exactly as the full scan forms it.
inline double plane_dsq(double xo, double yo, double x, double y) {
    const double dx = xo - x;
    const double dy = yo - y;
    return dx * dx + dy * dy;
}

// Clears the previous location's weights: only the listed entries can be
// non-zero when the vector is sparse.
void clear_weights(work& w, int n) {
    double* wt = w.wt.data();
    if (w.wtsparse) {
        for (int t = 0; t < w.nnbr; ++t) wt[w.nbr[t]] = 0.0;
    } else {
        std::fill(wt, wt + n, 0.0);
        w.wtsparse = true;
    }
    w.nnbr = 0;
}

// Lists the marked observations in ascending order into w.nbr and clears
// the marks; words lo..hi of the bit set may hold marks.
void list_marked(work& w, int lo, int hi) {
    std::uint64_t* mk = w.mark.data();
    int c = 0;
    for (int q = lo; q <= hi; ++q) {
        std::uint64_t bits = mk[q];
        if (!bits) continue;
        mk[q] = 0;
        while (bits) {
            const int b = __builtin_ctzll(bits);
            w.nbr[c++] = q * 64 + b;
            bits &= bits - 1;
        }
    }
    w.nnbr = c;
}

// Cells a0..a1 by b0..b1 of the block that reaches beyond the disc of
// radius h around (x, y) by one cell on each side, clamped to the grid (a
// location that is not a number gives cell 0).
void disc_block(const nbgrid& g, double x, double y, double h, int& a0, int& a1, int& b0,
                int& b1) {
    auto clampx = [&](double f) { return !(f > 0.0) ? 0 : f > g.nx - 1 ? g.nx - 1 : static_cast<int>(f); };
    auto clampy = [&](double f) { return !(f > 0.0) ? 0 : f > g.ny - 1 ? g.ny - 1 : static_cast<int>(f); };
    a0 = clampx(std::floor((x - h - g.x0) / g.cs) - 1.0);
    a1 = clampx(std::floor((x + h - g.x0) / g.cs) + 1.0);
    b0 = clampy(std::floor((y - h - g.y0) / g.cs) - 1.0);
    b1 = clampy(std::floor((y + h - g.y0) / g.cs) + 1.0);
}

// Distance beyond which the Gaussian weight is exactly 0: exp(-t) is 0 for
// t >= 746 (its true value is below half the smallest subnormal number);
// widened a little against rounding.
double gauss_reach(double twoh2) { return std::sqrt(746.0 * twoh2) * (1.0 + 1e-6); }

}  // namespace

bool grid_pays(const state& s, const nbgrid& g, double x, double y, double bw) {
    if (s.option.kershp == 2) return true;
    if (!std::isfinite(x) || !std::isfinite(y)) return false;
    double h;
    if (s.option.kershp == 1) {
        const double twoh2 = 2.0 * (bw * bw);
        h = gauss_reach(twoh2);
        if (twoh2 == 0.0 || !std::isfinite(h)) return false;
    } else {
        if (!std::isfinite(bw * bw)) return false;
        h = std::fabs(bw);
    }
    int a0, a1, b0, b1;
    disc_block(g, x, y, h, a0, a1, b0, b1);
    return a0 > 0 || b0 > 0 || a1 < g.nx - 1 || b1 < g.ny - 1;
}

int nbgrid::cellx(double x) const {
    const double f = std::floor((x - x0) / cs);
    if (!(f > 0.0)) return 0;
    return f >= nx - 1 ? nx - 1 : static_cast<int>(f);
}

int nbgrid::celly(double y) const {
    const double f = std::floor((y - y0) / cs);
    if (!(f > 0.0)) return 0;
    return f >= ny - 1 ? ny - 1 : static_cast<int>(f);
}

std::shared_ptr<const nbgrid> build_nbgrid(const state& s, int minobs) {
    const int n = s.option.nobs;
    if (s.option.isph != 0) return nullptr;
    if (s.option.kershp < 1 || s.option.kershp > 3) return nullptr;
    if (n < std::max(minobs, 1)) return nullptr;
    if (s.option.kershp == 1) {
        // The Gaussian weight exp(-d^2 / 2h^2) times the observation weight
        // is 0 exactly where the exponential underflows; those observations
        // can be passed over only when every observation weight is positive
        // and finite (a negative one would make the zero negative).
        for (int j = 0; j < n; ++j)
            if (!(s.fit6.obswt[j] > 0.0) || !std::isfinite(s.fit6.obswt[j])) return nullptr;
    }
    const double* xo = s.struc2.xobs.data();
    const double* yo = s.struc2.yobs.data();
    double xmin = xo[0], xmax = xo[0], ymin = yo[0], ymax = yo[0];
    for (int j = 0; j < n; ++j) {
        if (!std::isfinite(xo[j]) || !std::isfinite(yo[j])) return nullptr;
        xmin = std::min(xmin, xo[j]);
        xmax = std::max(xmax, xo[j]);
        ymin = std::min(ymin, yo[j]);
        ymax = std::max(ymax, yo[j]);
    }
    const double ex = xmax - xmin, ey = ymax - ymin;
    // About two observations per cell.
    double cs = ex > 0.0 && ey > 0.0 ? std::sqrt(ex * ey * 2.0 / n) : std::max(ex, ey) * 2.0 / n;
    const double mag = std::max({std::fabs(xmin), std::fabs(xmax), std::fabs(ymin), std::fabs(ymax)});
    if (!(cs > 0.0) || !std::isfinite(cs) || cs < mag * 1e-9) return nullptr;
    auto g = std::make_shared<nbgrid>();
    g->x0 = xmin;
    g->y0 = ymin;
    g->cs = cs;
    const double cap = 4.0 * n + 16.0;
    g->nx = static_cast<int>(std::min(std::floor(ex / cs) + 1.0, cap));
    g->ny = static_cast<int>(std::min(std::floor(ey / cs) + 1.0, cap));
    if (static_cast<double>(g->nx) * g->ny > cap) return nullptr;
    const int cells = g->nx * g->ny;
    g->start.assign(static_cast<std::size_t>(cells) + 1, 0);
    g->idx.resize(n);
    std::vector<int> cellof(n);
    for (int j = 0; j < n; ++j) {
        cellof[j] = g->celly(yo[j]) * g->nx + g->cellx(xo[j]);
        ++g->start[cellof[j] + 1];
    }
    for (int c = 0; c < cells; ++c) g->start[c + 1] += g->start[c];
    std::vector<int> fill(g->start.begin(), g->start.end() - 1);
    for (int j = 0; j < n; ++j) g->idx[fill[cellof[j]]++] = j;
    g->gx.resize(n);
    g->gy.resize(n);
    for (int p = 0; p < n; ++p) {
        g->gx[p] = xo[g->idx[p]];
        g->gy[p] = yo[g->idx[p]];
    }
    return g;
}

void genwgt_grid(const state& s, const nbgrid& g, work& w, double x, double y, double bw) {
    const int n = s.option.nobs;
    const double* xo = s.struc2.xobs.data();
    const double* yo = s.struc2.yobs.data();
    double* wt = w.wt.data();
    int* cand = w.cand.data();
    double* cd = w.candd.data();
    clear_weights(w, n);

    const double fx = (x - g.x0) / g.cs, fy = (y - g.y0) / g.cs;
    const int ci = g.cellx(x), cj = g.celly(y);
    int nc = 0;
    // Measures every observation of cells a0..a1 of row b (consecutive in
    // the index).
    auto takerow = [&](int b, int a0, int a1) {
        const double* gx = g.gx.data();
        const double* gy = g.gy.data();
        const int* gi = g.idx.data();
        const int p0 = g.start[b * g.nx + a0], p1 = g.start[b * g.nx + a1 + 1];
        int* cq = cand + nc;
        double* dq = cd + nc;
        for (int p = p0; p < p1; ++p) {
            cq[p - p0] = gi[p];
            dq[p - p0] = plane_dsq(gx[p], gy[p], x, y);
        }
        nc += p1 - p0;
    };
    auto take = [&](int a, int b) { takerow(b, a, a); };
    int qlo = std::numeric_limits<int>::max(), qhi = -1;
    auto mark = [&](int j) {
        const int q = j >> 6;
        w.mark[q] |= std::uint64_t{1} << (j & 63);
        qlo = std::min(qlo, q);
        qhi = std::max(qhi, q);
    };

    // Measures the cells of the block reaching beyond the disc of radius h
    // around the location by one cell on each side.
    auto takedisc = [&](double h) {
        int a0, a1, b0, b1;
        disc_block(g, x, y, h, a0, a1, b0, b1);
        for (int b = b0; b <= b1; ++b) takerow(b, a0, a1);
    };

    if (s.option.kershp == 1) {
        // Fixed Gaussian: beyond its reach every weight is exactly 0.
        // Inside, the weights are formed as in the full scan.
        const double twoh2 = 2.0 * (bw * bw);
        const double* ow = s.fit6.obswt.data();
        const double reach = gauss_reach(twoh2);
        if (twoh2 == 0.0 || !std::isfinite(reach) || !std::isfinite(x) || !std::isfinite(y)) {
            // Nothing to cut (the full scan's special cases, or a location
            // that is not a finite point, whose weights are all not a
            // number or all 0): measure all.
            for (int j = 0; j < n; ++j) cand[j] = j, cd[j] = plane_dsq(xo[j], yo[j], x, y);
            nc = n;
        } else {
            takedisc(reach);
        }
        for (int t = 0; t < nc; ++t) {
            const int j = cand[t];
            const double v = twoh2 == 0.0 ? (cd[t] == 0.0 ? ow[j] : 0.0) : gauss_weight(-cd[t] / twoh2, ow[j]);
            wt[j] = v;
            if (v != 0.0) mark(j);
        }
        if (qhi >= 0) list_marked(w, qlo, qhi);
        return;
    }

    if (s.option.kershp == 3) {
        // Cylinder: every observation within the bandwidth, boundary
        // included; the block reaches a cell beyond the circle on each side.
        const double h2 = bw * bw;
        if (!std::isfinite(h2)) {
            // No finite radius to search: measure everything.
            for (int j = 0; j < n; ++j) cand[j] = j, cd[j] = plane_dsq(xo[j], yo[j], x, y);
            nc = n;
        } else {
            takedisc(std::fabs(bw));
        }
        for (int t = 0; t < nc; ++t) {
            if (cd[t] <= h2) {
                wt[cand[t]] = 1.0;
                mark(cand[t]);
            }
        }
        if (qhi >= 0) list_marked(w, qlo, qhi);
        return;
    }

    // Adaptive bi-square.
    const int nn = s.fit5.nnear;
    if (nn < 1) return;  // no neighbour defines a bandwidth: nothing carries weight
    const int rmax = std::max({ci, g.nx - 1 - ci, cj, g.ny - 1 - cj});
    // Measures the observations of the cells of ring r around (ci, cj).
    auto ring = [&](int r) {
        if (r == 0) {
            take(ci, cj);
            return;
        }
        const int a0 = ci - r, a1 = ci + r, b0 = cj - r, b1 = cj + r;
        const int la = std::max(a0, 0), ha = std::min(a1, g.nx - 1);
        if (b0 >= 0) takerow(b0, la, ha);
        if (b1 <= g.ny - 1) takerow(b1, la, ha);
        const int lb = std::max(b0 + 1, 0), hb = std::min(b1 - 1, g.ny - 1);
        if (a0 >= 0)
            for (int b = lb; b <= hb; ++b) take(a0, b);
        if (a1 <= g.nx - 1)
            for (int b = lb; b <= hb; ++b) take(a1, b);
    };
    // Squared distance within which rings 0..r hold every observation: to
    // the nearest side of the block that has cells beyond it, less the
    // margin, rounded down.
    auto covered = [&](int r) {
        double cover = std::numeric_limits<double>::infinity();
        if (ci - r > 0) cover = std::min(cover, fx - (ci - r));
        if (ci + r < g.nx - 1) cover = std::min(cover, (ci + r + 1) - fx);
        if (cj - r > 0) cover = std::min(cover, fy - (cj - r));
        if (cj + r < g.ny - 1) cover = std::min(cover, (cj + r + 1) - fy);
        cover = (cover - cell_margin) * g.cs;
        return cover > 0.0 ? cover * cover * (1.0 - 1e-12) : 0.0;
    };
    // Rings out to the radius that holds about N observations at the
    // average density, then as many more as needed until at least N
    // measured observations lie within the distance the block is known to
    // cover.  Every observation at or below D (the N-th smallest squared
    // distance of all) is then a candidate, and D is the N-th smallest of
    // the candidates within that distance.
    double* sel = w.dsqwrk.data();
    const double per_cell = static_cast<double>(n) / (static_cast<double>(g.nx) * g.ny);
    int r = static_cast<int>(std::ceil(std::sqrt(nn / (3.14159 * per_cell)))) + 1;
    if (r > rmax) r = rmax;
    {
        // The first block row by row.
        const int la = std::max(ci - r, 0), ha = std::min(ci + r, g.nx - 1);
        const int lb = std::max(cj - r, 0), hb = std::min(cj + r, g.ny - 1);
        for (int b = lb; b <= hb; ++b) takerow(b, la, ha);
    }
    int ns;
    for (;;) {
        if (r >= rmax) {
            std::copy(cd, cd + nc, sel);
            ns = nc;
            break;
        }
        const double lim = covered(r);
        ns = 0;
        for (int t = 0; t < nc; ++t) {
            sel[ns] = cd[t];
            ns += cd[t] <= lim;
        }
        if (ns >= nn) break;
        const int next = std::min(rmax, r + std::max(1, r / 4));
        while (r < next) ring(++r);
    }
    std::nth_element(sel, sel + (nn - 1), sel + ns);
    const double dmax = sel[nn - 1];
    // Without branches: a candidate at or beyond D gets the 0 it already
    // has, and no mark.
    std::uint64_t* mk = w.mark.data();
    int jlo = n, jhi = -1;
    for (int t = 0; t < nc; ++t) {
        const double d = cd[t];
        const int j = cand[t];
        const bool in = d < dmax;
        const double u = 1.0 - d / dmax;
        wt[j] = in ? u * u : 0.0;
        mk[j >> 6] |= static_cast<std::uint64_t>(in) << (j & 63);
        jlo = std::min(jlo, j);
        jhi = std::max(jhi, j);
    }
    if (jhi >= 0) list_marked(w, jlo >> 6, jhi >> 6);
}

nbscope::nbscope(state& s) : s_(s) { s_.nbix = build_nbgrid(s_, s_.nbmin); }

nbscope::~nbscope() {
    s_.nbix.reset();
    s_.ws.nnbr = -1;
    s_.ws.wtsparse = false;
    for (work& w : s_.wpool) {
        w.nnbr = -1;
        w.wtsparse = false;
    }
}

}  // namespace gwr
