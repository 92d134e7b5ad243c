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
    return akaike_set(aicc, ok, std::vector<double>(aicc.size(), 1.0), level, weight, inset);
}

int akaike_set(const std::vector<double>& aicc, const std::vector<char>& ok, const std::vector<double>& width,
               double level, std::vector<double>& weight, std::vector<char>& inset) {
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
    std::vector<double> density(T, 0.0);
    double sum = 0.0;
    for (int t = 0; t < T; ++t)
        if (ok[t]) {
            density[t] = std::exp(-(aicc[t] - amin) / 2.0);
            weight[t] = density[t] * width[t];
            sum += weight[t];
        }
    for (double& w : weight) w /= sum;
    std::vector<int> order(T);
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return density[a] > density[b]; });
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
        for (const auto& [bx, a] : searched) take(bx, a, std::isfinite(a));
        for (int u = 0; u < T; ++u)
            if (done[u]) take(grid[u], aicc[u], ok[u] != 0);
        // A grid trial where AICc is not defined weighs nothing: it counts
        // as far.
        const bool farbelow = below > -HUGE_VAL && (!okbelow || far(abelow));
        const bool farabove = above < HUGE_VAL && (!okabove || far(aabove));
        return farbelow && farabove;
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

namespace {

// The set of the evaluated trials (ascending) with the widths of the
// bandwidths they stand for: half way to the defined neighbours on either
// side, the full step at the ends.
void set_of(bwresult& r, std::vector<char>& inset) {
    const int T = static_cast<int>(r.x.size());
    std::vector<int> def;
    for (int t = 0; t < T; ++t)
        if (r.ok[t]) def.push_back(t);
    std::vector<double> width(T, 1.0), weight;
    const int D = static_cast<int>(def.size());
    for (int k = 0; k < D && D > 1; ++k) {
        const double left = k > 0 ? r.x[def[k]] - r.x[def[k - 1]] : r.x[def[1]] - r.x[def[0]];
        const double right = k + 1 < D ? r.x[def[k + 1]] - r.x[def[k]] : r.x[def[D - 1]] - r.x[def[D - 2]];
        width[def[k]] = (left + right) / 2.0;
    }
    r.count = akaike_set(r.aicc, r.ok, width, 0.95, weight, inset);
    int first = -1, last = -1;
    for (int t = 0; t < T; ++t)
        if (inset[t]) {
            if (first < 0) first = t;
            last = t;
        }
    r.contiguous = true;
    if (first < 0) return;
    r.lo = r.x[first];
    r.hi = r.x[last];
    for (int t = first; t <= last; ++t)
        if (r.ok[t] && !inset[t]) r.contiguous = false;
}

// Adds the evaluated trials of a grid to r, keeping the bandwidths
// ascending.
void merge(bwresult& r, const std::vector<double>& grid, const std::vector<double>& aicc,
           const std::vector<char>& done, const std::vector<char>& ok) {
    for (std::size_t t = 0; t < grid.size(); ++t) {
        if (!done[t]) continue;
        const auto at = std::lower_bound(r.x.begin(), r.x.end(), grid[t]) - r.x.begin();
        r.x.insert(r.x.begin() + at, grid[t]);
        r.aicc.insert(r.aicc.begin() + at, aicc[t]);
        r.ok.insert(r.ok.begin() + at, ok[t]);
    }
}

}  // namespace

bwresult bwanalyse(const std::vector<double>& grid, bool adaptive,
                   const std::vector<std::pair<double, double>>& searched,
                   const std::function<bool(double x, double& a)>& eval, int& planned) {
    bwresult r;
    r.grid = static_cast<int>(grid.size());
    std::vector<double> aicc;
    std::vector<char> done, ok, inset;
    int base = 0;  // evaluations planned before the current grid
    int part = 0;
    auto at = [&](const std::vector<double>& g) {
        return [&, g](int t, double& a) {
            planned = base + part;
            return eval(g[t], a);
        };
    };
    r.gridevals = bwprofile(grid, searched, at(grid), aicc, done, ok, part);
    merge(r, grid, aicc, done, ok);
    set_of(r, inset);
    for (int round = 0; round < 3 && r.count > 0 && r.count < 10; ++round) {
        // The evaluated, defined trials just outside the set.
        double a = r.lo, b = r.hi;
        for (std::size_t t = 0; t < r.x.size(); ++t) {
            if (!r.ok[t]) continue;
            if (r.x[t] < r.lo) a = r.x[t];
            if (r.x[t] > r.hi && b == r.hi) b = r.x[t];
        }
        std::vector<double> fine;
        if (adaptive) {
            const int ia = static_cast<int>(a), ib = static_cast<int>(b);
            if (ib - ia - 1 <= 20) {
                for (int k = ia + 1; k < ib; ++k) fine.push_back(k);
            } else {
                for (int k = 1; k <= 20; ++k) fine.push_back(ia + std::floor((ib - ia) * k / 21.0 + 0.5));
            }
        } else if (b - a > 1e-9 * std::fabs(b)) {
            for (int k = 1; k <= 20; ++k) fine.push_back(a + (b - a) * k / 21.0);
        }
        // Only bandwidths not evaluated yet.
        fine.erase(std::remove_if(fine.begin(), fine.end(),
                                  [&](double x) { return std::binary_search(r.x.begin(), r.x.end(), x); }),
                   fine.end());
        fine.erase(std::unique(fine.begin(), fine.end()), fine.end());
        if (fine.empty()) break;
        std::vector<std::pair<double, double>> known = searched;
        for (std::size_t t = 0; t < r.x.size(); ++t)
            if (r.ok[t]) known.emplace_back(r.x[t], r.aicc[t]);
        base += part;
        const int evals = bwprofile(fine, known, at(fine), aicc, done, ok, part);
        if (r.refined == 0) {
            r.reflo = a;
            r.refhi = b;
        }
        r.refined += evals;
        merge(r, fine, aicc, done, ok);
        set_of(r, inset);
    }
    planned = base + part;
    return r;
}

void bwinterval(state& s, double lo, double hi, const std::vector<std::pair<double, double>>& searched) {
    const bool adaptive = s.run().adaptive();
    const bool gauss = s.run().gaussian_model();
    const std::vector<double> grid = bwgrid(adaptive, lo, hi);
    const int T = static_cast<int>(grid.size());
    if (T < 2) return;
    criterion_fn f = gauss ? akeval : glmval;

    // The criterion routines leave their trial in the state: keep what the
    // search chose.
    const double bandw = s.parms.bandw;
    const int nnear = s.fit5.nnear;
    const blocks::hat1 hat = s.hat1;
    const double rss = s.anova.rss;
    const blocks::glm2 g2 = s.glm2;

    const double n = s.run().n;
    // The search's trials at the sizes the adaptive kernel fitted.
    std::vector<std::pair<double, double>> known = searched;
    if (adaptive)
        for (auto& k : known) k.first = std::floor(k.first + 0.5);
    int evaluated = 0, planned = T;
    const bwresult r = bwanalyse(
        grid, adaptive, known,
        [&](double x, double& a) {
            progress::report(s, "interval", evaluated, std::max(planned, evaluated + 1));
            ++evaluated;
            a = f(s, x);
            // AICc is defined while its correction's denominator is positive.
            const double denom = gauss ? n - 2.0 - s.hat1.trs : n - s.hat1.enp - 1.0;
            return std::isfinite(a) && denom > 0.0;
        },
        planned);
    progress::report(s, "interval", evaluated, evaluated);

    s.parms.bandw = bandw;
    s.fit5.nnear = nnear;
    s.hat1 = hat;
    s.anova.rss = rss;
    s.glm2 = g2;

    int defined = 0;
    for (char k : r.ok) defined += k;
    const int evals = static_cast<int>(r.x.size());

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
    if (r.gridevals < T)
        ftn::fwrite(o, "(a,i5,a)",
                    {"**  ", T - r.gridevals, " of them not evaluated: between values 30 or more above the lowest"});
    if (r.refined > 0) {
        if (adaptive)
            ftn::fwrite(o, "(a,i5,a,i6,a,i6)",
                        {"**   and at", r.refined, " more sizes near the low, from", static_cast<int>(r.reflo), " to",
                         static_cast<int>(r.refhi)});
        else
            ftn::fwrite(o, "(a,i5,a,f12.5,a,f12.5)",
                        {"**   and at", r.refined, " more near the low, from", r.reflo, " to", r.refhi});
    }
    if (defined < evals)
        ftn::fwrite(o, "(a,i5,a)",
                    {"**  ", evals - defined, " trials left out: too many effective parameters for AICc"});
    if (r.count == 0) {
        ftn::fwrite(o, "(a)", {"**   AICc is not defined at any trial: no interval"});
        return;
    }
    if (adaptive)
        ftn::fwrite(o, "(a,i6,a,i6,a,i5,a)",
                    {"**   95% of the weight on local sample sizes", static_cast<int>(r.lo), " to",
                     static_cast<int>(r.hi), " (", r.count, " trials)"});
    else
        ftn::fwrite(o, "(a,f12.5,a,f12.5,a,i5,a)",
                    {"**   95% of the weight on bandwidths", r.lo, " to", r.hi, " (", r.count, " trials)"});
    if (!r.contiguous)
        ftn::fwrite(o, "(a)", {"**   (some trials between these are outside the set: AICc has several lows)"});
}

}  // namespace gwr
