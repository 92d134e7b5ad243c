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
#include "gaussian/wls.h"
#include "glm/glm.h"

namespace gwr {

namespace {

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

int limit_side(std::vector<std::pair<double, double>> trials, double x, bool adaptive) {
    // The adaptive kernel fits the rounded size: trials of one size are one
    // trial.
    if (adaptive) {
        x = static_cast<int>(x + 0.5);
        for (auto& t : trials) t.first = static_cast<int>(t.first + 0.5);
    }
    std::sort(trials.begin(), trials.end());
    trials.erase(std::unique(trials.begin(), trials.end(),
                             [](const auto& a, const auto& b) { return a.first == b.first; }),
                 trials.end());
    if (trials.size() < 2) return 0;
    const std::size_t last = trials.size() - 1;
    if (x == trials[0].first && trials[0].second < trials[1].second) return -1;
    if (x == trials[last].first && trials[last].second < trials[last - 1].second) return 1;
    return 0;
}

void wrlimit(state& s, std::vector<std::pair<double, double>> trials, double x) {
    const bool adaptive = s.run().adaptive();
    const int side = limit_side(std::move(trials), x, adaptive);
    const char* what = adaptive ? "local sample size" : "bandwidth";
    std::ostream& o = *s.out;
    if (side < 0) {
        ftn::fwrite(o, "(a)", {"** Warning: the criterion fell toward the lower search limit: the best"});
        ftn::fwrite(o, "(3a)", {"**   ", what, " may lie below it (a limits record moves the limits)"});
    } else if (side > 0) {
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
    const bool hist = s.run().history;
    int calls = 0;
    // The first two trials are listed always, the others with the history.
    const double x = golden_section(ax, bx, cx, tol, [&](double bw, int call, const double* b) {
        progress::trials(s, call, b[0], b[1], b[2], b[3], tol);
        const double v = f(s, bw);
        calls = call + 1;
        if (trials) trials->emplace_back(bw, v);
        if (call < 2 || hist) ftn::fwrite(o, "(2f25.12)", {bw, v});
        return v;
    });
    progress::report(s, "calibration", calls, calls);
    ftn::fwrite(o, "(a,i5,a)", {"** Convergence after ", calls, " function calls"});
    return x;
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

    // Several calibration points are fitted at once where the processor
    // allows (fit_lanes): eight whose weights are formed in the lanes
    // (lane_weights), or four whose weights reach every observation (no
    // neighbour list) sharing one pass over the observations.  Their
    // results are the bits of one fit at a time.
    // (Other kernels, whose weights the lanes do not form, take four.)
    const int lanes = fit_lanes(s, K) == 8 && !lane_kernel(s) ? 4 : fit_lanes(s, K);
    const double* yv = y.data();

#pragma omp parallel
    {
        work& w = thread_work(s, thread_num());
        // The results of calibration point i from its coefficients b,
        // variance factors v, inverse C (K x K) and own weight wi.
        auto record = [&](int i, const double* b, const double* v, const double* C, double wi) {
            for (int k = 0; k < K; ++k) {
                s.bvals(i, k) = b[k];
                s.svals(i, k) = v[k];
            }
            double fitted = 0.0;
            for (int k = 0; k < K; ++k) fitted += b[k] * x(i, k);
            s.output.yhat[i] = fitted;
            s.output.resid[i] = y[i] - fitted;
            double h = 0.0;
            for (int k = 0; k < K; ++k) {
                double row = 0.0;
                for (int m = 0; m < K; ++m) row += C[m * K + k] * x(i, m) * wi;
                h += x(i, k) * row;
            }
            s.hat1.hatdg[i] = h;
        };
        // One calibration point fitted alone: the first part of fitreg (the
        // criterion needs the coefficients, C and the variance factors
        // only), then calcse.
        auto alone = [&](int i) {
            fitcoef(s, w);
            calcse(s, w);
            record(i, w.bhat.data(), w.sehat.data(), w.xtwxi.a.data(), w.wt[i]);
        };
        constexpr int kk = fourfold_kmax * fourfold_kmax;
        // Per lane: cross products, inverse, coefficients, variance factors.
        double A4[4 * kk], b4[4 * fourfold_kmax], C4[4 * kk], beta4[4 * fourfold_kmax], v4[4 * fourfold_kmax];
        lane_fits r8;
        const int nl_max = lanes == 8 ? 8 : 4;
#pragma omp for schedule(dynamic, 1)
        for (int g = 0; g < (n + nl_max - 1) / nl_max; ++g) {
            int at[8];  // the calibration points in the lanes
            int nl = 0;
            const int i1 = std::min(n, nl_max * g + nl_max);
            if (lanes == 8) {
                // Each calibration point is fitted at its own observation
                // point, whatever list of locations the final fit uses.
                double lx[8], ly[8];
                for (int i = nl_max * g; i < i1; ++i) {
                    pl.tick();
                    if (s.sampl.insamp[i] == 0) continue;
                    const double xi = s.struc2.xobs[i], yi = s.struc2.yobs[i];
                    if (lane_weights(s, xi, yi, bw)) {
                        lx[nl] = xi;
                        ly[nl] = yi;
                        at[nl++] = i;
                        continue;
                    }
                    genwgt_at(s, w, xi, yi, bw);
                    if (loo) w.wt[i] = 0.0;
                    alone(i);
                }
                if (nl == 0) continue;
                int skip[8];
                for (int f = 0; f < nl; ++f) skip[f] = loo ? at[f] : -1;
                fit_eight(s, w, lx, ly, skip, nl, bw, r8);
                const double* w8 = w.wtl.data();
                for (int f = 0; f < nl; ++f)
                    record(at[f], r8.beta + f * K, r8.v + f * K, r8.C + f * K * K,
                           w8[8 * static_cast<std::size_t>(at[f]) + f]);
                continue;
            }
            for (int i = nl_max * g; i < i1; ++i) {
                pl.tick();
                if (s.sampl.insamp[i] == 0) continue;
                genwgt_at(s, w, s.struc2.xobs[i], s.struc2.yobs[i], bw);
                if (loo) w.wt[i] = 0.0;
                if (lanes == 4 && w.nnbr < 0) {
                    double* w4 = w.wtl.data();
                    for (int j = 0; j < n; ++j) w4[4 * static_cast<std::size_t>(j) + nl] = w.wt[j];
                    at[nl++] = i;
                    continue;
                }
                alone(i);
            }
            if (nl == 0) continue;
            double* w4 = w.wtl.data();
            for (int f = nl; f < 4; ++f)
                for (int j = 0; j < n; ++j) w4[4 * static_cast<std::size_t>(j) + f] = 0.0;
            weighted_products4(x, K, yv, w4, n, A4, b4);
            for (int p = 0; p < 4 * kk; ++p) C4[p] = 0.0;
            for (int f = 0; f < nl; ++f) {
                // As fitcoef: C, then beta = C b.
                const double* A = A4 + f * K * K;
                const double* bv = b4 + f * K;
                double* C = C4 + f * K * K;
                syminv(A, K, C, w);
                for (int k = 0; k < K; ++k) {
                    double sum = 0.0;
                    for (int m = 0; m < K; ++m) sum += C[m * K + k] * bv[m];
                    beta4[f * K + k] = sum;
                }
            }
            calcse4(x, K, w4, n, C4, v4);
            for (int f = 0; f < nl; ++f)
                record(at[f], beta4 + f * K, v4 + f * K, C4 + f * K * K, w4[4 * static_cast<std::size_t>(at[f]) + f]);
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
