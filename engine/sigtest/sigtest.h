// Tests for spatial variation of the local parameters.
#pragma once

#include "control/blocks.h"

namespace gwr {

// Monte Carlo test after a Gaussian run (Hope 1968; applied to the local
// model by Fotheringham, Brunsdon and Charlton 2002): compares the spread of
// each local parameter with its spread over 99 data sets whose observations
// were given randomly drawn observation locations.  With a thinned test
// (record 13 = -1) the fit locations are thinned first.  Prints the test
// block.
void mctest(state& s);

// Notice that the Leung test is no longer offered.
void yltest(state& s);

// Number of data sets of the Monte Carlo test: the observed one and 99
// randomised ones.
constexpr int mcsets = 100;

// Sum of squared deviations from their mean of b[0..m-1], in one pass with
// the running-mean update; the running mean and sum are left in s.monte1.
double mcstat(state& s, const double* b, int m);

// Rank of the observed statistic among the r values of sorted (ascending):
// the highest 1-based position holding exactly that value, 0 when none does.
int mcrank(const double* sorted, int r, double observed);

// Significance mark for c randomised statistics (out of 99) that exceed the
// observed one: "***", "** ", "*  " or "n/s".
const char* mcmark(int c);

// Index (1..n) of the observation whose location an observation takes in
// a randomised data set.  Up to 32767 observations one value u = r/32767
// of the generator gives floor(u n) + 1 (n when u = 1); with more, one
// 15-bit value cannot reach every observation, and two successive values
// r1, r2 make the 30-bit r1 * 32768 + r2, which gives
// floor((r1 * 32768 + r2) n / 2^30) + 1.
int mcindex(rng& r, int n);

// One set of local fits at fit locations 1..m with the current observation
// coordinates; the estimates go to rows 1..m of s.bvals.  With s.ws the
// locations are fitted on all threads (each thread's scratch is allocated
// once, on the first set); nothing is allocated per location.
void mcfits(state& s, work& w, int m);

}  // namespace gwr
