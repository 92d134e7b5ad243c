// Reading the observation file (header and records), the estimation-location
// file, the fit-location set-up and the thinning of the fit locations.
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <memory>
#include <fstream>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "control/progress.h"
#include "control/control.h"
#include "control/loctable.h"
#include "control/stop.h"
#include "control/textin.h"
#include "format/format.h"

namespace gwr {

namespace {

constexpr std::size_t linbuf_size = 4096;

std::string pad8(const std::string& t) {
    std::string v = t.substr(0, 8);
    v.resize(8, ' ');
    return v;
}

// The text without the blanks and tabs around it.
std::string trim_both(const std::string& t) {
    const std::size_t a = t.find_first_not_of(" \t");
    if (a == std::string::npos) return std::string();
    return t.substr(a, t.find_last_not_of(" \t") + 1 - a);
}

// Refuses an input that is not a regular file: a device or a pipe could
// feed the reader without end, a folder holds no records.
void need_regular(const std::string& name, const char* what) {
    struct stat st {};
    if (::stat(name.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
        throw io_error(std::string("the ") + what + " '" + name + "' is not a regular file" +
                       (S_ISDIR(st.st_mode) ? " but a folder" : ""));
}

// The shortest text that reads back as v, without an exponent unless the
// value is huge or tiny.
std::string shortest(double v) {
    char buf[64];
    const double a = std::fabs(v);
    const bool plain = a == 0.0 || (a >= 1e-5 && a < 1e15);
    auto r = plain ? std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed)
                   : std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

std::string trimmed(const std::string& t) {
    std::size_t e = t.find_last_not_of(' ');
    return e == std::string::npos ? std::string() : t.substr(0, e + 1);
}

// Spherical coordinates are degrees: a latitude beyond a pole is no place,
// and a longitude beyond a full turn either way is no angle in degrees (most
// often a projected coordinate given as spherical).  Longitudes may run from
// -180 to 180 or from 0 to 360.  Stops naming the place of the value.
void check_degrees(state& s, double lon, double lat, const std::string& where, const std::string& note_where) {
    const char* what = nullptr;
    const char* range = nullptr;
    double v = 0.0;
    if (!(std::fabs(lat) <= 90.0)) {
        what = "latitude";
        range = "-90 to 90";
        v = lat;
    } else if (!(std::fabs(lon) <= 360.0)) {
        what = "longitude";
        range = "-360 to 360";
        v = lon;
    }
    if (!what) return;
    ftn::fwrite(*s.out, "(a)", {"*** " + where + ": " + what + " " + shortest(v) + " is outside " + range});
    ftn::fwrite(*s.out, "(a)", {"*** Spherical coordinates are longitudes and latitudes in degrees... stopping."});
    throw stop("", note_where + ": " + what + " " + shortest(v) + " is outside " + range + " degrees");
}

// What the documented reading of the data records does quietly and a user
// may not mean: an empty field read as 0, an observation continued on the
// next line, an observation cut short by the end of the file.
struct quiet_reading {
    int nempty = 0, empty_obs = 0, empty_col = 0, empty_line = 0;  // empty fields, the first's place
    int ncont = 0, cont_line = 0;                                  // continued observations, the first's line
    int cut_line = 0;                                              // line of an observation cut short, or 0
};

// The warnings of what the reading of `what` did quietly, on the listing
// and on standard error.
void warn_quiet_reading(state& s, const std::string& what, const quiet_reading& q) {
    std::vector<std::string> warn;
    if (q.nempty > 0) {
        const std::string name = q.empty_col <= static_cast<int>(s.lab1.varlab.size())
                                      ? trimmed(s.lab1.varlab[q.empty_col - 1])
                                      : std::string();
        warn.push_back(std::to_string(q.nempty) + (q.nempty == 1 ? " empty field was" : " empty fields were") +
                       " read as 0; the first is variable " + std::to_string(q.empty_col) +
                       (name.empty() ? "" : " (" + name + ")") + " of observation " + std::to_string(q.empty_obs) +
                       " (line " + std::to_string(q.empty_line) + ")");
    }
    if (q.ncont > 0)
        warn.push_back(std::to_string(q.ncont) + (q.ncont == 1 ? " observation" : " observations") +
                       " continued on a following line; the first ran short on line " + std::to_string(q.cont_line));
    if (q.cut_line > 0)
        warn.push_back("the file ends inside an observation begun on line " + std::to_string(q.cut_line) +
                       "; it was not used");
    for (const std::string& w : warn) {
        ftn::fwrite(*s.out, "(a)", {"** Warning: " + w});
        *s.err << "tzm: warning: " << what << ": " << w << "\n";
    }
    if (!warn.empty()) {
        ftn::fwrite(*s.out, "(a)", {"** Check the data file for missing values"});
        *s.err << "tzm: warning: check the " << what << " for missing values\n";
    }
}

void halt_on_limit(state& s, const char* first, const char* second) {
    ftn::fwrite(*s.out, "(2a)", {first, second});
    ftn::fwrite(*s.out, "(a)", {"** Check the program limits... halting **"});
    throw stop();
}

}  // namespace

std::vector<int> model_columns(const state& s) {
    const blocks::option& o = s.option;
    const int last = std::min(o.nvfile, maxvar);
    std::vector<int> cols;
    for (int c = 1; c <= last; ++c) {
        if (c == o.idep || c == o.ixvar || c == o.iyvar || c == o.iwvar) continue;
        if (c - 1 < static_cast<int>(s.dat2.inmod.size()) && s.dat2.inmod[c - 1]) cols.push_back(c);
    }
    return cols;
}

void rdlabl(state& s) {
    const std::string& name = s.files.datfil;
    need_regular(name, "data file");
    auto f = std::make_unique<std::ifstream>(name, std::ios::binary);
    if (!f->is_open()) throw io_error("cannot open the data file '" + name + "': " + std::strerror(errno));
    std::string line;
    if (!read_line(*f, line, 1, "data file '" + name + "'"))
        throw io_error("the data file '" + name + "' is empty: no header line");
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
    s.lab1.varful.clear();
    auto add = [&s](const std::string& text) {
        s.lab1.varlab.push_back(pad8(text));
        s.lab1.varful.push_back(trim_both(text));
    };
    std::size_t start = 0;
    for (std::size_t i = 0; i <= last; ++i) {
        if (line[i] == ',') {
            add(line.substr(start, i - start));
            start = i + 1;
        } else if (i == last) {
            add(line.substr(start, last + 1 - start));
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
    const std::string what = "data file '" + s.files.datfil + "'";
    const int ix = s.option.ixvar, iy = s.option.iyvar;
    const bool degrees = s.run().spherical() && ix >= 1 && ix <= nv && iy >= 1 && iy <= nv;

    // Records are gathered row by row, then stored column by column.
    std::vector<double> rows;
    std::vector<std::optional<std::string>> fields;
    fields.reserve(nv);
    int first = 0;  // line of the current observation's first value
    auto next = [&](std::string& line) {
        if (!read_line(in, line, s.datline + 1, what)) return false;
        ++s.datline;
        if (first == 0 && line.find_first_not_of(" \t") != std::string::npos) first = s.datline;
        return true;
    };
    quiet_reading q;
    int ncase = 0;
    progress::reading(s, in, 0);
    for (;;) {
        first = 0;
        if (!ftn::ldread(next, nv, fields)) {  // end of file
            if (first != 0) q.cut_line = first;
            break;
        }
        std::size_t base = rows.size();
        rows.resize(base + nv, 0.0);
        for (int j = 0; j < nv; ++j) {
            if (!fields[j]) {  // empty field: the value stays 0
                if (q.nempty++ == 0) {
                    q.empty_obs = ncase + 1;
                    q.empty_col = j + 1;
                    q.empty_line = first;
                }
                continue;
            }
            if (!ftn::parse_real(*fields[j], rows[base + j])) {
                ftn::ldwrite(*s.out, {"Error reading case ", ncase});
                s.out->flush();
                throw exit_status{1};
            }
        }
        if (s.datline > first && q.ncont++ == 0) q.cont_line = first;
        ++ncase;
        if (degrees) {
            const std::string where = "Observation " + std::to_string(ncase) + " (data file line " +
                                      std::to_string(first) + ")";
            check_degrees(s, rows[base + ix - 1], rows[base + iy - 1], where,
                          what + ", line " + std::to_string(first) + ", observation " + std::to_string(ncase));
        }
        if (ncase > maxobs)
            halt_on_limit(s, "** The number of observations in your data", " file is more than the program capacity **");
        progress::reading(s, in, ncase);
    }
    progress::reading(s, in, ncase, true);
    s.datstream.reset();

    s.set_observation_count(ncase);
    s.struc1.datmat.resize(ncase, nv);
    for (int i = 0; i < ncase; ++i)
        for (int j = 0; j < nv; ++j) s.struc1.datmat(i, j) = rows[static_cast<std::size_t>(i) * nv + j];
    s.size_obs(ncase);
    ftn::ldwrite(*s.out, {"Number of data cases read:", ncase});

    warn_quiet_reading(s, what, q);

    // A model needs an observation per parameter (local statistics one).
    const int need = std::max(1, s.run().method == analysis::descriptive ? 1 : s.option.ncol);
    if (ncase < need) {
        const std::string told = std::to_string(ncase) + (ncase == 1 ? " observation" : " observations") +
                                 " read, the model needs at least " + std::to_string(need);
        ftn::fwrite(*s.out, "(a)", {"*** Too few observations in the data file: " + told});
        ftn::fwrite(*s.out, "(a)", {"*** Too few observations... stopping."});
        throw stop("", what + ": " + told);
    }
}

void readin(state& s) {
    const std::string& name = s.files.locfil;
    need_regular(name, "location file");
    std::ifstream f(name, std::ios::binary);
    if (!f.is_open()) throw io_error("cannot open the location file '" + name + "': " + std::strerror(errno));
    const std::string file = "location file '" + name + "'";
    int line = 0;
    auto next = [&](std::string& l) {
        if (!read_line(f, l, line + 1, file)) return false;
        ++line;
        return true;
    };
    s.fit1.xfit.clear();
    s.fit1.yfit.clear();
    s.fit2.fitid.clear();
    s.pred = blocks::predict{};
    int nloc = 0;
    // One location as its record gives it (coordinates in degrees when
    // spherical), checked and stored.
    auto take = [&](int id, double x, double y, int at) {
        if (s.run().spherical()) {
            check_degrees(s, x, y, "Location file line " + std::to_string(at),
                          file + ", line " + std::to_string(at));
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
    };
    // A table with a header line names its columns like the data file;
    // otherwise the file is read from its start as three numbers per
    // location.
    std::string head;
    const bool table = loctable::header(f, file, head, line);
    if (table) {
        loctable::read(s, f, name, head, line, take);
    } else {
        f.clear();
        f.seekg(0);
        line = 0;
        std::vector<std::optional<std::string>> fields;
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
            take(id, x, y, line);
        }
    }
    s.fit3.nloc = nloc;
    ftn::ldwrite(*s.out, {"Number of calibration points:", nloc});
    // Without a location there is nothing to estimate: the run would end
    // "normally" with empty tables.
    if (nloc == 0) {
        ftn::fwrite(*s.out, "(a)", {"*** The location file holds no locations... stopping."});
        throw stop("", file + ": no locations read");
    }
    if (table) loctable::report(s, name);
}

bool fitloc(state& s) {
    const int n = s.run().n;
    bool read = false;
    if (s.run().location_file) {
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
