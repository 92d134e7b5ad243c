// Comma-delimited file of the local estimates: one row per fit location.
#include <fstream>
#include <string>

#include "control/stop.h"
#include "format/format.h"
#include "results/results.h"

namespace gwr {

namespace {

// Stem followed by k right-justified in two columns, a leading blank
// written as an underscore: PARM_1 .. PARM_9, PARM10 ..
std::string numbered(const char* stem, int k) {
    std::string d = std::to_string(k);
    if (d.size() < 2) d = "_" + d;
    return stem + d;
}

}  // namespace

void wr_csv(state& s) {
    const int p = s.outst1.npar;
    auto& names = s.outst2.names;
    names.clear();
    names.push_back("ID");
    names.push_back("FITX");
    names.push_back("FITY");
    for (const char* stem : {"PARM", "SVAL", "TVAL"})
        for (int k = 1; k <= p; ++k) names.push_back(numbered(stem, k));
    for (const char* c : {"OBS", "PRED", "RESID", "HAT", "STDRES", "COOKSD", "LOCRSQ"})
        names.push_back(c);

    std::ofstream f(s.files.outfil, std::ios::out | std::ios::trunc);
    if (!f) throw io_error("cannot create result file " + s.files.outfil);

    ftn::items head;
    head.reserve(2 * names.size());
    head.push_back(names[0]);
    for (std::size_t c = 1; c < names.size(); ++c) {
        head.push_back(",");
        head.push_back(names[c]);
    }
    ftn::fwrite(f, "(a,255(a1,a))", head);

    const bool same = s.output.samepts == 1;
    const bool sph = s.option.isph == 1;
    ftn::items row;
    row.reserve(2 * (3 + 3 * p + 7));
    for (int l = 0; l < s.fit3.nloc; ++l) {
        double x = s.fit1.xfit[l], y = s.fit1.yfit[l];
        if (sph) {
            x = x * s.trig.degrad;
            y = y * s.trig.degrad;
        }
        row.clear();
        row.push_back(s.fit2.fitid[l]);
        row.push_back(",");
        row.push_back(static_cast<float>(x));
        row.push_back(",");
        row.push_back(static_cast<float>(y));
        for (int k = 0; k < p; ++k) {
            row.push_back(",");
            row.push_back(s.bvals(l, k));
        }
        for (int k = 0; k < p; ++k) {
            row.push_back(",");
            row.push_back(s.svals(l, k));
        }
        for (int k = 0; k < p; ++k) {
            const double se = s.svals(l, k);
            row.push_back(",");
            row.push_back(se > 0.0 ? s.bvals(l, k) / se : 0.0);
        }
        const double casewise[7] = {same ? s.struc2.ydep[l] : -1.0, s.output.yhat[l],
                                    s.output.resid[l],           s.hat1.hatdg[l],
                                    s.diags.stdres[l],           s.diags.cookd[l],
                                    s.diags.locr2[l]};
        for (double v : casewise) {
            row.push_back(",");
            row.push_back(v);
        }
        std::string rec = ftn::ldrecord(row);
        rec.erase(rec.find_last_not_of(' ') + 1);
        ftn::fwrite(f, "(a)", {rec});
    }
    f.close();
    if (!f) throw io_error("cannot write result file " + s.files.outfil);
}

}  // namespace gwr
