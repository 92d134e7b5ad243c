// libFuzzer harness of the data readers: the input is written as a data
// file and read by rdlabl and rdata, with Cartesian and with spherical
// coordinates, and as a location file by readin, both ways.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "control/control.h"
#include "control/stop.h"

namespace {

// A scratch folder for the input file, removed when the fuzzer exits.
// Memory-backed when possible: rewriting a file on disk at every input
// waits for the disk.
struct scratch {
    std::filesystem::path dir;
    scratch() {
        const std::filesystem::path base =
            std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : std::filesystem::temp_directory_path();
        std::string templ = (base / "tzmfuzz.XXXXXX").string();
        if (!mkdtemp(templ.data())) std::abort();
        dir = templ;
    }
    ~scratch() {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
};

template <class F>
void guarded(F f) {
    try {
        f();
    } catch (const gwr::stop&) {
    } catch (const gwr::io_error&) {
    } catch (const gwr::exit_status&) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const scratch folder;
    static const std::string name = (folder.dir / "input.csv").string();
    {
        std::ofstream f(name, std::ios::binary | std::ios::trunc);
        f.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    for (int isph = 0; isph <= 1; ++isph) {
        std::istringstream in;
        std::ostringstream out, err;
        gwr::state s(in, out, err);
        gwr::init(s);
        gwr::run_description d;
        d.method = gwr::analysis::gaussian;
        d.coords = isph == 1 ? gwr::coordinates::spherical : gwr::coordinates::cartesian;
        s.describe(d);
        s.files.datfil = name;
        s.files.locfil = name;
        guarded([&] {
            gwr::rdlabl(s);
            s.option.nvfile = s.dat2.nvard;
            s.option.ixvar = 2;
            s.option.iyvar = 3;
            s.option.ncol = 3;
            gwr::rdata(s);
        });
        guarded([&] { gwr::readin(s); });
    }
    return 0;
}
