// A vector exponential for the loops over observations: the kernel weights
// of the fixed Gaussian kernel and the means of the logistic and Poisson
// fits, four values at a time on processors with AVX2 (checked when the
// program runs), with a scalar fallback.
//
// Method (Tang 1989): x = (32 m + j) ln2/32 + r with |r| <= ln2/64, the
// reduction by a two-part constant (Cody and Waite) so that k ln2/32 is
// exact; exp(x) = 2^m (T_j + T_j p(r)) with T_j = 2^(j/32) held as a
// double and its remainder (from the long double exp2l), and p the Taylor
// polynomial of exp(r) - 1 of degree 6 (truncation below 4e-18).  The
// error is below 0.6 units in the last place of the result: 0.5 from the
// last addition, under 0.08 from the polynomial, the product and the
// table.  The scalar library's exponential is within about 0.5 units, so
// the two differ by at most one unit in the last place, and they agree
// on most arguments.
//
// Arguments below -708 (results below the smallest normal number, where
// the kernel's weights underflow to exactly 0), above 708, and not-a-number
// go to std::exp, so the exact zeros and the behaviour at the ends are
// those of the scalar library.  exp(0) is exactly 1.
#pragma once

namespace gwr {

// The vector instructions a loop over observations may use: none (the
// scalar path), AVX2 (four doubles), or AVX-512 (eight doubles; F and DQ).
// Every path forms the same values in the same order where it promises the
// bits of another (see the loops' own comments).
enum class vector_isa { scalar = 0, avx2 = 1, avx512 = 2 };

// The widest of them this processor runs (checked once when the program runs).
vector_isa vector_isa_available();

// The path a loop takes: the widest available, at most cap.
inline vector_isa vector_path(vector_isa cap) {
    const vector_isa a = vector_isa_available();
    return a < cap ? a : cap;
}

// True when the vector exponential runs on this processor (AVX2).
bool vexp_available();

// y[j] = exp(x[j]), j < n, as described above; vector = false (or a
// processor without AVX2) takes std::exp for every value.  x and y may be
// the same array.
void vexp(const double* x, double* y, int n, bool vector);

// The fixed Gaussian kernel's weights from the squared distances d[t],
// t < n, of the observations j = idx[t] (idx null: j = t): wt[j] =
// gauss_weight(-d[t] / twoh2, ow[j]) with the vector exponential (twoh2 >
// 0; without idx, d and wt may be the same array); vector = false (or a
// processor without AVX2) takes gauss_weight itself.
void gauss_weights(const double* d, const int* idx, const double* ow, double twoh2, double* wt, int n,
                   bool vector);

// The same on the path vector_path(cap) (scalar: gauss_weight itself);
// AVX2 and AVX-512 give the same bits.
void gauss_weights(const double* d, const int* idx, const double* ow, double twoh2, double* wt, int n,
                   vector_isa cap);

}  // namespace gwr
