// An interval for the calibrated bandwidth from the AICc profile (Li,
// Fotheringham, Oshan and Wolf 2020): the criterion at an even grid of
// trial bandwidths across the search range (refined near the low when the
// grid is too coarse to resolve it), their Akaike weights, and the range of
// the smallest set of trials holding 95 % of the weight.
#pragma once

#include <functional>
#include <utility>
#include <vector>

#include "control/blocks.h"

namespace gwr {

// Most trials of the grid.
constexpr int bwgrid_max = 100;

// The trial bandwidths across the search range [lo, hi]: for the adaptive
// kernel every local sample size from lo to hi (rounded as the search
// rounds its trials) when there are at most bwgrid_max of them, else
// bwgrid_max sizes evenly spread (rounded to whole numbers); for the fixed
// kernels bwgrid_max bandwidths evenly spread from lo to hi.
std::vector<double> bwgrid(bool adaptive, double lo, double hi);

// Akaike weights exp(-(A_t - min A)/2), normalised to sum 1, of the
// criterion values `aicc` (trials whose `ok` is 0 get weight 0), and the
// smallest set of trials whose weights add up to `level`: `inset` marks
// them.  The trials are taken by weight, largest first (ties: the earlier
// trial first).  Returns the number of trials in the set (0 when no trial
// is defined).
int akaike_set(const std::vector<double>& aicc, const std::vector<char>& ok, double level,
               std::vector<double>& weight, std::vector<char>& inset);

// The same for trials that stand for bandwidth ranges of different widths
// (a grid refined near the low): weights exp(-(A_t - min A)/2) * width_t,
// normalised, taken in the order of exp(-(A_t - min A)/2), largest first.
// With equal widths this is the function above.
int akaike_set(const std::vector<double>& aicc, const std::vector<char>& ok, const std::vector<double>& width,
               double level, std::vector<double>& weight, std::vector<char>& inset);

// The criterion at the trials of the grid (ascending bandwidths) that can
// carry weight.  A trial is not evaluated when the nearest bandwidths on
// either side at which the criterion is known (trials of the search,
// `searched`, and trials of the grid already evaluated) both have values
// 30 or more above the lowest value of the grid evaluated so far, or are
// grid trials where AICc is not defined (no weight at all): their
// Akaike weights are below e^-15 of the best's, and a trial between them
// would need a low of its own to weigh more.  The grid is evaluated in
// three passes: the trial nearest the search's best, the two ends; every
// fifth trial; the rest, each pass in ascending order.  A grid of at most
// 25 trials is evaluated whole.  eval(t, a) evaluates trial t into a and
// returns whether AICc is defined there; `done` marks the evaluated
// trials, `ok` those evaluated and defined.  `planned` holds, while eval
// runs, the trials not yet skipped (an upper bound of the evaluations).
// Returns the number evaluated.
int bwprofile(const std::vector<double>& grid, const std::vector<std::pair<double, double>>& searched,
              const std::function<bool(int t, double& a)>& eval, std::vector<double>& aicc,
              std::vector<char>& done, std::vector<char>& ok, int& planned);

// The interval from the criterion: the even grid evaluated by bwprofile,
// then, while the set holding 95 % of the weight has fewer than 10 trials
// and the grid can be finer (at most three times), 20 more trials evenly
// between the evaluated trials just outside the set (for the adaptive
// kernel every size there when there are at most 20, else 20 sizes), also
// through bwprofile.  Each evaluated trial stands for the bandwidths half
// way to its evaluated neighbours (on an even grid all alike), and the set
// is formed from all of them with those widths.
struct bwresult {
    std::vector<double> x, aicc;  // the evaluated trials, ascending bandwidths
    std::vector<char> ok;         // AICc defined there
    int grid = 0;                 // trials of the even grid
    int gridevals = 0;            // of them evaluated
    int refined = 0;              // trials evaluated near the low after the grid
    double reflo = 0.0, refhi = 0.0;  // the range they were spread over
    int count = 0;                // trials of the set (0: no defined trial)
    double lo = 0.0, hi = 0.0;    // its smallest and largest bandwidth
    bool contiguous = true;       // no defined trial between them is outside it
};
bwresult bwanalyse(const std::vector<double>& grid, bool adaptive,
                   const std::vector<std::pair<double, double>>& searched,
                   const std::function<bool(double x, double& a)>& eval, int& planned);

// After a calibration by AICc (called by aicmin with its limits and the
// search's trials, bandwidth and criterion): evaluates the run's criterion
// routine (all cores) at the trials of bwanalyse and lists the interval
// after the convergence lines.  Leaves the chosen bandwidth and the run's
// scalar results as the search left them.
void bwinterval(state& s, double lo, double hi, const std::vector<std::pair<double, double>>& searched);

}  // namespace gwr
