// The logistic and Poisson model run: banner, data, fit locations,
// calibration, the global and the local model, predictions.
#include <algorithm>
#include <cmath>

#include "control/control.h"
#include "control/stop.h"
#include "format/format.h"
#include "gaussian/calib.h"
#include "gaussian/gaussian.h"
#include "glm/glm.h"

namespace gwr {

namespace {

std::string name8(const std::string& v) {
    std::string r = v.substr(0, std::min<std::size_t>(v.size(), 8));
    r.resize(8, ' ');
    return r;
}

void model_banner(state& s) {
    std::ostream& o = *s.out;
    const char* border = "***************************************************************";
    const char* blank = "*                                                             *";
    ftn::fwrite(o, "(a)", {border});
    ftn::fwrite(o, "(a)", {blank});
    const bool logit = s.run().method == analysis::logistic;
    ftn::fwrite(o, "(a)",
                {logit ? "*        GEOGRAPHICALLY WEIGHTED LOGISTIC REGRESSION          *"
                       : "*          GEOGRAPHICALLY WEIGHTED POISSON REGRESSION         *"});
    ftn::fwrite(o, "(a)", {blank});
    ftn::fwrite(o, "(a)", {border});
}

void bad_offset(state& s, int i, const char* what) {
    ftn::fwrite(*s.out, "(a,i6,a)", {std::string("** ERROR - ") + what + " offset for case ", i, " **"});
    ftn::fwrite(*s.out, "(a)", {"** Program halting ** "});
    throw stop();
}

// A response the model cannot take: a logistic response other than 0 or 1,
// a Poisson count below 0 (or either not a number).  Checked for every
// observation before any fit, so that the run names the first one instead
// of ending in estimates that are not numbers.
void check_response(state& s, int n) {
    const bool logit = s.run().method == analysis::logistic;
    const std::vector<double>& y = s.struc2.ydep;
    for (int i = 0; i < n; ++i) {
        const bool bad = logit ? !(y[i] == 0.0 || y[i] == 1.0) : !(y[i] >= 0.0);
        if (!bad) continue;
        std::ostream& o = *s.out;
        if (logit)
            ftn::fwrite(o, "(a,i6,a)", {"** ERROR - logistic response not 0 or 1 for case ", i + 1, " **"});
        else
            ftn::fwrite(o, "(a,i6,a)", {"** ERROR - negative Poisson count for case ", i + 1, " **"});
        ftn::ldwrite(o, {"** Value:", y[i]});
        ftn::fwrite(o, "(a)", {"** Program halting ** "});
        throw stop();
    }
}

}  // namespace

void runglm(state& s) {
    std::ostream& o = *s.out;
    const bool logit = s.run().method == analysis::logistic;
    model_banner(s);
    rdata(s);
    ftn::fwrite(o, "(a)", {" Sample data file read..."});

    const int n = s.run().n;
    const int idep = s.option.idep, ix = s.option.ixvar, iy = s.option.iyvar, iw = s.option.iwvar;
    const bool sph = s.run().spherical();
    const double raddeg = 0.017453292519943295;

    // Predictor columns, in data-file order.
    const std::vector<int> cols = model_columns(s);
    const int nvar = static_cast<int>(cols.size());
    const int p = nvar + 1;
    s.struc1.xmat.resize(n, p);

    const dmat& d = s.struc1.datmat;
    double xmin = 0.0, xmax = 0.0, ymin = 0.0, ymax = 0.0;
    double ysum = 0.0;
    for (int i = 0; i < n; ++i) {
        s.struc2.ydep[i] = d(i, idep - 1);
        double x = d(i, ix - 1), y = d(i, iy - 1);
        if (sph) {
            x *= raddeg;
            y *= raddeg;
        }
        s.struc2.xobs[i] = x;
        s.struc2.yobs[i] = y;
        s.struc1.xmat(i, 0) = 1.0;
        for (int k = 0; k < nvar; ++k) s.struc1.xmat(i, k + 1) = d(i, cols[k] - 1);
        s.fit6.obswt[i] = (logit && iw > 0) ? d(i, iw - 1) : 1.0;
        s.glm3.offset[i] = (!logit && iw > 0) ? d(i, iw - 1) : 1.0;
        if (!logit) {
            if (s.glm3.offset[i] == 0.0) bad_offset(s, i + 1, "zero");
            // ln of a negative offset is not a number: refuse it as well.
            if (s.glm3.offset[i] < 0.0) bad_offset(s, i + 1, "negative");
        }
        if (i == 0) {
            xmin = xmax = x;
            ymin = ymax = y;
        } else {
            xmin = std::min(xmin, x);
            xmax = std::max(xmax, x);
            ymin = std::min(ymin, y);
            ymax = std::max(ymax, y);
        }
        ysum += s.struc2.ydep[i];
    }
    const double ymean = n > 0 ? ysum / n : 0.0;
    check_response(s, n);

    s.set_parameter_count(p);
    ftn::ldwrite(o, {"*Number of observations, nobs=", n});
    ftn::ldwrite(o, {"*Number of predictors,   nvar=", nvar});

    if (fitloc(s)) {
        ftn::fwrite(o, "(a)", {"*Regression point file read..."});
        ftn::ldwrite(o, {s.output.samepts == 1 ? "** Data and regression points identical"
                                               : "** Data and regression points differ"});
    }
    s.option.nfit = s.fit3.nloc;
    const int m = s.fit3.nloc;
    s.size_loc(std::max(n, m), p);
    s.ws.size(n, p);

    if (logit) {
        ftn::fwrite(o, "(a)", {" "});
        ftn::fwrite(o, "(3a,f10.6)", {" P(", name8(s.lab1.varlab[idep - 1]), "=1 | X) = ", ymean});
    }

    if (!s.run().bandwidth_given()) {
        wrextent(s, xmin, xmax, ymin, ymax);
        calib(s);
    }
    glm(s);
    tzmglm(s);

    wrpred(s);
}

}  // namespace gwr
