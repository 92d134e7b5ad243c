// Eight fits at once with AVX-512 (see wls.h): the kernel weights formed
// directly in the lanes, then the cross products and variance factors.
#include <algorithm>
#include <cmath>
#include <cstddef>

#include "gaussian/gaussian.h"
#include "gaussian/neighbours.h"
#include "gaussian/vexp.h"
#include "gaussian/vexp_lanes.h"
#include "gaussian/wls.h"

namespace gwr {

int fit_lanes(const state& s, int K) {
    if (!s.vector_loops || !fourfold(K)) return 1;
    switch (vector_path(s.vector_cap)) {
        case vector_isa::avx512: return 8;
        case vector_isa::avx2: return 4;
        default: return 1;
    }
}

bool lane_kernel(const state& s) {
    return s.run().kshape == kernel_shape::gaussian && !s.run().spherical();
}

bool lane_weights(const state& s, double x, double y, double bw) {
    if (!lane_kernel(s) || !(bw > 0.0)) return false;
    if (!(2.0 * (bw * bw) > 0.0)) return false;
    return !(s.nbix && grid_pays(s, *s.nbix, x, y, bw));
}

#ifdef TZM_VEXP_LANES
namespace {

using namespace vexp_lanes;

constexpr double vf_tiny = 1e-20;  // calcse leaves out entries of C X'W at or below this

// Pass 1: the weights of the eight lanes for every observation, in order,
// as genwgt_at forms them (all_dsq's plane distance, -d / 2h^2, the vector
// exponential, times the observation weight; arguments outside [-708, 708]
// through gauss_weight), stored at w8[8j + f]; and at once the cross
// products of weighted_products, the terms of an observation of weight 0
// replaced by +0.  (leave_out: some lane leaves an observation out; count: npos
// wanted.  Without them the loop holds fewer registers.)
template <int KF, bool leave_out, bool count>
__attribute__((target("avx512f,avx512dq"))) void weigh_and_cross(
    const double* xo, const double* yo, const double* ow, const double* lx, const double* ly, const long long* skip,
    __mmask8 live, double twoh2, const double* X, std::size_t ldx, const double* y, int n, double* w8, double* A8,
    double* b8, int* npos) {
    constexpr int np = KF * (KF + 1) / 2 + KF;  // 0: the weights alone
    const table8 t = load8(table());
    const __m512d LX = _mm512_loadu_pd(lx), LY = _mm512_loadu_pd(ly);
    const __m512i sk = _mm512_loadu_si512(skip);
    const __m512d neg = _mm512_set1_pd(-0.0), h = _mm512_set1_pd(twoh2), zero = _mm512_setzero_pd();
    const __m512i one = _mm512_set1_epi64(1);
    __m512i cnt = _mm512_setzero_si512();
    __m512d acc[np > 0 ? np : 1];
    for (int p = 0; p < np; ++p) acc[p] = _mm512_setzero_pd();
    for (int j = 0; j < n; ++j) {
        const __m512d dx = _mm512_sub_pd(_mm512_set1_pd(xo[j]), LX);
        const __m512d dy = _mm512_sub_pd(_mm512_set1_pd(yo[j]), LY);
        const __m512d d = _mm512_add_pd(_mm512_mul_pd(dx, dx), _mm512_mul_pd(dy, dy));
        const __m512d tv = _mm512_div_pd(_mm512_xor_pd(d, neg), h);
        const double oj = ow[j];
        __m512d wv = _mm512_mul_pd(exp8(tv, t), _mm512_set1_pd(oj));
        const __mmask8 out = static_cast<__mmask8>(live & ~inside8(tv));
        if (out) {
            alignas(64) double a[8], r[8];
            _mm512_store_pd(a, tv);
            _mm512_store_pd(r, wv);
            for (int f = 0; f < 8; ++f)
                if (out >> f & 1) r[f] = gauss_weight(a[f], oj);
            wv = _mm512_load_pd(r);
        }
        const __mmask8 keep =
            leave_out ? static_cast<__mmask8>(live & ~_mm512_cmpeq_epi64_mask(sk, _mm512_set1_epi64(j))) : live;
        wv = _mm512_maskz_mov_pd(keep, wv);
        _mm512_storeu_pd(w8 + 8 * static_cast<std::size_t>(j), wv);
        if (count) cnt = _mm512_mask_add_epi64(cnt, _mm512_cmp_pd_mask(wv, zero, _CMP_GT_OQ), cnt, one);
        if (KF == 0) continue;
        const __mmask8 nz = _mm512_cmp_pd_mask(wv, zero, _CMP_NEQ_UQ);
        double x[KF > 0 ? KF : 1];
        for (int k = 0; k < KF; ++k) x[k] = X[k * ldx + j];
        const double yj = y[j];
        int p = 0;
        for (int k = 0; k < KF; ++k)
            for (int m = k; m < KF; ++m, ++p)
                acc[p] = _mm512_add_pd(acc[p], _mm512_maskz_mul_pd(nz, _mm512_set1_pd(x[k] * x[m]), wv));
        for (int k = 0; k < KF; ++k, ++p)
            acc[p] = _mm512_add_pd(acc[p], _mm512_maskz_mul_pd(nz, _mm512_set1_pd(x[k] * yj), wv));
    }
    alignas(64) double l[np > 0 ? np : 1][8];
    for (int p = 0; p < np; ++p) _mm512_store_pd(l[p], acc[p]);
    alignas(64) long long c[8];
    _mm512_store_si512(c, cnt);
    for (int f = 0; f < 8; ++f) {
        double* A = A8 + f * KF * KF;
        int p = 0;
        for (int k = 0; k < KF; ++k)
            for (int m = k; m < KF; ++m, ++p) A[m * KF + k] = A[k * KF + m] = l[p][f];
        for (int k = 0; k < KF; ++k, ++p) b8[f * KF + k] = l[p][f];
        npos[f] = static_cast<int>(c[f]);
    }
}

// Pass 2: the variance factors of calcse for the inverses C8 + f K K.
template <int KF>
__attribute__((target("avx512f,avx512dq"))) void variance_factors8(const double* X, std::size_t ldx,
                                                                   const double* w8, int n, const double* C8,
                                                                   double* v8) {
    __m512d c[KF * KF];
    for (int p = 0; p < KF * KF; ++p) {
        alignas(64) double e[8];
        for (int f = 0; f < 8; ++f) e[f] = C8[f * KF * KF + p];
        c[p] = _mm512_load_pd(e);
    }
    __m512d v[KF];
    for (int k = 0; k < KF; ++k) v[k] = _mm512_setzero_pd();
    const __m512d tiny = _mm512_set1_pd(vf_tiny);
    for (int j = 0; j < n; ++j) {
        const __m512d w = _mm512_loadu_pd(w8 + 8 * static_cast<std::size_t>(j));
        __m512d x[KF];
        for (int m = 0; m < KF; ++m) x[m] = _mm512_set1_pd(X[m * ldx + j]);
        for (int k = 0; k < KF; ++k) {
            __m512d mk = _mm512_setzero_pd();
            for (int m = 0; m < KF; ++m)
                mk = _mm512_add_pd(mk, _mm512_mul_pd(_mm512_mul_pd(c[m * KF + k], x[m]), w));
            const __mmask8 big = _mm512_cmp_pd_mask(_mm512_abs_pd(mk), tiny, _CMP_GT_OQ);
            v[k] = _mm512_add_pd(v[k], _mm512_maskz_mul_pd(big, mk, mk));
        }
    }
    alignas(64) double l[KF][8];
    for (int k = 0; k < KF; ++k) _mm512_store_pd(l[k], v[k]);
    for (int f = 0; f < 8; ++f)
        for (int k = 0; k < KF; ++k) v8[f * KF + k] = l[k][f];
}

// The local r of diag.cpp's local_r (no neighbour list) for the weights
// w8[8j + f] of eight locations: each lane runs the same running means and
// sums over the observations in order, an observation that local_r passes
// over leaving the lane unchanged, and sxy rounded to single precision at
// every step as there.
__attribute__((target("avx512f,avx512dq"))) void local_r8(const double* y, const double* fv, const double* w8,
                                                         int n, double tiny, double* r) {
    __m512d wsum = _mm512_loadu_pd(w8);
    __m512d my = _mm512_set1_pd(y[0]), mf = _mm512_set1_pd(fv[0]);
    __m512d sxy = _mm512_setzero_pd(), syy = _mm512_setzero_pd(), sff = _mm512_setzero_pd();
    __m512d wlast = _mm512_setzero_pd();
    __m512i last = _mm512_setzero_si512();
    const __m512d tv = _mm512_set1_pd(tiny);
    for (int j = 1; j < n; ++j) {
        const __m512d wj = _mm512_loadu_pd(w8 + 8 * static_cast<std::size_t>(j));
        wsum = _mm512_add_pd(wsum, wj);
        const __mmask8 take = _mm512_cmp_pd_mask(wsum, tv, _CMP_GT_OQ) & _mm512_cmp_pd_mask(wj, tv, _CMP_GT_OQ);
        if (!take) continue;
        const __m512d yj = _mm512_set1_pd(y[j]), fj = _mm512_set1_pd(fv[j]);
        const __m512d my1 = _mm512_add_pd(my, _mm512_div_pd(_mm512_mul_pd(wj, _mm512_sub_pd(yj, my)), wsum));
        const __m512d dy = _mm512_sub_pd(yj, my1);
        const __m512d mf1 = _mm512_add_pd(mf, _mm512_div_pd(_mm512_mul_pd(wj, _mm512_sub_pd(fj, mf)), wsum));
        const __m512d df = _mm512_sub_pd(fj, mf1);
        const __m512d wdy = _mm512_mul_pd(wj, dy), wdf = _mm512_mul_pd(wj, df);
        const __m512d sxy1 = _mm512_cvtps_pd(_mm512_cvtpd_ps(_mm512_add_pd(sxy, _mm512_mul_pd(wdy, df))));
        my = _mm512_mask_mov_pd(my, take, my1);
        mf = _mm512_mask_mov_pd(mf, take, mf1);
        sxy = _mm512_mask_mov_pd(sxy, take, sxy1);
        syy = _mm512_mask_mov_pd(syy, take, _mm512_add_pd(syy, _mm512_mul_pd(wdy, dy)));
        sff = _mm512_mask_mov_pd(sff, take, _mm512_add_pd(sff, _mm512_mul_pd(wdf, df)));
        wlast = _mm512_mask_mov_pd(wlast, take, wsum);
        last = _mm512_mask_mov_epi64(last, take, _mm512_set1_epi64(j + 1));
    }
    alignas(64) double a[8], b[8], c[8], wl[8];
    alignas(64) long long l[8];
    _mm512_store_pd(a, sxy);
    _mm512_store_pd(b, syy);
    _mm512_store_pd(c, sff);
    _mm512_store_pd(wl, wlast);
    _mm512_store_si512(l, last);
    for (int f = 0; f < 8; ++f) {
        r[f] = 0.0;
        const int lf = static_cast<int>(l[f]);
        if (lf == 0) continue;
        const float sxy_last = static_cast<float>(a[f]);
        const double v = wl[f] * (lf - 1) / lf;
        if (b[f] / v > 0.0 && c[f] / v > 0.0) r[f] = (sxy_last / v) / std::sqrt((b[f] / v) * (c[f] / v));
    }
}

template <int KF>
void fit_eight_k(const state& s, work& w, const double* lx, const double* ly, const long long* skip, __mmask8 live,
                 int nl, double bw, lane_fits& r) {
    const int n = s.run().n;
    const dmat& xm = s.struc1.xmat;
    const std::size_t ldx = static_cast<std::size_t>(xm.rows);
    const double twoh2 = 2.0 * (bw * bw);
    double* w8 = w.wtl.data();
    bool any = false;
    for (int f = 0; f < 8; ++f) any = any || skip[f] >= 0;
    auto pass = any ? weigh_and_cross<KF, true, true> : weigh_and_cross<KF, false, true>;
    pass(s.struc2.xobs.data(), s.struc2.yobs.data(), s.fit6.obswt.data(), lx, ly, skip, live, twoh2, xm.a.data(), ldx,
         s.struc2.ydep.data(), n, w8, r.A, r.b, r.npos);
    for (int p = 0; p < 8 * KF * KF; ++p) r.C[p] = 0.0;
    for (int f = 0; f < nl; ++f) {
        // As fitcoef: C, then beta = C b.
        double* C = r.C + f * KF * KF;
        r.sing[f] = syminv(r.A + f * KF * KF, KF, C, w);
        for (int k = 0; k < KF; ++k) {
            double sum = 0.0;
            for (int m = 0; m < KF; ++m) sum += C[m * KF + k] * r.b[f * KF + m];
            r.beta[f * KF + k] = sum;
        }
    }
    variance_factors8<KF>(xm.a.data(), ldx, w8, n, r.C, r.v);
}

}  // namespace
#endif

void local_r_eight(const state& s, work& w, const double* lx, const double* ly, int nl, double bw, const double* fitted,
                   double tiny, double* r) {
#ifdef TZM_VEXP_LANES
    alignas(64) double x[8], y[8];
    alignas(64) long long sk[8];
    for (int f = 0; f < 8; ++f) {
        x[f] = lx[f < nl ? f : 0];
        y[f] = ly[f < nl ? f : 0];
        sk[f] = -1;
    }
    const __mmask8 live = static_cast<__mmask8>((1u << nl) - 1u);
    const int n = s.run().n;
    int npos[8];
    weigh_and_cross<0, false, false>(s.struc2.xobs.data(), s.struc2.yobs.data(), s.fit6.obswt.data(), x, y, sk, live,
                       2.0 * (bw * bw), nullptr, 0, nullptr, n, w.wtl.data(), nullptr, nullptr, npos);
    double r8[8];
    if (n >= 1) local_r8(s.struc2.ydep.data(), fitted, w.wtl.data(), n, tiny, r8);
    for (int f = 0; f < nl; ++f) r[f] = n >= 1 ? r8[f] : 0.0;
#else
    (void)s, (void)w, (void)lx, (void)ly, (void)nl, (void)bw, (void)fitted, (void)tiny, (void)r;
#endif
}

void fit_eight(const state& s, work& w, const double* lx, const double* ly, const int* skip, int nl, double bw,
               lane_fits& r) {
#ifdef TZM_VEXP_LANES
    // Unused lanes repeat the first location and are masked out.
    alignas(64) double x[8], y[8];
    alignas(64) long long sk[8];
    for (int f = 0; f < 8; ++f) {
        x[f] = lx[f < nl ? f : 0];
        y[f] = ly[f < nl ? f : 0];
        sk[f] = f < nl && skip ? skip[f] : -1;
    }
    const __mmask8 live = static_cast<__mmask8>((1u << nl) - 1u);
    switch (s.run().K) {
        case 1: fit_eight_k<1>(s, w, x, y, sk, live, nl, bw, r); break;
        case 2: fit_eight_k<2>(s, w, x, y, sk, live, nl, bw, r); break;
        case 3: fit_eight_k<3>(s, w, x, y, sk, live, nl, bw, r); break;
        case 4: fit_eight_k<4>(s, w, x, y, sk, live, nl, bw, r); break;
        default: break;
    }
#else
    (void)s, (void)w, (void)lx, (void)ly, (void)skip, (void)nl, (void)bw, (void)r;
#endif
}

}  // namespace gwr
