// Comma-delimited file of the local estimates: one row per fit location.
#include <fstream>
#include <string>

#include "control/stop.h"
#include "format/format.h"
#include "results/results.h"
#include "results/written.h"

namespace gwr {

using written::numbered;

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
    const bool pred = written::predicted(s);
    if (pred) {
        names.push_back("PREDY");
        names.push_back("PREDSE");
    }

    written::staged_file file(s.files.outfil);
    std::ofstream& f = file.open();

    ftn::items head;
    head.reserve(2 * names.size());
    head.push_back(names[0]);
    for (std::size_t c = 1; c < names.size(); ++c) {
        head.push_back(",");
        head.push_back(names[c]);
    }
    ftn::fwrite(f, "(a,255(a1,a))", head);

    ftn::items row;
    row.reserve(2 * (3 + 3 * p + 7));
    for (int l = 0; l < s.fit3.nloc; ++l) {
        row.clear();
        row.push_back(s.fit2.fitid[l]);
        row.push_back(",");
        row.push_back(written::xwritten(s, l));
        row.push_back(",");
        row.push_back(written::ywritten(s, l));
        for (int k = 0; k < p; ++k) {
            row.push_back(",");
            row.push_back(s.bvals(l, k));
        }
        for (int k = 0; k < p; ++k) {
            row.push_back(",");
            row.push_back(s.svals(l, k));
        }
        for (int k = 0; k < p; ++k) {
            row.push_back(",");
            row.push_back(written::tvalue(s, l, k));
        }
        double casewise[7];
        written::casewise(s, l, casewise);
        for (double v : casewise) {
            row.push_back(",");
            row.push_back(v);
        }
        if (pred)
            for (double v : {s.pred.predy[l], s.pred.predse[l]}) {
                row.push_back(",");
                row.push_back(v);
            }
        std::string rec = ftn::ldrecord(row);
        rec.erase(rec.find_last_not_of(' ') + 1);
        ftn::fwrite(f, "(a)", {rec});
    }
    file.commit();
}

}  // namespace gwr
