// Bandwidth calibration: set-up, golden-section search and the Gaussian
// criterion (cross-validation score or AICc).
#include "control/progress.h"
#include "gaussian/calib.h"

#include <algorithm>
#include <cmath>
#include <ostream>
#include <utility>
#include <vector>

#include "control/stop.h"
#include "format/format.h"
#include "gaussian/bwinterval.h"
#include "gaussian/distance.h"
#include "gaussian/gaussian.h"
#include "gaussian/neighbours.h"
#include "gaussian/parallel.h"
#include "glm/glm.h"

namespace gwr {

namespace {

constexpr double golden_r = 0.61803399;
constexpr double golden_c = 1.0 - golden_r;
constexpr double search_tol = 0.05;

double extent(const std::vector<double>& v, int n) {
    double lo = 1e70, hi = -1e70;
    for (int i = 0; i < n; ++i) {
        lo = std::min(lo, v[i]);
        hi = std::max(hi, v[i]);
    }
    return hi - lo;
}

}  // namespace

void searchlimits(const state& s, double& lo, double& hi) {
    const int n = s.run().n;
    const run_description& d = s.run();
    if (d.keys.limits) {
        // The user's limits, in the units of the kernel: sizes for the
        // adaptive kernel, distances (kilometres for spherical coordinates)
        // for the fixed ones.
        lo = d.keys.limlo;
        hi = d.keys.limhi;
        return;
    }
    if (!d.adaptive()) {
        double xext = extent(s.struc2.xobs, n);
        double yext = extent(s.struc2.yobs, n);
        // Spherical coordinates are stored in radians while the kernel
        // measures great-circle kilometres: search in kilometres.
        if (d.spherical()) {
            xext *= earth_radius;
            yext *= earth_radius;
        }
        // Points along a line (one extent 0) are searched over the other
        // extent; with both 0 the limits are 0 and calib stops.
        hi = std::min(xext, yext);
        if (hi == 0.0) hi = std::max(xext, yext);
        lo = d.method == analysis::logistic ? hi * 0.25 : hi / 20.0;
    } else {
        hi = n;
        if (d.glm())
            lo = std::max(n / 4, 30);
        else
            lo = std::max(n / 20, 10);
    }
}

int selsmp(state& s) {
    const int n = s.run().n;
    if (static_cast<int>(s.sampl.insamp.size()) < n) s.sampl.insamp.resize(n);
    if (!s.run().sampled()) {
        std::fill(s.sampl.insamp.begin(), s.sampl.insamp.begin() + n, 1);
        return n;
    }
    // The sampling value is a percentage.
    const double frac = s.sampl.smppct / 100.0;
    int count = 0;
    for (int i = 0; i < n; ++i) {
        float r = static_cast<float>(s.rand.rand()) / 32767.0f;
        int flag = static_cast<double>(r) <= frac ? 1 : 0;
        s.sampl.insamp[i] = flag;
        count += flag;
        ftn::ldwrite(*s.out, {static_cast<double>(r), frac, flag});
    }
    return count;
}

void calib(state& s) {
    std::ostream& o = *s.out;
    const run_description& d = s.run();

    if (!d.search()) {
        // An unknown calibration letter leaves no criterion to minimise and
        // no bandwidth to fit with.
        ftn::fwrite(o, "(a)", {"*** No bandwidth search for this calibration choice: halting"});
        throw stop{};
    }
    if (d.gaussian_model() && d.crit == criterion::bic) {
        ftn::fwrite(o, "(a)",
                    {"*** BIC calibration is only available for logistic and Poisson models"});
        throw stop{};
    }

    ftn::fwrite(o, "(a)", {"*Finding bandwidth... "});
    if (!d.sampled()) {
        ftn::ldwrite(o, {" ... using all regression points"});
        ftn::ldwrite(o, {"This can take some time..."});
    } else {
        const double frac = s.sampl.smppct / 100.0;
        const int expected = static_cast<int>(std::lround(s.run().n * frac));
        ftn::ldwrite(o, {" ... using a sample of regression points"});
        ftn::fwrite(o, "(a,f7.3,a,i7,a)",
                    {"Sampling will be used: fraction is: ", frac, " (", expected, " cases)"});
    }

    double lo = 0.0, hi = 0.0;
    searchlimits(s, lo, hi);
    checklimits(s, lo, hi);

    const int count = selsmp(s);
    ftn::ldwrite(o, {"*Calibration will be based on ", count, " cases"});
    if (count == 0) {
        // Every trial would evaluate the criterion over no observation.
        ftn::fwrite(o, "(a)", {"*** The calibration sample holds no observation: use a larger"});
        ftn::fwrite(o, "(a)", {"*** sampling percentage or all observations... halting"});
        throw stop();
    }

    if (!d.adaptive())
        ftn::ldwrite(o, {"*Fixed kernel bandwidth search limits: ", lo, hi});
    else
        ftn::fwrite(o, "(a,2i7)",
                    {"*Adaptive kernel sample size limits: ", static_cast<int>(lo),
                     static_cast<int>(hi)});

    if (d.gaussian_model() || d.glm()) {
        if (d.crit == criterion::aicc)
            ftn::ldwrite(o, {"*AICc minimisation begins..."});
        else
            ftn::ldwrite(o, {"*Crossvalidation begins..."});
        aicmin(s, lo, hi);
    }
}

void checklimits(const state& s, double lo, double hi) {
    std::ostream& o = *s.out;
    if (s.run().keys.limits) {
        const int n = s.run().n;
        if (s.run().adaptive()) {
            if (!(lo >= 1.0 && lo < hi && hi <= n)) {
                ftn::ldwrite(o, {"*** Sample size search limits", lo, hi});
                ftn::ldwrite(o, {"*** must satisfy 1 <= LO < HI <=", n, " (the number of observations): halting"});
                throw stop();
            }
        } else if (!(lo > 0.0 && lo < hi && std::isfinite(hi))) {
            ftn::ldwrite(o, {"*** Bandwidth search limits", lo, hi});
            ftn::ldwrite(o, {"*** must satisfy 0 < LO < HI: halting"});
            throw stop();
        }
    } else if (!s.run().adaptive() && hi == 0.0) {
        ftn::fwrite(o, "(a)", {"*** All observations are at one place (their x and y extents are 0):"});
        ftn::fwrite(o, "(a)", {"*** no bandwidth to search for... halting"});
        throw stop();
    }
}

void wrlimit(state& s, std::vector<std::pair<double, double>> trials, double x) {
    // The adaptive kernel fits the rounded size: trials of one size are one
    // trial.
    const bool adaptive = s.run().adaptive();
    if (adaptive) {
        x = static_cast<int>(x + 0.5);
        for (auto& t : trials) t.first = static_cast<int>(t.first + 0.5);
    }
    std::sort(trials.begin(), trials.end());
    trials.erase(std::unique(trials.begin(), trials.end(),
                             [](const auto& a, const auto& b) { return a.first == b.first; }),
                 trials.end());
    if (trials.size() < 2) return;
    const std::size_t last = trials.size() - 1;
    const char* what = adaptive ? "local sample size" : "bandwidth";
    std::ostream& o = *s.out;
    if (x == trials[0].first && trials[0].second < trials[1].second) {
        ftn::fwrite(o, "(a)", {"** Warning: the criterion fell toward the lower search limit: the best"});
        ftn::fwrite(o, "(3a)", {"**   ", what, " may lie below it (a limits record moves the limits)"});
    } else if (x == trials[last].first && trials[last].second < trials[last - 1].second) {
        ftn::fwrite(o, "(a)", {"** Warning: the criterion fell toward the upper search limit: the best"});
        ftn::fwrite(o, "(3a)", {"**   ", what, " may lie above it (a limits record moves the limits)"});
    }
}

void aicmin(state& s, double lo, double hi) {
    const run_description& d = s.run();
    if (d.history) {
        if (d.crit == criterion::aicc)
            ftn::fwrite(*s.out, "(a)", {"            Bandwidth                     AICc"});
        else
            ftn::fwrite(*s.out, "(a)", {"            Bandwidth                CV Score"});
    }
    const double mid = (lo + hi) * 0.5;
    criterion_fn f = d.gaussian_model() ? akeval : glmval;
    std::vector<std::pair<double, double>> trials;
    const double x = golden(s, lo, mid, hi, search_tol, f, &trials);
    if (!d.adaptive()) {
        s.parms.bandw = x;
        ftn::fwrite(*s.out, "(a,f12.5)", {"** Convergence: Bandwidth= ", s.parms.bandw});
    } else {
        s.fit5.nnear = static_cast<int>(x + 0.5);
        ftn::fwrite(*s.out, "(a,i6)", {"** Convergence: Local Sample Size= ", s.fit5.nnear});
    }
    wrlimit(s, trials, x);
    if (d.crit == criterion::aicc && d.keys.interval == 1) bwinterval(s, lo, hi, trials);
}

double golden(state& s, double ax, double bx, double cx, double tol, criterion_fn f,
              std::vector<std::pair<double, double>>* trials) {
    std::ostream& o = *s.out;
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
        progress::trials(s, calls, x0, x1, x2, x3, tol);
        const double v = f(s, x);
        ++calls;
        if (trials) trials->emplace_back(x, v);
        return v;
    };
    double f1 = eval(x1);
    ftn::fwrite(o, "(2f25.12)", {x1, f1});
    double f2 = eval(x2);
    ftn::fwrite(o, "(2f25.12)", {x2, f2});
    const bool hist = s.run().history;

    while (std::fabs(x3 - x0) > tol * (std::fabs(x1) + std::fabs(x2))) {
        if (f1 > f2) {
            x0 = x1;
            x1 = x2;
            x2 = golden_r * x2 + golden_c * x3;
            f1 = f2;
            f2 = eval(x2);
            if (hist) ftn::fwrite(o, "(2f25.12)", {x2, f2});
        } else {
            // Ties shrink the bracket from the right.
            x3 = x2;
            x2 = x1;
            x1 = golden_r * x1 + golden_c * x0;
            f2 = f1;
            f1 = eval(x1);
            if (hist) ftn::fwrite(o, "(2f25.12)", {x1, f1});
        }
    }
    progress::report(s, "calibration", calls, calls);
    ftn::fwrite(o, "(a,i5,a)", {"** Convergence after ", calls, " function calls"});
    return f1 < f2 ? x1 : x2;
}

double akeval(state& s, double bw) {
    const int n = s.run().n;
    const int K = s.run().K;
    const bool loo = s.run().leave_one_out();
    const dmat& x = s.struc1.xmat;
    const std::vector<double>& y = s.struc2.ydep;

    if (s.run().adaptive()) s.fit5.nnear = static_cast<int>(bw + 0.5);
    if (std::find(s.sampl.insamp.begin(), s.sampl.insamp.begin() + n, 1) != s.sampl.insamp.begin() + n)
        genwgt_check(s);
    size_pool(s);
    nbscope nb(s);
    progress::loop pl(s, n);

#pragma omp parallel
    {
        work& w = thread_work(s, thread_num());
#pragma omp for schedule(dynamic, 16)
        for (int i = 0; i < n; ++i) {
            pl.tick();
            if (s.sampl.insamp[i] == 0) continue;
            // Each calibration point is fitted at its own observation point,
            // whatever list of locations the final fit uses.
            genwgt_at(s, w, s.struc2.xobs[i], s.struc2.yobs[i], bw);
            if (loo) w.wt[i] = 0.0;
            // The criterion needs the coefficients, C and the variance
            // factors only: the first part of fitreg, then calcse.
            fitcoef(s, w);
            calcse(s, w);
            for (int k = 0; k < K; ++k) {
                s.bvals(i, k) = w.bhat[k];
                s.svals(i, k) = w.sehat[k];
            }
            double fitted = 0.0;
            for (int k = 0; k < K; ++k) fitted += w.bhat[k] * x(i, k);
            s.output.yhat[i] = fitted;
            s.output.resid[i] = y[i] - fitted;

            const double wi = w.wt[i];
            double h = 0.0;
            for (int k = 0; k < K; ++k) {
                double row = 0.0;
                for (int m = 0; m < K; ++m) row += w.xtwxi(k, m) * x(i, m) * wi;
                h += x(i, k) * row;
            }
            s.hat1.hatdg[i] = h;
        }
    }

    // Sums over the calibration points, in observation order.
    double rss = 0.0, trs = 0.0;
    for (int i = 0; i < n; ++i) {
        if (s.sampl.insamp[i] == 0) continue;
        rss += s.output.resid[i] * s.output.resid[i];
        trs += s.hat1.hatdg[i];
    }

    s.anova.rss = rss;
    s.hat1.trs = trs;
    gaussian_criteria(s.hat1, n, rss, trs);
    return s.hat1.aicc;
}

}  // namespace gwr
