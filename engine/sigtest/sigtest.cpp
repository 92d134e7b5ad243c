// The Monte Carlo test of spatial variation of the local parameters, and the
// notice of the withdrawn Leung test.
//
// Each local parameter's spread over the fit locations (its sum of squared
// deviations from the mean) is compared with the spreads obtained when the
// observations are moved to locations drawn at random, with replacement,
// from the observations' own locations.  The responses and predictors stay
// with their observations, so a parameter whose variation is tied to space
// loses it under the randomisation.
#include "control/progress.h"
#include "sigtest/sigtest.h"

#include <algorithm>
#include <cstdint>
#include <string>

#include "control/control.h"
#include "format/format.h"
#include "gaussian/gaussian.h"
#include "gaussian/neighbours.h"
#include "gaussian/parallel.h"

namespace gwr {

double mcstat(state& s, const double* b, int m) {
    double mean = m > 0 ? b[0] : 0.0;
    double ss = 0.0;
    for (int i = 2; i <= m; ++i) {
        double d = b[i - 1] - mean;
        mean += d / i;
        ss += (b[i - 1] - mean) * d;
    }
    s.monte1.mean = mean;
    s.monte1.ss = ss;
    return ss;
}

int mcrank(const double* sorted, int r, double observed) {
    for (int j = r; j >= 1; --j)
        if (sorted[j - 1] == observed) return j;
    return 0;
}

const char* mcmark(int c) {
    // P = c / 100: decided on the count, so that no rounding of the quotient
    // can move a parameter across a threshold.
    if (c == 0) return "***";  // P <= 0.001
    if (c == 1) return "** ";  // P <= 0.01
    if (c <= 5) return "*  ";  // P <= 0.05
    return "n/s";
}

int mcindex(rng& r, int n) {
    if (n <= rng::rand_max) {
        const double u = r.rand() / 32767.0;
        return std::min(static_cast<int>(u * n) + 1, n);
    }
    const std::int64_t hi = r.rand();
    const std::int64_t lo = r.rand();
    const std::int64_t v = hi * 32768 + lo;  // uniform on 0 .. 2^30 - 1
    return static_cast<int>((v * n) >> 30) + 1;
}

void mcfits(state& s, work& w, int m) {
    const int k = s.run().K;
    if (m > 0) genwgt_check(s);
    // The observation coordinates change between the sets: a fresh index.
    nbscope nb(s);
    if (&w != &s.ws) {
        // A caller's own scratch: one thread.
        for (int i = 1; i <= m; ++i) {
            genwgt(s, w, i, s.parms.bandw);
            fitcoef(s, w);
            for (int j = 0; j < k; ++j) s.bvals(i - 1, j) = w.bhat[j];
        }
        // Its weights are a full vector again for whatever the caller does next.
        w.nnbr = -1;
        w.wtsparse = false;
        return;
    }
    size_pool(s);
    progress::loop pl(s, m);
#pragma omp parallel
    {
        work& tw = thread_work(s, thread_num());
#pragma omp for schedule(dynamic, 16)
        for (int i = 1; i <= m; ++i) {
            pl.tick();
            genwgt(s, tw, i, s.parms.bandw);
            fitcoef(s, tw);  // the coefficients of fitreg, without its diagnostics
            for (int j = 0; j < k; ++j) s.bvals(i - 1, j) = tw.bhat[j];
        }
    }
}

namespace {

void heading(state& s) {
    std::ostream& out = *s.out;
    ftn::fwrite(out, "(a)", {" "});
    ftn::fwrite(out, "(a)", {"*************************************************"});
    ftn::fwrite(out, "(a)", {"*                                               *"});
    ftn::fwrite(out, "(a)", {"*   Test for spatial variability of parameters  *"});
    ftn::fwrite(out, "(a)", {"*                                               *"});
    ftn::fwrite(out, "(a)", {"*************************************************"});
    ftn::fwrite(out, "(a)", {" "});
    ftn::fwrite(out, "(a)", {"Tests based on the Monte Carlo significance test "});
    ftn::fwrite(out, "(a)", {"procedure due to Hope [1968,JRSB,30(3),582-598]"});
    ftn::fwrite(out, "(a)", {" "});
    ftn::fwrite(out, "(a)", {"Parameter                  P-value"});
    ftn::fwrite(out, "(a)", {"----------      ------------------"});
}

void key(state& s) {
    std::ostream& out = *s.out;
    ftn::fwrite(out, "(a)", {" "});
    ftn::fwrite(out, "(a)", {"*** = significant at .1% level"});
    ftn::fwrite(out, "(a)", {"**  = significant at 1% level"});
    ftn::fwrite(out, "(a)", {"*   = significant at 5% level"});
}

// The predictor's name as the listing shows it: 8 characters.
std::string label8(const std::string& name) {
    std::string l = name.substr(0, 8);
    l.resize(8, ' ');
    return l;
}

}  // namespace

void mctest(state& s) {
    const int n = s.run().n;
    const int p = s.run().K;
    constexpr int r = mcsets;

    // Scratch and tables, sized once before any fitting.
    work& w = s.ws;
    if (static_cast<int>(w.wt.size()) != n || static_cast<int>(w.bhat.size()) != p) w.size(n, p);
    s.monte1.stats.resize(r, p);
    s.monte1.xsave.assign(s.struc2.xobs.begin(), s.struc2.xobs.begin() + n);
    s.monte1.ysave.assign(s.struc2.yobs.begin(), s.struc2.yobs.begin() + n);

    if (s.run().thinned) {
        thin(s);
        // The observed spreads describe the same locations as the randomised
        // ones: refit at the kept locations with the true coordinates.
        mcfits(s, w, s.fit3.nloc);
    }
    const int m = s.fit3.nloc;

    heading(s);

    dmat& stats = s.monte1.stats;
    for (int k = 0; k < p; ++k) stats(0, k) = mcstat(s, s.bvals.col(k), m);

    const std::vector<double>& xsave = s.monte1.xsave;
    const std::vector<double>& ysave = s.monte1.ysave;
    progress::report(s, "montecarlo", 0, r - 1);
    for (int set = 2; set <= r; ++set) {
        // Each observation takes the location of an observation drawn at
        // random (with replacement); the index runs over the observations,
        // whatever the number of fit locations.
        for (int j = 0; j < n; ++j) {
            const int idx = mcindex(s.rand, n);
            s.struc2.xobs[j] = xsave[idx - 1];
            s.struc2.yobs[j] = ysave[idx - 1];
        }
        mcfits(s, w, m);
        for (int k = 0; k < p; ++k) stats(set - 1, k) = mcstat(s, s.bvals.col(k), m);
        progress::report(s, "montecarlo", set - 1, r - 1);
    }

    std::ostream& out = *s.out;
    for (int k = 0; k < p; ++k) {
        double observed = stats(0, k);
        hsort(stats.col(k), r);
        int rank = mcrank(stats.col(k), r, observed);
        if (rank == 0) ftn::ldwrite(out, {"You should never get here..."});
        int c = r - rank;  // randomised statistics above the observed one
        double pval = 1.0 - static_cast<double>(rank) / r;
        if (k == 0)
            ftn::fwrite(out, "( a,f12.5,3x,a3)", {"Intercept       ", pval, mcmark(c)});
        else
            ftn::fwrite(out, "(2a,f12.5,3x,a3)",
                        {label8(k - 1 < static_cast<int>(s.lab1.modlab.size())
                                    ? s.lab1.modlab[k - 1]
                                    : std::string()),
                         "        ", pval, mcmark(c)});
    }
    key(s);
}

void yltest(state& s) {
    std::ostream& out = *s.out;
    ftn::ldwrite(out, {});
    ftn::fwrite(out, "(a)", {"**************************************************"});
    ftn::fwrite(out, "(a)", {"* LEUNG SIGNIFICANCE TESTS FOR SPATIAL VARIATION *"});
    ftn::fwrite(out, "(a)", {"**************************************************"});
    ftn::ldwrite(out, {});
    ftn::fwrite(out, "(/a)", {"** The Leung test has ben withdrawn in TZM3"});
}

}  // namespace gwr
