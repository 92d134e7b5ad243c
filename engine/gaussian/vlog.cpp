// The vector logarithm (see vlog.h for the method and its error bound).
#include "gaussian/vlog.h"

#include <cmath>
#include <cstdint>

#if defined(__x86_64__) && defined(__GNUC__)
#define TZM_VLOG_X86 1
#include <immintrin.h>
#endif

namespace gwr {

namespace {

#ifdef TZM_VLOG_X86

// The representation of 17/24 (about sqrt(2)/2): x's representation minus
// this one splits into k (the bits above 52) and z's place in
// [17/24, 17/12) (the bits below, the leading 7 of them the interval).  It
// puts 1 two thirds into its interval, [1 - 2^-8 2/3, 1 + 2^-7 / 3), so
// that the logarithm is at least 2^-9 in every other interval.
constexpr std::uint64_t offset = 0x3fe6aaaaaaaaaaabULL;
constexpr std::uint64_t mantissa = 0x000fffffffffffffULL;
constexpr int tablebits = 7;
constexpr int tablesize = 1 << tablebits;

// Multiples of 2^-42: k times ln2's part, plus ln c's part, is exact.
double grid42(long double v) { return static_cast<double>(std::ldexp(std::nearbyint(std::ldexp(v, 42)), -42)); }

constexpr double ln2_hi = 0x1.62e42fefa39efp-1;   // ln 2 to double precision
constexpr double ln2_lo = 0x1.abc9e3b39803fp-56;  // its remainder

double from_bits(std::uint64_t u) {
    double d;
    __builtin_memcpy(&d, &u, sizeof d);
    return d;
}

// Per interval: ic = 1/c to 20 significant bits (1 in the interval holding
// 1) and ln c = -ln ic = lch + lcl, lch a multiple of 2^-42.
struct log_table {
    alignas(64) double ic[tablesize];
    alignas(64) double lch[tablesize];
    alignas(64) double lcl[tablesize];
    double l2h, l2l;  // ln 2 = l2h + l2l, l2h a multiple of 2^-42
    log_table() {
        for (int i = 0; i < tablesize; ++i) {
            const std::uint64_t step = std::uint64_t{1} << (52 - tablebits);
            const long double lo = from_bits(offset + i * step);
            const long double hi = from_bits(offset + (i + 1) * step);
            double inv;
            if (lo <= 1.0L && 1.0L < hi) {
                inv = 1.0;
            } else {
                const long double c = (lo + hi) / 2.0L;
                int e;
                const long double m = std::frexp(1.0L / c, &e);  // 1/c = m 2^e, m in [0.5, 1)
                inv = static_cast<double>(std::ldexp(std::nearbyint(std::ldexp(m, 20)), e - 20));
            }
            const long double lnc = -std::log(static_cast<long double>(inv));
            ic[i] = inv;
            lch[i] = grid42(lnc);
            lcl[i] = static_cast<double>(lnc - static_cast<long double>(lch[i]));
        }
        l2h = grid42(ln2_hi);
        l2l = (ln2_hi - l2h) + ln2_lo;
    }
};

const log_table& table() {
    static const log_table t;
    return t;
}

// The Taylor coefficients of ln(1 + r) - r, from r^2 to r^8.
constexpr double c2 = -1.0 / 2.0, c3 = 1.0 / 3.0, c4 = -1.0 / 4.0, c5 = 1.0 / 5.0, c6 = -1.0 / 6.0,
                 c7 = 1.0 / 7.0, c8 = -1.0 / 8.0;

// Both paths below: the same operations in the same order.

__attribute__((target("avx2"))) inline __m256d log4(__m256d x, const log_table& t) {
    const __m256i ix = _mm256_castpd_si256(x);
    const __m256i tmp = _mm256_sub_epi64(ix, _mm256_set1_epi64x(static_cast<long long>(offset)));
    // k + 1024 (0..2048) and k as a double, through the exponent of 2^52.
    const __m256i kb = _mm256_srli_epi64(_mm256_add_epi64(tmp, _mm256_set1_epi64x(0x4000000000000000LL)), 52);
    const __m256d kd = _mm256_sub_pd(_mm256_castsi256_pd(_mm256_or_si256(kb, _mm256_set1_epi64x(0x4330000000000000LL))),
                                     _mm256_set1_pd(0x1.0p52 + 1024.0));
    const __m256i idx = _mm256_and_si256(_mm256_srli_epi64(tmp, 52 - tablebits), _mm256_set1_epi64x(tablesize - 1));
    const __m256i iz = _mm256_add_epi64(_mm256_and_si256(tmp, _mm256_set1_epi64x(static_cast<long long>(mantissa))),
                                        _mm256_set1_epi64x(static_cast<long long>(offset)));
    const __m256d z = _mm256_castsi256_pd(iz);
    const __m256d zh = _mm256_castsi256_pd(_mm256_and_si256(iz, _mm256_set1_epi64x(~0xfffffLL)));
    const __m256d zl = _mm256_sub_pd(z, zh);
    const __m256d ic = _mm256_i64gather_pd(t.ic, idx, 8);
    const __m256d lch = _mm256_i64gather_pd(t.lch, idx, 8);
    const __m256d lcl = _mm256_i64gather_pd(t.lcl, idx, 8);
    const __m256d a = _mm256_sub_pd(_mm256_mul_pd(zh, ic), _mm256_set1_pd(1.0));
    const __m256d b = _mm256_mul_pd(zl, ic);
    const __m256d r = _mm256_add_pd(a, b);
    const __m256d bb = _mm256_sub_pd(r, a);
    const __m256d re = _mm256_add_pd(_mm256_sub_pd(a, _mm256_sub_pd(r, bb)), _mm256_sub_pd(b, bb));
    const __m256d hi = _mm256_add_pd(_mm256_mul_pd(kd, _mm256_set1_pd(t.l2h)), lch);
    const __m256d t1 = _mm256_add_pd(hi, r);
    const __m256d t2 = _mm256_add_pd(_mm256_sub_pd(hi, t1), r);
    const __m256d lo = _mm256_add_pd(_mm256_mul_pd(kd, _mm256_set1_pd(t.l2l)), lcl);
    __m256d q = _mm256_set1_pd(c8);
    q = _mm256_add_pd(_mm256_mul_pd(q, r), _mm256_set1_pd(c7));
    q = _mm256_add_pd(_mm256_mul_pd(q, r), _mm256_set1_pd(c6));
    q = _mm256_add_pd(_mm256_mul_pd(q, r), _mm256_set1_pd(c5));
    q = _mm256_add_pd(_mm256_mul_pd(q, r), _mm256_set1_pd(c4));
    q = _mm256_add_pd(_mm256_mul_pd(q, r), _mm256_set1_pd(c3));
    q = _mm256_add_pd(_mm256_mul_pd(q, r), _mm256_set1_pd(c2));
    const __m256d p = _mm256_mul_pd(_mm256_mul_pd(r, r), q);
    const __m256d low = _mm256_add_pd(t2, _mm256_add_pd(lo, _mm256_add_pd(re, p)));
    return _mm256_add_pd(t1, low);
}

// Lanes of x that are positive normal numbers (not-a-number is outside).
__attribute__((target("avx2"))) inline int inside4(__m256d x) {
    const __m256d in = _mm256_and_pd(_mm256_cmp_pd(x, _mm256_set1_pd(0x1.0p-1022), _CMP_GE_OQ),
                                     _mm256_cmp_pd(x, _mm256_set1_pd(0x1.fffffffffffffp+1023), _CMP_LE_OQ));
    return _mm256_movemask_pd(in);
}

__attribute__((target("avx2"))) void vlog_avx2(const double* x, double* y, int n) {
    const log_table& t = table();
    for (int j0 = 0; j0 < n; j0 += 4) {
        const int nb = n - j0 < 4 ? n - j0 : 4;
        alignas(32) double a[4] = {1.0, 1.0, 1.0, 1.0};
        __m256d xv;
        if (nb == 4) {
            xv = _mm256_loadu_pd(x + j0);
        } else {
            for (int q = 0; q < nb; ++q) a[q] = x[j0 + q];
            xv = _mm256_load_pd(a);
        }
        const __m256d l = log4(xv, t);
        const int m = inside4(xv);
        if (nb == 4 && m == 15) {
            _mm256_storeu_pd(y + j0, l);
            continue;
        }
        alignas(32) double r[4];
        _mm256_store_pd(a, xv);
        _mm256_store_pd(r, l);
        for (int q = 0; q < nb; ++q) y[j0 + q] = (m >> q & 1) ? r[q] : std::log(a[q]);
    }
}

#define TZM_AVX512 __attribute__((target("avx512f,avx512dq")))

// The compiler's AVX-512 headers start some intrinsics from an
// "undefined" register, which GCC 12 reports as maybe uninitialised.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

TZM_AVX512 inline __m512d log8(__m512d x, const log_table& t) {
    const __m512i ix = _mm512_castpd_si512(x);
    const __m512i tmp = _mm512_sub_epi64(ix, _mm512_set1_epi64(static_cast<long long>(offset)));
    const __m512i kb = _mm512_srli_epi64(_mm512_add_epi64(tmp, _mm512_set1_epi64(0x4000000000000000LL)), 52);
    const __m512d kd = _mm512_sub_pd(_mm512_castsi512_pd(_mm512_or_si512(kb, _mm512_set1_epi64(0x4330000000000000LL))),
                                     _mm512_set1_pd(0x1.0p52 + 1024.0));
    const __m512i idx = _mm512_and_si512(_mm512_srli_epi64(tmp, 52 - tablebits), _mm512_set1_epi64(tablesize - 1));
    const __m512i iz = _mm512_add_epi64(_mm512_and_si512(tmp, _mm512_set1_epi64(static_cast<long long>(mantissa))),
                                        _mm512_set1_epi64(static_cast<long long>(offset)));
    const __m512d z = _mm512_castsi512_pd(iz);
    const __m512d zh = _mm512_castsi512_pd(_mm512_and_si512(iz, _mm512_set1_epi64(~0xfffffLL)));
    const __m512d zl = _mm512_sub_pd(z, zh);
    const __m512d ic = _mm512_i64gather_pd(idx, t.ic, 8);
    const __m512d lch = _mm512_i64gather_pd(idx, t.lch, 8);
    const __m512d lcl = _mm512_i64gather_pd(idx, t.lcl, 8);
    const __m512d a = _mm512_sub_pd(_mm512_mul_pd(zh, ic), _mm512_set1_pd(1.0));
    const __m512d b = _mm512_mul_pd(zl, ic);
    const __m512d r = _mm512_add_pd(a, b);
    const __m512d bb = _mm512_sub_pd(r, a);
    const __m512d re = _mm512_add_pd(_mm512_sub_pd(a, _mm512_sub_pd(r, bb)), _mm512_sub_pd(b, bb));
    const __m512d hi = _mm512_add_pd(_mm512_mul_pd(kd, _mm512_set1_pd(t.l2h)), lch);
    const __m512d t1 = _mm512_add_pd(hi, r);
    const __m512d t2 = _mm512_add_pd(_mm512_sub_pd(hi, t1), r);
    const __m512d lo = _mm512_add_pd(_mm512_mul_pd(kd, _mm512_set1_pd(t.l2l)), lcl);
    __m512d q = _mm512_set1_pd(c8);
    q = _mm512_add_pd(_mm512_mul_pd(q, r), _mm512_set1_pd(c7));
    q = _mm512_add_pd(_mm512_mul_pd(q, r), _mm512_set1_pd(c6));
    q = _mm512_add_pd(_mm512_mul_pd(q, r), _mm512_set1_pd(c5));
    q = _mm512_add_pd(_mm512_mul_pd(q, r), _mm512_set1_pd(c4));
    q = _mm512_add_pd(_mm512_mul_pd(q, r), _mm512_set1_pd(c3));
    q = _mm512_add_pd(_mm512_mul_pd(q, r), _mm512_set1_pd(c2));
    const __m512d p = _mm512_mul_pd(_mm512_mul_pd(r, r), q);
    const __m512d low = _mm512_add_pd(t2, _mm512_add_pd(lo, _mm512_add_pd(re, p)));
    return _mm512_add_pd(t1, low);
}

TZM_AVX512 void vlog_avx512(const double* x, double* y, int n) {
    const log_table& t = table();
    for (int j0 = 0; j0 < n; j0 += 8) {
        const int nb = n - j0 < 8 ? n - j0 : 8;
        alignas(64) double a[8] = {1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0};
        __m512d xv;
        if (nb == 8) {
            xv = _mm512_loadu_pd(x + j0);
        } else {
            for (int q = 0; q < nb; ++q) a[q] = x[j0 + q];
            xv = _mm512_load_pd(a);
        }
        const __m512d l = log8(xv, t);
        const unsigned m = _mm512_cmp_pd_mask(xv, _mm512_set1_pd(0x1.0p-1022), _CMP_GE_OQ) &
                           _mm512_cmp_pd_mask(xv, _mm512_set1_pd(0x1.fffffffffffffp+1023), _CMP_LE_OQ);
        if (nb == 8 && m == 255) {
            _mm512_storeu_pd(y + j0, l);
            continue;
        }
        alignas(64) double r[8];
        _mm512_store_pd(a, xv);
        _mm512_store_pd(r, l);
        for (int q = 0; q < nb; ++q) y[j0 + q] = (m >> q & 1) ? r[q] : std::log(a[q]);
    }
}

#pragma GCC diagnostic pop

#endif

}  // namespace

void vlog(const double* x, double* y, int n, vector_isa path) {
#ifdef TZM_VLOG_X86
    switch (vector_path(path)) {
        case vector_isa::avx512: vlog_avx512(x, y, n); return;
        case vector_isa::avx2: vlog_avx2(x, y, n); return;
        case vector_isa::scalar: break;
    }
#else
    (void)path;
#endif
    for (int j = 0; j < n; ++j) y[j] = std::log(x[j]);
}

}  // namespace gwr
