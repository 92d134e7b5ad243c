// The vector exponential's lanes (see vexp.h for the method and its error
// bound), shared by the exponential itself and by the loops that form the
// kernel weights in lanes (lanes.cpp): four doubles with AVX2, eight with
// AVX-512.  Both widths perform the same operations in the same order on
// every lane, and the table values are fetched exactly, so exp4 and exp8
// give the same bits for the same argument.
#pragma once

#if defined(__x86_64__) && defined(__GNUC__)
#define TZM_VEXP_LANES 1
#include <immintrin.h>

// GCC 12 warns of an uninitialised value inside its own AVX-512 shift and
// mask intrinsics (their undefined pass-through operand) wherever they are
// inlined; the two files that include this header silence it.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#include <cmath>

namespace gwr::vexp_lanes {

// Arguments with a normal result on both sides.
constexpr double vlo = -708.0;
constexpr double vhi = 708.0;

// 2^(j/32) = hi[j] + lo[j], j = 0..31, from the long double exp2l (64-bit
// significand): hi[j] is the nearest double, lo[j] the rest, so the pair
// carries the value to about 2^-63 relative.
struct exp_table {
    alignas(64) double hi[32];
    alignas(64) double lo[32];
    exp_table() {
        for (int j = 0; j < 32; ++j) {
            const long double v = exp2l(static_cast<long double>(j) / 32.0L);
            hi[j] = static_cast<double>(v);
            lo[j] = static_cast<double>(v - static_cast<long double>(hi[j]));
        }
    }
};

inline const exp_table& table() {
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
__attribute__((target("avx2"))) inline int inside4(__m256d x) {
    const __m256d in = _mm256_and_pd(_mm256_cmp_pd(x, _mm256_set1_pd(vlo), _CMP_GE_OQ),
                                     _mm256_cmp_pd(x, _mm256_set1_pd(vhi), _CMP_LE_OQ));
    return _mm256_movemask_pd(in);
}

// The table in registers for exp8: entries 8q..8q+7 in h[q] and l[q].
struct table8 {
    __m512d h[4], l[4];
};

__attribute__((target("avx512f,avx512dq"))) inline table8 load8(const exp_table& t) {
    table8 r;
    for (int q = 0; q < 4; ++q) {
        r.h[q] = _mm512_load_pd(t.hi + 8 * q);
        r.l[q] = _mm512_load_pd(t.lo + 8 * q);
    }
    return r;
}

// exp of eight arguments in [vlo, vhi]: the operations of exp4, the table
// entries picked by permutation (entry j of 32: bits 0-3 within a pair of
// registers, bit 4 which pair).
__attribute__((target("avx512f,avx512dq"))) inline __m512d exp8(__m512d x, const table8& t) {
    const __m512d sh = _mm512_set1_pd(shifter);
    __m512d kd = _mm512_add_pd(_mm512_mul_pd(x, _mm512_set1_pd(inv_l)), sh);
    const __m512i k = _mm512_sub_epi64(_mm512_castpd_si512(kd), _mm512_castpd_si512(sh));
    kd = _mm512_sub_pd(kd, sh);
    const __m512d r = _mm512_sub_pd(_mm512_sub_pd(x, _mm512_mul_pd(kd, _mm512_set1_pd(l1))),
                                    _mm512_mul_pd(kd, _mm512_set1_pd(l2)));
    const __m512i j = _mm512_and_si512(k, _mm512_set1_epi64(31));
    const __m512i e = _mm512_add_epi64(_mm512_slli_epi64(_mm512_sub_epi64(k, j), 47),
                                       _mm512_set1_epi64(static_cast<long long>(1023) << 52));
    const __mmask8 upper = _mm512_test_epi64_mask(j, _mm512_set1_epi64(16));
    const __m512d th = _mm512_mask_blend_pd(upper, _mm512_permutex2var_pd(t.h[0], j, t.h[1]),
                                            _mm512_permutex2var_pd(t.h[2], j, t.h[3]));
    const __m512d tl = _mm512_mask_blend_pd(upper, _mm512_permutex2var_pd(t.l[0], j, t.l[1]),
                                            _mm512_permutex2var_pd(t.l[2], j, t.l[3]));
    __m512d q = _mm512_set1_pd(1.0 / 720.0);
    q = _mm512_add_pd(_mm512_mul_pd(q, r), _mm512_set1_pd(1.0 / 120.0));
    q = _mm512_add_pd(_mm512_mul_pd(q, r), _mm512_set1_pd(1.0 / 24.0));
    q = _mm512_add_pd(_mm512_mul_pd(q, r), _mm512_set1_pd(1.0 / 6.0));
    q = _mm512_add_pd(_mm512_mul_pd(q, r), _mm512_set1_pd(0.5));
    const __m512d p = _mm512_add_pd(r, _mm512_mul_pd(_mm512_mul_pd(r, r), q));
    const __m512d u = _mm512_add_pd(th, _mm512_add_pd(tl, _mm512_mul_pd(th, p)));
    return _mm512_mul_pd(u, _mm512_castsi512_pd(e));
}

// Lanes of x inside [vlo, vhi] (not-a-number is outside).
__attribute__((target("avx512f,avx512dq"))) inline __mmask8 inside8(__m512d x) {
    return _mm512_cmp_pd_mask(x, _mm512_set1_pd(vlo), _CMP_GE_OQ) &
           _mm512_cmp_pd_mask(x, _mm512_set1_pd(vhi), _CMP_LE_OQ);
}

}  // namespace gwr::vexp_lanes

#endif
