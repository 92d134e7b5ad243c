// The Gaussian run: model arrays from the data, fit locations, optional
// bandwidth search, global model, the local estimation loop and its
// diagnostics, the result file and the prediction report.
#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "control/progress.h"
#include "control/control.h"
#include "control/stop.h"
#include "format/format.h"
#include "gaussian/calib.h"
#include "gaussian/gaussian.h"
#include "gaussian/neighbours.h"
#include "gaussian/parallel.h"
#include "gaussian/predict.h"
#include "gaussian/wls.h"
#include "results/results.h"

namespace gwr {

namespace {

const std::string stars58(58, '*');

// The results of the local fit at location i (1-based) into the tables:
// its cross products A, inverse C with the singular flag sing,
// coefficients beta, variance factors v and count of observations of
// positive kernel weight (npos[i-1]); with the fit locations at the
// observations also the fitted value, residual and leverage of observation
// i, whose own kernel weight is wi.  Writes only row i.
void store_location(state& s, int i, bool same, int* npos, const double* A, const double* C, int sing,
                    const double* beta, const double* v, int count, double wi) {
    const int K = s.run().K;
    s.output.locsing[i - 1] = sing;
    s.diags.cond[i - 1] = sing ? std::numeric_limits<double>::infinity() : condition(A, K);
    npos[i - 1] = count;
    for (int k = 0; k < K; ++k) {
        s.bvals(i - 1, k) = beta[k];
        s.svals(i - 1, k) = v[k];
    }
    if (!same) return;
    const dmat& x = s.struc1.xmat;
    double yh = 0.0;
    for (int k = 0; k < K; ++k) yh += s.bvals(i - 1, k) * x(i - 1, k);
    s.output.yhat[i - 1] = yh;
    s.output.resid[i - 1] = s.struc2.ydep[i - 1] - yh;
    // Leverage: w_i x_i' C x_i, the diagonal element of the hat matrix.
    double h = 0.0;
    for (int k = 0; k < K; ++k) {
        double inner = 0.0;
        for (int m = 0; m < K; ++m) inner += C[m * K + k] * x(i - 1, m) * wi;
        h += x(i - 1, k) * inner;
    }
    s.hat1.hatdg[i - 1] = h;
}

// Local fit at location i (1-based) into the tables (store_location), with
// its prediction when the run asks for one.  Reads the state, writes only
// row i and w.
void fit_location(state& s, work& w, int i, bool same, int* npos) {
    genwgt(s, w, i, s.parms.bandw);
    fitcoef(s, w);
    int c = 0;
    if (w.nnbr >= 0) {
        for (int t = 0; t < w.nnbr; ++t)
            if (w.wt[w.nbr[t]] > 0.0) ++c;
    } else {
        const int n = s.run().n;
        for (int j = 0; j < n; ++j)
            if (w.wt[j] > 0.0) ++c;
    }
    calcse(s, w);
    store_location(s, i, same, npos, w.xtwx.a.data(), w.xtwxi.a.data(), w.singfl, w.bhat.data(),
                   w.sehat.data(), c, same ? w.wt[i - 1] : 0.0);
    if (s.pred.active) predict_gauss_at(s, w, i);
}

// The fits at locations i0..i1 (1-based): eight at once (fit_eight) where
// the weights allow, the others one at a time.
void fit_group(state& s, work& w, int i0, int i1, bool same, int* npos, lane_fits& r) {
    const int K = s.run().K;
    const double bw = s.parms.bandw;
    double lx[8], ly[8];
    int at[8];
    const int nl = lane_group(s, i0, i1, bw, lx, ly, at, [&](int i) { fit_location(s, w, i, same, npos); });
    if (nl == 0) return;
    fit_eight(s, w, lx, ly, nullptr, nl, bw, r);
    const double* w8 = w.wtl.data();
    for (int f = 0; f < nl; ++f) {
        const int i = at[f];
        store_location(s, i, same, npos, r.A + f * K * K, r.C + f * K * K, r.sing[f], r.beta + f * K,
                       r.v + f * K, r.npos[f], same ? w8[8 * static_cast<std::size_t>(i - 1) + f] : 0.0);
    }
}

}  // namespace

void tzm(state& s) {
    std::ostream& out = *s.out;
    ftn::fwrite(out, "(a)",
                {"", stars58, "*                TZM ESTIMATION                          *", stars58});
    const int n = s.run().n;
    const int K = s.run().K;
    const int nfit = s.fit3.nloc;
    const bool same = s.output.samepts == 1;
    s.hat1.trs = 0.0;
    s.anova.rss = 0.0;

    ftn::ldwrite(out, {"Fitting Geographically Weighted Regression Model..."});
    ftn::ldwrite(out, {"Number of observations............", n});
    ftn::ldwrite(out, {"Number of independent variables...", K});
    ftn::ldwrite(out, {" (Intercept is variable 1)"});
    if (s.run().adaptive())
        ftn::ldwrite(out, {"Number of nearest neighbours......", s.fit5.nnear});
    else
        ftn::ldwrite(out, {"Bandwidth (in data units).........", s.parms.bandw});
    ftn::ldwrite(out, {"Number of locations to fit model..", nfit});
    ftn::ldwrite(out);

    if (nfit > 0) genwgt_check(s);
    size_pool(s);
    std::vector<int> npos(static_cast<std::size_t>(std::max(nfit, 0)));
    {
        nbscope nb(s);
        progress::loop pl(s, nfit);
        // Eight locations at once where the processor allows (wls.h); a
        // prediction needs each location's weights afterwards, so it takes
        // one location at a time.
        const bool eight = fit_lanes(s, K) == 8 && lane_kernel(s) && !s.pred.active;
#pragma omp parallel
        {
            work& w = thread_work(s, thread_num());
            if (eight) {
                lane_fits r;
#pragma omp for schedule(dynamic, 2)
                for (int g = 0; g < (nfit + 7) / 8; ++g) {
                    const int i0 = 8 * g + 1, i1 = std::min(nfit, 8 * g + 8);
                    fit_group(s, w, i0, i1, same, npos.data(), r);
                    for (int i = i0; i <= i1; ++i) pl.tick();
                }
            } else {
#pragma omp for schedule(dynamic, 16)
                for (int i = 1; i <= nfit; ++i) {
                    fit_location(s, w, i, same, npos.data());
                    pl.tick();
                }
            }
        }
    }
    wrsing(s, npos.data(), K);
    // Sums over the locations, in location order.
    double rss = 0.0, trs = 0.0;
    if (same) {
        for (int i = 1; i <= nfit; ++i) {
            rss += s.output.resid[i - 1] * s.output.resid[i - 1];
            trs += s.hat1.hatdg[i - 1];
        }
    }
    s.anova.rss = rss;
    s.hat1.trs = trs;

    if (!same) {
        // The tables keep the unscaled variance factors.
        ftn::fwrite(out, "(a/a)",
                    {"** Diagnostics not available when estimating", "   at non sample points **"});
    } else {
        auto& h = s.hat1;
        gaussian_criteria(h, n, rss, trs);
        const double sig2 = h.sigma * h.sigma;
        for (int k = 0; k < K; ++k)
            for (int i = 0; i < nfit; ++i) s.svals(i, k) = std::sqrt(s.svals(i, k) * sig2);
        double ybar, sse, sst, r2;
        calcr2(s.struc2.ydep.data(), s.output.yhat.data(), nfit, ybar, sse, sst, r2);
        h.adjr2 = 1.0 - (1.0 - r2) * (n - 1.0) / (n - h.enp - 1.0);
        ftn::fwrite(out, "(a)", {"Diagnostic information..."});
        ftn::fwrite(out, "(a,f20.6)", {"Residual sum of squares.........", rss});
        ftn::fwrite(out, "(a,f20.6)", {"Effective number of parameters..", h.enp});
        ftn::fwrite(out, "(a,f20.6)", {"Sigma...........................", h.sigma});
        ftn::fwrite(out, "(a,f20.6)", {"Akaike Information Criterion....", h.aicc});
        ftn::fwrite(out, "(a,f20.6)", {"Coefficient of Determination....", r2});
        ftn::fwrite(out, "(a,f20.6)", {"Adjusted r-square...............", h.adjr2});
    }
    predict_gauss_finish(s);

    diagpt(s);

    s.outst1.npar = K;
    // A multiscale run writes its own estimates instead (msgwr).
    if (s.run().method != analysis::multiscale) write_results(s);
}

void wrsing(state& s, const int* npos, int K) {
    std::ostream& out = *s.out;
    const int m = s.fit3.nloc;
    int nsing = 0, firstsing = 0, nfew = 0, firstfew = 0;
    for (int i = 1; i <= m; ++i) {
        if (s.output.locsing[i - 1] != 0 && nsing++ == 0) firstsing = i;
        if (npos[i - 1] < K && nfew++ == 0) firstfew = i;
    }
    if (m > 0 && nfew == m) {
        ftn::fwrite(out, "(a,i3,a)",
                    {"*** Every fit location has fewer than", K, " observations of positive kernel"});
        ftn::fwrite(out, "(a)",
                    {"*** weight: no local model can be fitted (check the bandwidth, the local"});
        ftn::fwrite(out, "(a)", {"*** sample size and the observation weights)... halting"});
        throw stop();
    }
    if (nsing > 0) {
        ftn::fwrite(out, "(a,i7,a,i7,a)",
                    {"** Warning:", nsing, " of", m, " fit locations have a singular local design:"});
        ftn::fwrite(out, "(a,i7,a)",
                    {"**   predictors that depend on others there are dropped (first: location", firstsing,
                     ")"});
    }
    if (nfew > 0) {
        ftn::fwrite(out, "(a,i7,a,i7,a,i3,a)",
                    {"** Warning:", nfew, " of", m, " fit locations have fewer than", K, " observations"});
        ftn::fwrite(out, "(a,i7,a)", {"**   of positive kernel weight (first: location", firstfew, ")"});
    }
}

void runmod(state& s) {
    std::ostream& out = *s.out;
    const std::string stars63(63, '*');
    const std::string side = "*" + std::string(61, ' ') + "*";
    ftn::fwrite(out, "(a)",
                {stars63, side, "*        GEOGRAPHICALLY WEIGHTED GAUSSIAN REGRESSION          *",
                 side, stars63});

    rdata(s);
    ftn::fwrite(out, "(a)", {" Observation points read..."});

    // Model arrays.  Design columns: the intercept, then the model's
    // variables in data-file order.
    auto& o = s.option;
    const int n = s.run().n;
    const std::vector<int> cols = model_columns(s);
    const int K = static_cast<int>(cols.size()) + 1;
    s.set_parameter_count(K);
    const dmat& dm = s.struc1.datmat;
    dmat& x = s.struc1.xmat;
    x.resize(n, K);
    const bool sph = s.run().spherical();
    double xmin = 1e70, xmax = -1e70, ymin = 1e70, ymax = -1e70;
    for (int i = 0; i < n; ++i) {
        s.struc2.ydep[i] = dm(i, o.idep - 1);
        double xo = dm(i, o.ixvar - 1), yo = dm(i, o.iyvar - 1);
        if (sph) {
            xo = xo * s.trig.raddeg;
            yo = yo * s.trig.raddeg;
        }
        s.struc2.xobs[i] = xo;
        s.struc2.yobs[i] = yo;
        xmin = std::min(xmin, xo);
        xmax = std::max(xmax, xo);
        ymin = std::min(ymin, yo);
        ymax = std::max(ymax, yo);
        s.fit6.obswt[i] = o.iwvar >= 1 ? dm(i, o.iwvar - 1) : 1.0;
    }
    for (int i = 0; i < n; ++i) x(i, 0) = 1.0;
    for (int k = 1; k < K; ++k) {
        const double* src = dm.col(cols[k - 1] - 1);
        double* dst = x.col(k);
        for (int i = 0; i < n; ++i) dst[i] = src[i];
    }

    // Dependent mean in single precision.
    float ysum = 0.0f;
    for (int i = 0; i < n; ++i) ysum = static_cast<float>(ysum + s.struc2.ydep[i]);
    const float ymean = ysum / static_cast<float>(n);
    ftn::fwrite(out, "(a)", {" "});
    ftn::ldwrite(out, {"Dependent mean=", ymean});
    ftn::ldwrite(out, {"Number of observations, nobs=", n});
    ftn::ldwrite(out, {"Number of predictors,   nvar=", K - 1});

    // Fit locations.
    if (fitloc(s)) {
        ftn::fwrite(out, "(a)", {" Prediction points read..."});
        if (s.output.samepts == 1)
            ftn::ldwrite(out, {"** Data and regression points identical"});
        else
            ftn::ldwrite(out, {"** Data and regression points differ"});
    }
    const int nloc = s.fit3.nloc;
    o.nfit = nloc;
    s.size_loc(std::max(n, nloc), K);
    s.ws.size(n, K);

    // ---- Bandwidth search -------------------------------------------------
    if (!s.run().bandwidth_given()) {
        wrextent(s, xmin, xmax, ymin, ymax);
        calib(s);
    }
    // -----------------------------------------------------------------------

    reg1(s);
    tzm(s);

    wrpred(s);
}

void wrextent(state& s, double xmin, double xmax, double ymin, double ymax) {
    std::ostream& out = *s.out;
    const float ex = static_cast<float>(xmax - xmin);
    const float ey = static_cast<float>(ymax - ymin);
    if (s.run().adaptive()) {
        ftn::ldwrite(out, {"Observation Easting extent: ", ex});
        ftn::ldwrite(out, {"Observation Northing extent:", ey});
    } else {
        ftn::ldwrite(out, {"** Observation Easting extent: ", ex});
        ftn::ldwrite(out, {"** Observation Northing extent:", ey});
    }
    if (s.run().spherical()) ftn::ldwrite(out, {"** NB these are in radians"});
}

void wrpred(state& s) {
    if (s.pred.active) {  // a location table with predictor values
        if (s.run().predictions) wrpredx(s);
        return;
    }
    if (!s.run().predictions || s.output.samepts != 1) return;
    std::ostream& out = *s.out;
    ftn::ldwrite(out);
    ftn::ldwrite(out, {"Predictions from this model..."});
    ftn::ldwrite(out, {"  Obs        Y(i)    Yhat(i)      Res(i)        X(i)        Y(i)"});
    for (int i = 0; i < s.fit3.nloc; ++i) {
        double xf = s.fit1.xfit[i], yf = s.fit1.yfit[i];
        if (s.run().spherical()) {
            xf = xf * s.trig.degrad;
            yf = yf * s.trig.degrad;
        }
        ftn::fwrite(out, "(i5,5f12.3,2x,l1)",
                    {i + 1, s.struc2.ydep[i], s.output.yhat[i], s.output.resid[i], xf, yf,
                     s.output.locsing[i] == 1});
    }
}

}  // namespace gwr
