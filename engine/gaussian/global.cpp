// The global (observation-weighted) regression and the ANOVA of the local
// model's improvement over it.
#include <cmath>
#include <string>

#include "format/format.h"
#include "gaussian/gaussian.h"

namespace gwr {

void reg1(state& s) {
    std::ostream& out = *s.out;
    const std::string stars(58, '*');
    ftn::fwrite(out, "(a)",
                {"", stars, "*           GLOBAL REGRESSION PARAMETERS                 *", stars});
    const int n = s.run().n;
    const int K = s.run().K;
    work& w = s.ws;
    const bool weighted = s.option.iwvar >= 1;
    for (int j = 0; j < n; ++j) w.wt[j] = weighted ? s.fit6.obswt[j] : 1.0;
    fitreg(s, w);
    s.anova.gbeta.assign(w.bhat.begin(), w.bhat.begin() + K);
    for (int j = 0; j < n; ++j) {
        s.anova.gresid[j] = w.lresid[j];
        s.output.yhat[j] = s.struc2.ydep[j] - w.lresid[j];
    }
    double ybar, sse, sst, r2;
    calcr2(s.struc2.ydep.data(), s.output.yhat.data(), n, ybar, sse, sst, r2);
    auto& h = s.hat1;
    h.trols = w.trloc;
    gaussian_criteria(h, n, w.lrss, w.trloc);
    h.adjr2 = 1.0 - (1.0 - r2) * (n - 1.0) / (n - h.enp - 1.0);

    ftn::fwrite(out, "(a)", {"Diagnostic information..."});
    ftn::fwrite(out, "(a,f20.6)", {"Residual sum of squares.........", w.lrss});
    ftn::fwrite(out, "(a,f20.6)", {"Effective number of parameters..", h.enp});
    ftn::fwrite(out, "(a,f20.6)", {"Sigma...........................", h.sigma});
    ftn::fwrite(out, "(a,f20.6)", {"Akaike Information Criterion....", h.aicc});
    ftn::fwrite(out, "(a,f20.6)", {"Coefficient of Determination....", r2});
    ftn::fwrite(out, "(a,f20.6)", {"Adjusted r-square...............", h.adjr2});

    ftn::fwrite(out, "(/3a)",
                {"Parameter               Estimate", "                Std Err",
                 "                     T"});
    ftn::fwrite(out, "(3a)",
                {"---------           ------------", "           ------------",
                 "           ------------"});
    for (int k = 0; k < K; ++k) {
        const double b = w.bhat[k], se = w.sehat[k];
        const float t = se > 0.0 ? static_cast<float>(b / se) : 0.0f;
        if (k == 0)
            ftn::fwrite(out, "(a,3f23.12)", {"Intercept", b, se, t});
        else
            ftn::fwrite(out, "(1x,a8,3f23.12)", {s.lab1.modlab[k - 1], b, se, t});
    }
    if (w.singfl) wrsingglobal(s);
    ftn::ldwrite(out);
}

void gaussian_criteria(blocks::hat1& h, double n, double rss, double tr) {
    constexpr double pi = 3.141592653589793;
    h.enp = tr;
    h.sigml = rss / n;
    h.sigma = std::sqrt(rss / (n - tr));
    h.aicc = n * (std::log(2.0 * pi * h.sigml) + 1.0 + 2.0 * (tr + 1.0) / (n - 2.0 - tr));
}

void wrsingglobal(state& s) {
    ftn::fwrite(*s.out, "(a)", {"** Warning: the global design is singular: predictors that depend on"});
    ftn::fwrite(*s.out, "(a)", {"**   others are dropped (estimate and standard error 0)"});
}

void tzm_ft(state& s) {
    std::ostream& out = *s.out;
    if (s.output.samepts == 0) {
        ftn::fwrite(out, "(/a)", {"Unable to compute ANOVA table"});
        return;
    }
    const int n = s.run().n;
    double ss_ols = 0.0, ss_tzm = 0.0;
    for (int j = 0; j < n; ++j) ss_ols += s.anova.gresid[j] * s.anova.gresid[j];
    for (int j = 0; j < n; ++j) ss_tzm += s.output.resid[j] * s.output.resid[j];
    const float ss_imp = static_cast<float>(ss_ols - ss_tzm);
    const double df_ols = s.hat1.trols;
    const double df_imp = s.hat1.trs - s.hat1.trols;
    const double df_tzm = n - s.hat1.trs;
    const double ms_imp = ss_imp / df_imp;
    const double ms_tzm = ss_tzm / df_tzm;
    const double f = ms_imp / ms_tzm;

    const std::string stars(58, '*');
    ftn::fwrite(out, "(a)",
                {"", stars, "*                      ANOVA                             *", stars});
    ftn::fwrite(out, "(a,a)",
                {"        Source                      SS", "        DF               MS             F"});
    const char* fmt = "(a,f22.1,f10.2,f17.4,2f14.4)";
    ftn::fwrite(out, fmt, {"OLS Residuals   ", ss_ols, df_ols});
    ftn::fwrite(out, fmt, {"TZM Improvement ", ss_imp, df_imp, ms_imp});
    ftn::fwrite(out, fmt, {"TZM Residuals   ", ss_tzm, df_tzm, ms_tzm, f});
}

}  // namespace gwr
