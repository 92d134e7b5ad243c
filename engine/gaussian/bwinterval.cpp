// The bandwidth interval from Akaike weights over a grid of trial
// bandwidths.
#include "gaussian/bwinterval.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <ostream>

#include "control/progress.h"
#include "format/format.h"
#include "gaussian/calib.h"
#include "glm/glm.h"

namespace gwr {

std::vector<double> bwgrid(bool adaptive, double lo, double hi) {
    std::vector<double> g;
    if (adaptive) {
        const int a = static_cast<int>(lo + 0.5), b = static_cast<int>(hi + 0.5);
        if (b < a) return g;
        if (b - a + 1 <= bwgrid_max) {
            for (int k = a; k <= b; ++k) g.push_back(k);
            return g;
        }
        for (int t = 0; t < bwgrid_max; ++t)
            g.push_back(a + std::floor(static_cast<double>(b - a) * t / (bwgrid_max - 1) + 0.5));
        return g;
    }
    if (!(hi > lo)) return g;
    for (int t = 0; t < bwgrid_max; ++t)
        g.push_back(t == bwgrid_max - 1 ? hi : lo + (hi - lo) * t / (bwgrid_max - 1));
    return g;
}

int akaike_set(const std::vector<double>& aicc, const std::vector<char>& ok, double level,
               std::vector<double>& weight, std::vector<char>& inset) {
    const int T = static_cast<int>(aicc.size());
    weight.assign(T, 0.0);
    inset.assign(T, 0);
    double amin = 0.0;
    bool any = false;
    for (int t = 0; t < T; ++t)
        if (ok[t] && (!any || aicc[t] < amin)) {
            amin = aicc[t];
            any = true;
        }
    if (!any) return 0;
    double sum = 0.0;
    for (int t = 0; t < T; ++t)
        if (ok[t]) {
            weight[t] = std::exp(-(aicc[t] - amin) / 2.0);
            sum += weight[t];
        }
    for (double& w : weight) w /= sum;
    std::vector<int> order(T);
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return weight[a] > weight[b]; });
    double cum = 0.0;
    int count = 0;
    for (int t : order) {
        if (!ok[t]) break;
        inset[t] = 1;
        ++count;
        cum += weight[t];
        // The last trials may carry weights below the rounding of the sum.
        if (cum >= level * (1.0 - 1e-12)) break;
    }
    return count;
}

int bwprofile(const std::vector<double>& grid, const std::vector<std::pair<double, double>>& searched,
              const std::function<bool(int t, double& a)>& eval, std::vector<double>& aicc,
              std::vector<char>& done, std::vector<char>& ok, int& planned) {
    const int T = static_cast<int>(grid.size());
    aicc.assign(T, 0.0);
    done.assign(T, 0);
    ok.assign(T, 0);
    std::vector<char> skipped(T, 0);
    planned = T;
    int count = 0;
    bool any = false;
    double amin = 0.0;
    auto at = [&](int t) {
        ok[t] = eval(t, aicc[t]) ? 1 : 0;
        done[t] = 1;
        ++count;
        if (ok[t] && (!any || aicc[t] < amin)) {
            amin = aicc[t];
            any = true;
        }
    };
    if (T <= 25) {
        for (int t = 0; t < T; ++t) at(t);
        return count;
    }
    // Far: known, finite and 30 or more above the lowest defined value.
    auto far = [&](double a) { return any && std::isfinite(a) && a - amin >= 30.0; };
    // Whether the nearest known bandwidths below and above grid[t] are both
    // far.  A grid trial not evaluated is not known.
    auto bracketed = [&](int t) {
        const double x = grid[t];
        double below = -HUGE_VAL, above = HUGE_VAL;
        double abelow = 0.0, aabove = 0.0;
        bool okbelow = false, okabove = false;
        auto take = [&](double bx, double a, bool known_ok) {
            if (bx < x && bx > below) {
                below = bx;
                abelow = a;
                okbelow = known_ok;
            } else if (bx > x && bx < above) {
                above = bx;
                aabove = a;
                okabove = known_ok;
            }
        };
        for (const auto& [bx, a] : searched) take(bx, a, true);
        for (int u = 0; u < T; ++u)
            if (done[u]) take(grid[u], aicc[u], ok[u] != 0);
        return okbelow && okabove && far(abelow) && far(aabove);
    };
    auto visit = [&](int t) {
        if (done[t] || skipped[t]) return;
        if (bracketed(t)) {
            skipped[t] = 1;
            --planned;
            return;
        }
        at(t);
    };
    // The trial nearest the search's best bandwidth, then the two ends.
    if (!searched.empty()) {
        std::size_t best = 0;
        for (std::size_t k = 1; k < searched.size(); ++k)
            if (searched[k].second < searched[best].second) best = k;
        int near = 0;
        for (int t = 1; t < T; ++t)
            if (std::fabs(grid[t] - searched[best].first) < std::fabs(grid[near] - searched[best].first)) near = t;
        at(near);
    }
    visit(0);
    visit(T - 1);
    constexpr int step = 5;
    for (int t = 0; t < T; t += step) visit(t);
    for (int t = 0; t < T; ++t) visit(t);
    return count;
}

void bwinterval(state& s, double lo, double hi, const std::vector<std::pair<double, double>>& searched) {
    const bool adaptive = s.option.kertyp == 2;
    const bool gauss = s.option.method == 2;
    const std::vector<double> grid = bwgrid(adaptive, lo, hi);
    const int T = static_cast<int>(grid.size());
    if (T < 2) return;
    criterion f = gauss ? akeval : glmval;

    // The criterion routines leave their trial in the state: keep what the
    // search chose.
    const double bandw = s.parms.bandw;
    const int nnear = s.fit5.nnear;
    const blocks::hat1 hat = s.hat1;
    const double rss = s.anova.rss;
    const blocks::glm2 g2 = s.glm2;

    const double n = s.option.nobs;
    std::vector<double> aicc;
    std::vector<char> done, ok;
    // The search's trials at the sizes the adaptive kernel fitted.
    std::vector<std::pair<double, double>> known = searched;
    if (adaptive)
        for (auto& k : known) k.first = std::floor(k.first + 0.5);
    int evaluated = 0, planned = T;
    const int evals = bwprofile(
        grid, known,
        [&](int t, double& a) {
            progress::report(s, "interval", evaluated, planned);
            ++evaluated;
            a = f(s, grid[t]);
            // AICc is defined while its correction's denominator is positive.
            const double denom = gauss ? n - 2.0 - s.hat1.trs : n - s.hat1.enp - 1.0;
            return std::isfinite(a) && denom > 0.0;
        },
        aicc, done, ok, planned);
    progress::report(s, "interval", evals, evals);

    s.parms.bandw = bandw;
    s.fit5.nnear = nnear;
    s.hat1 = hat;
    s.anova.rss = rss;
    s.glm2 = g2;

    std::vector<double> weight;
    std::vector<char> inset;
    const int count = akaike_set(aicc, ok, 0.95, weight, inset);
    int defined = 0, first = -1, last = -1;
    for (int t = 0; t < T; ++t) {
        defined += ok[t];  // of the evaluated trials
        if (inset[t]) {
            if (first < 0) first = t;
            last = t;
        }
    }
    bool contiguous = true;
    for (int t = first; t >= 0 && t <= last; ++t)
        if (ok[t] && !inset[t]) contiguous = false;

    std::ostream& o = *s.out;
    ftn::fwrite(o, "(a)", {"** Bandwidth interval (Akaike weights; Li, Fotheringham, Oshan and Wolf):"});
    if (adaptive) {
        const int a = static_cast<int>(grid.front()), b = static_cast<int>(grid.back());
        if (b - a + 1 == T)
            ftn::fwrite(o, "(a,i6,a,i6,a,i5,a)",
                        {"**   AICc at every local sample size from", a, " to", b, " (", T, " trials)"});
        else
            ftn::fwrite(o, "(a,i5,a,i6,a,i6,a,i5)",
                        {"**   AICc at", T, " local sample sizes from", a, " to", b, ", steps of about",
                         static_cast<int>(std::lround((b - a) / (T - 1.0)))});
    } else {
        ftn::fwrite(o, "(a,i5,a,f12.5,a,f12.5,a,f10.5)",
                    {"**   AICc at", T, " bandwidths from", grid.front(), " to", grid.back(), ", step",
                     (grid.back() - grid.front()) / (T - 1)});
    }
    if (evals < T)
        ftn::fwrite(o, "(a,i5,a)",
                    {"**  ", T - evals, " of them not evaluated: between values 30 or more above the lowest"});
    if (defined < evals)
        ftn::fwrite(o, "(a,i5,a)",
                    {"**  ", evals - defined, " trials left out: too many effective parameters for AICc"});
    if (count == 0) {
        ftn::fwrite(o, "(a)", {"**   AICc is not defined at any trial: no interval"});
        return;
    }
    if (adaptive)
        ftn::fwrite(o, "(a,i6,a,i6,a,i5,a)",
                    {"**   95% of the weight on local sample sizes", static_cast<int>(grid[first]), " to",
                     static_cast<int>(grid[last]), " (", count, " trials)"});
    else
        ftn::fwrite(o, "(a,f12.5,a,f12.5,a,i5,a)",
                    {"**   95% of the weight on bandwidths", grid[first], " to", grid[last], " (", count,
                     " trials)"});
    if (!contiguous)
        ftn::fwrite(o, "(a)", {"**   (some trials between these are outside the set: AICc has several lows)"});
}

}  // namespace gwr
