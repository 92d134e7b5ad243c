// The vector exponential (see vexp.h for the method and its error bound).
#include "gaussian/vexp.h"

#include <cmath>
#include <cstdint>

#include "gaussian/gaussian.h"

#if defined(__x86_64__) && defined(__GNUC__)
#define TZM_VEXP_AVX2 1
#include <immintrin.h>
#endif

namespace gwr {

namespace {

// Arguments with a normal result on both sides.
constexpr double vlo = -708.0;
constexpr double vhi = 708.0;

#ifdef TZM_VEXP_AVX2

// 2^(j/32) = hi[j] + lo[j], j = 0..31, from the long double exp2l (64-bit
// significand): hi[j] is the nearest double, lo[j] the rest, so the pair
// carries the value to about 2^-63 relative.
struct exp_table {
    alignas(32) double hi[32];
    alignas(32) double lo[32];
    exp_table() {
        for (int j = 0; j < 32; ++j) {
            const long double v = exp2l(static_cast<long double>(j) / 32.0L);
            hi[j] = static_cast<double>(v);
            lo[j] = static_cast<double>(v - static_cast<long double>(hi[j]));
        }
    }
};

const exp_table& table() {
    static const exp_table t;
    return t;
}

constexpr double inv_l = 0x1.71547652b82fep+5;   // 32 / ln 2
constexpr double l1 = 0x1.62e42feep-6;           // ln 2 / 32, its leading 32 bits: k l1 is exact
constexpr double l2 = 0x1.a39ef35793c76p-38;     // the rest of ln 2 / 32
constexpr double shifter = 0x1.8p52;             // adding it rounds to an integer held in the low bits

// exp of four arguments in [vlo, vhi].
__attribute__((target("avx2"))) inline __m256d exp4(__m256d x, const exp_table& t) {
    const __m256d sh = _mm256_set1_pd(shifter);
    __m256d kd = _mm256_add_pd(_mm256_mul_pd(x, _mm256_set1_pd(inv_l)), sh);
    const __m256i k = _mm256_sub_epi64(_mm256_castpd_si256(kd), _mm256_castpd_si256(sh));
    kd = _mm256_sub_pd(kd, sh);
    // r = x - k ln2/32: the first product is exact and the first difference
    // too (Sterbenz), the second product's rounding is below 2^-80.
    const __m256d r = _mm256_sub_pd(_mm256_sub_pd(x, _mm256_mul_pd(kd, _mm256_set1_pd(l1))),
                                    _mm256_mul_pd(kd, _mm256_set1_pd(l2)));
    const __m256i j = _mm256_and_si256(k, _mm256_set1_epi64x(31));
    // 2^m with m = (k - j) / 32: exponent field (m + 1023) << 52.
    const __m256i e = _mm256_add_epi64(_mm256_slli_epi64(_mm256_sub_epi64(k, j), 47),
                                       _mm256_set1_epi64x(static_cast<long long>(1023) << 52));
    const __m256d th = _mm256_i64gather_pd(t.hi, j, 8);
    const __m256d tl = _mm256_i64gather_pd(t.lo, j, 8);
    // p = r + r^2 (1/2 + r (1/6 + r (1/24 + r (1/120 + r/720)))).
    __m256d q = _mm256_set1_pd(1.0 / 720.0);
    q = _mm256_add_pd(_mm256_mul_pd(q, r), _mm256_set1_pd(1.0 / 120.0));
    q = _mm256_add_pd(_mm256_mul_pd(q, r), _mm256_set1_pd(1.0 / 24.0));
    q = _mm256_add_pd(_mm256_mul_pd(q, r), _mm256_set1_pd(1.0 / 6.0));
    q = _mm256_add_pd(_mm256_mul_pd(q, r), _mm256_set1_pd(0.5));
    const __m256d p = _mm256_add_pd(r, _mm256_mul_pd(_mm256_mul_pd(r, r), q));
    const __m256d u = _mm256_add_pd(th, _mm256_add_pd(tl, _mm256_mul_pd(th, p)));
    return _mm256_mul_pd(u, _mm256_castsi256_pd(e));
}

// Lanes of x inside [vlo, vhi] (not-a-number is outside), as 4 bits.
__attribute__((target("avx2"))) inline int inside(__m256d x) {
    const __m256d in = _mm256_and_pd(_mm256_cmp_pd(x, _mm256_set1_pd(vlo), _CMP_GE_OQ),
                                     _mm256_cmp_pd(x, _mm256_set1_pd(vhi), _CMP_LE_OQ));
    return _mm256_movemask_pd(in);
}

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
        const int m = inside(xv);
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
        const int m = inside(tv);
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

#endif

}  // namespace

vector_isa vector_isa_available() {
#ifdef TZM_VEXP_AVX2
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
#ifdef TZM_VEXP_AVX2
    static const bool avx2 = __builtin_cpu_supports("avx2");
    return avx2;
#else
    return false;
#endif
}

void vexp(const double* x, double* y, int n, bool vector) {
#ifdef TZM_VEXP_AVX2
    if (vector && vexp_available()) {
        vexp_avx2(x, y, n);
        return;
    }
#endif
    for (int j = 0; j < n; ++j) y[j] = std::exp(x[j]);
}

void gauss_weights(const double* d, const int* idx, const double* ow, double twoh2, double* wt, int n,
                   bool vector) {
#ifdef TZM_VEXP_AVX2
    if (vector && vexp_available()) {
        gauss_weights_avx2(d, idx, ow, twoh2, wt, n);
        return;
    }
#endif
    for (int t = 0; t < n; ++t) {
        const int j = idx ? idx[t] : t;
        wt[j] = gauss_weight(-d[t] / twoh2, ow[j]);
    }
}

}  // namespace gwr
