#include "control/textin.h"

#include <istream>
#include <streambuf>

#include "control/stop.h"

namespace gwr {

namespace {

[[noreturn]] void too_long(int lineno, const std::string& what) {
    throw io_error(what + ", line " + std::to_string(lineno) +
                   ": the line is longer than 1 MiB (1048576 characters); is this a text file?");
}

}  // namespace

bool read_line(std::istream& in, std::string& line, int lineno, const std::string& what) {
    line.clear();
    std::streambuf* sb = in.rdbuf();
    if (!sb || !in.good()) return false;
    bool any = false;  // a character or a line end was taken
    for (;;) {
        const int c = sb->sbumpc();
        if (c == std::char_traits<char>::eof()) {
            in.setstate(std::ios::eofbit);
            if (!any) {
                in.setstate(std::ios::failbit);
                return false;
            }
            break;
        }
        any = true;
        if (c == '\n') break;
        // One character beyond the bound may be the CR of a CR LF end.
        if (line.size() > max_line) too_long(lineno, what);
        line.push_back(static_cast<char>(c));
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.size() > max_line) too_long(lineno, what);
    if (lineno == 1 && line.compare(0, 3, "\xEF\xBB\xBF") == 0) line.erase(0, 3);
    return true;
}

}  // namespace gwr
