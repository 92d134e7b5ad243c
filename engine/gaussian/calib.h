// Bandwidth calibration by golden-section search.
#pragma once

#include <cmath>
#include <utility>
#include <vector>

#include "control/blocks.h"

namespace gwr {

// A criterion of the bandwidth search: its value at bandwidth (or size) bw.
using criterion_fn = double (*)(state& s, double bw);

// The bandwidth search of a Gaussian, logistic or Poisson run: its set-up
// lines, the limits (searchlimits, checklimits), the calibration sample
// (selsmp), then aicmin.  Stops for a calibration without a criterion and
// for BIC with a Gaussian model.
void calib(state& s);

// Minimises the run's criterion between lo and hi (akeval for Gaussian
// runs, glmval for logistic and Poisson ones) by golden-section search,
// sets the bandwidth or the adaptive size found, and warns when it lies at
// a limit (wrlimit).
void aicmin(state& s, double lo, double hi);

// Golden-section search (Press, Teukolsky, Vetterling and Flannery 1992)
// for the minimum of f on [ax, cx] from the inner point bx, until the
// bracket is narrower than tol times the sum of its inner points; with
// `trials`, every evaluated abscissa and its criterion value are appended
// there, in the order of evaluation.
double golden(state& s, double ax, double bx, double cx, double tol, criterion_fn f,
              std::vector<std::pair<double, double>>* trials = nullptr);

// The golden ratio's step of the search and the relative width of the
// bracket at which it stops.
constexpr double golden_r = 0.61803399;
constexpr double golden_c = 1.0 - golden_r;
constexpr double search_tol = 0.05;

// The search itself, shared by golden and the multiscale model's searches:
// f(x, call, bracket) is the criterion at x, the call-th evaluation (from
// 0), with the bracket {x0, x1, x2, x3} as it stands; ties shrink the
// bracket from the right.  Returns the smaller of the two final inner
// points.
template <class F>
double golden_section(double ax, double bx, double cx, double tol, F&& f) {
    double x0 = ax, x3 = cx, x1, x2;
    if (std::fabs(bx - ax) < std::fabs(cx - bx)) {
        x1 = bx;
        x2 = bx + golden_c * (cx - bx);
    } else {
        x2 = bx;
        x1 = bx - golden_c * (bx - ax);
    }
    int calls = 0;
    auto eval = [&](double x) {
        const double bracket[4] = {x0, x1, x2, x3};
        return f(x, calls++, bracket);
    };
    double f1 = eval(x1);
    double f2 = eval(x2);
    while (std::fabs(x3 - x0) > tol * (std::fabs(x1) + std::fabs(x2))) {
        if (f1 > f2) {
            x0 = x1;
            x1 = x2;
            x2 = golden_r * x2 + golden_c * x3;
            f1 = f2;
            f2 = eval(x2);
        } else {
            x3 = x2;
            x2 = x1;
            x1 = golden_r * x1 + golden_c * x0;
            f2 = f1;
            f1 = eval(x1);
        }
    }
    return f1 < f2 ? x1 : x2;
}

// The Gaussian criterion at bandwidth (or size) bw, from a fit at every
// calibration point's own observation: the AICc of the local model
// (Hurvich, Simonoff and Tsai 1998); with leave_one_out the point's own
// weight is 0, so that the sum of squares is the cross-validation score
// (Cleveland 1979; Brunsdon, Fotheringham and Charlton 1996) and the trace
// 0, and the value, the same formula of them, orders bandwidths as the
// score does.
double akeval(state& s, double bw);

// Refuses limits no search can use: the user's limits (keyword record
// "limits LO HI") unless 0 < LO < HI, for the adaptive kernel also
// 1 <= LO and HI <= the number of observations; the limits of a fixed
// kernel on observations that all lie at one place (both extents 0).
// Writes the message lines and stops.
void checklimits(const state& s, double lo, double hi);

// The warning after the convergence lines when the chosen abscissa x is
// the evaluated trial nearest a search limit and its criterion is below
// that of the next trial inward: the best value may lie beyond the limit.
// For the adaptive kernel trials count by their rounded sizes.
void wrlimit(state& s, std::vector<std::pair<double, double>> trials, double x);

// The test of wrlimit: -1 when the search of trials (bandwidth, criterion)
// that chose x fell toward its lower limit, 1 toward its upper, else 0.
int limit_side(std::vector<std::pair<double, double>> trials, double x, bool adaptive);

// Lower and upper limit of the bandwidth search for the current kernel and
// method: the user's limits when the control file gives them (the limits
// keyword record); else for fixed kernels from the smaller coordinate
// extent, or the larger one when the smaller is 0 (kilometres for spherical
// coordinates), for the adaptive kernel from the observation count.
void searchlimits(const state& s, double& lo, double& hi);

// Draws the calibration sample of a sampled search (sample letter s): one
// draw per observation, kept when it does not exceed smppct/100; writes one
// line per observation and returns the number kept.  Any other calibration
// keeps every observation without drawing.
int selsmp(state& s);

}  // namespace gwr
