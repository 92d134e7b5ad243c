// The multiscale Gaussian model: a bandwidth for every parameter surface
// (Fotheringham, Yang and Kang 2017), fitted by back-fitting one-predictor
// local regressions, with its inference from the back-fitting operator
// applied to blocks of unit vectors (Yu, Fotheringham, Li, Oshan, Kang and
// Wolf 2019).  Memory is linear in n: no n x n matrix is ever formed.
#pragma once

#include <memory>
#include <utility>
#include <vector>

#include "control/blocks.h"
#include "gaussian/bwinterval.h"

namespace gwr {

// One round of the back-fitting: its score of change and the bandwidths
// (sizes for the adaptive kernel) it ended with.
struct ms_round {
    double score = 0.0;
    std::vector<double> bw;
};

// The most rounds of the back-fitting (and of its operator on a block).
constexpr int ms_maxrounds = 200;
// Unit vectors per block of the inference: the weights of a location are
// formed once per block, smoother and round, and serve all of them.
constexpr int ms_block = 128;

// The multiscale model of one run.  Columns are the design's (column 0 the
// intercept); "fitting scale" is the design as fitted: centred and scaled
// to unit variance unless the keyword record scale 0 is given.
struct ms_model {
    int n = 0, K = 0;
    dmat xs;                    // n x K design on the fitting scale
    std::vector<double> mean;   // per column: the mean subtracted (0 for the intercept or unscaled)
    std::vector<double> sd;     // per column: the divisor (1 for the intercept or unscaled)
    std::vector<double> bw;     // per column: bandwidth, or size for the adaptive kernel
    double bw0 = 0.0;           // the single-bandwidth model's, whose fit the inference starts from (0: from 0)
    dmat beta;                  // n x K local estimates on the fitting scale
    std::vector<double> yhat;   // n fitted values
    std::vector<double> denom;  // n x K: sum_k w_ik x_kj^2 at the final bandwidths (column-major)
    std::vector<ms_round> rounds;
    double lo = 0.0, hi = 0.0;  // the search limits (with a search)
    // Per column: the trials (bandwidth, criterion) of its last search.
    std::vector<std::vector<std::pair<double, double>>> searched;
    bool converged = false;
    double tol = 1e-5;          // the score of change that ends the back-fitting
    int maxrounds = ms_maxrounds;  // and the most rounds it makes

    // Inference (after msinfer): per column the diagonal of R_j and the row
    // sums of squares of the coefficient operator P_j (beta_j = P_j y) on
    // the fitting scale; the intercept's on the original scale.
    bool inferred = false;
    dmat rdiag;                 // n x K
    dmat pss;                   // n x K
    std::vector<double> pss0;   // n: the original-scale intercept's row sums of squares
    int oprounds = 0;           // most rounds any block of unit vectors took
};

// The neighbour distances of the back-fitting's smoothers with the
// adaptive bi-square kernel on planar coordinates.  D_i(N), the N-th
// smallest squared distance from observation i, depends on i and N only;
// the bandwidth searches of every parameter and round try nearly the same
// sizes N, so D(N) is found once per size (by the neighbour index's exact
// search) and kept: at most ms_sizes arrays of n values, the least recently
// used one given up first.  With D known, a smoother pass needs no search:
// it sums every observation below D straight from a grid of the points
// (mssums in reach.cpp).
constexpr int ms_sizes = 32;

struct ms_reach {
    bool on = false;                     // the pass applies (planar adaptive bi-square, a grid)
    std::shared_ptr<const nbgrid> grid;  // the observation points in cells
    // Locations (the observations) grouped by tiles of tile x tile cells:
    // those of tile t are loc[start[t]..start[t+1]), ascending, within the
    // box box[4t..4t+3] (x low, x high, y low, y high).
    int tile = 0;
    std::vector<int> start, loc;
    std::vector<double> box;
    struct size_entry {
        int nn = 0;
        long used = 0;            // clock of the latest use
        std::vector<double> dmax; // D_i(nn), n
    };
    std::vector<size_entry> sizes;
    long clock = 0;
    int fills = 0, uses = 0;      // searches made and passes served
    // Per thread: the candidates of a tile (index and, gathered, x, y, the
    // column and the residual), 5 n values.
    std::vector<std::vector<double>> gather;
};

// Prepares q for the fits of state s: on only for planar coordinates, the
// adaptive bi-square kernel and points a grid can hold.
void msreach_init(state& s, ms_reach& q);

// D_i(nn) of every observation, from q's store or found by the exact
// neighbour search (the sizes the adaptive kernel sets: s.fit5.nnear).
const double* msreach_dmax(state& s, ms_reach& q, int nn);

// The sums of the smoother of column xj on r at every location i (the
// observations), from D = dmax (n values, of msreach_dmax): a_i = sum_k
// w_ik x_kj^2 and c_i = sum_k w_ik x_kj r_k over the observations k with
// squared distance below D_i, in ascending k, w_ik = (1 - d_ik / D_i)^2,
// and the location's own weight w_ii; with leave_one_out k = i is left out
// and w_ii = 0.  Several locations at once on the widest vector path the
// state allows (s.vector_loops, s.vector_cap), every path the same bits.
void mssums(state& s, ms_reach& q, const double* dmax, const double* xj, const double* r, bool leave_one_out,
            double* a, double* c, double* wii);

// The design on the fitting scale into m (from s.struc1.xmat), centred and
// scaled when `scale`; sizes every table of m for n observations.
void msdesign(const state& s, ms_model& m, bool scale);

// One pass of the one-predictor smoother of column j with bandwidth bw
// (a size for the adaptive kernel) on r (n values): at every observation i
// beta_i = sum_k w_ik x_kj r_k / sum_k w_ik x_kj^2 into b (n), and the
// smoother's criterion, which is returned: its AICc (Hurvich, Simonoff and
// Tsai 1998) with the residual sum of squares sum_i (r_i - x_ij b_i)^2 and
// the trace sum_i x_ij^2 w_ii / sum_k w_ik x_kj^2, as Fotheringham, Yang
// and Kang (2017) choose each bandwidth of the back-fitting; with
// leave_one_out (cross-validation) w_ii = 0, the trace is 0 and the value
// orders bandwidths as the score does.  With denom (n) the denominators
// are kept there.  e2 and hd are n values of scratch.
// With q on, the sums come from q's distances and grid, the same values in
// the same order as through the neighbour search.
double mssmooth(state& s, const ms_model& m, int j, double bw, const double* r, double* b, double* denom,
                std::vector<double>& e2, std::vector<double>& hd, bool leave_one_out, ms_reach* q = nullptr);

// The back-fitting: from the start estimates in m.beta (fitting scale)
// with bandwidth search (search) or the bandwidths in m.bw, until the score
// of change falls below m.tol or after m.maxrounds rounds.
void msfit(state& s, ms_model& m, bool search);

// The inference quantities of the converged back-fitting (m.rdiag, m.pss,
// m.pss0), from its operator applied to blocks of unit vectors, summed per
// row in observation order.
void msinfer(state& s, ms_model& m);

// The bandwidth interval of every parameter at convergence (Li,
// Fotheringham, Oshan and Wolf 2020): the one-predictor smoother's AICc on
// the parameter's partial residual, the other terms held at their
// converged values, over the grid of the single-bandwidth interval
// (bwanalyse, with the trials of the parameter's last search); one result
// per column.
std::vector<bwresult> msinterval(state& s, const ms_model& m);

// The multiscale run after the single-bandwidth model (method 6): design,
// start from the single-bandwidth estimates in s.bvals, back-fitting,
// inference unless the keyword record inference 0 is given, the listing
// block and the result file.
void msgwr(state& s);

// The stops of a multiscale run made before any data is read: a cylinder
// kernel, fit locations other than the observations.
void mscheck(state& s);

}  // namespace gwr
