// tzm: the engine.  Control file on standard input (or named on the command
// line), listing on standard output.
//
// Options: --help, --version, --threads N, --progress, and an optional
// control-file path.  Without any the engine runs exactly as it always has.
#include <CLI/CLI.hpp>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#ifdef _OPENMP
#include <omp.h>
#endif

#include "control/control.h"
#include "control/progress.h"
#include "control/stop.h"
#include "release.h"

namespace {

// Where the user manual lies: an installation puts tzm in <prefix>/bin and
// the manual in <prefix>/share/doc/gwr; a program run from its build tree
// points to the docs/ folder of the sources it was built from.
std::string manual_folder() {
    std::error_code ec;
    const auto exe = std::filesystem::canonical("/proc/self/exe", ec);
    if (!ec) {
        const auto installed = exe.parent_path().parent_path() / "share" / "doc" / "gwr";
        if (std::filesystem::is_directory(installed, ec)) return installed.string();
    }
#ifdef TZM_SOURCE_DOCS
    if (std::filesystem::is_directory(TZM_SOURCE_DOCS, ec)) return TZM_SOURCE_DOCS;
#endif
    return "share/doc/gwr in the installation";
}

}  // namespace

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    if (argc <= 1) {
        gwr::state s(std::cin, std::cout, std::cerr);
        return gwr::run(s);
    }

    CLI::App app{"tzm " TZM_RELEASE
                 ": geographically weighted regression engine.\n"
                 "Reads a model control file (standard input, or CONTROL), writes the listing on\n"
                 "standard output and the result file the control file names."};
    app.footer("Exit status: 0 normal run; 1 a data record is not numbers; 2 another input or\n"
               "output failure (one line on standard error); 3 an error stop (told in the listing).\n"
               "User manual: " + manual_folder() + " (start with README.md), and man tzm.");
    std::string control;
    int threads = 0;
    bool progress = false;
    app.add_option("control", control, "Control file to read instead of standard input");
    app.add_option("--threads", threads, "Threads of the fitting loops (instead of OMP_NUM_THREADS)")
        ->check(CLI::Validator(
            [](std::string& v) {
                int n = 0;
                return CLI::detail::lexical_cast(v, n) && n >= 1 ? std::string()
                                                                  : "the number of threads must be at least 1";
            },
            "N"));
    app.add_flag("--progress", progress,
                 "Progress lines on standard error: \"progress PHASE STEP STEPS\"");
    app.add_flag_callback(
        "--version",
        [] {
            std::cout << "tzm release " TZM_RELEASE ", build " TZM_BUILD "\n";
            throw CLI::Success();
        },
        "Release and build, then exit");
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::Success&) {
        std::cout.flush();
        return 0;
    } catch (const CLI::ParseError& e) {
        std::cerr << "tzm: " << e.what() << " (tzm --help lists the options)\n";
        return gwr::io_error_status;
    }

#ifdef _OPENMP
    if (threads > 0) omp_set_num_threads(threads);
#endif

    std::ifstream file;
    if (!control.empty()) {
        file.open(control, std::ios::binary);
        if (!file.is_open()) {
            std::cerr << "tzm: cannot open the control file '" << control << "': " << std::strerror(errno)
                      << "\n";
            return gwr::io_error_status;
        }
    }
    gwr::state s(control.empty() ? std::cin : file, std::cout, std::cerr);
    gwr::progress::sink sink;
    if (progress) {
        sink.err = &std::cerr;
        s.progress = &sink;
    }
    return gwr::run(s);
}
