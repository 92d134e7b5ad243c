// Gaussian geographically weighted regression: kernels, weighted least
// squares, the local estimation run, global model, diagnostics, summary.
#pragma once

#include <cmath>

#include "control/blocks.h"

namespace gwr {

// Squared distance between an observation (x1, y1) and a location (x2, y2)
// (distance.h); spherical coordinates are longitude/latitude in radians and
// give squared great-circle kilometres.
double distsq(double x1, double y1, double x2, double y2, coordinates c);

// Kernel weights of every observation seen from fit location ipt (1-based)
// with bandwidth bw, into w.wt (w.dsqwrk is the adaptive kernel's scratch).
void genwgt(const state& s, work& w, int ipt, double bw);

// Kernel weights seen from the point (x, y): the same as genwgt, for a
// point that is not in the fit-location list (calibration evaluates its
// criterion at the observation points).
void genwgt_at(const state& s, work& w, double x, double y, double bw);

// The stop genwgt makes when the adaptive kernel's size exceeds the number
// of observations, made before a parallel loop so that it happens outside it.
void genwgt_check(const state& s);

// exp(t) * ow, the Gaussian kernel weight: for t <= -746 the exponential is
// exactly 0, so the product is 0 * ow without the library's slow underflow
// path (the same bits, also for a negative or non-finite ow).
inline double gauss_weight(double t, double ow) {
    return t <= -746.0 ? 0.0 * ow : std::exp(t) * ow;
}

// Ascending in-place heap sort of a[0..n-1].
void hsort(double* a, int n);

// One weighted least-squares fit of ydep on xmat with weights w.wt:
// w.xtwx, w.xtwy, w.xtwxi (C), w.bhat, w.singfl, then w.lresid, w.lrss,
// w.hdiag, w.trloc and the simple standard errors w.sehat.
void fitreg(const state& s, work& w);

// A = X'WX (K x K, column-major, both triangles) and b = X'Wy from the
// first K columns of xm, each sum over the observations in order, as
// (x_k x_m) w_j and (x_k y_j) w_j; observations of weight 0 are passed over,
// and with a list (idx, cnt ascending entries; null idx: observations
// 0..cnt-1) only the listed ones are visited.
void weighted_products(const dmat& xm, int K, const double* y, const double* wt, const int* idx, int cnt,
                       double* A, double* bv);

// The first part of fitreg alone (cross products, C, bhat, singfl), for
// loops that need only the coefficients and C; bit-identical to fitreg.
void fitcoef(const state& s, work& w);

// Inverse C of the symmetric K x K cross-product matrix A (column-major,
// both triangles; C may be w.minvw but not A): minv's inverse when A is
// regular; the generalised inverse over the independent columns (see
// independent) when minv meets a zero pivot or a column depends on the
// columns before it.  Returns 1 when the generalised inverse was taken (the
// singular flag), else 0.  Uses w.minvw, w.keep, w.packed, w.packinv and
// w.cwork.
int syminv(const double* A, int K, double* C, work& w);

// The columns (1-based, ascending, into keep) of the symmetric K x K matrix
// A that are independent by the relative test of subchl: the intercept and
// every column with a positive diagonal, each factored against the columns
// kept before it and kept when the pivot of its Cholesky factor exceeds
// 1e-6 of its diagonal entry.  u receives the packed factor of the kept
// columns (K(K+1)/2 values).  Returns the number kept, or -1 when a
// diagonal entry is negative or a pivot is negative beyond that tolerance
// (weights of both signs: A is no cross-product matrix the test applies
// to).
int independent(const double* A, int K, int* keep, double* u);

// Condition number of the symmetric K x K matrix A scaled to unit diagonal:
// the square root of the ratio of its largest to its smallest eigenvalue;
// infinity when a diagonal entry or the smallest eigenvalue is not positive.
double condition(const double* A, int K);

// Gauss-Jordan inversion in place with complete pivoting of the n x n
// column-major matrix a (leading dimension lda); det = 0 on a zero pivot.
void minv(double* a, int n, int lda, double& det, int* l, int* m);

// Inverse of the principal submatrix of packed symmetric a selected by the
// ascending 1-based indices b[0..nb-1]; c may alias a.
void subinv(const double* a, int n, const int* b, int nb, double* c, double* w,
            int& nullty, int& ifault, double& det);

// Cholesky factor u of the principal submatrix of packed a selected by b.
void subchl(const double* a, const int* b, int nb, double* u, int& nullty,
            int& ifault, double& det);

// Variance factors of the local coefficients after fitcoef, into w.sehat:
// the diagonal of C X'W W X C (C = (X'WX)^-1), which times sigma^2 are the
// coefficients' variances (Fotheringham, Brunsdon and Charlton 2002).
void calcse(const state& s, work& w);

// Four fits at once, for the loops over many fit locations with every
// observation in reach (the criterion of a bandwidth search): fourfold(K)
// tells whether the processor and K allow it (AVX2, K <= fourfold_kmax).
// The weights of fit f (0..3) for observation j are w4[4j + f].
// weighted_products4 puts X'W_f X into A4 + f K K (both triangles) and
// X'W_f y into b4 + f K; calcse4 puts the variance factors of the inverses
// C4 + f K K into v4 + f K.  Each fit's results are the bits of
// weighted_products (without a list) and calcse for its weights: the same
// terms, summed over the observations in order.
constexpr int fourfold_kmax = 4;
bool fourfold(int K);
void weighted_products4(const dmat& xm, int K, const double* y, const double* w4, int n, double* A4, double* b4);
void calcse4(const dmat& xm, int K, const double* w4, int n, const double* C4, double* v4);

// Mean of y, sse = sum (y-f)^2// Mean of y, sse = sum (y-f)^2, sst = sum (y-ybar)^2, r2 = 1 - sse/sst.
void calcr2(const double* y, const double* f, int n, double& ybar, double& sse,
            double& sst, double& r2);

// The extents lines written before a bandwidth search (single precision,
// radians noted for spherical data), shared by the Gaussian and GLM runs.
void wrextent(state& s, double xmin, double xmax, double ymin, double ymax);

// The criteria of a Gaussian model over n observations with residual sum
// of squares rss and hat-matrix trace tr, into h: enp = tr, sigml = rss / n,
// sigma = sqrt(rss / (n - tr)) and the AICc n (ln(2 pi sigml) + 1) +
// 2n (tr + 1) / (n - 2 - tr) (Hurvich, Simonoff and Tsai 1998, in the form
// of Fotheringham, Brunsdon and Charlton 2002).
void gaussian_criteria(blocks::hat1& h, double n, double rss, double tr);

// The warning after the coefficient table of a global model whose fit took
// the generalised inverse.
void wrsingglobal(state& s);

// Warnings after the local fits of a regression run (npos[i-1]: the
// observations of positive kernel weight at fit location i; K parameters):
// how many locations took the generalised inverse (s.output.locsing) and
// how many have fewer than K observations of positive weight, each with
// the first such location.  Stops when every location has fewer than K.
void wrsing(state& s, const int* npos, int K);

// The prediction report of a regression run: written when the control file
// asks for it and the fit locations are the observations.
void wrpred(state& s);

// The Gaussian run (method 2) up to the local model: its banner, the data,
// the design matrix, the fit locations, the bandwidth search when one is
// asked for, the global model (reg1), the local model (tzm) and the
// prediction report.
void runmod(state& s);

// The local model: a weighted least-squares fit at every fit location
// (Brunsdon, Fotheringham and Charlton 1996), and at the observation
// points its diagnostics: residual sum of squares, the effective number of
// parameters tr(S), sigma, the AICc (Hurvich, Simonoff and Tsai 1998, in
// the form of Fotheringham, Brunsdon and Charlton 2002), r-square and
// adjusted r-square; then the standard errors, the casewise diagnostics
// (diagpt) and the result file.
void tzm(state& s);

// The global regression weighted by the observation weights: its
// diagnostics (those of tzm, with the trace of the projection) and the
// table of estimates, standard errors and t values.
void reg1(state& s);

// The ANOVA of the local model's improvement on the global one (Brunsdon,
// Fotheringham and Charlton 1999; Fotheringham, Brunsdon and Charlton
// 2002): sums of squares, degrees of freedom from the traces, mean squares
// and their F ratio; a notice when the fit locations are not the
// observations.
void tzm_ft(state& s);

// Casewise diagnostics per fit location: standardised residual, local
// r-square (the kernel-weighted correlation of observed and fitted values),
// leverage and Cook's distance (Cook 1977); markers where the fit
// locations are not the observations; and their table when asked for.
void diagpt(state& s);

// Five-number summary and box-plot fence counts (Tukey 1977) of every local
// parameter, then the ill-conditioning warning (wrcond).
void summry(state& s);

// Condition number of a local design above which the listing warns.
constexpr double condlimit = 30.0;

// The warning after the parameter summary when the condition number of the
// local design (s.diags.cond) exceeds condlimit at some fit location: how
// many and the largest value.  Nothing when none does.  Called by summry.
void wrcond(state& s);

// Quartile positions (1-based) of n sorted values used by summry: formed in
// single precision, truncated, never below 1.
void quartile_positions(int n, int& lq, int& med, int& uq);

}  // namespace gwr
