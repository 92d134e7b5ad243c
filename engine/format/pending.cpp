// Placeholders for routines not yet built; each is removed when its real
// implementation lands.
#include "format/format.h"

namespace ftn {

bool ldread(const std::function<bool(std::string&)>&, int, std::vector<std::optional<std::string>>&) { return false; }
bool parse_int(std::string_view, int&) { return false; }
bool parse_real(std::string_view, double&) { return false; }

}  // namespace ftn
