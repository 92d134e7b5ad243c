// Reading the engine's text inputs (control file, data and location files)
// one line at a time, with a bound on the length of a line.
#pragma once

#include <cstddef>
#include <iosfwd>
#include <string>

namespace gwr {

// Longest line accepted from any input: 1 MiB.  A control, data or location
// file has no business with longer lines; without the bound a device or a
// binary file (tzm < /dev/zero) would grow one line without end.
constexpr std::size_t max_line = std::size_t{1} << 20;

// Reads the next line of `in` into `line`, without its line end (LF or
// CR LF) and, when `lineno` is 1, without a UTF-8 byte-order mark at its
// start.  Returns false at the end of the input (nothing read).  A line
// longer than max_line throws io_error naming `what` (for example "data file
// 'x.csv'") and the line number.
bool read_line(std::istream& in, std::string& line, int lineno, const std::string& what);

}  // namespace gwr
