// Reading the observation file (header and records), the estimation-location
// file, the fit-location set-up and the thinning of the fit locations.
#include <cerrno>
#include <cstring>
#include <memory>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "control/progress.h"
#include "control/control.h"
#include "control/stop.h"
#include "format/format.h"

namespace gwr {

namespace {

constexpr std::size_t linbuf_size = 4096;

std::string pad8(const std::string& t) {
    std::string v = t.substr(0, 8);
    v.resize(8, ' ');
    return v;
}

bool getline_cr(std::istream& in, std::string& line) {
    if (!std::getline(in, line)) return false;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
}

void halt_on_limit(state& s, const char* first, const char* second) {
    ftn::fwrite(*s.out, "(2a)", {first, second});
    ftn::fwrite(*s.out, "(a)", {"** Check the program limits... halting **"});
    throw stop();
}

}  // namespace

void rdlabl(state& s) {
    const std::string& name = s.files.datfil;
    auto f = std::make_unique<std::ifstream>(name, std::ios::binary);
    if (!f->is_open()) throw io_error("cannot open the data file '" + name + "': " + std::strerror(errno));
    std::string line;
    if (!getline_cr(*f, line)) throw io_error("the data file '" + name + "' is empty: no header line");
    s.datline = 1;
    if (line.size() > linbuf_size) line.resize(linbuf_size);
    s.lab2.linbuf = line;

    std::size_t last = line.find_last_not_of(' ');
    if (last == std::string::npos) {
        ftn::ldwrite(*s.out, {"No labels on first record in data file...?"});
        throw stop("998");
    }
    // Only commas separate names; blanks belong to them.  The last name runs
    // to the last non-blank character; a trailing comma adds no name.
    s.lab1.varlab.clear();
    std::size_t start = 0;
    for (std::size_t i = 0; i <= last; ++i) {
        if (line[i] == ',') {
            s.lab1.varlab.push_back(pad8(line.substr(start, i - start)));
            start = i + 1;
        } else if (i == last) {
            s.lab1.varlab.push_back(pad8(line.substr(start, last + 1 - start)));
        }
    }
    s.dat2.nvard = static_cast<int>(s.lab1.varlab.size());
    s.datstream = std::move(f);
}

void rdata(state& s) {
    const int nv = s.option.nvfile;
    if (nv > maxvar) halt_on_limit(s, "** Too many variables are present in your", " data file **");
    if (!s.datstream) throw io_error("the data file '" + s.files.datfil + "' is not open");
    std::istream& in = *s.datstream;

    // Records are gathered row by row, then stored column by column.
    std::vector<double> rows;
    std::vector<std::optional<std::string>> fields;
    fields.reserve(nv);
    auto next = [&](std::string& line) {
        if (!getline_cr(in, line)) return false;
        ++s.datline;
        return true;
    };
    int ncase = 0;
    progress::reading(s, in, 0);
    for (;;) {
        if (!ftn::ldread(next, nv, fields)) break;  // end of file
        std::size_t base = rows.size();
        rows.resize(base + nv, 0.0);
        for (int j = 0; j < nv; ++j) {
            if (!fields[j]) continue;  // empty field: the value stays 0
            if (!ftn::parse_real(*fields[j], rows[base + j])) {
                ftn::ldwrite(*s.out, {"Error reading case ", ncase});
                s.out->flush();
                throw exit_status{1};
            }
        }
        ++ncase;
        if (ncase > maxobs)
            halt_on_limit(s, "** The number of observations in your data", " file is more than the program capacity **");
        progress::reading(s, in, ncase);
    }
    progress::reading(s, in, ncase, true);
    s.datstream.reset();

    s.dat2.ncase = ncase;
    s.option.nobs = ncase;
    s.struc1.datmat.resize(ncase, nv);
    for (int i = 0; i < ncase; ++i)
        for (int j = 0; j < nv; ++j) s.struc1.datmat(i, j) = rows[static_cast<std::size_t>(i) * nv + j];
    s.size_obs(ncase);
    ftn::ldwrite(*s.out, {"Number of data cases read:", ncase});
}

void readin(state& s) {
    const std::string& name = s.files.locfil;
    std::ifstream f(name, std::ios::binary);
    if (!f.is_open()) throw io_error("cannot open the location file '" + name + "': " + std::strerror(errno));
    int line = 0;
    auto next = [&](std::string& l) {
        if (!getline_cr(f, l)) return false;
        ++line;
        return true;
    };
    s.fit1.xfit.clear();
    s.fit1.yfit.clear();
    s.fit2.fitid.clear();
    std::vector<std::optional<std::string>> fields;
    int nloc = 0;
    for (;;) {
        if (!ftn::ldread(next, 3, fields)) break;
        int id = 0;
        double x = 0.0, y = 0.0;
        const char* what[3] = {"an integer identifier", "a number (x coordinate)", "a number (y coordinate)"};
        bool ok[3] = {!fields[0] || ftn::parse_int(*fields[0], id), !fields[1] || ftn::parse_real(*fields[1], x),
                      !fields[2] || ftn::parse_real(*fields[2], y)};
        for (int k = 0; k < 3; ++k)
            if (!ok[k])
                throw io_error("location file '" + name + "', line " + std::to_string(line) + ": '" + *fields[k] +
                               "' is not " + what[k]);
        if (s.option.isph == 1) {
            x *= s.trig.raddeg;
            y *= s.trig.raddeg;
        }
        if (nloc == maxloc)
            halt_on_limit(s, "** The number of estimation locations in your",
                          " file is more than the program capacity **");
        s.fit2.fitid.push_back(id);
        s.fit1.xfit.push_back(x);
        s.fit1.yfit.push_back(y);
        ++nloc;
    }
    s.fit3.nloc = nloc;
    ftn::ldwrite(*s.out, {"Number of calibration points:", nloc});
}

bool fitloc(state& s) {
    const int n = s.option.nobs;
    bool read = false;
    if (s.option.iloc == 2) {
        readin(s);
        read = true;
        const int m = s.fit3.nloc;
        bool same = m == n;
        for (int i = 0; same && i < n; ++i)
            same = s.fit1.xfit[i] == s.struc2.xobs[i] && s.fit1.yfit[i] == s.struc2.yobs[i];
        s.output.samepts = same ? 1 : 0;
        s.option.iloc = same ? 1 : 2;
    } else {
        s.fit1.xfit.assign(s.struc2.xobs.begin(), s.struc2.xobs.begin() + n);
        s.fit1.yfit.assign(s.struc2.yobs.begin(), s.struc2.yobs.begin() + n);
        s.fit2.fitid.resize(n);
        for (int i = 0; i < n; ++i) s.fit2.fitid[i] = i + 1;
        s.fit3.nloc = n;
    }
    s.option.nfit = s.fit3.nloc;
    return read;
}

void thin(state& s) {
    const int nloc = s.fit3.nloc;
    const float p = 100.0f / static_cast<float>(nloc);
    int kept = 0;
    for (int i = 1; i <= nloc; ++i) {
        s.rand.srand(i == 1 ? 0 : i);
        const float u = static_cast<float>(s.rand.rand()) / 32767.0f;
        if (u <= p) {
            s.fit1.xfit[kept] = s.fit1.xfit[i - 1];
            s.fit1.yfit[kept] = s.fit1.yfit[i - 1];
            ++kept;
        }
    }
    s.fit3.nloc = kept;
    ftn::ldwrite(*s.out, {p, kept});
}

}  // namespace gwr
