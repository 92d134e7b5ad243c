// An interval for the calibrated bandwidth from the AICc profile (Li,
// Fotheringham, Oshan and Wolf 2020): the criterion at an even grid of
// trial bandwidths across the search range, their Akaike weights, and the
// range of the smallest set of trials holding 95 % of the weight.
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

// The criterion at the trials of the grid (ascending bandwidths) that can
// carry weight.  A trial is not evaluated when the nearest bandwidths on
// either side at which the criterion is known (trials of the search,
// `searched`, and trials of the grid already evaluated) both have values
// 30 or more above the lowest value of the grid evaluated so far: their
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

// After a calibration by AICc (called by aicmin with its limits and the
// search's trials, bandwidth and criterion): evaluates the run's criterion
// routine (all cores) at the grid's trials and lists the interval after
// the convergence lines.  Leaves the chosen bandwidth and the run's scalar
// results as the search left them.
void bwinterval(state& s, double lo, double hi, const std::vector<std::pair<double, double>>& searched);

}  // namespace gwr
