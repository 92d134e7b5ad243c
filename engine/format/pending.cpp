// Placeholders for routines not yet built; each is removed when its real
// implementation lands.
#include "format/format.h"

namespace ftn {

std::string format(std::string_view, const items&) { return {}; }
void fwrite(std::ostream&, std::string_view, const items&) {}
std::string ldformat(const items&, int) { return {}; }
void ldwrite(std::ostream&, const items&) {}
std::string ldrecord(const items&) { return {}; }
std::string ldreal(double) { return {}; }
bool ldread(const std::function<bool(std::string&)>&, int, std::vector<std::optional<std::string>>&) { return false; }
bool parse_int(std::string_view, int&) { return false; }
bool parse_real(std::string_view, double&) { return false; }

}  // namespace ftn
