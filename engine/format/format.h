// Fortran-style formatted and list-directed output, and list-directed input.
//
// Every line of the engine's listing and of its text result files is written
// through these routines, with the format specification written in the code
// exactly as the layout gives it, for example
//
//     ftn::fwrite(out, "(a,f20.6)", {"Sigma...........................", sigma});
//
// Edit descriptors: a, aW, iW, fW.D, eW.D, lW, Nx, /, quoted strings
// ('...' or "..."), N(...) repeat groups, repeat counts on descriptors (3f12.3).
// A number that does not fit its field is written as W asterisks.  When the
// items outlast the specification the record ends and output resumes at the
// last top-level parenthesised group (or at the start when there is none).
// Output stops at the first data descriptor for which no item is left.
//
// List-directed output: a record begins with one blank; text is written as
// is; an integer as a blank and its digits; a real as a blank, a sign position
// (minus or blank) and the value converted with "%.9G", a decimal point being
// added when the conversion has none (before the exponent when there is one);
// zero as "0." after the blank and the sign position.  On the listing a record
// is broken before an item that would pass column 80; the continuation line
// begins with a blank.
#pragma once

#include <functional>
#include <initializer_list>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ftn {

// One value to write: text, an integer, a real or a logical; the
// constructors let a braced list of mixed values be an `items`.
struct item {
    enum class kind { text, integer, real, logical };
    kind k;
    std::string s;     // text
    long long i = 0;   // integer
    double r = 0.0;    // real (a float is widened exactly)
    bool b = false;    // logical

    item(const char* v) : k(kind::text), s(v) {}
    item(std::string v) : k(kind::text), s(std::move(v)) {}
    item(std::string_view v) : k(kind::text), s(v) {}
    item(int v) : k(kind::integer), i(v) {}
    item(long v) : k(kind::integer), i(v) {}
    item(long long v) : k(kind::integer), i(v) {}
    item(double v) : k(kind::real), r(v) {}
    item(float v) : k(kind::real), r(v) {}
    item(bool v) : k(kind::logical), b(v) {}
};

using items = std::vector<item>;  // the items of one write statement

// Formats the items under the specification (with its parentheses).
// Returns every record, each terminated by '\n'.
std::string format(std::string_view spec, const items& list);

// Writes format(spec, list) to the stream.
void fwrite(std::ostream& out, std::string_view spec, const items& list = {});

// List-directed records of the items, each terminated by '\n'.  With
// width > 0 a record is broken before an item that would pass that column.
std::string ldformat(const items& list, int width = 80);

// Writes ldformat(list, 80) to the stream (one list-directed listing line).
void ldwrite(std::ostream& out, const items& list = {});

// One list-directed record without line breaks and without the final
// newline (the internal record of the comma-delimited result files).
std::string ldrecord(const items& list);

// The text of one real as list-directed output writes it after its leading
// blank: sign position and value, e.g. " 1.5", "-1.5", " 0.", " 1.E-05".
std::string ldreal(double v);

// List-directed input.
//
// One read statement collects `count` value fields from successive lines
// supplied by `nextline` (which returns false at the end of the input).
// Values are separated by commas and/or blanks (tabs count as blanks); a
// read continues on the next line when the current one holds too few; what
// is left on the last line read is ignored.  An empty field between two
// commas (or a leading comma) is a null value: std::nullopt, which leaves the
// target unchanged.  A slash ends the read: the remaining fields are null.
// Returns false when the input ends before `count` fields were collected
// (`fields` then holds those found).
bool ldread(const std::function<bool(std::string&)>& nextline, int count,
            std::vector<std::optional<std::string>>& fields);

// Converts one list-directed field: an optionally signed integer.
bool parse_int(std::string_view field, int& value);

// Converts one list-directed field: an optionally signed real with optional
// decimal point and exponent (E, e, D or d).
bool parse_real(std::string_view field, double& value);

}  // namespace ftn
