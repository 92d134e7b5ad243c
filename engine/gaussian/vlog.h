// A vector logarithm for the loops over observations (the Poisson
// log-likelihood's ln(y / mu) at every reweighting pass): four values at a
// time with AVX2, eight with AVX-512, the same operations in the same order
// on both (the same bits), with a scalar fallback (std::log).
//
// Method (table-driven, after Tang 1990): x = 2^k z with z in
// [17/24, 17/12); the leading 7 bits of z's representation (above that of
// 17/24) pick one of 128 intervals with a centre c whose inverse ic = 1/c
// is held with 20 significant bits, and ln c = -ln ic in two parts (from
// the long double logl), the leading part a multiple of 2^-42.  The
// interval holding 1 is about [0.9974, 1.0026), with ic = 1 and ln c = 0.
// Then
//   ln x = k ln2 + ln c + ln(1 + r),   r = z ic - 1,   |r| < 2^-8,
// where z = zh + zl (zh: z with the last 20 bits of its significand
// cleared), so that a = zh ic - 1 and b = zl ic are both exact (products of
// 33 and 20, or 20 and 20, significant bits; the difference by Sterbenz),
// and r = a + b is carried as a rounded sum and its exact error (Knuth's
// two-sum).  k ln2 (ln 2's leading part a multiple of 2^-42) plus the
// leading part of ln c is exact, and its sum with r is split exactly again
// (Dekker's fast two-sum: that leading part is 0 or larger than |r|).
// ln(1 + r) - r is the Taylor polynomial -r^2/2 + ... - r^8/8 (truncation
// below 2^-64 |r|).  Everything after the leading sum is a correction below
// 2^-16 in size, formed with a relative error of a few 2^-53, so the error
// is below 0.51 units in the last place of the result (0.505 seen): 0.5
// from the last addition, under 0.01 from the rest (the result is at least
// 2^-9 outside the interval holding 1, and about r inside it, where the
// corrections are r^2/2 and smaller).  The scalar library's logarithm is
// within about 0.52 units, so the two differ by at most one unit in the
// last place and agree on most arguments.  ln 1 is exactly 0.
//
// Zero, negative numbers, subnormal numbers, infinity and not-a-number go
// to std::log, so the results at the ends are those of the scalar library.
#pragma once

#include "gaussian/vexp.h"

namespace gwr {

// y[j] = ln(x[j]), j < n, as described above, on the given path (taken only
// where the processor runs it; vector_isa::scalar: std::log for every
// value).  x and y may be the same array.  The AVX2 and AVX-512 paths give
// the same bits.
void vlog(const double* x, double* y, int n, vector_isa path);

}  // namespace gwr
