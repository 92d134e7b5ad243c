// Location files with a header line: column matching by the observation
// file's names, the records, and the predictor values they give.
#include "control/loctable.h"

#include <cmath>
#include <istream>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "control/stop.h"
#include "control/textin.h"
#include "format/format.h"

namespace gwr::loctable {

namespace {

std::string trim_blanks(const std::string& t) {
    const std::size_t a = t.find_first_not_of(" \t");
    if (a == std::string::npos) return std::string();
    return t.substr(a, t.find_last_not_of(" \t") + 1 - a);
}

// The names of a header line, split as the observation file's header is:
// only commas separate, the last name runs to the last non-blank
// character, a trailing comma adds no name; blanks around a name dropped.
std::vector<std::string> split_names(const std::string& line) {
    std::vector<std::string> names;
    const std::size_t last = line.find_last_not_of(" \t\r");
    if (last == std::string::npos) return names;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= last; ++i) {
        if (line[i] == ',') {
            names.push_back(trim_blanks(line.substr(start, i - start)));
            start = i + 1;
        } else if (i == last) {
            names.push_back(trim_blanks(line.substr(start, last + 1 - start)));
        }
    }
    return names;
}

// Position (0-based) of the column called `name` among `names`, -1 when
// there is none; a name given twice cannot say which column is meant.
int find_column(const std::vector<std::string>& names, const std::string& name, const std::string& where) {
    if (name.empty()) return -1;
    int at = -1;
    for (int c = 0; c < static_cast<int>(names.size()); ++c) {
        if (names[c] != name) continue;
        if (at >= 0) throw io_error(where + ": the header line names the column '" + name + "' twice");
        at = c;
    }
    return at;
}

std::string list_names(const std::vector<std::string>& v) {
    std::string t;
    for (const std::string& n : v) t += (t.empty() ? "" : ", ") + n;
    return t;
}

// The observation file's name of column c (1-based), or "variable c" for a
// column without a name.
std::string column_name(const state& s, int c) {
    const std::vector<std::string>& full = s.lab1.varful;
    if (c >= 1 && c <= static_cast<int>(full.size()) && !full[c - 1].empty()) return full[c - 1];
    return "variable " + std::to_string(c);
}

}  // namespace

bool header(std::istream& f, const std::string& what, std::string& head, int& line) {
    std::string l;
    while (read_line(f, l, line + 1, what)) {
        ++line;
        if (l.find_first_not_of(" \t\r") == std::string::npos) continue;
        // The first three values as the three-number form would read them.
        bool given = false;
        auto one = [&](std::string& out) {
            if (given) return false;
            given = true;
            out = l;
            return true;
        };
        std::vector<std::optional<std::string>> fields;
        ftn::ldread(one, 3, fields);
        double v = 0.0;
        for (const auto& fd : fields)
            if (fd && !ftn::parse_real(*fd, v)) {
                head = l;
                return true;
            }
        return false;
    }
    return false;
}

void read(state& s, std::istream& f, const std::string& name, const std::string& head, int& line,
          const take_fn& take) {
    const std::string file = "location file '" + name + "'";
    const std::string at_head = file + ", line " + std::to_string(line);
    const std::vector<std::string> names = split_names(head);
    const auto& o = s.option;
    blocks::predict& p = s.pred;
    p = blocks::predict{};
    p.table = true;

    auto need = [&](int c, const char* role) {
        const std::string n = column_name(s, c);
        const int at = find_column(names, n, at_head);
        if (at < 0)
            throw io_error(at_head + ": the header line names no column '" + n + "' (the " + role +
                           " of the data file)");
        return at;
    };
    const int xcol = need(o.ixvar, "x coordinate");
    const int ycol = need(o.iyvar, "y coordinate");

    // Identifiers from the column named like the data file's first column,
    // unless that column has a part in the model (it is then no identifier).
    auto has_role = [&](int c) {
        return c == o.idep || c == o.ixvar || c == o.iyvar || c == o.iwvar ||
               (c - 1 < static_cast<int>(s.dat2.inmod.size()) && s.dat2.inmod[c - 1]);
    };
    int idcol = -1;
    if (!has_role(1)) idcol = find_column(names, column_name(s, 1), at_head);
    if (idcol >= 0) p.idcol = names[idcol];

    // The model's independent variables, in design order: every one or none.
    std::vector<int> pcols;
    int offcol = -1;
    const bool model = o.method >= 2 && o.method <= 4;
    if (model) {
        std::vector<std::string> missing;
        for (int c = 1; c <= o.nvfile; ++c) {
            if (c == o.idep || c == o.ixvar || c == o.iyvar || c == o.iwvar) continue;
            if (c - 1 >= static_cast<int>(s.dat2.inmod.size()) || !s.dat2.inmod[c - 1]) continue;
            const int at = find_column(names, column_name(s, c), at_head);
            if (at < 0) missing.push_back(column_name(s, c));
            pcols.push_back(at);
        }
        if (!missing.empty() && missing.size() < pcols.size())
            throw io_error(at_head + ": the table holds some independent variables of the model but not " +
                           list_names(missing) + " (predictions need all of them)");
        p.active = !pcols.empty() && missing.empty();
        if (p.active && o.method == 4 && o.iwvar > 0) {
            offcol = find_column(names, column_name(s, o.iwvar), at_head);
            if (offcol >= 0) p.offcol = names[offcol];
        }
    }

    const int nh = static_cast<int>(names.size());
    int first = 0;  // line of the current record's first value
    auto next = [&](std::string& l) {
        if (!read_line(f, l, line + 1, file)) return false;
        ++line;
        if (first == 0 && l.find_first_not_of(" \t\r") != std::string::npos) first = line;
        return true;
    };
    std::vector<std::optional<std::string>> fields;
    std::vector<double> vals(nh), pv, ov;
    int nloc = 0;
    int nempty = 0, empty_col = 0, empty_loc = 0, empty_line = 0;
    int ncont = 0, cont_line = 0, cut_line = 0;
    for (;;) {
        first = 0;
        if (!ftn::ldread(next, nh, fields)) {
            if (first != 0) cut_line = first;
            break;
        }
        const std::string where = file + ", line " + std::to_string(first);
        for (int c = 0; c < nh; ++c) {
            vals[c] = 0.0;
            if (!fields[c]) {  // an empty field reads as 0, as in the data file
                if (nempty++ == 0) {
                    empty_col = c;
                    empty_loc = nloc + 1;
                    empty_line = first;
                }
                continue;
            }
            if (!ftn::parse_real(*fields[c], vals[c]))
                throw io_error(where + ": '" + *fields[c] + "' is not a number (column " +
                               (names[c].empty() ? std::to_string(c + 1) : names[c]) + ")");
        }
        if (line > first && ncont++ == 0) cont_line = first;
        int id = nloc + 1;
        if (idcol >= 0) {
            const double v = vals[idcol];
            if (!(v == std::floor(v) && std::fabs(v) <= 2147483647.0))
                throw io_error(where + ": '" + fields[idcol].value_or("") +
                               "' is not a whole number (identifier column " + names[idcol] + ")");
            id = static_cast<int>(v);
        }
        take(id, vals[xcol], vals[ycol], first);
        if (p.active) {
            for (int c : pcols) pv.push_back(vals[c]);
            double off = 1.0;
            if (offcol >= 0) {
                off = vals[offcol];
                if (!(off > 0.0))
                    throw io_error(where + ": the offset " + fields[offcol].value_or("0") + " (column " +
                                   names[offcol] + ") is not above 0");
            }
            ov.push_back(off);
        }
        ++nloc;
    }

    if (nempty > 0)
        p.warnings.push_back(std::to_string(nempty) + (nempty == 1 ? " empty field was" : " empty fields were") +
                             " read as 0; the first is column " + std::to_string(empty_col + 1) +
                             (names[empty_col].empty() ? "" : " (" + names[empty_col] + ")") + " of location " +
                             std::to_string(empty_loc) + " (line " + std::to_string(empty_line) + ")");
    if (ncont > 0)
        p.warnings.push_back(std::to_string(ncont) + (ncont == 1 ? " location" : " locations") +
                             " continued on a following line; the first ran short on line " +
                             std::to_string(cont_line));
    if (cut_line > 0)
        p.warnings.push_back("the file ends inside a location begun on line " + std::to_string(cut_line) +
                             "; it was not used");

    if (!p.active) return;
    const int K = static_cast<int>(pcols.size()) + 1;
    p.x0.resize(nloc, K);
    for (int i = 0; i < nloc; ++i) {
        p.x0(i, 0) = 1.0;
        for (int k = 1; k < K; ++k) p.x0(i, k) = pv[static_cast<std::size_t>(i) * (K - 1) + (k - 1)];
    }
    p.off0 = std::move(ov);
    p.predy.assign(nloc, 0.0);
    p.predse.assign(nloc, 0.0);
    p.q.assign(nloc, 0.0);
}

void report(state& s, const std::string& name) {
    const blocks::predict& p = s.pred;
    if (!p.table) return;
    std::ostream& out = *s.out;
    const bool model = s.run().regression();
    if (p.idcol.empty())
        ftn::fwrite(out, "(a)", {"** Location table: the locations are numbered in the order of the file"});
    else
        ftn::fwrite(out, "(2a)", {"** Location table: identifiers from column ", p.idcol});
    if (model) {
        if (p.active)
            ftn::fwrite(out, "(a)", {"** Location table with predictor values: predictions at every location"});
        else
            ftn::fwrite(out, "(a)", {"** Location table without predictor values: locations only"});
    }
    if (p.active && s.run().method == analysis::poisson && s.option.iwvar > 0) {
        if (p.offcol.empty())
            ftn::fwrite(out, "(a)", {"** No offset column in the location table: offsets of 1 at the locations"});
        else
            ftn::fwrite(out, "(2a)", {"** Offsets at the locations from column ", p.offcol});
    }

    // The warnings of the data file's reader, for the location file.
    const std::string what = "location file '" + name + "'";
    const std::vector<std::string>& warn = p.warnings;
    for (const std::string& w : warn) {
        ftn::fwrite(out, "(a)", {"** Warning: " + w});
        *s.err << "tzm: warning: " << what << ": " << w << "\n";
    }
    if (!warn.empty()) {
        ftn::fwrite(out, "(a)", {"** Check the location file for missing values"});
        *s.err << "tzm: warning: check the " << what << " for missing values\n";
    }
}

}  // namespace gwr::loctable
