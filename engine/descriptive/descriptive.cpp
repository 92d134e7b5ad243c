// Geographically weighted descriptive statistics: for every fit location and
// every chosen variable, the kernel-weighted local mean, variance and
// standard deviation over all observations.
#include "control/progress.h"
#include "descriptive/descriptive.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <limits>
#include <string>

#include "control/control.h"
#include "control/stop.h"
#include "format/format.h"
#include "gaussian/gaussian.h"
#include "gaussian/neighbours.h"
#include "gaussian/parallel.h"
#include "results/results.h"
#include "results/written.h"

namespace gwr {

void dstats(state& s) {
    std::ostream& out = *s.out;
    ftn::fwrite(out, "(a)", {"***************************************************************"});
    ftn::fwrite(out, "(a)", {"*                                                             *"});
    ftn::fwrite(out, "(a)", {"*         GEOGRAPHICALLY WEIGHTED SUMMARY STATISTICS          *"});
    ftn::fwrite(out, "(a)", {"*                                                             *"});
    ftn::fwrite(out, "(a)", {"***************************************************************"});
    gendst(s);
}

void wmvar(const double* w, const double* z, int n, double& mean, double& var) {
    if (n < 1) {
        // No observations: neither statistic exists.
        mean = std::numeric_limits<double>::quiet_NaN();
        var = mean;
        return;
    }
    // West's (1979) incremental update.  While the weights seen so far sum
    // to 0 the mean stays put; the first positive weight then makes its
    // value the mean.
    mean = z[0];
    double ss = 0.0;
    double wsum = w[0];
    for (int j = 1; j < n; ++j) {
        wsum += w[j];
        double t = w[j] * (z[j] - mean);
        if (wsum > 0.0) mean += t / wsum;
        ss += (z[j] - mean) * t;
    }
    var = ss / (wsum * (n - 1) / n);
}

namespace {

// wmvar over the listed observations only (idx, cnt entries, ascending):
// an observation of weight 0 leaves the sum of weights, the mean and the
// sum of squares as they are, provided its value is finite and far from
// overflow, and the mean does not start as a negative zero (adding a zero
// would turn it positive).  dstcal checks that before using it.
void wmvar_list(const double* w, const double* z, int n, const int* idx, int cnt, double& mean,
                double& var) {
    mean = z[0];
    double ss = 0.0;
    double wsum = w[0];
    for (int t = 0; t < cnt; ++t) {
        const int j = idx[t];
        if (j == 0) continue;
        wsum += w[j];
        double d = w[j] * (z[j] - mean);
        if (wsum > 0.0) mean += d / wsum;
        ss += (z[j] - mean) * d;
    }
    var = ss / (wsum * (n - 1) / n);
}

// Whether a column may be summed over the neighbours alone.
bool listable(const double* z, int n) {
    if (n < 1 || (z[0] == 0.0 && std::signbit(z[0]))) return false;
    for (int j = 0; j < n; ++j)
        if (!(std::fabs(z[j]) < 1e300)) return false;
    return true;
}

}  // namespace

int dstsel(state& s) {
    const int n = s.run().n;
    const int ix = s.option.ixvar, iy = s.option.iyvar, iw = s.option.iwvar;

    // The chosen variables: the model's variables (a dependent column is
    // left out as well, so that the statistics line up with the names of
    // the echo).
    const std::vector<int> cols = model_columns(s);
    const int m = static_cast<int>(cols.size());

    const dmat& d = s.struc1.datmat;
    s.struc1.selmat.resize(n, m);
    const bool sph = s.run().spherical();
    const double conv = sph ? s.trig.raddeg : 1.0;
    for (int i = 0; i < n; ++i) {
        s.struc2.xobs[i] = d(i, ix - 1);
        s.struc2.yobs[i] = d(i, iy - 1);
        if (sph) {
            s.struc2.xobs[i] *= conv;
            s.struc2.yobs[i] *= conv;
        }
        s.fit6.obswt[i] = iw > 0 ? d(i, iw - 1) : 1.0;
        for (int k = 0; k < m; ++k) s.struc1.selmat(i, k) = d(i, cols[k] - 1);
    }
    s.set_parameter_count(m);
    return m;
}

void dstcal(state& s) {
    const int n = s.run().n;
    const int m = s.run().K;
    const int nloc = s.fit3.nloc;
    if (nloc > 0) genwgt_check(s);
    size_pool(s);
    nbscope nb(s);
    std::vector<char> bylist(m);
    for (int k = 0; k < m; ++k) bylist[k] = listable(s.struc1.selmat.col(k), n);
    progress::loop pl(s, nloc);
#pragma omp parallel
    {
        work& w = thread_work(s, thread_num());
#pragma omp for schedule(dynamic, 16)
        for (int l = 1; l <= nloc; ++l) {
            pl.tick();
            genwgt(s, w, l, s.parms.bandw);
            for (int k = 0; k < m; ++k) {
                double mean = 0.0, var = 0.0;
                if (w.nnbr >= 0 && bylist[k])
                    wmvar_list(w.wt.data(), s.struc1.selmat.col(k), n, w.nbr.data(), w.nnbr,
                               mean, var);
                else
                    wmvar(w.wt.data(), s.struc1.selmat.col(k), n, mean, var);
                s.bvals(l - 1, k) = mean;
                s.svals(l - 1, k) = var;
            }
        }
    }
}

namespace {

// A fit location's coordinate as shown: degrees when spherical.
double shown(const state& s, double v) {
    return s.run().spherical() ? v * s.trig.degrad : v;
}

}  // namespace

void dstprt(state& s) {
    std::ostream& out = *s.out;
    const int m = s.run().K;
    ftn::fwrite(out, "(a/2a)", {" ", "** Estimated means, variances and", " standard deviations"});
    ftn::fwrite(out, "(a)", {"      ID   X-COORD   Y-COORD"});
    ftn::items labels;
    for (int k = 0; k < m; ++k) {
        labels.emplace_back(" <***** ");
        labels.emplace_back(k < static_cast<int>(s.lab1.modlab.size()) ? s.lab1.modlab[k]
                                                                        : std::string());
        labels.emplace_back(" *****> ");
    }
    ftn::fwrite(out, "(6a12)", labels);
    ftn::items row;
    row.reserve(3 + 3 * static_cast<std::size_t>(m));
    for (int l = 1; l <= s.fit3.nloc; ++l) {
        for (int k = 0; k < m; ++k) s.tvals[k] = std::sqrt(s.svals(l - 1, k));
        row.clear();
        row.emplace_back(s.fit2.fitid[l - 1]);
        row.emplace_back(static_cast<float>(shown(s, s.fit1.xfit[l - 1])));
        row.emplace_back(static_cast<float>(shown(s, s.fit1.yfit[l - 1])));
        for (int k = 0; k < m; ++k) {
            row.emplace_back(s.bvals(l - 1, k));
            row.emplace_back(s.svals(l - 1, k));
            row.emplace_back(s.tvals[k]);
        }
        ftn::fwrite(out, "(i8,2f10.3/(6f12.3))", row);
    }
}

std::string dstnam(const char* stem, int k) { return written::numbered(stem, k); }

void wrscsv(state& s) {
    const int m = s.run().K;
    written::staged_file file(s.files.outfil);
    std::ofstream& f = file.open();

    ftn::items head{"ID", ",", "FITX", ",", "FITY"};
    for (const char* stem : {"MEAN", "VAR_", "STD_"}) {
        for (int k = 1; k <= m; ++k) {
            head.emplace_back(",");
            head.emplace_back(dstnam(stem, k));
        }
    }
    ftn::fwrite(f, "(a,255(a1,a))", head);

    ftn::items row;
    row.reserve(5 + 6 * static_cast<std::size_t>(m));
    for (int l = 1; l <= s.fit3.nloc; ++l) {
        row.clear();
        row.emplace_back(s.fit2.fitid[l - 1]);
        row.emplace_back(",");
        row.emplace_back(shown(s, s.fit1.xfit[l - 1]));
        row.emplace_back(",");
        row.emplace_back(shown(s, s.fit1.yfit[l - 1]));
        for (int k = 0; k < m; ++k) {
            row.emplace_back(",");
            row.emplace_back(s.bvals(l - 1, k));
        }
        for (int k = 0; k < m; ++k) {
            row.emplace_back(",");
            row.emplace_back(s.svals(l - 1, k));
        }
        for (int k = 0; k < m; ++k) {
            double v = s.svals(l - 1, k);
            s.tvals[k] = v > 0.0 ? std::sqrt(v) : 0.0;
            row.emplace_back(",");
            row.emplace_back(s.tvals[k]);
        }
        std::string line = ftn::ldrecord(row);
        line.erase(line.find_last_not_of(' ') + 1);
        f << line << '\n';
    }
    file.commit();
}

void gendst(state& s) {
    std::ostream& out = *s.out;
    rdata(s);
    ftn::fwrite(out, "(a)", {"** Data file read..."});
    const int n = s.run().n;
    const int m = dstsel(s);
    ftn::ldwrite(out, {"Number of observations, nobs=", n});
    ftn::ldwrite(out, {"Number of predictors,   nvar=", m});

    if (fitloc(s)) {
        ftn::fwrite(out, "(a)", {"** Prediction points read..."});
        ftn::ldwrite(out, {s.output.samepts == 1 ? "** Data and estimation points identical"
                                                 : "** Data and estimation points differ"});
    }

    if (!s.run().bandwidth_given()) {
        ftn::ldwrite(out, {"** Invalid choice for bandwidth specification"});
        throw stop("2222");
    }
    if (s.run().kshape == kernel_shape::gaussian) {
        ftn::ldwrite(out, {"** Fixed radius kernel: bandwidth is ", s.parms.bandw, " map units"});
    } else if (s.run().kshape == kernel_shape::bisquare) {
        ftn::ldwrite(out, {"** Adaptive kernel: local sample size is ", s.fit5.nnear});
    } else {
        ftn::ldwrite(out, {"** Invalid kernel specification"});
        throw stop("3333");
    }

    s.size_loc(std::max(n, s.fit3.nloc), m);
    s.ws.size(n, m);
    dstcal(s);

    if (s.run().predictions) dstprt(s);

    write_results(s);
}

}  // namespace gwr
