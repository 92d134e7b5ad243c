// Geographically weighted descriptive statistics.
#pragma once

#include "control/blocks.h"

namespace gwr {

// Heading box, then gendst.
void dstats(state& s);

// The whole analysis: data, fit locations, checks, local means, variances
// and standard deviations of the chosen variables at every fit location,
// their listing when asked, and the result file.
void gendst(state& s);

// Comma-delimited result file of the local statistics (outfil).
void wrscsv(state& s);

// Weighted mean and variance of z[0..n-1] under the weights w[0..n-1] in one
// incremental pass; the variance divides the weighted sum of squares by
// W (n - 1) / n, W the sum of the weights.
void wmvar(const double* w, const double* z, int n, double& mean, double& var);

// Per-observation set-up from the data table: coordinates (radians when
// spherical), observation weights and the chosen variables' columns in
// selmat.  Sets the parameter count K to the number of chosen variables and
// returns it.
int dstsel(state& s);

// Local means (bvals) and variances (svals) at fit locations 1..nloc.
void dstcal(state& s);

// Listing of the local statistics.
void dstprt(state& s);

// Result-file column name: a four-character stem and k in two columns,
// a leading blank written as an underscore (MEAN_1, VAR_12), as every result
// file names its numbered columns (written::numbered).
std::string dstnam(const char* stem, int k);

}  // namespace gwr
