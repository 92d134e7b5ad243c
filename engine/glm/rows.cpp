// The reweighting passes of a local logistic or Poisson fit over its
// neighbours packed side by side.
//
// Before the first pass, the design rows, responses, offsets, kernel
// weights and starting working responses of the visited observations are
// copied into the work object's packed tables, in visiting (ascending)
// order.  Every pass then reads them in order instead of gathering from
// the n-long columns, and forms the working weights and responses of a
// block of observations (elementwise, so the compiler may use vector
// instructions) just before the block's cross products use them.
//
// Each value is formed by the same operations as in reweight() and each
// sum of X'WX and X'Wz is added in observation order with the same terms
// as weighted_products(), passing over observations of working weight 0,
// so the estimates are the bits of the unpacked passes on every path.
#include <algorithm>
#include <cmath>

#include "gaussian/gaussian.h"
#include "gaussian/vexp.h"
#include "glm/glm_internal.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define TZM_ROWS_VECTOR 1
#endif

namespace gwr::glm_detail {

namespace {

// Observations per block of a pass: the block's working weights stay in
// the first level cache until its cross products have read them.
constexpr int rblock = 256;

struct block_args {
    const int* idx;     // observation of each packed entry, or null (entry t is observation first + t)
    int first;          // without idx: the observation of the block's first entry
    const double* eta;  // linear predictor by observation
    const double* ex;   // e^eta by observation
    const double* y;    // packed response
    const double* o;    // packed offsets (Poisson)
    const double* kw;   // packed kernel weights
    double* z;          // packed working response: the previous one in, the new one out
    double* ww;         // working weights of the block, out
    int m;              // entries of the block
};

// The block's linear predictors and e^eta, gathered in order (the
// elementwise loops below then read contiguous values).
TZM_ELEMENTWISE inline void gather(const block_args& a, double* __restrict ge, double* __restrict gx) {
    if (a.idx) {
        for (int t = 0; t < a.m; ++t) {
            const int j = a.idx[t];
            ge[t] = a.eta[j];
            gx[t] = a.ex[j];
        }
    } else {
        for (int t = 0; t < a.m; ++t) {
            ge[t] = a.eta[a.first + t];
            gx[t] = a.ex[a.first + t];
        }
    }
}

// New working weights and responses of a block, as reweight() forms them:
// kernel weight 0 gives working weight 0 and keeps the working response.
TZM_ELEMENTWISE inline void poisson_block(const block_args& a) {
    double ge[rblock], gx[rblock];
    gather(a, ge, gx);
    const double* __restrict y = a.y;
    const double* __restrict o = a.o;
    const double* __restrict kw = a.kw;
    double* __restrict z = a.z;
    double* __restrict ww = a.ww;
    for (int t = 0; t < a.m; ++t) {
        const double mu = o[t] * gx[t];
        // Both sides are formed, then one is chosen (a vector blend).
        const double zn = ge[t] + (y[t] - mu) / mu;
        const bool keep = kw[t] == 0.0 || mu == 0.0;
        ww[t] = kw[t] == 0.0 ? 0.0 : mu * kw[t];
        z[t] = keep ? z[t] : zn;
    }
}

TZM_ELEMENTWISE inline void logistic_block(const block_args& a) {
    double ge[rblock], gx[rblock];
    gather(a, ge, gx);
    const double* __restrict y = a.y;
    const double* __restrict kw = a.kw;
    double* __restrict z = a.z;
    double* __restrict ww = a.ww;
    for (int t = 0; t < a.m; ++t) {
        const double x = gx[t];
        const double p = std::isinf(x) ? 1.0 : x / (1.0 + x);
        const double v = p * (1.0 - p);
        const double zn = ge[t] + (y[t] - p) / v;
        const bool keep = kw[t] == 0.0 || p == 1.0 || p == 0.0;
        ww[t] = kw[t] == 0.0 ? 0.0 : v * kw[t];
        z[t] = keep ? z[t] : zn;
    }
}

TZM_VECTOR_CLONE void poisson_block_any(const block_args& a) { poisson_block(a); }
TZM_VECTOR_CLONE void logistic_block_any(const block_args& a) { logistic_block(a); }
#ifdef TZM_ROWS_VECTOR
TZM_VECTOR_CLONE __attribute__((target("avx2"))) void poisson_block_avx2(const block_args& a) { poisson_block(a); }
TZM_VECTOR_CLONE __attribute__((target("avx2"))) void logistic_block_avx2(const block_args& a) { logistic_block(a); }
TZM_VECTOR_CLONE __attribute__((target("avx512f,avx512dq"))) void poisson_block_avx512(const block_args& a) {
    poisson_block(a);
}
TZM_VECTOR_CLONE __attribute__((target("avx512f,avx512dq"))) void logistic_block_avx512(const block_args& a) {
    logistic_block(a);
}
#endif

// The block of a's observations that starts at entry t0 of cnt.
block_args block_at(const block_args& a, int t0, int cnt) {
    block_args b = a;
    b.m = std::min(rblock, cnt - t0);
    if (b.idx)
        b.idx += t0;
    else
        b.first = t0;
    b.y += t0, b.o += t0, b.kw += t0, b.z += t0;
    return b;
}

void reweight_block(bool logit, vector_isa path, const block_args& a) {
#ifdef TZM_ROWS_VECTOR
    switch (path) {
        case vector_isa::avx512: logit ? logistic_block_avx512(a) : poisson_block_avx512(a); return;
        case vector_isa::avx2: logit ? logistic_block_avx2(a) : poisson_block_avx2(a); return;
        case vector_isa::scalar: break;
    }
#else
    (void)path;
#endif
    logit ? logistic_block_any(a) : poisson_block_any(a);
}

// Sums of X'WX (entries (m, k), m >= k, at a[m K + k]) and X'Wz (b) over
// the m packed rows X (K values each) of a block, in order, passing over
// rows of weight 0: each term (x_k x_m) w, (x_k z) w as in
// weighted_products().
template <int KF>
#if defined(__GNUC__) && !defined(__clang__)
__attribute__((optimize("no-tree-slp-vectorize")))
#endif
void block_products(int Kd, const double* X, const double* z, const double* ww, int m, double* a, double* b) {
    constexpr bool fixed = KF > 0;
    const int K = fixed ? KF : Kd;
    for (int t = 0; t < m; ++t) {
        const double wj = ww[t];
        if (wj == 0.0) continue;
        const double* x = X + static_cast<std::size_t>(t) * K;
        const double zj = z[t];
#pragma GCC unroll 8
        for (int k = 0; k < K; ++k) {
            const double xk = x[k];
#pragma GCC unroll 8
            for (int q = k; q < K; ++q) a[q * K + k] += (xk * x[q]) * wj;
            b[k] += (xk * zj) * wj;
        }
    }
}

void block_products(int K, const double* X, const double* z, const double* ww, int m, double* a, double* b) {
    switch (K) {
        case 1: block_products<1>(K, X, z, ww, m, a, b); break;
        case 2: block_products<2>(K, X, z, ww, m, a, b); break;
        case 3: block_products<3>(K, X, z, ww, m, a, b); break;
        case 4: block_products<4>(K, X, z, ww, m, a, b); break;
        default: block_products<0>(K, X, z, ww, m, a, b); break;
    }
}

#ifdef TZM_ROWS_VECTOR
// The same sums with AVX-512 for K <= 7: the row and its working response
// make one register e = (x_0..x_{K-1}, z); each group of eight terms is
// the product of two permutations of e, times the weight, added to its own
// register of sums.  Every lane adds the scalar routine's terms in the same
// order, so the sums are its bits.
struct term_plan {
    int groups = 0;        // registers of eight terms
    int K = 0;
    __m512i lhs[5], rhs[5];  // the factors' places in e of each term
    int place[5][8];         // where each term's sum goes: a[...] (>= 0), b[k] as -1 - k, or unused (-100)
};

__attribute__((target("avx512f,avx512dq"))) term_plan make_plan(int K) {
    term_plan p;
    p.K = K;
    long long l[40], r[40];
    int dest[40];
    int T = 0;
    for (int k = 0; k < K; ++k) {
        for (int q = k; q < K; ++q) l[T] = k, r[T] = q, dest[T++] = q * K + k;
        l[T] = k, r[T] = K, dest[T++] = -1 - k;
    }
    p.groups = (T + 7) / 8;
    for (int g = 0; g < p.groups; ++g) {
        long long lg[8], rg[8];
        for (int q = 0; q < 8; ++q) {
            const int t = g * 8 + q;
            lg[q] = t < T ? l[t] : 0;
            rg[q] = t < T ? r[t] : 0;
            p.place[g][q] = t < T ? dest[t] : -100;
        }
        p.lhs[g] = _mm512_loadu_si512(lg);
        p.rhs[g] = _mm512_loadu_si512(rg);
    }
    return p;
}

template <int G>
__attribute__((target("avx512f,avx512dq"))) void block_products_avx512(const term_plan& p, const double* X,
                                                                       const double* z, const double* ww, int m,
                                                                       __m512d* acc) {
    const int K = p.K;
    const __mmask8 rowmask = static_cast<__mmask8>((1u << K) - 1u);
    const __mmask8 zmask = static_cast<__mmask8>(1u << K);
    __m512d s[G];
    for (int g = 0; g < G; ++g) s[g] = acc[g];
    for (int t = 0; t < m; ++t) {
        const double wj = ww[t];
        if (wj == 0.0) continue;
        __m512d e = _mm512_maskz_loadu_pd(rowmask, X + static_cast<std::size_t>(t) * K);
        e = _mm512_mask_broadcastsd_pd(e, zmask, _mm_load_sd(z + t));
        const __m512d w = _mm512_set1_pd(wj);
        for (int g = 0; g < G; ++g) {
            // (The zero-masking form: the plain one trips a false warning
            // of the compiler's own header.)
            const __m512d f = _mm512_mul_pd(_mm512_maskz_permutexvar_pd(0xFF, p.lhs[g], e),
                                            _mm512_maskz_permutexvar_pd(0xFF, p.rhs[g], e));
            s[g] = _mm512_add_pd(s[g], _mm512_mul_pd(f, w));
        }
    }
    for (int g = 0; g < G; ++g) acc[g] = s[g];
}

__attribute__((target("avx512f,avx512dq"))) void block_products_avx512(const term_plan& p, const double* X,
                                                                       const double* z, const double* ww, int m,
                                                                       __m512d* acc) {
    switch (p.groups) {
        case 1: block_products_avx512<1>(p, X, z, ww, m, acc); break;
        case 2: block_products_avx512<2>(p, X, z, ww, m, acc); break;
        case 3: block_products_avx512<3>(p, X, z, ww, m, acc); break;
        case 4: block_products_avx512<4>(p, X, z, ww, m, acc); break;
        default: block_products_avx512<5>(p, X, z, ww, m, acc); break;
    }
}

__attribute__((target("avx512f,avx512dq"))) void reweighted_sums_avx512(const state& s, work& w, bool logit,
                                                                        const block_args& a, int cnt, double* A,
                                                                        double* bz) {
    const int K = s.run().K;
    const term_plan p = make_plan(K);
    __m512d acc[5];
    for (int g = 0; g < 5; ++g) acc[g] = _mm512_setzero_pd();
    const double* X = w.prow.data();
    for (int t0 = 0; t0 < cnt; t0 += rblock) {
        const block_args b = block_at(a, t0, cnt);
        reweight_block(logit, vector_isa::avx512, b);
        block_products_avx512(p, X + static_cast<std::size_t>(t0) * K, b.z, b.ww, b.m, acc);
    }
    double lanes[40];
    for (int g = 0; g < p.groups; ++g) _mm512_storeu_pd(lanes + 8 * g, acc[g]);
    for (int g = 0; g < p.groups; ++g)
        for (int q = 0; q < 8; ++q) {
            const int d = p.place[g][q];
            if (d >= 0)
                A[d] = lanes[8 * g + q];
            else if (d > -100)
                bz[-1 - d] = lanes[8 * g + q];
        }
}
#endif

}  // namespace

void pack_rows(const state& s, work& w, visit v, const double* z0) {
    const int K = s.run().K;
    const dmat& xm = s.struc1.xmat;
    const std::size_t ldx = static_cast<std::size_t>(xm.rows);
    const double* X = xm.a.data();
    const double* y = s.struc2.ydep.data();
    const double* o = s.glm3.offset.data();
    const bool logit = s.run().method == analysis::logistic;
    double* row = w.prow.data();
    for (int t = 0; t < v.cnt; ++t) {
        const int j = v[t];
        for (int k = 0; k < K; ++k) row[static_cast<std::size_t>(t) * K + k] = X[k * ldx + j];
        w.py[t] = y[j];
        w.po[t] = logit ? 0.0 : o[j];
        w.pkw[t] = w.kwt[j];
        w.pz[t] = z0[j];
    }
}

void reweighted_products(const state& s, work& w, visit v, const double* eta, const double* ex, double* A,
                         double* bz) {
    const int K = s.run().K;
    const bool logit = s.run().method == analysis::logistic;
    const vector_isa path = s.vector_loops ? vector_path(s.vector_cap) : vector_isa::scalar;
    block_args a{v.idx, 0, eta, ex, w.py.data(), w.po.data(), w.pkw.data(), w.pz.data(), w.pww.data(), 0};
#ifdef TZM_ROWS_VECTOR
    if (path == vector_isa::avx512 && K <= 7) {
        reweighted_sums_avx512(s, w, logit, a, v.cnt, A, bz);
    } else
#endif
    {
        for (int q = 0; q < K * K; ++q) A[q] = 0.0;
        for (int k = 0; k < K; ++k) bz[k] = 0.0;
        const double* X = w.prow.data();
        for (int t0 = 0; t0 < v.cnt; t0 += rblock) {
            const block_args b = block_at(a, t0, v.cnt);
            reweight_block(logit, path, b);
            block_products(K, X + static_cast<std::size_t>(t0) * K, b.z, b.ww, b.m, A, bz);
        }
    }
    for (int k = 0; k < K; ++k)
        for (int q = k + 1; q < K; ++q) A[k * K + q] = A[q * K + k];
}

}  // namespace gwr::glm_detail
