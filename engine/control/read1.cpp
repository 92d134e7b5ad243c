// Reading and echoing the 16-record model control file.
#include <algorithm>
#include <cmath>
#include <climits>
#include <istream>
#include <optional>
#include <string>
#include <vector>

#include "control/control.h"
#include "control/stop.h"
#include "control/textin.h"
#include "format/format.h"
#include "results/results.h"

namespace gwr {

namespace {

const char* const record_names[17] = {
    "",
    "data file name",
    "location file name",
    "result file name",
    "dependent variable column",
    "x, y and weight columns",
    "title",
    "model variable flags",
    "kernel, calibration and sample letters",
    "bandwidth",
    "calibration history flag",
    "prediction report flag",
    "result file type",
    "significance test code",
    "casewise diagnostics flag",
    "analysis method",
    "coordinate type",
};

std::string record_label(int rec) {
    return "control file record " + std::to_string(rec) + " (" + record_names[rec] + ")";
}

// Next line of the control file, without its line end; false at the end.
bool next_line(state& s, std::string& line) {
    if (!read_line(*s.in, line, s.ctlrec + 1, "the control file")) return false;
    ++s.ctlrec;
    return true;
}

// One whole record read as text.
std::string text_record(state& s, int rec) {
    std::string line;
    if (!next_line(s, line))
        throw io_error("the control file ends before " + record_label(rec));
    return line;
}

std::string rtrim(std::string t) {
    while (!t.empty() && (t.back() == ' ' || t.back() == '\t')) t.pop_back();
    return t;
}

// One list-directed read of `count` values starting at record `rec`.
std::vector<std::optional<std::string>> list_record(state& s, int rec, int count) {
    std::vector<std::optional<std::string>> fields;
    int start = s.ctlrec + 1;
    bool ok = ftn::ldread([&s](std::string& l) { return next_line(s, l); }, count, fields);
    if (!ok) {
        if (s.ctlrec < start)
            throw io_error("the control file ends before " + record_label(rec));
        throw io_error("the control file ends while reading " + record_label(rec) + ": " +
                       std::to_string(count) + " value(s) expected");
    }
    return fields;
}

void bad_value(state& s, int rec, const std::string& field, const char* what) {
    std::string where = record_label(rec);
    if (s.ctlrec != rec) where += ", continued on line " + std::to_string(s.ctlrec);
    throw io_error(where + ": '" + field + "' is not " + what);
}

void read_ints(state& s, int rec, std::vector<int*> targets) {
    auto fields = list_record(s, rec, static_cast<int>(targets.size()));
    for (std::size_t k = 0; k < targets.size(); ++k) {
        if (!fields[k]) continue;  // a null value leaves the target unchanged
        if (!ftn::parse_int(*fields[k], *targets[k])) bad_value(s, rec, *fields[k], "an integer");
    }
}

int read_int(state& s, int rec) {
    int v = 0;
    read_ints(s, rec, {&v});
    return v;
}

double read_real(state& s, int rec) {
    double v = 0.0;
    auto fields = list_record(s, rec, 1);
    if (fields[0] && !ftn::parse_real(*fields[0], v)) bad_value(s, rec, *fields[0], "a number");
    return v;
}

// The model flags: one letter T/t/F/f per data column from column 1; more
// than 80 columns continue on the next record.
void read_flags(state& s, int rec) {
    int n = s.option.nvfile;
    s.dat2.inmod.assign(n, 0);
    int k = 0;
    while (k < n) {
        std::string line = text_record(s, rec);
        int take = std::min(80, n - k);
        for (int c = 0; c < take; ++c, ++k) {
            char ch = c < static_cast<int>(line.size()) ? line[c] : '\0';
            if (ch == 'T' || ch == 't') {
                s.dat2.inmod[k] = 1;
            } else if (ch == 'F' || ch == 'f') {
                s.dat2.inmod[k] = 0;
            } else if (ch == '\0') {
                throw io_error(record_label(rec) + ": " + std::to_string(n) +
                               " letters T or F expected, the line holds " + std::to_string(k));
            } else {
                throw io_error(record_label(rec) + ": '" + std::string(1, ch) + "' in column " +
                               std::to_string(c + 1) + " is not T or F");
            }
        }
    }
}

std::string first40(const std::string& name) {
    std::string t = name.substr(0, 40);
    t.resize(40, ' ');
    return t;
}

// A column number from records 4 or 5 must name a variable of the data file
// (0 is allowed where `zero_ok`); anything else would read outside the
// variable table.
void check_column(state& s, int rec, const char* what, int col, bool zero_ok) {
    if ((zero_ok && col == 0) || (col >= 1 && col <= s.option.nvfile)) return;
    ftn::fwrite(*s.out, "(a,i2,a,i7,3a,i4,a)",
                {"*** Control record ", rec, ": column", col, " for the ", what,
                 " is not a column of the data file (1 to", s.option.nvfile, ")"});
    ftn::fwrite(*s.out, "(a)", {"*** Illegal column number... stopping."});
    throw stop();
}

void echo_names(state& s, const std::vector<std::string>& names, std::size_t count) {
    ftn::items it;
    for (std::size_t i = 0; i < count; ++i) it.emplace_back(names[i]);
    ftn::fwrite(*s.out, "(8(1x,a8))", it);
}

// The keyword records: name, number of values, and their form for messages.
struct keyword {
    const char* name;
    std::size_t values;
    const char* usage;
};
const keyword keywords_known[] = {{"limits", 2, "limits LO HI"},
                                   {"epsg", 1, "epsg CODE"},
                                   {"scale", 1, "scale 0|1"},
                                   {"inference", 1, "inference 0|1"},
                                   {"interval", 1, "interval 0|1"}};
constexpr int nkeywords = sizeof keywords_known / sizeof keywords_known[0];

// The optional keyword records after record 16: one per line, a keyword and
// its values separated by blanks; blank lines are passed over.  Any fault
// ends the run as a malformed control record does, naming the line.
// The values go to d.keys; the adaptive kernel's limits are sizes.  Returns
// which keywords were given: bit j for keywords_known[j].
int read_keywords(state& s, run_description& d) {
    keywords& k = d.keys;
    k = keywords{};
    int seen = 0;
    std::string line;
    while (next_line(s, line)) {
        std::vector<std::string> tok;
        std::size_t p = 0;
        while ((p = line.find_first_not_of(" \t", p)) != std::string::npos) {
            const std::size_t e = std::min(line.find_first_of(" \t", p), line.size());
            tok.push_back(line.substr(p, e - p));
            p = e;
        }
        if (tok.empty()) continue;
        const std::string where = "control file line " + std::to_string(s.ctlrec);
        int which = -1;
        for (int j = 0; j < nkeywords; ++j)
            if (tok[0] == keywords_known[j].name) which = j;
        if (which < 0)
            throw io_error(where + ": unknown keyword '" + tok[0] +
                           "' (the records after record 16 may be limits, epsg, scale, inference or interval)");
        if (seen & (1 << which)) throw io_error(where + ": a second '" + tok[0] + "' record");
        seen |= 1 << which;
        const std::string usage = keywords_known[which].usage;
        if (tok.size() != keywords_known[which].values + 1)
            throw io_error(where + ": '" + usage + "' expected, the line holds " + std::to_string(tok.size() - 1) +
                           " value(s)");
        std::string given = tok[0];
        for (std::size_t j = 1; j < tok.size(); ++j) given += " " + tok[j];
        if (which == 0) {
            double v[2];
            for (int j = 0; j < 2; ++j)
                if (!ftn::parse_real(tok[1 + j], v[j]))
                    throw io_error(where + ": '" + tok[1 + j] + "' is not a number (" + usage + ")");
            if (!(v[0] > 0.0) || !(v[1] > 0.0))
                throw io_error(where + ": '" + given + "': the limits must be above 0");
            if (!(v[0] < v[1]))
                throw io_error(where + ": '" + given + "': the lower limit must be below the upper one");
            if (d.adaptive() &&
                (v[0] != std::trunc(v[0]) || v[1] != std::trunc(v[1]) || v[1] > maxobs))
                throw io_error(where + ": '" + given + "': the adaptive kernel's sizes are whole numbers up to " +
                               std::to_string(maxobs));
            k.limits = true;
            k.limlo = v[0];
            k.limhi = v[1];
        } else {
            int v = 0;
            if (!ftn::parse_int(tok[1], v))
                throw io_error(where + ": '" + tok[1] + "' is not an integer (" + usage + ")");
            if (which == 1) {
                if (v <= 0) throw io_error(where + ": '" + given + "': the code must be above 0");
                k.epsg = v;
            } else {
                if (v != 0 && v != 1) throw io_error(where + ": '" + given + "': the value must be 0 or 1");
                (which == 2 ? k.scale : which == 3 ? k.inference : k.interval) = v;
            }
        }
    }
    return seen;
}

// The echo of the keyword records that are not part of the calibration.
void echo_keywords(state& s, const keywords& k, int given) {
    std::ostream& o = *s.out;
    if (given & 2) ftn::fwrite(o, "(a)", {"** Coordinate system of the results: EPSG " + std::to_string(k.epsg)});
    if (given & 4)
        ftn::fwrite(o, "(a)", {k.scale == 1 ? "** Multiscale fits on standardised predictors"
                                            : "** Multiscale fits on the predictors as given"});
    if (given & 8)
        ftn::fwrite(o, "(a)", {k.inference == 1 ? "** Multiscale fits with standard errors"
                                                : "** Multiscale fits without standard errors"});
    if (given & 16)
        ftn::fwrite(o, "(a)", {k.interval == 1 ? "** Bandwidth interval after a search by AICc"
                                               : "** No bandwidth interval after a search by AICc"});
}

// Values of records 6 and 9 to 16 as read, kept until they are decoded and
// echoed.
struct records {
    std::string title;  // record 6, cut or blank-padded to 80 characters
    double bandw = 0.0;
    int hist = 0, pred = 0, out = 0, test = 0, diag = 0, method = 0, coord = 0;
};

// Reads records 1 to 16 and the data file's header; nothing goes to the
// listing (but rdlabl's stop for a header without names).
records read_records(state& s) {
    blocks::option& op = s.option;
    gtfnam(s);
    op.idep = read_int(s, 4);
    read_ints(s, 5, {&op.ixvar, &op.iyvar, &op.iwvar});
    s.dat2.idep = op.idep;
    s.dat2.ixvar = op.ixvar;
    s.dat2.iyvar = op.iyvar;
    s.dat2.iwvar = op.iwvar;

    rdlabl(s);
    op.nvfile = s.dat2.nvard;

    records r;
    r.title = text_record(s, 6);
    r.title.resize(80, ' ');
    read_flags(s, 7);

    std::string letters = text_record(s, 8);
    letters.resize(3, ' ');
    s.files.kercod = letters[0];
    s.files.calcod = letters[1] == ' ' ? 'n' : letters[1];
    s.files.smpcod = letters[2] == ' ' ? 'a' : letters[2];

    r.bandw = read_real(s, 9);
    r.hist = read_int(s, 10);
    r.pred = read_int(s, 11);
    r.out = read_int(s, 12);
    r.test = read_int(s, 13);
    r.diag = read_int(s, 14);
    r.method = read_int(s, 15);
    r.coord = read_int(s, 16);
    return r;
}

// The run description of the records; codes and letters that name nothing
// decode as unknown, and the echo stops at them in its order.
run_description decode(const state& s, const records& r) {
    run_description d;
    d.method = method_of(r.method);
    kernel_of(s.files.kercod, d.ktype, d.kshape);
    d.crit = criterion_of(s.files.calcod);
    d.sample = sampling_of(s.files.smpcod);
    d.coords = coordinates_of(r.coord);
    d.format = format_of(r.out);
    d.test = test_of(r.test);
    d.thinned = r.test < 0;
    d.history = r.hist != 0;
    d.predictions = r.pred != 0;
    d.casewise = r.diag != 0;
    d.location_file = s.option.iloc == 2;
    return d;
}

// The title, the file names, the variables of the data file and of the
// model; stops for a column number that names no variable.
void echo_variables(state& s, const run_description& d, const std::string& title) {
    blocks::option& op = s.option;
    std::ostream& o = *s.out;
    ftn::fwrite(o, "(a80)", {title});
    ftn::fwrite(o, "(2a)", {"** Observed data file:        ", first40(s.files.datfil)});
    ftn::fwrite(o, "(2a)", {"** Prediction location file:  ", first40(s.files.locfil)});
    ftn::fwrite(o, "(2a)", {"** Result output file:        ", first40(s.files.outfil)});

    // A header with more names than the program holds lists only the first
    // maxvar of them; the run stops for too many variables before any data
    // record is used.
    const int nshown = std::min(op.nvfile, maxvar);
    ftn::fwrite(o, "(a)", {" "});
    ftn::fwrite(o, "(a)", {"** Variables in the data file..."});
    echo_names(s, s.lab1.varlab, nshown);
    ftn::fwrite(o, "(a)", {" "});

    // Only the regression methods need a dependent variable.
    check_column(s, 4, "dependent variable", op.idep, !d.regression());
    check_column(s, 5, "x coordinate", op.ixvar, false);
    check_column(s, 5, "y coordinate", op.iyvar, false);
    check_column(s, 5, "weight variable", op.iwvar, true);
    auto name = [&s](int col) { return col >= 1 ? s.lab1.varlab[col - 1] : std::string(8, ' '); };

    const bool descriptive = d.method == analysis::descriptive;
    if (!descriptive) ftn::fwrite(o, "(2a)", {"** Dependent (y) variable..........", name(op.idep)});
    ftn::fwrite(o, "(2a)", {"** Easting  (x-coord) variable.....", name(op.ixvar)});
    ftn::fwrite(o, "(2a)", {"** Northing (y-coord) variable.....", name(op.iyvar)});
    if (d.method != analysis::poisson) {
        if (op.iwvar == 0)
            ftn::fwrite(o, "(a)", {"** No weight variable specified"});
        else
            ftn::fwrite(o, "(2a)", {"** Weight variable for estimation..", name(op.iwvar)});
    } else {
        if (op.iwvar == 0)
            ftn::fwrite(o, "(a)", {"** No offset variable specified"});
        else
            ftn::fwrite(o, "(2a)", {"** Offset variable for estimation..", name(op.iwvar)});
    }

    s.lab1.modlab.clear();
    s.lab1.modful.clear();
    for (int i : model_columns(s)) {
        s.lab1.modlab.push_back(name(i));
        s.lab1.modful.push_back(i <= static_cast<int>(s.lab1.varful.size()) ? s.lab1.varful[i - 1] : std::string());
    }
    const int m = static_cast<int>(s.lab1.modlab.size());
    if (descriptive)
        ftn::fwrite(o, "(a)", {"** Statistics required for the following..."});
    else
        ftn::fwrite(o, "(a)", {"** Independent variables in your model..."});
    echo_names(s, s.lab1.modlab, m);
    op.ncol = m + 1;
}

// The kernel; stops for an unknown letter.
void echo_kernel(state& s, const run_description& d) {
    std::ostream& o = *s.out;
    switch (d.kshape) {
        case kernel_shape::gaussian:
            ftn::fwrite(o, "(a)", {"** Kernel type:  Fixed"});
            ftn::fwrite(o, "(a)", {"** Kernel shape: Gaussian"});
            break;
        case kernel_shape::bisquare:
            ftn::fwrite(o, "(a)", {"** Kernel type:  Adaptive"});
            ftn::fwrite(o, "(a)", {"** Kernel shape: Bi-Square"});
            break;
        case kernel_shape::cylinder:
            ftn::fwrite(o, "(a)", {"** Kernel type:  Fixed"});
            ftn::fwrite(o, "(a)", {"** Kernel shape: Cylinder"});
            break;
        default:
            ftn::fwrite(o, "(a)", {"Illegal Kernel Choice"});
            throw stop("98");
    }
    s.option.kertyp = kertyp_word(d);
    s.option.kershp = kershp_word(d);
}

// A given bandwidth (the fixed kernel's distance, the adaptive kernel's
// size), or the search and its calibration points; stops for a bandwidth
// that is not above 0 and for an unknown sample letter.  Nothing for an
// unknown calibration letter: the run stops when the search would begin.
void echo_bandwidth(state& s, const run_description& d) {
    std::ostream& o = *s.out;
    if (d.bandwidth_given()) {
        s.option.icalib = icalib_word(d);
        ftn::fwrite(o, "(a)", {"** User supplied bandwidth"});
        if (!d.adaptive()) {
            s.fit5.nnear = 0;
            s.parms.bandw2 = 0.0;
            ftn::fwrite(o, "(a,f14.5,a)", {"** Bandwidth is ", s.parms.bandw, " coordinate units"});
            if (!(s.parms.bandw > 0.0)) {
                ftn::fwrite(o, "(a)", {"** User supplied bandwidth is too small"});
                ftn::fwrite(o, "(a)", {"** It must be >0 units "});
                throw stop();
            }
        } else {
            // Truncated toward zero; sizes beyond the integer range are
            // clamped (they exceed any data set and stop at the first fit).
            double b = std::trunc(s.parms.bandw);
            s.fit5.nnear = b >= static_cast<double>(INT_MAX)   ? INT_MAX
                           : b <= static_cast<double>(INT_MIN) ? INT_MIN
                           : std::isnan(b)                     ? 0
                                                               : static_cast<int>(b);
            s.parms.bandw2 = s.parms.bandw;
            ftn::fwrite(o, "(a,i10,a)", {"** Local sample size is ", s.fit5.nnear, " objects "});
            if (s.fit5.nnear <= 0) {
                ftn::fwrite(o, "(a)", {"** User supplied bandwidth is too small"});
                ftn::fwrite(o, "(a)", {"** It must be >0 objects "});
                throw stop();
            }
        }
    } else if (d.search()) {
        const criterion c = d.crit;
        const char* heading = c == criterion::cv     ? "** Bandwidth selection by crossvalidation"
                              : c == criterion::aicc ? "** Bandwidth selection by AICc minimisation"
                                                     : "** Bandwidth selection by BIC minimisation";
        ftn::fwrite(o, "(a)", {heading});
        if (d.sample == sampling::all) {
            s.option.icalib = icalib_word(d);
            ftn::fwrite(o, "(a)", {"** Use all regression points"});
        } else if (d.sample == sampling::sample) {
            s.option.icalib = icalib_word(d);
            s.sampl.smppct = std::fabs(s.parms.bandw);
            ftn::fwrite(o, "(a)", {"** Use a sample of regression points"});
            ftn::fwrite(o, "(a,f10.3,a)", {"*** Sample size is ", s.sampl.smppct, "%"});
        } else {
            const char* method = c == criterion::cv     ? "Method: CVS, alldat "
                                 : c == criterion::aicc ? "Method: AIC, alldat "
                                                        : "Method: BIC, alldat ";
            ftn::ldwrite(o, {"*** Illegal method/calibration choice"});
            ftn::ldwrite(o, {method, std::string(1, s.files.smpcod)});
            pcntrl(s);
            throw stop(c == criterion::bic ? "94" : "97");
        }
    }
}

// The search limits of a limits keyword record, or that they go unused.
void echo_limits(state& s, const run_description& d) {
    std::ostream& o = *s.out;
    if (!d.search())
        ftn::fwrite(o, "(a)", {"** Search limits not used: no bandwidth search requested"});
    else if (d.adaptive())
        ftn::fwrite(o, "(a,i10,a,i10,a)",
                    {"** Search limits for the local sample size:", static_cast<int>(d.keys.limlo), " to",
                     static_cast<int>(d.keys.limhi), " objects"});
    else
        ftn::fwrite(o, "(a,f14.5,a,f14.5,a)",
                    {"** Search limits for the bandwidth:", d.keys.limlo, " to", d.keys.limhi,
                     d.spherical() ? " km" : " coordinate units"});
}

// Records 10 to 14: what the run lists and writes besides the fit.
void echo_requests(state& s, const run_description& d, const records& r) {
    blocks::option& op = s.option;
    std::ostream& o = *s.out;
    if (!d.history) {
        ftn::fwrite(o, "(a)", {"** No calibration history requested"});
    } else {
        ftn::fwrite(o, "(a)", {"** Calibration history requested"});
        op.ihist = 1;
    }
    if (!d.predictions) {
        ftn::fwrite(o, "(a)", {"** No prediction report requested"});
    } else {
        ftn::fwrite(o, "(a)", {"** Prediction report requested"});
        op.ipred = 1;
    }
    switch (d.format) {
        case result_format::none:
            ftn::fwrite(o, "(a)", {"** No output estimates to be written to file"});
            break;
        case result_format::text:
            ftn::fwrite(o, "(a)", {"** Output estimates to be written to .txt file"});
            op.iouttp = 1;
            break;
        case result_format::e00:
            ftn::fwrite(o, "(a)", {"** Output estimates to be written to .e00 file"});
            op.iouttp = 2;
            break;
        case result_format::gpkg:
            ftn::fwrite(o, "(a)", {"** Output estimates to be written to .gpkg file"});
            op.iouttp = 4;
            break;
        case result_format::mif:
            ftn::fwrite(o, "(a)", {"** Output estimates to be written to .mif file"});
            op.iouttp = 3;
            break;
    }
    switch (d.test) {
        case variation_test::none:
            ftn::fwrite(o, "(a)", {"** No significance test for spatial variation"});
            break;
        case variation_test::monte_carlo:
            ftn::fwrite(o, "(a)", {"** Monte Carlo significance tests for spatial variation"});
            op.itest = r.test;
            break;
        case variation_test::leung:
            ftn::fwrite(o, "(a)", {"** Leung significance tests for spatial variation"});
            op.itest = r.test;
            break;
        case variation_test::unknown:
            break;
    }
    if (!d.casewise) {
        ftn::fwrite(o, "(a)", {"** No casewise diagnostics requested"});
        op.idiag = 0;
    } else {
        ftn::fwrite(o, "(a)", {"** Casewise diagnostics to be printed"});
        op.idiag = 1;
    }
}

}  // namespace

void gtfnam(state& s) {
    s.files.datfil = rtrim(text_record(s, 1));
    s.files.locfil = rtrim(text_record(s, 2));
    s.files.outfil = rtrim(text_record(s, 3));
    if (s.files.locfil.empty()) {
        s.option.iloc = 1;
        s.files.locfil = "Estimation at sample point locations";
        s.output.samepts = 1;
    } else {
        s.option.iloc = 2;
        s.output.samepts = 0;
    }
}

void read1(state& s) {
    // Reading: nothing goes to the listing until all 16 records and the
    // keyword records are in.
    const records r = read_records(s);
    run_description d = decode(s, r);
    const int given = read_keywords(s, d);
    s.describe(d);
    // Nothing has been read from the data yet and nothing written: refuse a
    // result file that would replace an input.
    chkout(s);
    s.parms.bandw = r.bandw;
    blocks::option& op = s.option;
    op.rawhst = r.hist;
    op.rawprd = r.pred;
    op.rawout = r.out;

    // Echo, in record order; the control-vector words follow it.
    echo_variables(s, d, r.title);
    echo_kernel(s, d);
    echo_bandwidth(s, d);
    if (given & 1) echo_limits(s, d);
    echo_requests(s, d, r);
    problm(s, d.method);
    ctype(s, d.coords);
    op.iorig = 0;
    echo_keywords(s, d.keys, given);
}

}  // namespace gwr
