// Location files in table form: a comma-delimited file with a header line,
// like the observation file, whose columns are found by the observation
// file's variable names.  It gives each fit location an identifier, its
// coordinates and, when it holds every independent variable of the model,
// the predictor values there (and a Poisson model's offset).
#pragma once

#include <functional>
#include <iosfwd>
#include <string>

#include "control/blocks.h"

namespace gwr::loctable {

// Reads the first non-blank line of the location file `f` (from its start;
// `line` counts the lines read, `what` names the file for read_line) into
// `head`.  True when it is a header line: one of its first three
// list-directed values is not a number.  False otherwise (also for a file
// without a non-blank line): the file is the three-number form, and the
// caller reads it again from its start.
bool header(std::istream& f, const std::string& what, std::string& head, int& line);

// A location as the records give it: identifier, coordinates as written
// (degrees when spherical) and the line where its record begins.
using take_fn = std::function<void(int id, double x, double y, int line)>;

// Reads the records after the header line `head` (line `line` of the file
// `name`): matches the columns, calls `take` for every record in order and
// fills s.pred (the table's predictor values and offsets, sized for the
// locations taken).  Throws io_error naming the file and line for a
// coordinate column that is missing, a needed column named twice, some but
// not all independent variables, a value that is not a number, an
// identifier that is not a whole number or an offset not above 0.
void read(state& s, std::istream& f, const std::string& name, const std::string& head, int& line,
          const take_fn& take);

// The lines after the count of locations: where identifiers, predictor
// values and offsets come from, and the warnings about empty fields and
// records that run short (also on standard error).
void report(state& s, const std::string& name);

}  // namespace gwr::loctable
