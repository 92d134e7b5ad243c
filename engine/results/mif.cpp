// MapInfo interchange files of the local results: a .mif file declaring the
// columns and holding one point per fit location, and a .mid file with one
// attribute line per location.
#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "format/format.h"
#include "results/results.h"
#include "results/written.h"

namespace gwr {

namespace {

// Appends the shortest text that reads back to exactly v.
void append_real(std::string& line, double v) {
    if (std::isnan(v)) {
        line += "NaN";
        return;
    }
    if (std::isinf(v)) {
        line += v < 0 ? "-Infinity" : "Infinity";
        return;
    }
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    line.append(buf, r.ptr);
}

// One .mid line: the identifier, x, y and the values, each separated from
// the previous by exactly one blank (GIS readers split at every blank, so a
// run of blanks would read as empty fields).
void mid_line(std::string& line, int id, float x, float y, const std::vector<double>& vals) {
    line.clear();
    line += std::to_string(id);
    line += ' ';
    append_real(line, x);
    line += ' ';
    append_real(line, y);
    for (double v : vals) {
        line += ' ';
        append_real(line, v);
    }
}

using value_fill = void (*)(const state& s, int l, std::vector<double>& vals);

// Writes the .mif and .mid pair; `columns` are the declaration lines of
// the result columns (after ID, X and Y).
void write_mif(state& s, const std::vector<std::string>& columns, value_fill fill) {
    const auto [mifname, midname] = mif_names(s.files.outfil);
    const int m = s.fit3.nloc;

    // Both files are complete before either replaces an earlier one.
    written::staged_file miffile(mifname), midfile(midname);
    std::ofstream& f = miffile.open();
    ftn::fwrite(f, "(a)", {"VERSION 1"});
    ftn::fwrite(f, "(a)", {"Charset \"WindowsLatin1\""});
    ftn::fwrite(f, "(a)", {"DELIMITER \" \""});
    ftn::fwrite(f, "(a,i4)", {"COLUMNS ", 3 + static_cast<int>(columns.size())});
    ftn::fwrite(f, "(a)", {"ID        integer"});
    ftn::fwrite(f, "(a)", {"X         float"});
    ftn::fwrite(f, "(a)", {"Y         float"});
    for (const std::string& c : columns) ftn::fwrite(f, "(a)", {c});
    ftn::fwrite(f, "(a)", {"DATA"});
    for (int l = 0; l < m; ++l)
        ftn::fwrite(f, "(a,2f15.6)", {"POINT ", written::xwritten(s, l), written::ywritten(s, l)});
    miffile.close();

    std::ofstream& g = midfile.open();
    std::vector<double> vals;
    vals.reserve(columns.size());
    std::string line;
    for (int l = 0; l < m; ++l) {
        vals.clear();
        fill(s, l, vals);
        mid_line(line, s.fit2.fitid[l], written::xwritten(s, l), written::ywritten(s, l), vals);
        line += '\n';
        g << line;
    }
    midfile.close();
    written::commit({&miffile, &midfile});
}

}  // namespace

std::pair<std::string, std::string> mif_names(const std::string& outfil) {
    if (outfil.find_first_not_of(" \t") == std::string::npos) return {"mapinfo.mif", "mapinfo.mid"};
    std::filesystem::path p(outfil);
    std::filesystem::path mif = p, mid = p;
    mif.replace_extension(".mif");
    mid.replace_extension(".mid");
    return {mif.string(), mid.string()};
}

void wr_mif(state& s) {
    const int p = s.outst1.npar;
    std::vector<std::string> columns;
    for (int k = 1; k <= p; ++k)
        columns.push_back(ftn::format("(a6,a)", {written::numbered("PARM", k), "          float"}));
    for (int k = 1; k <= p; ++k)
        columns.push_back(ftn::format("(a6,a)", {written::numbered("SVAL", k), "         float"}));
    for (std::string& c : columns) c.pop_back();  // the record's newline
    for (const char* c : {"OBS       float", "PRED      float", "RESID     float", "HAT       float",
                          "STDRES    float", "COOKSD    float", "LOCRSQ    float"})
        columns.push_back(c);
    if (written::predicted(s)) {
        columns.push_back("PREDY     float");
        columns.push_back("PREDSE    float");
    }

    write_mif(s, columns, [](const state& st, int l, std::vector<double>& vals) {
        const int np = st.outst1.npar;
        for (int k = 0; k < np; ++k) vals.push_back(st.bvals(l, k));
        for (int k = 0; k < np; ++k) vals.push_back(st.svals(l, k));
        double cw[7];
        written::casewise(st, l, cw);
        vals.insert(vals.end(), cw, cw + 7);
        if (written::predicted(st)) {
            vals.push_back(st.pred.predy[l]);
            vals.push_back(st.pred.predse[l]);
        }
    });
}

void wrsmif(state& s) {
    const int v = s.run().K;
    std::vector<std::string> columns;
    for (int k = 1; k <= v; ++k)
        columns.push_back(ftn::format("(a6,a)", {written::numbered("MEAN", k), "          float"}));
    for (int k = 1; k <= v; ++k)
        columns.push_back(ftn::format("(a6,a)", {written::numbered("VAR_", k), "         float"}));
    for (std::string& c : columns) c.pop_back();

    write_mif(s, columns, [](const state& st, int l, std::vector<double>& vals) {
        const int nv = st.run().K;
        for (int k = 0; k < nv; ++k) vals.push_back(st.bvals(l, k));
        for (int k = 0; k < nv; ++k) vals.push_back(st.svals(l, k));
    });
}

}  // namespace gwr
