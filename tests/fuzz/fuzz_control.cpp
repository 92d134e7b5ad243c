// libFuzzer harness of the control-file reader: the input is a control file
// whose first record is replaced by the name of a data file the harness
// writes once (so that every input reads the same header and no input
// names a file of its own), read by read1 and, when that succeeds, followed
// by the reading of the data records with the settings it made.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "control/control.h"
#include "control/stop.h"

namespace {

const char* const data_text =
    "ID,X,Y,CRIME,INC,HOVAL\n"
    "1,38.8,44.07,15.7,19.5,80.4\n"
    "2,35.6,42.38,18.8,21.2,44.5\n"
    "3,39.82,41.18,30.6,15.9,26.3\n"
    "4,36.5,40.52,32.3,4.4,33.2\n"
    "5,40.01,38,50.7,11.2,23.2\n";

// The data file, in a scratch folder removed when the fuzzer exits.
struct scratch {
    std::filesystem::path dir;
    std::string data;
    scratch() {
        std::string templ = (std::filesystem::temp_directory_path() / "tzmfuzz.XXXXXX").string();
        if (!mkdtemp(templ.data())) std::abort();
        dir = templ;
        data = (dir / "data.csv").string();
        std::ofstream(data, std::ios::binary) << data_text;
    }
    ~scratch() {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const scratch folder;
    const std::string& datfil = folder.data;
    std::string text(reinterpret_cast<const char*>(data), size);
    const std::size_t nl = text.find('\n');
    std::istringstream in(datfil + "\n" + (nl == std::string::npos ? std::string() : text.substr(nl + 1)));
    std::ostringstream out, err;
    gwr::state s(in, out, err);
    try {
        gwr::init(s);
        gwr::read1(s);
        const gwr::analysis m = s.run().method;
        if (m == gwr::analysis::descriptive || m == gwr::analysis::gaussian || s.run().glm()) gwr::rdata(s);
    } catch (const gwr::stop&) {
    } catch (const gwr::io_error&) {
    } catch (const gwr::exit_status&) {
    }
    return 0;
}
