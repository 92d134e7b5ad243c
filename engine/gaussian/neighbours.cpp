#include "gaussian/neighbours.h"
#include "gaussian/vexp.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "gaussian/distance.h"
#include "gaussian/gaussian.h"

namespace gwr {

namespace {

// Points are put in cells by rounded arithmetic: the distances a search
// relies on are shrunk by this share of a cell, so that an observation
// placed in a neighbouring cell by rounding is never overlooked.
constexpr double cell_margin = 1e-6;

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

// (1 - d/D)^2 of each squared distance d below D, else 0, into u: one
// operation after the other per value, so any vector width gives the same
// bits (each compiled for the widest the processor runs).
__attribute__((target_clones("avx512f", "avx2", "default"))) void bisquare_values(const double* cd, int nc,
                                                                                 double dmax, double* u) {
    for (int t = 0; t < nc; ++t) {
        const double v = 1.0 - cd[t] / dmax;
        u[t] = cd[t] < dmax ? v * v : 0.0;
    }
}

// Adaptive bi-square weights of the nc candidates (observations cand,
// squared distances cd) given D, the N-th smallest squared distance of all
// observations, when every observation below D is a candidate: each
// candidate below D gets (1 - d/D)^2 and a place in the list, every other
// one the 0 it already has; D is kept in w.dmax.  Uses w.dsqwrk.
void bisquare_marks(work& w, int n, const int* cand, const double* cd, int nc, double dmax) {
    w.dmax = dmax;
    double* wt = w.wt.data();
    double* u = w.dsqwrk.data();
    bisquare_values(cd, nc, dmax, u);
    std::uint64_t* mk = w.mark.data();
    int jlo = n, jhi = -1;
    // Without branches: a candidate at or beyond D gets weight 0 and no mark.
    for (int t = 0; t < nc; ++t) {
        const int j = cand[t];
        wt[j] = u[t];
        mk[j >> 6] |= static_cast<std::uint64_t>(cd[t] < dmax) << (j & 63);
        jlo = std::min(jlo, j);
        jhi = std::max(jhi, j);
    }
    if (jhi >= 0) list_marked(w, jlo >> 6, jhi >> 6);
}

// The same once the ns squared distances in sel hold the nn-th smallest of
// all observations: D is selected first (sel, which may be w.dsqwrk, is
// then overwritten).
void bisquare_candidates(work& w, int n, const int* cand, const double* cd, int nc, double* sel, int ns,
                         int nn) {
    std::nth_element(sel, sel + (nn - 1), sel + ns);
    bisquare_marks(w, n, cand, cd, nc, sel[nn - 1]);
}

// Whether an index can serve the run's kernel: one with a cut-off, at
// least `minobs` observations, and for the Gaussian kernel every
// observation weight positive and finite (its weight exp(-d^2 / 2h^2) times
// the observation weight is 0 exactly where the exponential underflows only
// then; a negative observation weight would make that zero negative).
bool index_applies(const state& s, int minobs) {
    const int n = s.run().n;
    const kernel_shape k = s.run().kshape;
    if (k == kernel_shape::unknown) return false;
    if (n < std::max(minobs, 1)) return false;
    if (k == kernel_shape::gaussian)
        for (int j = 0; j < n; ++j)
            if (!(s.fit6.obswt[j] > 0.0) || !std::isfinite(s.fit6.obswt[j])) return false;
    return true;
}

}  // namespace

bool grid_pays(const state& s, const nbgrid& g, double x, double y, double bw) {
    if (s.run().kshape == kernel_shape::bisquare) return true;
    if (!std::isfinite(x) || !std::isfinite(y)) return false;
    double h;
    if (s.run().kshape == kernel_shape::gaussian) {
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
    const int n = s.run().n;
    if (s.run().spherical() || !index_applies(s, minobs)) return nullptr;
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

namespace {

// One search of the planar grid around the location (x, y): the candidates
// measured so far (observations cand[0..nc-1] at squared distances cd) and
// the words of the mark bit set that may hold marks.
struct grid_search {
    const nbgrid& g;
    work& w;
    const double x, y;
    int* const cand;
    double* const cd;
    int nc = 0;
    int qlo = std::numeric_limits<int>::max(), qhi = -1;

    grid_search(const nbgrid& grid, work& wk, double lx, double ly)
        : g(grid), w(wk), x(lx), y(ly), cand(wk.cand.data()), cd(wk.candd.data()) {}

    // Measures every observation of cells a0..a1 of row b (consecutive in
    // the index).
    void takerow(int b, int a0, int a1) {
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
    }
    void take(int a, int b) { takerow(b, a, a); }

    // Measures the cells of the block reaching beyond the disc of radius h
    // around the location by one cell on each side.
    void takedisc(double h) {
        int a0, a1, b0, b1;
        disc_block(g, x, y, h, a0, a1, b0, b1);
        for (int b = b0; b <= b1; ++b) takerow(b, a0, a1);
    }

    // Measures all n observations, in order (no radius to search by).
    void takeall(const state& s, int n) {
        const double* xo = s.struc2.xobs.data();
        const double* yo = s.struc2.yobs.data();
        for (int j = 0; j < n; ++j) cand[j] = j, cd[j] = plane_dsq(xo[j], yo[j], x, y);
        nc = n;
    }

    // Marks observation j as carrying weight.
    void mark(int j) {
        const int q = j >> 6;
        w.mark[q] |= std::uint64_t{1} << (j & 63);
        qlo = std::min(qlo, q);
        qhi = std::max(qhi, q);
    }

    // Lists the marked observations in w.nbr.
    void list() {
        if (qhi >= 0) list_marked(w, qlo, qhi);
    }
};

// Fixed Gaussian: beyond its reach every weight is exactly 0.  Inside, the
// weights are formed as in the full scan.
void gaussian_from_grid(const state& s, grid_search& q, double bw) {
    const int n = s.run().n;
    double* wt = q.w.wt.data();
    const double twoh2 = 2.0 * (bw * bw);
    const double* ow = s.fit6.obswt.data();
    const double reach = gauss_reach(twoh2);
    if (twoh2 == 0.0 || !std::isfinite(reach) || !std::isfinite(q.x) || !std::isfinite(q.y)) {
        // Nothing to cut (the full scan's special cases, or a location
        // that is not a finite point, whose weights are all not a number
        // or all 0): measure all.
        q.takeall(s, n);
    } else {
        q.takedisc(reach);
    }
    if (twoh2 == 0.0)
        for (int t = 0; t < q.nc; ++t) wt[q.cand[t]] = q.cd[t] == 0.0 ? ow[q.cand[t]] : 0.0;
    else
        gauss_weights(q.cd, q.cand, ow, twoh2, wt, q.nc, s.vector_loops);
    for (int t = 0; t < q.nc; ++t)
        if (wt[q.cand[t]] != 0.0) q.mark(q.cand[t]);
    q.list();
}

// Cylinder: every observation within the bandwidth, boundary included; the
// block reaches a cell beyond the circle on each side.
void cylinder_from_grid(const state& s, grid_search& q, double bw) {
    double* wt = q.w.wt.data();
    const double h2 = bw * bw;
    if (!std::isfinite(h2))
        q.takeall(s, s.run().n);  // no finite radius to search: measure everything
    else
        q.takedisc(std::fabs(bw));
    for (int t = 0; t < q.nc; ++t) {
        if (q.cd[t] <= h2) {
            wt[q.cand[t]] = 1.0;
            q.mark(q.cand[t]);
        }
    }
    q.list();
}

// Adaptive bi-square: rings of cells around the location's cell out to the
// radius that holds about N observations at the average density, then as
// many more as needed until at least N measured observations lie within
// the distance the block is known to cover.  Every observation at or below
// D (the N-th smallest squared distance of all) is then a candidate, and D
// is the N-th smallest of the candidates within that distance.
void bisquare_from_grid(const state& s, grid_search& q, bool weights = true) {
    const nbgrid& g = q.g;
    const int n = s.run().n;
    const int nn = s.fit5.nnear;
    if (nn < 1) return;  // no neighbour defines a bandwidth: nothing carries weight
    const double fx = (q.x - g.x0) / g.cs, fy = (q.y - g.y0) / g.cs;
    const int ci = g.cellx(q.x), cj = g.celly(q.y);
    const int rmax = std::max({ci, g.nx - 1 - ci, cj, g.ny - 1 - cj});
    // Measures the observations of the cells of ring r around (ci, cj).
    auto ring = [&](int r) {
        if (r == 0) {
            q.take(ci, cj);
            return;
        }
        const int a0 = ci - r, a1 = ci + r, b0 = cj - r, b1 = cj + r;
        const int la = std::max(a0, 0), ha = std::min(a1, g.nx - 1);
        if (b0 >= 0) q.takerow(b0, la, ha);
        if (b1 <= g.ny - 1) q.takerow(b1, la, ha);
        const int lb = std::max(b0 + 1, 0), hb = std::min(b1 - 1, g.ny - 1);
        if (a0 >= 0)
            for (int b = lb; b <= hb; ++b) q.take(a0, b);
        if (a1 <= g.nx - 1)
            for (int b = lb; b <= hb; ++b) q.take(a1, b);
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
    double* sel = q.w.dsqwrk.data();
    const double per_cell = static_cast<double>(n) / (static_cast<double>(g.nx) * g.ny);
    int r = static_cast<int>(std::ceil(std::sqrt(nn / (3.14159 * per_cell)))) + 1;
    if (r > rmax) r = rmax;
    {
        // The first block row by row.
        const int la = std::max(ci - r, 0), ha = std::min(ci + r, g.nx - 1);
        const int lb = std::max(cj - r, 0), hb = std::min(cj + r, g.ny - 1);
        for (int b = lb; b <= hb; ++b) q.takerow(b, la, ha);
    }
    int ns;
    for (;;) {
        if (r >= rmax) {
            std::copy(q.cd, q.cd + q.nc, sel);
            ns = q.nc;
            break;
        }
        const double lim = covered(r);
        ns = 0;
        for (int t = 0; t < q.nc; ++t) {
            sel[ns] = q.cd[t];
            ns += q.cd[t] <= lim;
        }
        if (ns >= nn) break;
        const int next = std::min(rmax, r + std::max(1, r / 4));
        while (r < next) ring(++r);
    }
    if (weights) {
        bisquare_candidates(q.w, n, q.cand, q.cd, q.nc, sel, ns, nn);
    } else {
        std::nth_element(sel, sel + (nn - 1), sel + ns);
        q.w.dmax = sel[nn - 1];
    }
}

}  // namespace

void genwgt_grid(const state& s, const nbgrid& g, work& w, double x, double y, double bw) {
    clear_weights(w, s.run().n);
    grid_search q(g, w, x, y);
    switch (s.run().kshape) {
        case kernel_shape::gaussian: gaussian_from_grid(s, q, bw); break;
        case kernel_shape::cylinder: cylinder_from_grid(s, q, bw); break;
        default: bisquare_from_grid(s, q); break;
    }
}

double bisquare_dmax_grid(const state& s, const nbgrid& g, work& w, double x, double y) {
    clear_weights(w, s.run().n);
    grid_search q(g, w, x, y);
    w.dmax = 0.0;
    bisquare_from_grid(s, q, false);
    return w.dmax;
}

void bisquare_within_grid(const state& s, const nbgrid& g, work& w, double x, double y, double D) {
    const int n = s.run().n;
    clear_weights(w, n);
    grid_search q(g, w, x, y);
    // The block reaches a cell beyond the disc of radius sqrt(D) on each
    // side, so it holds every observation below D whatever the rounding.
    q.takedisc(std::sqrt(D));
    bisquare_marks(w, n, q.cand, q.cd, q.nc, D);
}

// ---------------------------------------------------------------------
// Spherical coordinates.

namespace {

// Every distance bound taken from a chord is moved by this many kilometres
// (plus a relative 1e-9) against the search: the computed great-circle
// distance can be off by about 2e-4 km (acos is ill-conditioned near 1 and
// -1), and the coincident-points rule puts points up to about 9 m apart at
// distance 0.
constexpr double dist_margin = 0.02;
constexpr double rel_margin = 1e-9;
// Rounding of the unit vectors and of the chords formed from them, in units
// of the sphere's radius: far above the true error (about 1e-15).
constexpr double unit_margin = 1e-12;
// Longitudes beyond this many radians make the difference of two of them
// (which the distance formula takes) lose more than about 1e-9 km.
constexpr double max_lon = 1e6;

// The chord that holds every observation whose computed distance can be at
// most `reach` kilometres, or a value above 2 when that is every
// observation on the sphere.
double reach_chord(double reach) {
    const double theta = (reach * (1.0 + rel_margin) + dist_margin) / earth_radius;
    if (!(theta < 3.14159265358979)) return 3.0;
    return 2.0 * std::sin(0.5 * theta) * (1.0 + rel_margin) + unit_margin;
}

// Squared distance at or below which every observation of computed
// distance that low lies within the chord rho of the location, or -1 when
// no distance is certain (the chord is too short for the margins).
double chord_cover(double rho) {
    const double r = rho - unit_margin;
    if (!(r > 0.0)) return -1.0;
    const double theta = 2.0 * std::asin(std::min(1.0, 0.5 * r));
    const double d = earth_radius * theta * (1.0 - rel_margin) - dist_margin;
    if (!(d > 0.0)) return -1.0;
    return d * d * (1.0 - 1e-12);
}

// Distance from v to the slab [a, b] of one axis (an infinite bound for the
// outer cells, which also hold what the clamping put there), shrunk by a
// millionth of a cell against rounding in the cell of a point.
inline double slab_gap(double v, double a, double b, double shrink) {
    const double g = v < a ? a - v : v > b ? v - b : 0.0;
    return g > shrink ? g - shrink : 0.0;
}

// Euclidean distance from v to the farthest corner of the points' bounding
// box: every point lies within it.
double farthest(const sphgrid& g, const double v[3]) {
    double s = 0.0;
    for (int a = 0; a < 3; ++a) {
        const double d = std::max(std::fabs(v[a] - g.lo[a]), std::fabs(v[a] - g.hi[a]));
        s += d * d;
    }
    return std::sqrt(s) * (1.0 + 1e-12) + unit_margin;
}

// Euclidean distance from v to the points' bounding box (0 inside).
double to_box(const sphgrid& g, const double v[3]) {
    double s = 0.0;
    for (int a = 0; a < 3; ++a) {
        const double d = v[a] < g.lo[a] ? g.lo[a] - v[a] : v[a] > g.hi[a] ? v[a] - g.hi[a] : 0.0;
        s += d * d;
    }
    return std::sqrt(s);
}

// The cells that can hold a point within the chord rho of v, row by row,
// each row cut to the part of the ball it crosses.  Every bound is widened
// by a millionth of a cell (and 1e-7 of rho, for the rounding of a row's
// half-length where the ball barely grazes the row): far above the rounding
// of a point's cell.
struct ball {
    const sphgrid& g;
    const double* v;
    double rho, rho2, wide, shrink;
    int z0, z1, y0, y1;  // rows c1 = y0..y1 of layers c2 = z0..z1

    // `within`: a smaller ball over the same grid whose layers and rows this
    // one's ranges include (the rows themselves grow with rho by monotone
    // arithmetic; the cap's trigonometry need not be monotone).
    ball(const sphgrid& grid, const double* loc, double r, const ball* within = nullptr)
        : g(grid), v(loc), rho(r), rho2(r * r), wide(grid.cs * cell_margin + 1e-7 * r),
          shrink(grid.cs * cell_margin) {
        // The points lie on the unit sphere, so those within the chord rho
        // of v lie in the cap of angle t = 2 asin(rho / 2) around it; along
        // an axis at angle al from v they span [cos(al + t), cos(al - t)],
        // much less than v +- rho along the axis nearest to v (the grid's
        // thin one).  The span is widened by 1e-7 for the rounding of acos
        // near 1.
        const double vn = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
        const double t = 2.0 * std::asin(std::min(1.0, 0.5 * rho));
        auto lohi = [&](int a, int& k0, int& k1) {
            const double c = v[a];
            const double al = std::acos(std::max(-1.0, std::min(1.0, c / vn)));
            const double pi = 3.141592653589793;
            const double s0 = std::max(c - rho, std::cos(std::min(pi, al + t)) - 1e-7);
            const double s1 = std::min(c + rho, std::cos(std::max(0.0, al - t)) + 1e-7);
            const double f0 = std::floor((s0 - wide - g.lo[a]) / g.cs);
            const double f1 = std::floor((s1 + wide - g.lo[a]) / g.cs);
            k0 = f0 < 0.0 ? 0 : f0 > g.nc[a] - 1 ? g.nc[a] : static_cast<int>(f0);
            k1 = f1 > g.nc[a] - 1 ? g.nc[a] - 1 : f1 < 0.0 ? -1 : static_cast<int>(f1);
        };
        lohi(2, z0, z1);
        lohi(1, y0, y1);
        if (within) {
            z0 = std::min(z0, within->z0), z1 = std::max(z1, within->z1);
            y0 = std::min(y0, within->y0), y1 = std::max(y1, within->y1);
        }
    }

    // Distance from v to slab k of axis a (the outer slabs reach to
    // infinity, as the clamping of cells does).
    double gap(int a, int k) const {
        const double inf = std::numeric_limits<double>::infinity();
        const double s0 = k == 0 ? -inf : g.lo[a] + k * g.cs;
        const double s1 = k == g.nc[a] - 1 ? inf : g.lo[a] + (k + 1) * g.cs;
        return slab_gap(v[a], s0, s1, shrink);
    }

    // Cells a0..a1 of row c1 of layer c2 (false when the row misses the
    // ball); rz is rho^2 less the squared gap of the layer.
    bool row(double rz, int c1, int& a0, int& a1) const {
        if (c1 < y0 || c1 > y1) return false;
        const double dy = gap(1, c1);
        const double rem = rz - dy * dy;
        if (rem < 0.0) return false;
        const double half = std::sqrt(rem) + wide;
        const double f0 = std::floor((v[0] - half - g.lo[0]) / g.cs);
        const double f1 = std::floor((v[0] + half - g.lo[0]) / g.cs);
        if (f1 < 0.0 || f0 > g.nc[0] - 1) return false;
        a0 = f0 < 0.0 ? 0 : static_cast<int>(f0);
        a1 = f1 > g.nc[0] - 1 ? g.nc[0] - 1 : static_cast<int>(f1);
        return true;
    }

    double layer(int c2) const {
        if (c2 < z0 || c2 > z1) return -1.0;
        const double dz = gap(2, c2);
        return rho2 - dz * dz;
    }
};

template <class Take>
void ball_rows(const ball& b, const ball* inner, Take& take);

// Takes cells a0..a1 of a row (cell index row + a) less the inner ball's
// cells i0..i1 of that row (none when i0 > i1).  A cell with a grid of its
// own is searched through that grid, with the same balls.
template <class Take>
void segment(const ball& b, const ball* inner, int row, int a0, int a1, int i0, int i1, Take& take) {
    const sphgrid& g = b.g;
    const int* st = g.start.data();
    auto put = [&](int c0, int c1) {  // cells c0..c1 - 1 of the row
        const int p0 = st[row + c0], p1 = st[row + c1];
        if (p1 > p0) take(p0, p1);
    };
    if (g.subs.empty()) {
        if (i0 > i1) {
            put(a0, a1 + 1);
        } else {
            if (i0 > a0) put(a0, i0);
            if (i1 < a1) put(i1 + 1, a1 + 1);
        }
        return;
    }
    int run = a0;  // first cell of the run not yet taken
    for (int a = a0; a <= a1; ++a) {
        const bool old = a >= i0 && a <= i1;
        const int k = g.sub_of[row + a];
        if (!old && k < 0) continue;
        if (a > run) put(run, a);
        run = a + 1;
        if (k < 0) continue;
        const sphgrid& sg = g.subs[k];
        if (old) {
            const ball si(sg, b.v, inner->rho);
            ball_rows(ball(sg, b.v, b.rho, &si), &si, take);
        } else {
            ball_rows(ball(sg, b.v, b.rho), nullptr, take);
        }
    }
    if (a1 >= run) put(run, a1 + 1);
}

// Calls take(p0, p1) for the index ranges of the cells of ball b that are
// not cells of the smaller ball `inner` (null: none; b built `within` it), so
// that a grown ball visits few of the cells the previous ones did.  Every
// cell of a ball lies in the next one; where a rounding put a cell in one
// ball and not in a later inner one, the caller skips observations it has
// measured.
template <class Take>
void ball_rows(const ball& b, const ball* inner, Take& take) {
    const sphgrid& g = b.g;
    const int* st = g.start.data();
    for (int c2 = b.z0; c2 <= b.z1; ++c2) {
        const double rz = b.layer(c2);
        if (rz < 0.0) continue;
        const double iz = inner ? inner->layer(c2) : -1.0;
        for (int c1 = b.y0; c1 <= b.y1; ++c1) {
            const int row = (c2 * g.nc[1] + c1) * g.nc[0];
            if (st[row] == st[row + g.nc[0]]) continue;  // an empty row
            int a0, a1;
            if (!b.row(rz, c1, a0, a1)) continue;
            int i0 = 1, i1 = 0;
            if (!(iz >= 0.0 && inner->row(iz, c1, i0, i1))) i0 = 1, i1 = 0;
            segment(b, inner, row, a0, a1, i0, i1, take);
        }
    }
}

// The reach in kilometres within which the cylinder or the Gaussian can
// give weight, or a negative value where the kernel has no finite reach to
// search by.
double kernel_reach(const state& s, double bw) {
    if (s.run().kshape == kernel_shape::gaussian) {
        const double twoh2 = 2.0 * (bw * bw);
        const double h = gauss_reach(twoh2);
        if (twoh2 == 0.0 || !std::isfinite(h)) return -1.0;
        return h;
    }
    if (!std::isfinite(bw * bw)) return -1.0;
    return std::fabs(bw);
}

}  // namespace

int sphgrid::cell(int axis, double v) const {
    const double f = std::floor((v - lo[axis]) / cs);
    if (!(f > 0.0)) return 0;
    return f >= nc[axis] - 1 ? nc[axis] - 1 : static_cast<int>(f);
}

void sphgrid::unit(double x, double y, double v[3]) const {
    const double cy = std::cos(y);
    const double u[3] = {cy * std::cos(x), cy * std::sin(x), std::sin(y)};
    for (int a = 0; a < 3; ++a) v[a] = axis[a][0] * u[0] + axis[a][1] * u[1] + axis[a][2] * u[2];
}

namespace {

constexpr int crowd = 48;     // a cell with more observations gets a grid of its own
constexpr int max_depth = 6;  // grids nested at most this deep

// Lays cells over the observations ids[0..m) (ascending), whose grid
// coordinates are r[3j..3j+2], and orders ids by cell, ascending within a
// cell; base is the position of ids[0] in the index.  Crowded cells get
// grids of their own.  False where the points have no extent to divide
// (or cells would be too small for the coordinates' precision).
bool layout(sphgrid& g, const double* r, int* ids, int m, int base, int depth) {
    double ext[3];
    for (int a = 0; a < 3; ++a) {
        g.lo[a] = std::numeric_limits<double>::infinity();
        g.hi[a] = -g.lo[a];
        for (int i = 0; i < m; ++i) {
            const double c = r[3 * static_cast<std::size_t>(ids[i]) + a];
            g.lo[a] = std::min(g.lo[a], c);
            g.hi[a] = std::max(g.hi[a], c);
        }
        ext[a] = g.hi[a] - g.lo[a];
    }
    const double emax = std::max({ext[0], ext[1], ext[2]});
    if (!(emax > 0.0)) return false;  // all points at one place

    // Cells: at most `cap` of them (memory linear in the count of points).
    // The finest grid within the cap is tried first and made coarser until
    // its non-empty cells hold about two observations each; the points lie
    // on a surface, so the count of non-empty cells goes with the inverse
    // square of the cell side.
    const double cap = 8.0 * m + 64.0;
    auto ncells = [&](double cs) {
        double c = 1.0;
        for (int a = 0; a < 3; ++a) c *= std::floor(ext[a] / cs) + 1.0;
        return c;
    };
    double cs = emax / cap;
    while (ncells(cs) > cap) cs *= 1.05;
    if (!(cs >= 1e-11) || !std::isfinite(cs)) return false;
    std::vector<int> cellof(m);
    auto place = [&](double side) {
        g.cs = side;
        for (int a = 0; a < 3; ++a) g.nc[a] = static_cast<int>(std::floor(ext[a] / side) + 1.0);
        for (int i = 0; i < m; ++i) {
            const double* p = &r[3 * static_cast<std::size_t>(ids[i])];
            cellof[i] = (g.cell(2, p[2]) * g.nc[1] + g.cell(1, p[1])) * g.nc[0] + g.cell(0, p[0]);
        }
    };
    std::vector<int> cnt;
    int occupied = 0;
    auto count = [&]() {
        cnt.assign(static_cast<std::size_t>(g.nc[0]) * g.nc[1] * g.nc[2], 0);
        occupied = 0;
        for (int i = 0; i < m; ++i) occupied += cnt[cellof[i]]++ == 0;
    };
    place(cs);
    count();
    for (int pass = 0; pass < 3; ++pass) {
        const double per = static_cast<double>(m) / occupied;
        if (per >= 1.5) break;
        place(cs *= std::sqrt(2.0 / per));
        count();
    }
    g.per_cell = static_cast<double>(m) / occupied;

    const std::size_t cells = cnt.size();
    g.start.assign(cells + 1, base);
    for (std::size_t c = 0; c < cells; ++c) g.start[c + 1] = g.start[c] + cnt[c];
    std::vector<int> sorted(m);
    {
        std::vector<int> fill(g.start.begin(), g.start.end() - 1);
        for (int i = 0; i < m; ++i) sorted[fill[cellof[i]]++ - base] = ids[i];
    }
    std::copy(sorted.begin(), sorted.end(), ids);
    if (depth >= max_depth) return true;
    for (std::size_t c = 0; c < cells; ++c) {
        if (cnt[c] <= crowd) continue;
        sphgrid sub;
        const int off = g.start[c] - base;
        if (!layout(sub, r, ids + off, cnt[c], g.start[c], depth + 1)) continue;
        if (g.sub_of.empty()) g.sub_of.assign(cells, -1);
        g.sub_of[c] = static_cast<int>(g.subs.size());
        g.subs.push_back(std::move(sub));
    }
    return true;
}

}  // namespace

std::shared_ptr<const sphgrid> build_sphgrid(const state& s, int minobs) {
    const int n = s.run().n;
    if (!s.run().spherical() || !index_applies(s, minobs)) return nullptr;
    const double* xo = s.struc2.xobs.data();
    const double* yo = s.struc2.yobs.data();
    std::vector<double> u(3 * static_cast<std::size_t>(n));
    double m[3] = {0.0, 0.0, 0.0};
    for (int j = 0; j < n; ++j) {
        if (!std::isfinite(xo[j]) || !std::isfinite(yo[j]) || std::fabs(xo[j]) > max_lon)
            return nullptr;
        const double cy = std::cos(yo[j]);
        double* p = &u[3 * static_cast<std::size_t>(j)];
        p[0] = cy * std::cos(xo[j]);
        p[1] = cy * std::sin(xo[j]);
        p[2] = std::sin(yo[j]);
        for (int a = 0; a < 3; ++a) m[a] += p[a];
    }
    // A frame whose third axis points at the points' mean direction: a
    // regional set of points then lies in a box that is thin along that
    // axis (its depth is the sagitta of the region), so that few cells of
    // the box are empty.  Distances are the same in any orthonormal frame.
    const double len = std::sqrt(m[0] * m[0] + m[1] * m[1] + m[2] * m[2]);
    if (len > 1e-3 * n) {
        for (double& c : m) c /= len;
    } else {
        m[0] = 0.0, m[1] = 0.0, m[2] = 1.0;  // spread over the globe: any frame
    }
    const double helper[3] = {std::fabs(m[2]) < 0.9 ? 0.0 : 1.0, 0.0, std::fabs(m[2]) < 0.9 ? 1.0 : 0.0};
    double e1[3] = {helper[1] * m[2] - helper[2] * m[1], helper[2] * m[0] - helper[0] * m[2],
                    helper[0] * m[1] - helper[1] * m[0]};
    const double l1 = std::sqrt(e1[0] * e1[0] + e1[1] * e1[1] + e1[2] * e1[2]);
    for (double& c : e1) c /= l1;
    const double e2[3] = {m[1] * e1[2] - m[2] * e1[1], m[2] * e1[0] - m[0] * e1[2],
                          m[0] * e1[1] - m[1] * e1[0]};
    const double* frame[3] = {e1, e2, m};
    double lo[3], hi[3];
    for (int a = 0; a < 3; ++a) lo[a] = std::numeric_limits<double>::infinity(), hi[a] = -lo[a];
    for (int j = 0; j < n; ++j) {
        double* p = &u[3 * static_cast<std::size_t>(j)];
        double r[3];
        for (int a = 0; a < 3; ++a) r[a] = frame[a][0] * p[0] + frame[a][1] * p[1] + frame[a][2] * p[2];
        for (int a = 0; a < 3; ++a) {
            p[a] = r[a];
            lo[a] = std::min(lo[a], r[a]);
            hi[a] = std::max(hi[a], r[a]);
        }
    }
    auto g = std::make_shared<sphgrid>();
    // Longest extent first: rows run along it.
    int comp[3] = {0, 1, 2};
    std::stable_sort(comp, comp + 3, [&](int a, int b) { return hi[a] - lo[a] > hi[b] - lo[b]; });
    std::vector<double> r(3 * static_cast<std::size_t>(n));  // grid coordinates
    for (int a = 0; a < 3; ++a) {
        for (int c = 0; c < 3; ++c) g->axis[a][c] = frame[comp[a]][c];
        for (int j = 0; j < n; ++j) r[3 * static_cast<std::size_t>(j) + a] = u[3 * static_cast<std::size_t>(j) + comp[a]];
    }
    g->idx.resize(n);
    for (int j = 0; j < n; ++j) g->idx[j] = j;
    if (!layout(*g, r.data(), g->idx.data(), n, 0, 0)) return nullptr;
    g->glon.resize(n);
    g->gsin.resize(n);
    g->gcos.resize(n);
    for (int p = 0; p < n; ++p) {
        const int j = g->idx[p];
        g->glon[p] = xo[j];
        g->gsin[p] = std::sin(yo[j]);
        g->gcos[p] = std::cos(yo[j]);
    }
    return g;
}

bool sphgrid_pays(const state& s, const sphgrid& g, double x, double y, double bw) {
    if (!std::isfinite(x) || !std::isfinite(y) || std::fabs(x) > max_lon) return false;
    if (s.run().kshape == kernel_shape::bisquare) return true;
    const double reach = kernel_reach(s, bw);
    if (reach < 0.0) return false;
    const double rho = reach_chord(reach);
    if (rho > 2.0) return false;
    double v[3];
    g.unit(x, y, v);
    return rho < farthest(g, v);
}

namespace {

// One search of the spherical grid around the location of longitude x and
// latitude y (radians, unit vector v in grid-axis order): the candidates
// measured so far (observations cand[0..nc-1] at squared distances cd) and
// the words of the mark bit set that may hold marks.
struct sphere_search {
    const sphgrid& g;
    work& w;
    const double x, sy, cy;  // the location's longitude, sine and cosine of its latitude
    double v[3];
    int* const cand;
    double* const cd;
    int nc = 0;
    int qlo = std::numeric_limits<int>::max(), qhi = -1;

    sphere_search(const sphgrid& grid, work& wk, double lx, double ly)
        : g(grid), w(wk), x(lx), sy(std::sin(ly)), cy(std::cos(ly)), cand(wk.cand.data()), cd(wk.candd.data()) {
        g.unit(lx, ly, v);
    }

    // Measures the observations at index positions p0..p1-1 that are not
    // candidates yet: a measured observation's weight is set to 1 until its
    // final weight is written, so that one is never taken twice, whatever
    // the cells of successive balls (every candidate's weight is written
    // by the kernel).  The `take` of ball_rows.
    void operator()(int p0, int p1) {
        double* wt = w.wt.data();
        const int* gi = g.idx.data();
        const double* glon = g.glon.data();
        const double* gs = g.gsin.data();
        const double* gc = g.gcos.data();
        for (int p = p0; p < p1; ++p) {
            const int j = gi[p];
            if (wt[j] != 0.0) continue;
            wt[j] = 1.0;
            cand[nc] = j;
            cd[nc] = sphere_dsq(glon[p], gs[p], gc[p], x, sy, cy);
            ++nc;
        }
    }

    // Marks observation j as carrying weight.
    void mark(int j) {
        const int q = j >> 6;
        w.mark[q] |= std::uint64_t{1} << (j & 63);
        qlo = std::min(qlo, q);
        qhi = std::max(qhi, q);
    }

    // Lists the marked observations in w.nbr.
    void list() {
        if (qhi >= 0) list_marked(w, qlo, qhi);
    }
};

// The fixed Gaussian and the cylinder: every observation whose computed
// distance can be within the kernel's reach, then the weights of the full
// scan.
void reach_from_sphgrid(const state& s, sphere_search& q, double bw) {
    const int n = s.run().n;
    double* wt = q.w.wt.data();
    const double reach = kernel_reach(s, bw);
    const double rho = reach_chord(reach);
    if (reach < 0.0 || rho > 2.0)
        q(0, n);
    else
        ball_rows(ball(q.g, q.v, rho), nullptr, q);
    if (s.run().kshape == kernel_shape::cylinder) {
        const double h2 = bw * bw;
        for (int t = 0; t < q.nc; ++t) {
            if (q.cd[t] <= h2) {
                wt[q.cand[t]] = 1.0;
                q.mark(q.cand[t]);
            } else {
                wt[q.cand[t]] = 0.0;
            }
        }
    } else {
        const double twoh2 = 2.0 * (bw * bw);
        const double* ow = s.fit6.obswt.data();
        gauss_weights(q.cd, q.cand, ow, twoh2, wt, q.nc, s.vector_loops);
        for (int t = 0; t < q.nc; ++t)
            if (wt[q.cand[t]] != 0.0) q.mark(q.cand[t]);
    }
    q.list();
}

// Adaptive bi-square: balls of growing chord until at least N measured
// observations lie within the distance the ball provably holds; then D, the
// N-th smallest of those, is the N-th smallest of all.
void bisquare_from_sphgrid(const state& s, sphere_search& q) {
    const sphgrid& g = q.g;
    const double* v = q.v;
    const int n = s.run().n;
    const int nn = s.fit5.nnear;
    if (nn < 1) return;  // no neighbour defines a bandwidth: nothing carries weight
    double* sel = q.w.dsqwrk.data();
    const double far = farthest(g, v);
    // A first chord for about N observations at the density of the
    // innermost grid around the location (a cell face holds per_cell of
    // them), from the box's edge when the location lies outside it.
    const sphgrid* inmost = &g;
    for (;;) {
        if (inmost->subs.empty()) break;
        const int c = (inmost->cell(2, v[2]) * inmost->nc[1] + inmost->cell(1, v[1])) * inmost->nc[0] +
                      inmost->cell(0, v[0]);
        if (inmost->sub_of[c] < 0) break;
        inmost = &inmost->subs[inmost->sub_of[c]];
    }
    double rho = to_box(g, v) + inmost->cs * (std::sqrt(nn / (3.14159 * inmost->per_cell)) * 1.1 + 0.5) +
                 2.0 * dist_margin / earth_radius;
    int ns;
    double prev = 0.0;  // chord of the ball measured so far (0: none)
    for (;;) {
        if (rho > 2.0 || rho >= far) {
            // The ball holds every observation.
            q(0, n);
            std::copy(q.cd, q.cd + q.nc, sel);
            ns = q.nc;
            break;
        }
        if (prev > 0.0) {
            const ball inner(g, v, prev);
            ball_rows(ball(g, v, rho, &inner), &inner, q);
        } else {
            ball_rows(ball(g, v, rho), nullptr, q);
        }
        const double lim = chord_cover(rho);
        ns = 0;
        for (int t = 0; t < q.nc; ++t) {
            sel[ns] = q.cd[t];
            ns += q.cd[t] <= lim;
        }
        if (ns >= nn) break;
        // Grow as the count suggests on a surface (at least by a quarter,
        // at most fourfold).
        const double f = ns > 0 ? std::sqrt(static_cast<double>(nn) / ns) * 1.15 : 2.0;
        prev = rho;
        rho *= std::min(4.0, std::max(1.25, f));
    }
    bisquare_candidates(q.w, n, q.cand, q.cd, q.nc, sel, ns, nn);
}

}  // namespace

void genwgt_sphgrid(const state& s, const sphgrid& g, work& w, double x, double y, double bw) {
    clear_weights(w, s.run().n);
    sphere_search q(g, w, x, y);
    const kernel_shape k = s.run().kshape;
    if (k == kernel_shape::gaussian || k == kernel_shape::cylinder)
        reach_from_sphgrid(s, q, bw);
    else
        bisquare_from_sphgrid(s, q);
}

nbscope::nbscope(state& s) : s_(s) {
    s_.nbix = build_nbgrid(s_, s_.nbmin);
    s_.sphix = build_sphgrid(s_, s_.nbmin);
}

nbscope::~nbscope() {
    s_.nbix.reset();
    s_.sphix.reset();
    s_.ws.nnbr = -1;
    s_.ws.wtsparse = false;
    for (work& w : s_.wpool) {
        w.nnbr = -1;
        w.wtsparse = false;
    }
}

}  // namespace gwr
