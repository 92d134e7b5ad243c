// ArcInfo export (.e00) files of the local results: a point coverage with one
// labelled point per fit location and an attribute table of its results.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "format/format.h"
#include "results/results.h"
#include "results/written.h"

namespace gwr {

namespace {

// Item definition lines of the boundary, attribute and tic tables: a
// 45-character head and a 25-character tail.
struct item_def {
    const char* head;
    const char* tail;
};

const item_def bnd_items[] = {
    {"XMIN              4-1   14-1  12 3 60-1  -1  ", "-1-1                   1-"},
    {"YMIN              4-1   54-1  12 3 60-1  -1  ", "-1-1                   2-"},
    {"XMAX              4-1   94-1  12 3 60-1  -1  ", "-1-1                   3-"},
    {"YMAX              4-1  134-1  12 3 60-1  -1  ", "-1-1                   4-"},
};

const item_def pat_items[] = {
    {"AREA              4-1   14-1  12 3 60-1  -1  ", "-1-1                   1-"},
    {"PERIMETER         4-1   54-1  12 3 60-1  -1  ", "-1-1                   2-"},
    {"TZMFITS#          4-1   94-1   5-1 50-1  -1  ", "-1-1                   3-"},
    {"TZMFITS-ID        4-1  134-1   5-1 50-1  -1  ", "-1-1                   4-"},
};

const item_def tic_items[] = {
    {"IDTIC             4-1   14-1   5-1 50-1  -1  ", "-1-1                   1-"},
    {"XTIC              4-1   54-1  12 3 60-1  -1  ", "-1-1                   2-"},
    {"YTIC              4-1   94-1  12 3 60-1  -1  ", "-1-1                   3-"},
};

// Fills `vals` with the attribute values of location l (0-based) in item order.
using value_fill = std::function<void(int l, ftn::items& vals)>;

// Writes the whole file: `names` are the 6-character result item names,
// `fill` gives each location's values in the same order.
void write_e00(state& s, const std::vector<std::string>& names, const value_fill& fill) {
    const std::string& name = s.files.outfil;
    written::staged_file file(name);
    std::ofstream& f = file.open();

    const int m = s.fit3.nloc;
    const int nitem = 4 + static_cast<int>(names.size());

    // Written coordinates and their extent.
    float xmin = 0.0f, xmax = 0.0f, ymin = 0.0f, ymax = 0.0f;
    for (int l = 0; l < m; ++l) {
        float x = written::xwritten(s, l), y = written::ywritten(s, l);
        if (l == 0) {
            xmin = xmax = x;
            ymin = ymax = y;
        } else {
            xmin = std::min(xmin, x);
            xmax = std::max(xmax, x);
            ymin = std::min(ymin, y);
            ymax = std::max(ymax, y);
        }
    }
    const float t = std::max(xmax - xmin, ymax - ymin) / 10000.0f;

    // Label points.
    ftn::fwrite(f, "(a)", {"EXP  0 /TMP/TZMFITS.E00"});
    ftn::fwrite(f, "(a)", {"LAB  2"});
    for (int l = 0; l < m; ++l) {
        float x = written::xwritten(s, l), y = written::ywritten(s, l);
        ftn::fwrite(f, "(2i10,2e14.7)", {s.fit2.fitid[l], 0, x, y});
        ftn::fwrite(f, "(4e14.7)", {x, y, x, y});
    }
    ftn::fwrite(f, "(2i10,2e14.7)", {-1, 0, 0.0, 0.0});

    // Tolerances.
    ftn::fwrite(f, "(a)", {"TOL  2"});
    const float tol[10] = {t, 0.0f, 0.0f, 0.0f, 0.0f, 100.0f * t, 10.0f * t, 10.0f * t, 10.0f * t, 10.0f * t};
    for (int k = 1; k <= 10; ++k) {
        char label[32];
        std::snprintf(label, sizeof label, "%10d%10d", k, 2);
        ftn::fwrite(f, "(a20,e14.7)", {label, tol[k - 1]});
    }
    ftn::fwrite(f, "(a)", {"        -1         0"});
    for (const char* line : {"SIN  2", "EOX", "LOG  2", "EOL", "IFO  2"}) ftn::fwrite(f, "(a)", {line});

    // Boundary table.
    ftn::fwrite(f, "(a)", {"TZMFITS.BND                     XX   4   4  16         1"});
    for (const item_def& d : bnd_items) ftn::fwrite(f, "(2a)", {d.head, d.tail});
    ftn::fwrite(f, "(4e14.7)", {xmin, ymin, xmax, ymax});

    // Point attribute table: its definition...
    ftn::fwrite(f, "(a,3i4,i10)", {"TZMFITS.PAT                     XX", nitem, nitem, 4 * nitem, m});
    for (const item_def& d : pat_items) ftn::fwrite(f, "(2a)", {d.head, d.tail});
    for (int j = 0; j < static_cast<int>(names.size()); ++j)
        ftn::fwrite(f, "(a6,a,i4,2a,i3,a)",
                    {names[j], "            4-1", 17 + 4 * j, "4-1  12 4 60-1  -1  ", "-1-1                 ", 5 + j,
                     "-"});

    // ...and one record per location, cut into 80-column lines.
    ftn::items rec;
    rec.reserve(4 + names.size());
    ftn::items vals;
    vals.reserve(names.size());
    for (int l = 0; l < m; ++l) {
        vals.clear();
        fill(l, vals);
        rec.clear();
        rec.emplace_back(0.0);
        rec.emplace_back(0.0);
        rec.emplace_back(l + 1);
        rec.emplace_back(s.fit2.fitid[l]);
        rec.insert(rec.end(), vals.begin(), vals.end());
        std::string text = ftn::format("(2e14.7,2i11,200e14.7)", rec);
        text.pop_back();  // the record's newline
        text.resize((text.size() + 79) / 80 * 80, ' ');
        for (size_t c = 0; c < text.size(); c += 80) ftn::fwrite(f, "(a80)", {text.substr(c, 80)});
    }

    // Tics at the corners of the extent.
    ftn::fwrite(f, "(a)", {"TZMFITS.TIC                     XX   3   3  12         4"});
    for (const item_def& d : tic_items) ftn::fwrite(f, "(2a)", {d.head, d.tail});
    ftn::fwrite(f, "(a11,2e14.7)", {"          1", xmax, ymin});
    ftn::fwrite(f, "(a11,2e14.7)", {"          4", xmax, ymax});
    ftn::fwrite(f, "(a11,2e14.7)", {"          2", xmin, ymin});
    ftn::fwrite(f, "(a11,2e14.7)", {"          3", xmin, ymax});

    ftn::fwrite(f, "(a)", {"EOI"});
    ftn::fwrite(f, "(a)", {"EOS"});
    file.commit();
}

}  // namespace

void wr_e00(state& s) {
    const int p = s.outst1.npar;
    auto& names = s.outst2.names;
    names.clear();
    for (const char* stem : {"PARM", "SVAL", "TVAL"})
        for (int k = 1; k <= p; ++k) names.push_back(written::numbered(stem, k));
    for (const char* c : {"OBS   ", "PRED  ", "RESID ", "HAT   ", "STDRES", "COOKSD", "LOCRSQ"}) names.push_back(c);
    const bool pred = written::predicted(s);
    if (pred) {
        names.push_back("PREDY ");
        names.push_back("PREDSE");
    }

    write_e00(s, names, [&s, p, pred](int l, ftn::items& vals) {
        for (int k = 0; k < p; ++k) vals.emplace_back(s.bvals(l, k));
        for (int k = 0; k < p; ++k) vals.emplace_back(s.svals(l, k));
        for (int k = 0; k < p; ++k) vals.emplace_back(written::tvalue(s, l, k));
        double cw[7];
        written::casewise(s, l, cw);
        for (double v : cw) vals.emplace_back(v);
        if (pred) {
            vals.emplace_back(s.pred.predy[l]);
            vals.emplace_back(s.pred.predse[l]);
        }
    });
}

void wrse00(state& s) {
    const int v = s.run().K;
    auto& names = s.outst2.names;
    names.clear();
    for (const char* stem : {"MEAN", "VAR_", "STD_"})
        for (int k = 1; k <= v; ++k) names.push_back(written::numbered(stem, k));

    write_e00(s, names, [&s, v](int l, ftn::items& vals) {
        for (int k = 0; k < v; ++k) vals.emplace_back(s.bvals(l, k));
        for (int k = 0; k < v; ++k) vals.emplace_back(s.svals(l, k));
        for (int k = 0; k < v; ++k) {
            const double var = s.svals(l, k);
            vals.emplace_back(var > 0.0 ? std::sqrt(var) : 0.0);
        }
    });
}

}  // namespace gwr
