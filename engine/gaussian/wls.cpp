// Weighted least squares at one location: cross products, inversion (with a
// generalised inverse for a singular X'WX), coefficients, residuals, the
// projection diagonal and standard errors.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>

#include "gaussian/gaussian.h"
#include "gaussian/vexp.h"

#if defined(__x86_64__) && defined(__GNUC__)
#define TZM_FOURFOLD_AVX2 1
#include <immintrin.h>
#endif

namespace gwr {

namespace {

constexpr double chol_eta = 1e-6;    // zero-pivot tolerance of the Cholesky factor
constexpr double chol_eta2 = 1e-12;  // its square, for the off-diagonal test
constexpr double vf_tiny = 1e-20;    // entries of C X'W below this are left out

// Position of element (i, j), j <= i, 1-based, in a packed lower triangle.
inline int pk(int i, int j) { return i * (i - 1) / 2 + j - 1; }

// The two O(n K^2) passes of a local fit, written once for a number of
// parameters known at compile time (the common small models, whose sums
// then live in registers) and once for any K.  Both forms perform the same
// operations in the same order, so their results are identical.

// Upper triangle of A = X'WX (column-major, K x K) and b = X'Wy, each sum
// over the observations in order.  A zero weight adds an exact zero, so
// those observations are passed over; with a neighbour list (idx, cnt
// entries, ascending) only the listed observations are visited, in the same
// order, since every other weight is 0.
template <int KF>
#if defined(__GNUC__) && !defined(__clang__)
// Scalar code keeps every sum in a register; packing pairs of sums into
// vector registers spills them to memory on every observation.
__attribute__((optimize("no-tree-slp-vectorize")))
#endif
void cross_products(int Kd, const double* X, std::size_t ldx, const double* y,
                    const double* wt, int n, const int* idx, double* A, double* bv) {
    constexpr bool fixed = KF > 0;
    const int K = fixed ? KF : Kd;
    constexpr int cap = fixed ? KF : maxvar + 1;
    double a[cap * cap];
    double b[cap];
    double x[cap];
    for (int p = 0; p < K * K; ++p) a[p] = 0.0;
    for (int k = 0; k < K; ++k) b[k] = 0.0;
    for (int t = 0; t < n; ++t) {
        const int j = idx ? idx[t] : t;
        const double wj = wt[j];
        if (wj == 0.0) continue;
#pragma GCC unroll 8
        for (int k = 0; k < K; ++k) x[k] = X[k * ldx + j];
        const double yj = y[j];
#pragma GCC unroll 8
        for (int k = 0; k < K; ++k) {
            const double xk = x[k];
#pragma GCC unroll 8
            for (int m = k; m < K; ++m) a[m * K + k] += (xk * x[m]) * wj;
            b[k] += (xk * yj) * wj;
        }
    }
    for (int p = 0; p < K * K; ++p) A[p] = a[p];
    for (int k = 0; k < K; ++k) bv[k] = b[k];
}

}  // namespace

void weighted_products(const dmat& xm, int K, const double* y, const double* wt, const int* idx, int cnt,
                       double* A, double* bv) {
    const std::size_t ldx = static_cast<std::size_t>(xm.rows);
    const double* X = xm.a.data();
    switch (K) {
        case 1: cross_products<1>(K, X, ldx, y, wt, cnt, idx, A, bv); break;
        case 2: cross_products<2>(K, X, ldx, y, wt, cnt, idx, A, bv); break;
        case 3: cross_products<3>(K, X, ldx, y, wt, cnt, idx, A, bv); break;
        case 4: cross_products<4>(K, X, ldx, y, wt, cnt, idx, A, bv); break;
        case 5: cross_products<5>(K, X, ldx, y, wt, cnt, idx, A, bv); break;
        case 6: cross_products<6>(K, X, ldx, y, wt, cnt, idx, A, bv); break;
        default: cross_products<0>(K, X, ldx, y, wt, cnt, idx, A, bv); break;
    }
    for (int k = 0; k < K; ++k)
        for (int m = k + 1; m < K; ++m) A[k * K + m] = A[m * K + k];
}

namespace {

// Variance factors v_k = sum_j M(k,j)^2 with M = C X'W, leaving out
// entries of M at or below vf_tiny in magnitude; an observation of weight
// 0 gives a zero column of M and is passed over.
template <int KF>
#if defined(__GNUC__) && !defined(__clang__)
__attribute__((optimize("no-tree-slp-vectorize")))
#endif
void variance_factors(int Kd, const double* X, std::size_t ldx, const double* wt, int n,
                      const int* idx, const double* C, double* out) {
    constexpr bool fixed = KF > 0;
    const int K = fixed ? KF : Kd;
    constexpr int cap = fixed ? KF : maxvar + 1;
    double c[cap * cap];
    double v[cap];
    double x[cap];
    for (int p = 0; p < K * K; ++p) c[p] = C[p];
    for (int k = 0; k < K; ++k) v[k] = 0.0;
    for (int t = 0; t < n; ++t) {
        const int j = idx ? idx[t] : t;
        const double wj = wt[j];
        if (wj == 0.0) continue;
#pragma GCC unroll 8
        for (int m = 0; m < K; ++m) x[m] = X[m * ldx + j];
#pragma GCC unroll 8
        for (int k = 0; k < K; ++k) {
            double mk = 0.0;
#pragma GCC unroll 8
            for (int m = 0; m < K; ++m) mk += (c[m * K + k] * x[m]) * wj;
            if (std::fabs(mk) > vf_tiny) v[k] += mk * mk;
        }
    }
    for (int k = 0; k < K; ++k) out[k] = v[k];
}

// Projection diagonal h_j = w_j * sum_k (X C)(j,k) X(j,k) of every
// observation into hd; returns their sum.
template <int KF>
#if defined(__GNUC__) && !defined(__clang__)
__attribute__((optimize("no-tree-slp-vectorize")))
#endif
double projection_diagonal(int Kd, const double* X, std::size_t ldx, const double* wt, int n,
                           const double* C, double* hd) {
    constexpr bool fixed = KF > 0;
    const int K = fixed ? KF : Kd;
    constexpr int cap = fixed ? KF : maxvar + 1;
    double c[cap * cap];
    double x[cap];
    for (int p = 0; p < K * K; ++p) c[p] = C[p];
    double trace = 0.0;
    for (int j = 0; j < n; ++j) {
#pragma GCC unroll 8
        for (int k = 0; k < K; ++k) x[k] = X[k * ldx + j];
        double h = 0.0;
#pragma GCC unroll 8
        for (int k = 0; k < K; ++k) {
            double xc = 0.0;
#pragma GCC unroll 8
            for (int m = 0; m < K; ++m) xc += x[m] * c[k * K + m];
            h += xc * x[k];
        }
        hd[j] = wt[j] * h;
        trace += hd[j];
    }
    return trace;
}

}  // namespace

// ---------------------------------------------------------------------------
// Four fits at once: the lanes of a vector register hold four fit
// locations, whose sums each run over the observations in order with the
// terms of cross_products and variance_factors, so every lane's results
// are the bits of those routines (an observation of weight 0 adds an exact
// +0, which leaves a sum unchanged: a sum that starts at +0 never becomes
// -0, where the scalar routines pass the observation over).  The products
// of the design matrix's entries are formed once for the four.

#ifdef TZM_FOURFOLD_AVX2
namespace {

// t where w is not 0, else +0.
__attribute__((target("avx2"))) inline __m256d unless_zero(__m256d t, __m256d nonzero) {
    return _mm256_and_pd(t, nonzero);
}

template <int KF>
__attribute__((target("avx2"))) void cross_products4(const double* X, std::size_t ldx, const double* y,
                                                     const double* w4, int n, double* A4, double* b4) {
    constexpr int np = KF * (KF + 1) / 2 + KF;
    __m256d acc[np];
    for (int p = 0; p < np; ++p) acc[p] = _mm256_setzero_pd();
    const __m256d zero = _mm256_setzero_pd();
    for (int j = 0; j < n; ++j) {
        const __m256d w = _mm256_loadu_pd(w4 + 4 * static_cast<std::size_t>(j));
        const __m256d nz = _mm256_cmp_pd(w, zero, _CMP_NEQ_UQ);
        double x[KF];
        for (int k = 0; k < KF; ++k) x[k] = X[k * ldx + j];
        const double yj = y[j];
        int p = 0;
        for (int k = 0; k < KF; ++k)
            for (int m = k; m < KF; ++m, ++p)
                acc[p] = _mm256_add_pd(acc[p], unless_zero(_mm256_mul_pd(_mm256_set1_pd(x[k] * x[m]), w), nz));
        for (int k = 0; k < KF; ++k, ++p)
            acc[p] = _mm256_add_pd(acc[p], unless_zero(_mm256_mul_pd(_mm256_set1_pd(x[k] * yj), w), nz));
    }
    alignas(32) double l[np][4];
    for (int p = 0; p < np; ++p) _mm256_store_pd(l[p], acc[p]);
    for (int f = 0; f < 4; ++f) {
        double* A = A4 + f * KF * KF;
        int p = 0;
        for (int k = 0; k < KF; ++k)
            for (int m = k; m < KF; ++m, ++p) A[m * KF + k] = A[k * KF + m] = l[p][f];
        for (int k = 0; k < KF; ++k, ++p) b4[f * KF + k] = l[p][f];
    }
}

template <int KF>
__attribute__((target("avx2"))) void variance_factors4(const double* X, std::size_t ldx, const double* w4, int n,
                                                       const double* C4, double* v4) {
    __m256d c[KF * KF];
    for (int p = 0; p < KF * KF; ++p)
        c[p] = _mm256_set_pd(C4[3 * KF * KF + p], C4[2 * KF * KF + p], C4[KF * KF + p], C4[p]);
    __m256d v[KF];
    for (int k = 0; k < KF; ++k) v[k] = _mm256_setzero_pd();
    const __m256d sign = _mm256_set1_pd(-0.0);
    const __m256d tiny = _mm256_set1_pd(vf_tiny);
    for (int j = 0; j < n; ++j) {
        const __m256d w = _mm256_loadu_pd(w4 + 4 * static_cast<std::size_t>(j));
        __m256d x[KF];
        for (int m = 0; m < KF; ++m) x[m] = _mm256_set1_pd(X[m * ldx + j]);
        for (int k = 0; k < KF; ++k) {
            __m256d mk = _mm256_setzero_pd();
            for (int m = 0; m < KF; ++m) mk = _mm256_add_pd(mk, _mm256_mul_pd(_mm256_mul_pd(c[m * KF + k], x[m]), w));
            const __m256d big = _mm256_cmp_pd(_mm256_andnot_pd(sign, mk), tiny, _CMP_GT_OQ);
            v[k] = _mm256_add_pd(v[k], _mm256_and_pd(_mm256_mul_pd(mk, mk), big));
        }
    }
    alignas(32) double l[KF][4];
    for (int k = 0; k < KF; ++k) _mm256_store_pd(l[k], v[k]);
    for (int f = 0; f < 4; ++f)
        for (int k = 0; k < KF; ++k) v4[f * KF + k] = l[k][f];
}

}  // namespace
#endif

bool fourfold(int K) {
#ifdef TZM_FOURFOLD_AVX2
    return K >= 1 && K <= fourfold_kmax && vexp_available();
#else
    (void)K;
    return false;
#endif
}

void weighted_products4(const dmat& xm, int K, const double* y, const double* w4, int n, double* A4, double* b4) {
#ifdef TZM_FOURFOLD_AVX2
    const std::size_t ldx = static_cast<std::size_t>(xm.rows);
    const double* X = xm.a.data();
    switch (K) {
        case 1: cross_products4<1>(X, ldx, y, w4, n, A4, b4); break;
        case 2: cross_products4<2>(X, ldx, y, w4, n, A4, b4); break;
        case 3: cross_products4<3>(X, ldx, y, w4, n, A4, b4); break;
        case 4: cross_products4<4>(X, ldx, y, w4, n, A4, b4); break;
        default: break;
    }
#else
    (void)xm, (void)K, (void)y, (void)w4, (void)n, (void)A4, (void)b4;
#endif
}

void calcse4(const dmat& xm, int K, const double* w4, int n, const double* C4, double* v4) {
#ifdef TZM_FOURFOLD_AVX2
    const std::size_t ldx = static_cast<std::size_t>(xm.rows);
    const double* X = xm.a.data();
    switch (K) {
        case 1: variance_factors4<1>(X, ldx, w4, n, C4, v4); break;
        case 2: variance_factors4<2>(X, ldx, w4, n, C4, v4); break;
        case 3: variance_factors4<3>(X, ldx, w4, n, C4, v4); break;
        case 4: variance_factors4<4>(X, ldx, w4, n, C4, v4); break;
        default: break;
    }
#else
    (void)xm, (void)K, (void)w4, (void)n, (void)C4, (void)v4;
#endif
}

// ---------------------------------------------------------------------------
// Gauss-Jordan inversion with complete pivoting.

void minv(double* a, int n, int lda, double& det, int* l, int* m) {
    auto A = [a, lda](int i, int j) -> double& {  // 1-based
        return a[static_cast<std::size_t>(j - 1) * lda + (i - 1)];
    };
    det = 1.0;
    for (int k = 1; k <= n; ++k) {
        // Largest element of the remaining submatrix, column by column.
        l[k - 1] = k;
        m[k - 1] = k;
        double biga = A(k, k);
        for (int j = k; j <= n; ++j) {
            for (int i = k; i <= n; ++i) {
                if (std::fabs(A(i, j)) > std::fabs(biga)) {
                    biga = A(i, j);
                    l[k - 1] = i;
                    m[k - 1] = j;
                }
            }
        }
        // Bring it to position (k, k).
        int lk = l[k - 1];
        if (lk > k) {
            for (int j = 1; j <= n; ++j) {
                double hold = -A(k, j);
                A(k, j) = A(lk, j);
                A(lk, j) = hold;
            }
        }
        int mk = m[k - 1];
        if (mk > k) {
            for (int i = 1; i <= n; ++i) {
                double hold = -A(i, k);
                A(i, k) = A(i, mk);
                A(i, mk) = hold;
            }
        }
        if (biga == 0.0) {
            det = 0.0;
            return;
        }
        for (int i = 1; i <= n; ++i)
            if (i != k) A(i, k) = A(i, k) / -biga;
        for (int j = 1; j <= n; ++j) {
            if (j == k) continue;
            double akj = A(k, j);
            for (int i = 1; i <= n; ++i)
                if (i != k) A(i, j) = A(i, j) + A(i, k) * akj;
        }
        for (int j = 1; j <= n; ++j)
            if (j != k) A(k, j) = A(k, j) / biga;
        det = det * biga;
        A(k, k) = 1.0 / biga;
    }
    // Undo the interchanges.
    for (int k = n - 1; k >= 1; --k) {
        int i = l[k - 1];
        if (i > k) {
            for (int j = 1; j <= n; ++j) {
                double hold = A(j, k);
                A(j, k) = -A(j, i);
                A(j, i) = hold;
            }
        }
        int j = m[k - 1];
        if (j > k) {
            for (int c = 1; c <= n; ++c) {
                double hold = A(k, c);
                A(k, c) = -A(j, c);
                A(j, c) = hold;
            }
        }
    }
}

// ---------------------------------------------------------------------------
// Cholesky factor and inverse of a principal submatrix of a packed symmetric
// matrix (Healy 1968, Algorithms AS 6 and AS 7, for a chosen subset of the
// rows and columns).

void subchl(const double* a, const int* b, int nb, double* u, int& nullty, int& ifault,
            double& det) {
    ifault = 1;
    if (nb <= 0) return;
    ifault = 2;
    nullty = 0;
    det = 1.0;
    auto fail = [&]() {
        // A matrix that is not positive semi-definite has no factor: leave
        // zeros rather than a half-built one, so a caller that goes on
        // without checking gets zero estimates instead of garbage.
        for (int p = 0; p < nb * (nb + 1) / 2; ++p) u[p] = 0.0;
    };
    for (int icol = 1; icol <= nb; ++icol) {
        const int i = b[icol - 1];
        const double w = a[pk(i, i)];
        for (int irow = 1; irow <= icol; ++irow) {
            const int j = b[irow - 1];
            double x = a[pk(i, j)];
            for (int k = 1; k < irow; ++k) x = x - u[pk(irow, k)] * u[pk(icol, k)];
            const int pos = pk(icol, irow);
            if (irow < icol) {
                const double diag = u[pk(irow, irow)];
                if (diag == 0.0) {
                    if (x * x > std::fabs(w * chol_eta2 * a[pk(j, j)])) {
                        fail();
                        return;
                    }
                    u[pos] = 0.0;
                } else {
                    u[pos] = x / diag;
                }
            } else {
                if (std::fabs(x) <= std::fabs(a[pk(i, i)]) * chol_eta) {
                    u[pos] = 0.0;
                    ++nullty;
                } else if (x < 0.0) {
                    fail();
                    return;
                } else {
                    u[pos] = std::sqrt(x);
                }
                det = det * u[pos] * u[pos];
            }
        }
    }
    ifault = 0;
}

void subinv(const double* a, int n, const int* b, int nb, double* c, double* w, int& nullty,
            int& ifault, double& det) {
    ifault = 3;
    if (nb > n) return;
    if (nb >= 1) {
        if (b[0] < 1 || b[0] > n) return;
        for (int i = 2; i <= nb; ++i)
            if (b[i - 1] <= b[i - 2] || b[i - 1] > n) return;
    }
    ifault = 1;
    if (nb <= 0) return;
    subchl(a, b, nb, c, nullty, ifault, det);
    if (ifault != 0) return;

    // Inverse from the factor, last column first; c(k, irow) for k > icol
    // are entries already inverted (the matrix is symmetric).
    for (int icol = nb; icol >= 1; --icol) {
        const double diag = c[pk(icol, icol)];
        if (diag == 0.0) {
            for (int j = icol; j <= nb; ++j) c[pk(j, icol)] = 0.0;
            continue;
        }
        for (int k = icol; k <= nb; ++k) w[k - 1] = c[pk(k, icol)];
        for (int irow = nb; irow >= icol; --irow) {
            double x = irow == icol ? 1.0 / w[icol - 1] : 0.0;
            for (int k = icol + 1; k <= nb; ++k) {
                double ck = k >= irow ? c[pk(k, irow)] : c[pk(irow, k)];
                x = x - w[k - 1] * ck;
            }
            c[pk(irow, icol)] = x / w[icol - 1];
        }
    }
}

// ---------------------------------------------------------------------------
// Inverse of a cross-product matrix, with a generalised inverse where the
// matrix is singular in exact arithmetic or numerically.

int independent(const double* A, int K, int* keep, double* u) {
    // The candidates: the intercept and every column with a positive
    // diagonal, in order.  Each is factored against the columns accepted
    // before it, with the operations subchl performs on the accepted list,
    // and is accepted when its pivot exceeds chol_eta of its diagonal.
    auto a = [A, K](int i, int j) { return A[static_cast<std::size_t>(j - 1) * K + (i - 1)]; };
    int nb = 0;
    for (int i = 1; i <= K; ++i) {
        if (a(i, i) < 0.0) return -1;
        if (i > 1 && !(a(i, i) > 0.0)) continue;
        const int row = nb + 1;  // the candidate's row of the packed factor
        for (int irow = 1; irow <= nb; ++irow) {
            double x = a(i, keep[irow - 1]);
            for (int k = 1; k < irow; ++k) x = x - u[pk(irow, k)] * u[pk(row, k)];
            u[pk(row, irow)] = x / u[pk(irow, irow)];
        }
        double x = a(i, i);
        for (int k = 1; k < row; ++k) x = x - u[pk(row, k)] * u[pk(row, k)];
        if (std::fabs(x) <= std::fabs(a(i, i)) * chol_eta) continue;
        // A negative diagonal or a clearly negative pivot: not a
        // cross-product matrix of non-negative weights, for which the test
        // has no meaning.
        if (x < 0.0) return -1;
        u[pk(row, row)] = std::sqrt(x);
        keep[nb++] = i;
    }
    return nb;
}

int syminv(const double* A, int K, double* C, work& w) {
    double* Wk = w.minvw.a.data();
    for (int p = 0; p < K * K; ++p) Wk[p] = A[p];
    double det = 0.0;
    minv(Wk, K, K, det, w.lpiv.data(), w.mpiv.data());
    int nk = independent(A, K, w.keep.data(), w.packinv.data());
    if (det != 0.0 && (nk == K || nk < 0)) {
        if (C != Wk)
            for (int p = 0; p < K * K; ++p) C[p] = Wk[p];
        return 0;
    }
    if (nk < 0) {
        // Weights of both signs and a zero pivot: the intercept and every
        // column with a positive diagonal.
        nk = 0;
        w.keep[nk++] = 1;
        for (int k = 2; k <= K; ++k)
            if (A[(k - 1) * K + (k - 1)] > 0.0) w.keep[nk++] = k;
    }
    // Generalised inverse over the independent columns; the rows and
    // columns of the dropped parameters stay 0.
    for (int p = 0; p < K * K; ++p) C[p] = 0.0;
    if (nk == 0) return 1;
    double* pa = w.packed.data();
    for (int i = 1; i <= K; ++i)
        for (int j = 1; j <= i; ++j) pa[pk(i, j)] = A[(j - 1) * K + (i - 1)];
    double* pc = w.packinv.data();
    int nullty = 0, ifault = 0;
    double sdet = 0.0;
    subinv(pa, K, w.keep.data(), nk, pc, w.cwork.data(), nullty, ifault, sdet);
    for (int r = 1; r <= nk; ++r) {
        for (int c = 1; c <= r; ++c) {
            const int kr = w.keep[r - 1] - 1;
            const int kc = w.keep[c - 1] - 1;
            const double v = pc[pk(r, c)];
            C[kc * K + kr] = v;
            C[kr * K + kc] = v;
        }
    }
    return 1;
}

double condition(const double* A, int K) {
    // Cyclic Jacobi rotations on S = D^-1/2 A D^-1/2 (D the diagonal of A)
    // until the off-diagonal part is negligible; the eigenvalues are then on
    // the diagonal.
    constexpr int cap = maxvar + 1;
    double S[cap * cap];
    double d[cap];
    for (int k = 0; k < K; ++k) {
        const double akk = A[k * K + k];
        if (!(akk > 0.0) || !std::isfinite(akk)) return std::numeric_limits<double>::infinity();
        d[k] = 1.0 / std::sqrt(akk);
    }
    for (int j = 0; j < K; ++j)
        for (int i = 0; i < K; ++i) S[j * K + i] = A[j * K + i] * d[i] * d[j];
    for (int sweep = 0; sweep < 100; ++sweep) {
        double off = 0.0, diag = 0.0;
        for (int j = 0; j < K; ++j)
            for (int i = 0; i < K; ++i) (i == j ? diag : off) += S[j * K + i] * S[j * K + i];
        if (!(off > 1e-30 * diag)) break;
        for (int p = 0; p < K - 1; ++p) {
            for (int q = p + 1; q < K; ++q) {
                const double apq = S[q * K + p];
                if (apq == 0.0) continue;
                const double app = S[p * K + p], aqq = S[q * K + q];
                // Rotation angle that zeroes S(p,q): t = tan(theta), the
                // smaller root of t^2 + 2 theta t - 1 = 0.
                const double theta = (aqq - app) / (2.0 * apq);
                const double t = (theta >= 0.0 ? 1.0 : -1.0) / (std::fabs(theta) + std::sqrt(theta * theta + 1.0));
                const double c = 1.0 / std::sqrt(t * t + 1.0), sn = t * c;
                for (int k = 0; k < K; ++k) {  // columns p and q
                    const double skp = S[p * K + k], skq = S[q * K + k];
                    S[p * K + k] = c * skp - sn * skq;
                    S[q * K + k] = sn * skp + c * skq;
                }
                for (int k = 0; k < K; ++k) {  // rows p and q
                    const double spk = S[k * K + p], sqk = S[k * K + q];
                    S[k * K + p] = c * spk - sn * sqk;
                    S[k * K + q] = sn * spk + c * sqk;
                }
                S[q * K + p] = 0.0;
                S[p * K + q] = 0.0;
            }
        }
    }
    double lo = S[0], hi = S[0];
    for (int k = 1; k < K; ++k) {
        lo = std::min(lo, S[k * K + k]);
        hi = std::max(hi, S[k * K + k]);
    }
    if (!(lo > 0.0)) return std::numeric_limits<double>::infinity();
    return std::sqrt(hi / lo);
}

// ---------------------------------------------------------------------------
// One weighted least-squares fit.

void fitcoef(const state& s, work& w) {
    const int n = s.run().n;
    const int K = s.run().K;
    const dmat& xm = s.struc1.xmat;
    const double* y = s.struc2.ydep.data();
    const double* wt = w.wt.data();
    double* A = w.xtwx.a.data();   // K x K
    double* bv = w.xtwy.data();
    double* C = w.xtwxi.a.data();  // K x K
    const int* idx = w.nnbr >= 0 ? w.nbr.data() : nullptr;
    const int cnt = w.nnbr >= 0 ? w.nnbr : n;

    weighted_products(xm, K, y, wt, idx, cnt, A, bv);
    w.singfl = syminv(A, K, C, w);

    // beta = C b.
    double* beta = w.bhat.data();
    for (int k = 0; k < K; ++k) {
        double sum = 0.0;
        for (int m = 0; m < K; ++m) sum += C[m * K + k] * bv[m];
        beta[k] = sum;
    }
}

void fitreg(const state& s, work& w) {
    fitcoef(s, w);

    const int n = s.run().n;
    const int K = s.run().K;
    const dmat& xm = s.struc1.xmat;
    const std::size_t ldx = static_cast<std::size_t>(xm.rows);
    const double* X = xm.a.data();
    const double* y = s.struc2.ydep.data();
    const double* wt = w.wt.data();
    const double* C = w.xtwxi.a.data();
    const double* beta = w.bhat.data();
    double* res = w.lresid.data();
    double* hd = w.hdiag.data();

    // Unweighted residuals and their sum of squares.
    for (int j = 0; j < n; ++j) res[j] = 0.0;
    for (int k = 0; k < K; ++k) {
        const double* xk = X + k * ldx;
        const double bk = beta[k];
        for (int j = 0; j < n; ++j) res[j] = res[j] + bk * xk[j];
    }
    for (int j = 0; j < n; ++j) res[j] = y[j] - res[j];
    double lrss = 0.0;
    for (int j = 0; j < n; ++j) lrss += res[j] * res[j];

    // Projection diagonal and its trace.
    double trloc;
    switch (K) {
        case 1: trloc = projection_diagonal<1>(K, X, ldx, wt, n, C, hd); break;
        case 2: trloc = projection_diagonal<2>(K, X, ldx, wt, n, C, hd); break;
        case 3: trloc = projection_diagonal<3>(K, X, ldx, wt, n, C, hd); break;
        case 4: trloc = projection_diagonal<4>(K, X, ldx, wt, n, C, hd); break;
        case 5: trloc = projection_diagonal<5>(K, X, ldx, wt, n, C, hd); break;
        case 6: trloc = projection_diagonal<6>(K, X, ldx, wt, n, C, hd); break;
        default: trloc = projection_diagonal<0>(K, X, ldx, wt, n, C, hd); break;
    }
    w.lrss = lrss;
    w.trloc = trloc;

    // Simple standard errors; sigma^2 is held in single precision.
    const float sig2 = static_cast<float>(lrss / (n - trloc));
    for (int k = 0; k < K; ++k) {
        const double v = static_cast<double>(sig2) * C[k * K + k];
        w.sehat[k] = v > 0.0 ? std::sqrt(v) : 0.0;
    }
}

void calcse(const state& s, work& w) {
    const int n = s.run().n;
    const int K = s.run().K;
    const dmat& xm = s.struc1.xmat;
    const std::size_t ldx = static_cast<std::size_t>(xm.rows);
    const double* X = xm.a.data();
    const double* wt = w.wt.data();
    const double* C = w.xtwxi.a.data();
    const int* idx = w.nnbr >= 0 ? w.nbr.data() : nullptr;
    const int cnt = w.nnbr >= 0 ? w.nnbr : n;

    switch (K) {
        case 1: variance_factors<1>(K, X, ldx, wt, cnt, idx, C, w.sehat.data()); break;
        case 2: variance_factors<2>(K, X, ldx, wt, cnt, idx, C, w.sehat.data()); break;
        case 3: variance_factors<3>(K, X, ldx, wt, cnt, idx, C, w.sehat.data()); break;
        case 4: variance_factors<4>(K, X, ldx, wt, cnt, idx, C, w.sehat.data()); break;
        case 5: variance_factors<5>(K, X, ldx, wt, cnt, idx, C, w.sehat.data()); break;
        case 6: variance_factors<6>(K, X, ldx, wt, cnt, idx, C, w.sehat.data()); break;
        default: variance_factors<0>(K, X, ldx, wt, cnt, idx, C, w.sehat.data()); break;
    }
}

void calcr2(const double* y, const double* f, int n, double& ybar, double& sse, double& sst,
            double& r2) {
    double sum = 0.0;
    for (int i = 0; i < n; ++i) sum += y[i];
    ybar = sum / n;
    sse = 0.0;
    sst = 0.0;
    for (int i = 0; i < n; ++i) {
        const double e = y[i] - f[i];
        sse += e * e;
        const double d = y[i] - ybar;
        sst += d * d;
    }
    r2 = 1.0 - sse / sst;
}

}  // namespace gwr
