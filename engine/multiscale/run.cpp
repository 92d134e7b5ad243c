// The multiscale run: start, back-fitting, inference, the listing block and
// the result file.
#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "control/stop.h"
#include "format/format.h"
#include "gaussian/calib.h"
#include "gaussian/gaussian.h"
#include "gaussian/inference.h"
#include "multiscale/multiscale.h"
#include "results/results.h"

namespace gwr {

namespace {

constexpr double alpha = 0.05;
constexpr double marker_na = -1.0;    // a value the run did not compute
constexpr double marker_lev = -999.0;  // leverage 1: no standardised residual

std::string label(const state& s, int k) { return k == 0 ? std::string("Intrcept") : s.lab1.modlab[k - 1]; }

// The estimates on the original scale of the predictors into s.bvals:
// beta_j / sd_j, and the intercept less sum_j mean_j beta_j / sd_j.
void original_scale(state& s, const ms_model& m) {
    for (int i = 0; i < m.n; ++i) {
        double b0 = m.beta(i, 0);
        for (int j = 1; j < m.K; ++j) {
            s.bvals(i, j) = m.beta(i, j) / m.sd[j];
            b0 -= m.mean[j] * m.beta(i, j) / m.sd[j];
        }
        s.bvals(i, 0) = b0;
    }
}

void wrhistory(state& s, const ms_model& m) {
    std::ostream& o = *s.out;
    ftn::fwrite(o, "(a)", {"** Back-fitting rounds: score of change, then the bandwidth of every parameter"});
    for (std::size_t r = 0; r < m.rounds.size(); ++r) {
        ftn::items row{static_cast<int>(r + 1), m.rounds[r].score};
        for (double b : m.rounds[r].bw) {
            if (s.run().adaptive())
                row.emplace_back(static_cast<int>(b));
            else
                row.emplace_back(b);
        }
        ftn::ldwrite(o, row);
    }
}

// The warning of the single-bandwidth search for every parameter whose last
// search fell toward a limit.
void wrlimits(state& s, const ms_model& m) {
    std::ostream& o = *s.out;
    const bool adaptive = s.run().adaptive();
    const char* what = adaptive ? "local sample size" : "bandwidth";
    for (int j = 0; j < m.K; ++j) {
        if (j >= static_cast<int>(m.searched.size())) break;
        const int side = limit_side(m.searched[j], m.bw[j], adaptive);
        if (side == 0) continue;
        ftn::fwrite(o, "(5a)", {"** Warning: the criterion of ", label(s, j), " fell toward the ",
                                side < 0 ? "lower" : "upper", " search limit: its best"});
        ftn::fwrite(o, "(5a)", {"**   ", what, " may lie ", side < 0 ? "below" : "above",
                                " it (a limits record moves the limits)"});
    }
}

// The table of the parameters' bandwidth intervals: the range of the
// smallest set of trials holding 95 % of the Akaike weight.
void wrintervals(state& s, const ms_model& m, const std::vector<bwresult>& iv) {
    std::ostream& o = *s.out;
    const bool adaptive = s.run().adaptive();
    ftn::ldwrite(o);
    ftn::fwrite(o, "(a)", {"Bandwidth intervals (95% of the Akaike weight of each parameter's smoother;"});
    ftn::fwrite(o, "(a)", {"  Li, Fotheringham, Oshan and Wolf)..."});
    ftn::fwrite(o, "(a)", {"   Label          From            To     Evaluated"});
    for (int j = 0; j < m.K; ++j) {
        const bwresult& r = iv[j];
        const int evals = static_cast<int>(r.x.size());
        if (r.count == 0) {
            ftn::fwrite(o, "(a8,a,i14)", {label(s, j), "   AICc not defined at any trial", evals});
            continue;
        }
        if (adaptive)
            ftn::fwrite(o, "(a8,2i14,i14,a)", {label(s, j), static_cast<int>(r.lo), static_cast<int>(r.hi), evals,
                                              r.contiguous ? "" : "   (several lows)"});
        else
            ftn::fwrite(o, "(a8,2f14.5,i14,a)", {label(s, j), r.lo, r.hi, evals, r.contiguous ? "" : "   (several lows)"});
    }
}

void wrsummary(state& s, const ms_model& m) {
    std::ostream& o = *s.out;
    const int n = m.n;
    std::vector<double> v(n);
    int lq, med, uq;
    quartile_positions(n, lq, med, uq);
    ftn::ldwrite(o);
    ftn::fwrite(o, "(a)", {"Multiscale parameter 5-number summaries (original scale)..."});
    ftn::fwrite(o, "(2a)",
                {"   Label       Minimum  Lwr Quartile        Median", "  Upr Quartile       Maximum"});
    ftn::fwrite(o, "(2a)",
                {"-------- ------------- ------------- -------------", " ------------- -------------"});
    for (int k = 0; k < m.K; ++k) {
        for (int i = 0; i < n; ++i) v[i] = s.bvals(i, k);
        hsort(v.data(), n);
        ftn::fwrite(o, "(a8,5f14.6)", {label(s, k), v[0], v[lq - 1], v[med - 1], v[uq - 1], v[n - 1]});
    }
}

}  // namespace

void mscheck(state& s) {
    std::ostream& o = *s.out;
    if (s.run().kshape == kernel_shape::cylinder) {
        ftn::fwrite(o, "(a)", {"*** The multiscale model takes the fixed Gaussian (f) or the adaptive"});
        ftn::fwrite(o, "(a)", {"*** bi-square (v) kernel, not the cylinder... halting"});
        throw stop();
    }
    if (s.output.samepts != 1) {
        ftn::fwrite(o, "(a)", {"*** The multiscale model is fitted at the observation points only:"});
        ftn::fwrite(o, "(a)", {"*** leave the location file (record 2) blank... halting"});
        throw stop();
    }
}

void msgwr(state& s) {
    std::ostream& o = *s.out;
    const run_description& d = s.run();
    const int n = d.n, K = d.K;
    const bool scale = d.keys.scale == 1;
    const bool infer = d.keys.inference == 1;
    const int nnear0 = s.fit5.nnear;

    ms_model m;
    msdesign(s, m, scale);
    // The start: the single-bandwidth estimates, on the fitting scale.
    for (int i = 0; i < n; ++i) {
        double b0 = s.bvals(i, 0);
        for (int j = 1; j < K; ++j) {
            m.beta(i, j) = s.bvals(i, j) * m.sd[j];
            b0 += m.mean[j] * s.bvals(i, j);
        }
        m.beta(i, 0) = b0;
    }
    m.bw0 = d.adaptive() ? static_cast<double>(s.fit5.nnear) : s.parms.bandw;
    std::fill(m.bw.begin(), m.bw.end(), m.bw0);

    const std::string stars(58, '*');
    ftn::fwrite(o, "(a)", {"", stars, "*                MULTISCALE ESTIMATION                   *", stars});
    ftn::ldwrite(o, {"Fitting Multiscale Geographically Weighted Regression Model..."});
    ftn::fwrite(o, "(a)", {scale ? "** Predictors centred and scaled to unit variance"
                                 : "** Predictors fitted as given (keyword record scale 0)"});
    if (d.search())
        ftn::fwrite(o, "(a)", {d.crit == criterion::aicc
                                   ? "** Back-fitting with a bandwidth search by AICc for every parameter"
                                   : "** Back-fitting with a bandwidth search by crossvalidation for every parameter"});
    else
        ftn::fwrite(o, "(a)", {"** Back-fitting with the given bandwidth for every parameter"});

    msfit(s, m, d.search());
    if (d.history) wrhistory(s, m);
    const double last = m.rounds.empty() ? 0.0 : m.rounds.back().score;
    if (m.converged) {
        ftn::fwrite(o, "(a,i4,a)", {"** Back-fitting converged after", static_cast<int>(m.rounds.size()),
                                    " rounds (score of change below 1e-5)"});
    } else {
        ftn::fwrite(o, "(a,i4,a)", {"** Warning: the back-fitting did not converge in", ms_maxrounds, " rounds:"});
        ftn::fwrite(o, "(a,e12.4)", {"**   its last score of change is", last});
    }

    if (d.search()) wrlimits(s, m);
    std::vector<bwresult> intervals;
    if (d.search() && d.crit == criterion::aicc && d.keys.interval == 1) intervals = msinterval(s, m);

    // A column that is 0 at every observation weighted near a location has
    // no one-predictor fit there: its estimate is 0.
    for (int j = 0; j < K; ++j) {
        int zero = 0;
        for (int i = 0; i < n; ++i)
            if (!(m.denom[static_cast<std::size_t>(j) * n + i] > 0.0)) ++zero;
        if (zero > 0) {
            ftn::fwrite(o, "(3a,i7,a)", {"** Warning: ", label(s, j), " is 0 near", zero, " observations:"});
            ftn::fwrite(o, "(a)", {"**   its multiscale estimate there is 0"});
        }
    }
    if (infer) {
        msinfer(s, m);
        ftn::fwrite(o, "(a,i4,a,i7,a)", {"** Inference from the back-fitting operator: at most", m.oprounds, " rounds on",
                                         (n + ms_block - 1) / ms_block, " blocks of unit vectors"});
    }

    // Fitted values, residuals and the model's criteria.
    original_scale(s, m);
    std::vector<double> hat(n, 0.0);
    double rss = 0.0, trs = 0.0;
    for (int i = 0; i < n; ++i) {
        s.output.yhat[i] = m.yhat[i];
        s.output.resid[i] = s.struc2.ydep[i] - m.yhat[i];
        rss += s.output.resid[i] * s.output.resid[i];
    }
    std::vector<double> enp(K, 0.0);
    if (infer) {
        for (int i = 0; i < n; ++i) {
            double h = 0.0;
            for (int j = 0; j < K; ++j) {
                h += m.rdiag(i, j);
                enp[j] += m.rdiag(i, j);
            }
            hat[i] = h;
            trs += h;
        }
    }
    auto& h = s.hat1;
    double ybar, sse, sst, r2;
    calcr2(s.struc2.ydep.data(), m.yhat.data(), n, ybar, sse, sst, r2);
    if (infer) {
        gaussian_criteria(h, n, rss, trs);
        h.trs = trs;
        h.adjr2 = 1.0 - (1.0 - r2) * (n - 1.0) / (n - h.enp - 1.0);
    }

    // The parameters: bandwidth, ENP_j and the critical t at alpha / ENP_j.
    ftn::ldwrite(o);
    const bool adaptive = d.adaptive();
    if (infer) {
        ftn::fwrite(o, "(a)", {"Parameters (critical |t| at level 0.05 / ENP_j, Student's t with n - ENP df)..."});
        ftn::fwrite(o, "(a)", {adaptive ? "   Label          Size         ENP_j   Adj. level  Critical |t|"
                                        : "   Label     Bandwidth         ENP_j   Adj. level  Critical |t|"});
    } else {
        ftn::fwrite(o, "(a)", {"Parameters..."});
        ftn::fwrite(o, "(a)", {adaptive ? "   Label          Size" : "   Label     Bandwidth"});
    }
    for (int j = 0; j < K; ++j) {
        ftn::items row{label(s, j)};
        if (adaptive)
            row.emplace_back(static_cast<int>(m.bw[j]));
        else
            row.emplace_back(m.bw[j]);
        if (infer) {
            const double level = enp[j] > 0.0 ? alpha / std::max(enp[j], 1.0) : alpha;
            const double crit = t_upper(level / 2.0, n - trs);
            row.emplace_back(enp[j]);
            row.emplace_back(level);
            row.emplace_back(crit);
        }
        ftn::fwrite(o, adaptive ? "(a8,i14,3f14.6)" : "(a8,f14.5,3f14.6)", row);
    }

    if (!intervals.empty()) wrintervals(s, m, intervals);

    ftn::ldwrite(o);
    ftn::fwrite(o, "(a)", {"Diagnostic information..."});
    ftn::fwrite(o, "(a,f20.6)", {"Residual sum of squares.........", rss});
    if (infer) {
        ftn::fwrite(o, "(a,f20.6)", {"Effective number of parameters..", h.enp});
        ftn::fwrite(o, "(a,f20.6)", {"Sigma...........................", h.sigma});
        ftn::fwrite(o, "(a,f20.6)", {"Akaike Information Criterion....", h.aicc});
        ftn::fwrite(o, "(a,f20.6)", {"Coefficient of Determination....", r2});
        ftn::fwrite(o, "(a,f20.6)", {"Adjusted r-square...............", h.adjr2});
    } else {
        ftn::fwrite(o, "(a,f20.6)", {"Coefficient of Determination....", r2});
        ftn::fwrite(o, "(a)", {"** Inference left out (keyword record inference 0): no standard errors,"});
        ftn::fwrite(o, "(a)", {"**   effective numbers of parameters, sigma or AICc"});
    }
    wrsummary(s, m);

    // The tables the result files write: standard errors on the original
    // scale, leverages, standardised residuals and Cook's distances by the
    // formulas of the single-bandwidth model; no local r-square (there is no
    // single kernel).
    const double sig = infer ? h.sigma : 0.0;
    double mr = s.output.resid[0], ss = 0.0;
    for (int j = 2; j <= n; ++j) {
        const double dd = s.output.resid[j - 1] - mr;
        mr = mr + dd / j;
        ss = ss + dd * (s.output.resid[j - 1] - mr);
    }
    const double sdr = std::sqrt(ss / (n - 1));
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < K; ++j) {
            const double p = j == 0 ? m.pss0.empty() ? 0.0 : m.pss0[i] : infer ? m.pss(i, j) : 0.0;
            s.svals(i, j) = infer ? sig * std::sqrt(p) / (j == 0 ? 1.0 : m.sd[j]) : 0.0;
        }
        s.diags.locr2[i] = marker_na;
        s.diags.cond[i] = std::numeric_limits<double>::quiet_NaN();
        if (!infer) {
            s.hat1.hatdg[i] = marker_na;
            s.diags.stdres[i] = marker_na;
            s.diags.cookd[i] = marker_na;
        } else if (hat[i] >= 1.0) {
            s.hat1.hatdg[i] = hat[i];
            s.diags.stdres[i] = marker_lev;
            s.diags.cookd[i] = marker_lev;
        } else {
            s.hat1.hatdg[i] = hat[i];
            const double sr = s.output.resid[i] / (std::sqrt(1.0 - hat[i]) * sdr);
            s.diags.stdres[i] = sr;
            s.diags.cookd[i] = sr * sr * hat[i] / ((1.0 - hat[i]) * trs);
        }
    }
    s.fit5.nnear = nnear0;
    s.outst1.npar = K;
    write_results(s);
}

}  // namespace gwr
