// The vector exponential (see vexp.h for the method and its error bound).
#include "gaussian/vexp.h"

#include <cmath>
#include <cstdint>

#include "gaussian/gaussian.h"

#include "gaussian/vexp_lanes.h"

namespace gwr {

namespace {

#ifdef TZM_VEXP_LANES

using namespace vexp_lanes;

__attribute__((target("avx2"))) void vexp_avx2(const double* x, double* y, int n) {
    const exp_table& t = table();
    for (int j0 = 0; j0 < n; j0 += 4) {
        const int nb = n - j0 < 4 ? n - j0 : 4;
        alignas(32) double a[4] = {0.0, 0.0, 0.0, 0.0};
        __m256d xv;
        if (nb == 4) {
            xv = _mm256_loadu_pd(x + j0);
        } else {
            for (int q = 0; q < nb; ++q) a[q] = x[j0 + q];
            xv = _mm256_load_pd(a);
        }
        const __m256d e = exp4(xv, t);
        const int m = inside4(xv);
        if (nb == 4 && m == 15) {
            _mm256_storeu_pd(y + j0, e);
            continue;
        }
        alignas(32) double r[4];
        _mm256_store_pd(a, xv);
        _mm256_store_pd(r, e);
        for (int q = 0; q < nb; ++q) y[j0 + q] = (m >> q & 1) ? r[q] : std::exp(a[q]);
    }
}

__attribute__((target("avx2"))) void gauss_weights_avx2(const double* d, const int* idx, const double* ow,
                                                        double twoh2, double* wt, int n) {
    const exp_table& t = table();
    const __m256d neg = _mm256_set1_pd(-0.0);
    const __m256d h = _mm256_set1_pd(twoh2);
    for (int j0 = 0; j0 < n; j0 += 4) {
        const int nb = n - j0 < 4 ? n - j0 : 4;
        __m256d tv;
        if (nb == 4) {
            tv = _mm256_div_pd(_mm256_xor_pd(_mm256_loadu_pd(d + j0), neg), h);
        } else {
            // The last few through the same exponential.
            alignas(32) double a[4] = {0.0, 0.0, 0.0, 0.0};
            for (int q = 0; q < nb; ++q) a[q] = -d[j0 + q] / twoh2;
            tv = _mm256_load_pd(a);
        }
        const __m256d e = exp4(tv, t);
        const int m = inside4(tv);
        if (!idx && nb == 4 && m == 15) {
            _mm256_storeu_pd(wt + j0, _mm256_mul_pd(e, _mm256_loadu_pd(ow + j0)));
            continue;
        }
        alignas(32) double a[4], r[4];
        _mm256_store_pd(a, tv);
        _mm256_store_pd(r, e);
        for (int q = 0; q < nb; ++q) {
            const int j = idx ? idx[j0 + q] : j0 + q;
            wt[j] = (m >> q & 1) ? r[q] * ow[j] : gauss_weight(a[q], ow[j]);
        }
    }
}

// The same eight at a time (the bits of the AVX2 forms: exp8 is exp4).
__attribute__((target("avx512f,avx512dq"))) void vexp_avx512(const double* x, double* y, int n) {
    const table8 t = load8(table());
    for (int j0 = 0; j0 < n; j0 += 8) {
        const int nb = n - j0 < 8 ? n - j0 : 8;
        const __mmask8 live = static_cast<__mmask8>((1u << nb) - 1u);
        const __m512d xv = _mm512_maskz_loadu_pd(live, x + j0);
        const __m512d e = exp8(xv, t);
        const __mmask8 m = inside8(xv) & live;
        if (m == live) {
            _mm512_mask_storeu_pd(y + j0, live, e);
            continue;
        }
        alignas(64) double a[8], r[8];
        _mm512_store_pd(a, xv);
        _mm512_store_pd(r, e);
        for (int q = 0; q < nb; ++q) y[j0 + q] = (m >> q & 1) ? r[q] : std::exp(a[q]);
    }
}

__attribute__((target("avx512f,avx512dq"))) void gauss_weights_avx512(const double* d, const int* idx,
                                                                      const double* ow, double twoh2, double* wt,
                                                                      int n) {
    const table8 t = load8(table());
    const __m512d neg = _mm512_set1_pd(-0.0);
    const __m512d h = _mm512_set1_pd(twoh2);
    for (int j0 = 0; j0 < n; j0 += 8) {
        const int nb = n - j0 < 8 ? n - j0 : 8;
        const __mmask8 live = static_cast<__mmask8>((1u << nb) - 1u);
        const __m512d tv = _mm512_div_pd(_mm512_xor_pd(_mm512_maskz_loadu_pd(live, d + j0), neg), h);
        const __m512d e = exp8(tv, t);
        const __mmask8 m = inside8(tv) & live;
        if (!idx && m == live) {
            _mm512_mask_storeu_pd(wt + j0, live, _mm512_mul_pd(e, _mm512_maskz_loadu_pd(live, ow + j0)));
            continue;
        }
        alignas(64) double a[8], r[8];
        _mm512_store_pd(a, tv);
        _mm512_store_pd(r, e);
        for (int q = 0; q < nb; ++q) {
            const int j = idx ? idx[j0 + q] : j0 + q;
            wt[j] = (m >> q & 1) ? r[q] * ow[j] : gauss_weight(a[q], ow[j]);
        }
    }
}

#endif

}  // namespace

vector_isa vector_isa_available() {
#ifdef TZM_VEXP_LANES
    static const vector_isa best = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq")
                                       ? vector_isa::avx512
                                   : __builtin_cpu_supports("avx2") ? vector_isa::avx2
                                                                    : vector_isa::scalar;
    return best;
#else
    return vector_isa::scalar;
#endif
}

bool vexp_available() {
#ifdef TZM_VEXP_LANES
    static const bool avx2 = __builtin_cpu_supports("avx2");
    return avx2;
#else
    return false;
#endif
}

void vexp(const double* x, double* y, int n, bool vector) {
#ifdef TZM_VEXP_LANES
    if (vector && vector_isa_available() == vector_isa::avx512) {
        vexp_avx512(x, y, n);
        return;
    }
    if (vector && vexp_available()) {
        vexp_avx2(x, y, n);
        return;
    }
#endif
    for (int j = 0; j < n; ++j) y[j] = std::exp(x[j]);
}

void gauss_weights(const double* d, const int* idx, const double* ow, double twoh2, double* wt, int n,
                   bool vector) {
    gauss_weights(d, idx, ow, twoh2, wt, n, vector ? vector_isa::avx512 : vector_isa::scalar);
}

void gauss_weights(const double* d, const int* idx, const double* ow, double twoh2, double* wt, int n,
                   vector_isa cap) {
#ifdef TZM_VEXP_LANES
    switch (vector_path(cap)) {
        case vector_isa::avx512: gauss_weights_avx512(d, idx, ow, twoh2, wt, n); return;
        case vector_isa::avx2: gauss_weights_avx2(d, idx, ow, twoh2, wt, n); return;
        default: break;
    }
#else
    (void)cap;
#endif
    for (int t = 0; t < n; ++t) {
        const int j = idx ? idx[t] : t;
        wt[j] = gauss_weight(-d[t] / twoh2, ow[j]);
    }
}

}  // namespace gwr
