// Timing harness over the synthetic generator: runs the built tzm program
// (beside this one in the bin folder) on synthetic data sets of several
// sizes, with several models and thread counts, and prints one line per run:
// elapsed and processor seconds of the run and its peak resident memory.
// The listings of the same model on different thread counts are compared,
// and any difference is reported.
//
//   bench_speed [-t 1,2] [-c CASES] [-i] [-k] [N ...]      (default N: 1000 10000)
//
// CASES is a comma list of
//   fixed-given     fixed Gaussian kernel, bandwidth 2.5 (data units)
//   fixed-aicc      fixed Gaussian kernel, AICc calibration
//   fixed-aicc-diag the same with casewise diagnostics
//   adapt-given     adaptive bi-square, 200 nearest neighbours
//   adapt-aicc      adaptive bi-square, AICc calibration, casewise diagnostics
//   poisson-given   Poisson model, adaptive bi-square, 200 nearest neighbours
//   poisson-aicc    Poisson model, adaptive bi-square, AICc calibration
// (default: all).  The synthetic points are uniform on a square of side
// sqrt(N), one per unit area; two predictors, so K = 3.  -i adds the
// keyword record `interval 0` (no bandwidth interval after an AICc search).
// -k keeps the scratch folder with the data, control files and listings.
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "synth.h"
#include "timed_run.h"

namespace fs = std::filesystem;

namespace {

struct model {
    const char* name;
    const char* kernel;  // record 8
    const char* bw;      // record 9
    int diag;            // record 14
    int method;          // record 15
};

const model models[] = {
    {"fixed-given", "fnn", "2.5", 0, 2},     {"fixed-aicc", "faa", "0", 0, 2},
    {"fixed-aicc-diag", "faa", "0", 1, 2},
    {"adapt-given", "vnn", "200", 0, 2},     {"adapt-aicc", "vaa", "0", 1, 2},
    {"poisson-given", "vnn", "200", 0, 4},   {"poisson-aicc", "vaa", "0", 0, 4},
};

std::vector<std::string> split(const std::string& s) {
    std::vector<std::string> v;
    std::stringstream in(s);
    std::string item;
    while (std::getline(in, item, ',')) v.push_back(item);
    return v;
}

// Poisson data from the Gaussian synthetic file: counts drawn around a
// log-linear mean in the same predictors, expected counts as offsets.
bool write_counts(const std::string& src, const std::string& dst) {
    std::ifstream in(src);
    std::ofstream out(dst);
    std::string line;
    if (!std::getline(in, line)) return false;
    out << "ID,X,Y,CASES,X1,X2,EXPECT\n";
    synth::source g(99);
    while (std::getline(in, line)) {
        int id;
        double x, y, dep, x1, x2;
        if (std::sscanf(line.c_str(), "%d,%lf,%lf,%lf,%lf,%lf", &id, &x, &y, &dep, &x1, &x2) != 6)
            return false;
        const double e = 1.0 + 4.0 * g.uniform();
        const double mu = e * std::exp(0.2 + 0.3 * x1 - 0.2 * x2 + 0.1 * std::sin(x / 20.0));
        // Poisson count by inversion.
        double p = std::exp(-mu), c = p, u = g.uniform();
        int k = 0;
        while (u > c && k < 1000) {
            ++k;
            p *= mu / k;
            c += p;
        }
        char buf[200];
        std::snprintf(buf, sizeof buf, "%d,%.10g,%.10g,%d,%.10g,%.10g,%.6g\n", id, x, y, k, x1, x2, e);
        out << buf;
    }
    return static_cast<bool>(out);
}

using bench::timing;
using bench::run;

// The listing without its two time-stamped lines; ended tells whether the
// run reached its closing report.
std::string untimed(const fs::path& p, bool& ended) {
    std::ifstream in(p);
    std::string line, all;
    ended = false;
    while (std::getline(in, line)) {
        if (line.find("Program terminates normally") != std::string::npos) ended = true;
        if (line.find("Program starts at:") == std::string::npos &&
            line.find("Program terminates") == std::string::npos)
            all += line + '\n';
    }
    return all;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<int> threads{1, 2};
    std::vector<std::string> cases;
    std::vector<int> sizes;
    bool keep = false, nointerval = false;
    for (int a = 1; a < argc; ++a) {
        std::string arg = argv[a];
        if (arg == "-t" && a + 1 < argc) {
            threads.clear();
            for (auto& v : split(argv[++a])) threads.push_back(std::atoi(v.c_str()));
        } else if (arg == "-c" && a + 1 < argc) {
            cases = split(argv[++a]);
        } else if (arg == "-i") {
            nointerval = true;
        } else if (arg == "-k") {
            keep = true;
        } else {
            sizes.push_back(std::atoi(arg.c_str()));
        }
    }
    if (sizes.empty()) sizes = {1000, 10000};
    if (cases.empty())
        for (const auto& m : models) cases.push_back(m.name);

    const fs::path tzm = fs::canonical("/proc/self/exe").parent_path() / "tzm";
    if (!fs::exists(tzm)) {
        std::fprintf(stderr, "bench_speed: %s not found\n", tzm.c_str());
        return 2;
    }
    const fs::path dir = fs::temp_directory_path() / ("bench_speed." + std::to_string(getpid()));
    fs::create_directories(dir);

    std::printf("%-16s %7s %7s %10s %10s %10s  %s\n", "model", "n", "threads", "wall s", "cpu s",
                "peak MiB", "result");
    int status = 0;
    for (int n : sizes) {
        const std::string data = "synth" + std::to_string(n) + ".csv";
        const std::string counts = "counts" + std::to_string(n) + ".csv";
        if (!synth::write_data((dir / data).string(), n, 20261207) ||
            !write_counts((dir / data).string(), (dir / counts).string())) {
            std::fprintf(stderr, "bench_speed: cannot write the data\n");
            return 1;
        }
        for (const auto& name : cases) {
            const model* m = nullptr;
            for (const auto& mm : models)
                if (name == mm.name) m = &mm;
            if (!m) {
                std::fprintf(stderr, "bench_speed: unknown case %s\n", name.c_str());
                return 2;
            }
            const bool poisson = m->method == 4;
            const fs::path ctl = dir / (name + std::to_string(n) + ".tzm");
            {
                std::ofstream c(ctl);
                c << (poisson ? counts : data) << "\n\n\n4\n" << (poisson ? "2,3,7" : "2,3,0")
                  << "\nBenchmark " << name << '\n'
                  << (poisson ? "FFFFTTF" : "FFFFTT") << '\n'
                  << m->kernel << '\n'
                  << m->bw << "\n0\n0\n0\n0\n"
                  << m->diag << '\n'
                  << m->method << "\n1\n";
                if (nointerval) c << "interval 0\n";
            }
            std::string first;
            for (int t : threads) {
                const fs::path lst = dir / (name + std::to_string(n) + "." + std::to_string(t) + ".lst");
                timing r = run(tzm, dir, ctl, lst, t);
                bool ended = false;
                std::string text = untimed(lst, ended);
                std::string verdict = "ok";
                if (r.status != 0)
                    verdict = "exit status " + std::to_string(r.status);
                else if (!ended)
                    verdict = "run did not end normally";
                if (first.empty())
                    first = text;
                else if (text != first) {
                    verdict = "LISTING DIFFERS FROM THE FIRST THREAD COUNT";
                    status = 1;
                }
                std::printf("%-16s %7d %7d %10.2f %10.2f %10.1f  %s\n", name.c_str(), n, t, r.wall,
                            r.cpu, r.maxrss_kb / 1024.0, verdict.c_str());
                std::fflush(stdout);
            }
        }
    }
    if (keep)
        std::printf("scratch folder kept: %s\n", dir.c_str());
    else
        fs::remove_all(dir);
    return status;
}
