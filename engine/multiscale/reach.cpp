// The smoother pass of the back-fitting without a neighbour search: the
// distances D_i(N) of every trial size N kept per size, and the sums of
// each location over the observations below its D taken from a grid of the
// points, several locations at once in vector registers.
//
// The sums are those of the search path bit for bit: every location sums
// its observations in ascending order (the order of the search's neighbour
// list), each term formed by the same expressions (the squared distance of
// distance.h, the weight (1 - d/D)^2 of the bi-square, w x_j x_j and
// w x_j r); an observation out of reach adds nothing.  So the result of a
// location is the same whatever the vector width, the grouping of the
// locations or the number of threads.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>

#include "gaussian/distance.h"
#include "gaussian/gaussian.h"
#include "gaussian/neighbours.h"
#include "gaussian/parallel.h"
#include "gaussian/vexp.h"
#include "multiscale/multiscale.h"

#if defined(__x86_64__) && defined(__GNUC__)
#define TZM_REACH_VECTOR 1
#include <immintrin.h>
#endif

namespace gwr {

namespace {

// Cells per side of a tile of locations: about 32 locations (the grid has
// about two points per cell), four groups of eight lanes sharing one list
// of candidates.
constexpr int tile_cells = 4;

// Eight locations side by side: coordinates, D, index (as a double; -1 for
// an unused lane, whose D of 0 takes no observation) and the sums.
struct lanes {
    alignas(64) double x[8], y[8], d[8], id[8];
    alignas(64) double a[8], c[8];
};

// The candidates of a tile in ascending observation order: index, x, y,
// the column and the residual.
struct cands {
    const double *id, *x, *y, *xj, *r;
    int nc;
};

// One location after another, each over the candidates in order.
void sums_scalar(lanes& L, const cands& c, bool loo) {
    for (int l = 0; l < 8; ++l) {
        const double x = L.x[l], y = L.y[l], dmax = L.d[l], id = L.id[l];
        double sa = 0.0, sc = 0.0;
        for (int t = 0; t < c.nc; ++t) {
            const double d = plane_dsq(c.x[t], c.y[t], x, y);
            if (!(d < dmax) || (loo && c.id[t] == id)) continue;
            const double u = 1.0 - d / dmax;
            const double wx = (u * u) * c.xj[t];
            sa += wx * c.xj[t];
            sc += wx * c.r[t];
        }
        L.a[l] = sa;
        L.c[l] = sc;
    }
}

#ifdef TZM_REACH_VECTOR

// Four lanes of two groups (AVX2): a lane out of reach adds +0, which
// leaves its sum as it is (a sum that starts at +0 is never -0).
__attribute__((target("avx2"))) void sums_avx2(lanes& L, const cands& c, bool loo) {
    const __m256d one = _mm256_set1_pd(1.0);
    __m256d x[2], y[2], dm[2], id[2], sa[2], sc[2];
    for (int h = 0; h < 2; ++h) {
        x[h] = _mm256_load_pd(L.x + 4 * h);
        y[h] = _mm256_load_pd(L.y + 4 * h);
        dm[h] = _mm256_load_pd(L.d + 4 * h);
        id[h] = _mm256_load_pd(L.id + 4 * h);
        sa[h] = _mm256_setzero_pd();
        sc[h] = _mm256_setzero_pd();
    }
    for (int t = 0; t < c.nc; ++t) {
        const __m256d cx = _mm256_set1_pd(c.x[t]), cy = _mm256_set1_pd(c.y[t]);
        const __m256d cj = _mm256_set1_pd(c.xj[t]), cr = _mm256_set1_pd(c.r[t]);
        const __m256d ci = _mm256_set1_pd(c.id[t]);
        for (int h = 0; h < 2; ++h) {
            const __m256d dx = _mm256_sub_pd(cx, x[h]);
            const __m256d dy = _mm256_sub_pd(cy, y[h]);
            const __m256d d = _mm256_add_pd(_mm256_mul_pd(dx, dx), _mm256_mul_pd(dy, dy));
            __m256d in = _mm256_cmp_pd(d, dm[h], _CMP_LT_OQ);
            if (loo) in = _mm256_and_pd(in, _mm256_cmp_pd(ci, id[h], _CMP_NEQ_UQ));
            if (_mm256_movemask_pd(in) == 0) continue;
            const __m256d u = _mm256_sub_pd(one, _mm256_div_pd(d, dm[h]));
            const __m256d wx = _mm256_mul_pd(_mm256_mul_pd(u, u), cj);
            sa[h] = _mm256_add_pd(sa[h], _mm256_and_pd(in, _mm256_mul_pd(wx, cj)));
            sc[h] = _mm256_add_pd(sc[h], _mm256_and_pd(in, _mm256_mul_pd(wx, cr)));
        }
    }
    for (int h = 0; h < 2; ++h) {
        _mm256_store_pd(L.a + 4 * h, sa[h]);
        _mm256_store_pd(L.c + 4 * h, sc[h]);
    }
}

// Eight lanes (AVX-512): a lane out of reach keeps its sum (masked add).
__attribute__((target("avx512f,avx512dq"))) void sums_avx512(lanes& L, const cands& c, bool loo) {
    const __m512d one = _mm512_set1_pd(1.0);
    const __m512d x = _mm512_load_pd(L.x), y = _mm512_load_pd(L.y);
    const __m512d dm = _mm512_load_pd(L.d), id = _mm512_load_pd(L.id);
    __m512d sa = _mm512_setzero_pd(), sc = _mm512_setzero_pd();
    for (int t = 0; t < c.nc; ++t) {
        const __m512d dx = _mm512_sub_pd(_mm512_set1_pd(c.x[t]), x);
        const __m512d dy = _mm512_sub_pd(_mm512_set1_pd(c.y[t]), y);
        const __m512d d = _mm512_add_pd(_mm512_mul_pd(dx, dx), _mm512_mul_pd(dy, dy));
        __mmask8 in = _mm512_cmp_pd_mask(d, dm, _CMP_LT_OQ);
        if (loo) in &= _mm512_cmp_pd_mask(_mm512_set1_pd(c.id[t]), id, _CMP_NEQ_UQ);
        if (in == 0) continue;
        const __m512d cj = _mm512_set1_pd(c.xj[t]);
        const __m512d u = _mm512_sub_pd(one, _mm512_div_pd(d, dm));
        const __m512d wx = _mm512_mul_pd(_mm512_mul_pd(u, u), cj);
        sa = _mm512_mask_add_pd(sa, in, sa, _mm512_mul_pd(wx, cj));
        sc = _mm512_mask_add_pd(sc, in, sc, _mm512_mul_pd(wx, _mm512_set1_pd(c.r[t])));
    }
    _mm512_store_pd(L.a, sa);
    _mm512_store_pd(L.c, sc);
}

#endif

void sums(lanes& L, const cands& c, bool loo, vector_isa path) {
#ifdef TZM_REACH_VECTOR
    if (path == vector_isa::avx512) return sums_avx512(L, c, loo);
    if (path == vector_isa::avx2) return sums_avx2(L, c, loo);
#endif
    (void)path;
    sums_scalar(L, c, loo);
}

// The sums of the locations of tile t: the observations of every cell that
// a disc of radius sqrt(D) around one of them can reach (a cell more on
// every side, for the rounding that put points in cells), listed in
// ascending order and gathered into G (5 n values), then the locations
// eight at a time.
void tile_sums(const state& s, const ms_reach& q, int t, const double* dmax, const double* xj, const double* r,
               bool loo, vector_isa path, work& w, double* G, double* a, double* c, double* wii) {
    const nbgrid& g = *q.grid;
    const int n = s.run().n;
    const int p0 = q.start[t], p1 = q.start[t + 1];
    if (p0 == p1) return;
    const double* xo = s.struc2.xobs.data();
    const double* yo = s.struc2.yobs.data();
    const int* loc = q.loc.data();
    double dm = 0.0;
    for (int p = p0; p < p1; ++p) dm = std::max(dm, dmax[loc[p]]);
    // Every observation below D lies within hr of its location (the
    // relative margin covers the rounding of the computed distances).
    const double hr = std::sqrt(dm) * (1.0 + 1e-9);
    const double* bx = &q.box[4 * static_cast<std::size_t>(t)];
    auto clampx = [&](double f) { return !(f > 0.0) ? 0 : f > g.nx - 1 ? g.nx - 1 : static_cast<int>(f); };
    auto clampy = [&](double f) { return !(f > 0.0) ? 0 : f > g.ny - 1 ? g.ny - 1 : static_cast<int>(f); };
    const int b0 = clampy(std::floor((bx[2] - hr - g.y0) / g.cs) - 1.0);
    const int b1 = clampy(std::floor((bx[3] + hr - g.y0) / g.cs) + 1.0);
    std::uint64_t* mk = w.mark.data();
    int qlo = INT_MAX, qhi = -1;
    for (int b = b0; b <= b1; ++b) {
        // The row widened by a cell on each side; its nearest distance in y
        // to the tile's box.
        const double rlo = g.y0 + (b - 1) * g.cs, rhi = g.y0 + (b + 2) * g.cs;
        const double dy = std::max({0.0, rlo - bx[3], bx[2] - rhi});
        if (dy > hr) continue;
        const double hw = std::sqrt(hr * hr - dy * dy);
        const int a0 = clampx(std::floor((bx[0] - hw - g.x0) / g.cs) - 1.0);
        const int a1 = clampx(std::floor((bx[1] + hw - g.x0) / g.cs) + 1.0);
        const int e0 = g.start[b * g.nx + a0], e1 = g.start[b * g.nx + a1 + 1];
        for (int e = e0; e < e1; ++e) {
            const int j = g.idx[e];
            mk[j >> 6] |= std::uint64_t{1} << (j & 63);
            qlo = std::min(qlo, j >> 6);
            qhi = std::max(qhi, j >> 6);
        }
    }
    cands cd{G, G + n, G + 2 * static_cast<std::size_t>(n), G + 3 * static_cast<std::size_t>(n),
             G + 4 * static_cast<std::size_t>(n), 0};
    double* gid = G;
    double* gx = G + n;
    double* gy = G + 2 * static_cast<std::size_t>(n);
    double* gj = G + 3 * static_cast<std::size_t>(n);
    double* gr = G + 4 * static_cast<std::size_t>(n);
    int nc = 0;
    for (int qq = qlo; qq <= qhi; ++qq) {
        std::uint64_t bits = mk[qq];
        if (!bits) continue;
        mk[qq] = 0;
        while (bits) {
            const int j = qq * 64 + __builtin_ctzll(bits);
            bits &= bits - 1;
            gid[nc] = j;
            gx[nc] = xo[j];
            gy[nc] = yo[j];
            gj[nc] = xj[j];
            gr[nc] = r[j];
            ++nc;
        }
    }
    cd.nc = nc;
    lanes L;
    for (int p = p0; p < p1; p += 8) {
        const int nl = std::min(8, p1 - p);
        for (int l = 0; l < 8; ++l) {
            const int i = l < nl ? loc[p + l] : -1;
            L.x[l] = i >= 0 ? xo[i] : 0.0;
            L.y[l] = i >= 0 ? yo[i] : 0.0;
            L.d[l] = i >= 0 ? dmax[i] : 0.0;
            L.id[l] = i;
        }
        sums(L, cd, loo, path);
        for (int l = 0; l < nl; ++l) {
            const int i = loc[p + l];
            a[i] = L.a[l];
            c[i] = L.c[l];
            // The location's own weight, as the kernel forms it.
            const double d = plane_dsq(xo[i], yo[i], xo[i], yo[i]);
            double u = 0.0;
            if (d < dmax[i]) u = 1.0 - d / dmax[i];
            wii[i] = loo || !(d < dmax[i]) ? 0.0 : u * u;
        }
    }
}

}  // namespace

void msreach_init(state& s, ms_reach& q) {
    q = ms_reach{};
    if (s.run().spherical() || s.run().kshape != kernel_shape::bisquare) return;
    q.grid = build_nbgrid(s, 1);
    if (!q.grid) return;
    const nbgrid& g = *q.grid;
    const int n = s.run().n;
    const double* xo = s.struc2.xobs.data();
    const double* yo = s.struc2.yobs.data();
    q.tile = tile_cells;
    const int tx = (g.nx + tile_cells - 1) / tile_cells, ty = (g.ny + tile_cells - 1) / tile_cells;
    const int nt = tx * ty;
    std::vector<int> tof(n);
    q.start.assign(static_cast<std::size_t>(nt) + 1, 0);
    for (int i = 0; i < n; ++i) {
        tof[i] = (g.celly(yo[i]) / tile_cells) * tx + g.cellx(xo[i]) / tile_cells;
        ++q.start[tof[i] + 1];
    }
    for (int t = 0; t < nt; ++t) q.start[t + 1] += q.start[t];
    q.loc.resize(n);
    std::vector<int> fill(q.start.begin(), q.start.end() - 1);
    for (int i = 0; i < n; ++i) q.loc[fill[tof[i]]++] = i;
    q.box.assign(4 * static_cast<std::size_t>(nt), 0.0);
    for (int t = 0; t < nt; ++t) {
        double* bx = &q.box[4 * static_cast<std::size_t>(t)];
        for (int p = q.start[t]; p < q.start[t + 1]; ++p) {
            const int i = q.loc[p];
            if (p == q.start[t]) {
                bx[0] = bx[1] = xo[i];
                bx[2] = bx[3] = yo[i];
            }
            bx[0] = std::min(bx[0], xo[i]);
            bx[1] = std::max(bx[1], xo[i]);
            bx[2] = std::min(bx[2], yo[i]);
            bx[3] = std::max(bx[3], yo[i]);
        }
    }
    q.on = true;
}

const double* msreach_dmax(state& s, ms_reach& q, int nn) {
    ++q.clock;
    for (ms_reach::size_entry& e : q.sizes) {
        if (e.nn == nn) {
            e.used = q.clock;
            ++q.uses;
            return e.dmax.data();
        }
    }
    const int n = s.run().n;
    ms_reach::size_entry* e;
    if (static_cast<int>(q.sizes.size()) < ms_sizes) {
        q.sizes.emplace_back();
        e = &q.sizes.back();
        e->dmax.resize(n);
    } else {
        e = &*std::min_element(q.sizes.begin(), q.sizes.end(),
                               [](const ms_reach::size_entry& u, const ms_reach::size_entry& v) { return u.used < v.used; });
    }
    e->nn = nn;
    e->used = q.clock;
    ++q.fills;
    ++q.uses;
    double* dmax = e->dmax.data();
    if (nn < 1) {
        // No neighbour defines a bandwidth: D = 0 takes no observation.
        std::fill(dmax, dmax + n, 0.0);
        return dmax;
    }
    s.fit5.nnear = nn;
    genwgt_check(s);
    size_pool(s);
    const double* xo = s.struc2.xobs.data();
    const double* yo = s.struc2.yobs.data();
    const nbgrid& g = *q.grid;
#pragma omp parallel
    {
        work& w = thread_work(s, thread_num());
#pragma omp for schedule(dynamic, 16)
        for (int i = 0; i < n; ++i) {
            dmax[i] = bisquare_dmax_grid(s, g, w, xo[i], yo[i]);
        }
    }
    // The weights are a full vector again for the fits that follow (every
    // entry is 0).
    for (int t = 0; t < nthreads(); ++t) {
        work& w = thread_work(s, t);
        w.nnbr = -1;
        w.wtsparse = false;
    }
    return dmax;
}

void mssums(state& s, ms_reach& q, const double* dmax, const double* xj, const double* r, bool loo, double* a,
            double* c, double* wii) {
    const int n = s.run().n;
    size_pool(s);
    const int nt = nthreads();
    if (static_cast<int>(q.gather.size()) < nt) q.gather.resize(nt);
    for (int t = 0; t < nt; ++t)
        if (q.gather[t].size() != 5 * static_cast<std::size_t>(n)) q.gather[t].assign(5 * static_cast<std::size_t>(n), 0.0);
    const vector_isa path = s.vector_loops ? vector_path(s.vector_cap) : vector_isa::scalar;
    const int ntiles = static_cast<int>(q.start.size()) - 1;
#pragma omp parallel
    {
        const int me = thread_num();
        work& w = thread_work(s, me);
        double* G = q.gather[me].data();
#pragma omp for schedule(dynamic, 1)
        for (int t = 0; t < ntiles; ++t) tile_sums(s, q, t, dmax, xj, r, loo, path, w, G, a, c, wii);
    }
}

}  // namespace gwr
