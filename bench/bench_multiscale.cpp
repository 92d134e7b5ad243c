// Timing of the multiscale model (method 6) on the synthetic data of
// synth.h: runs the built tzm program (beside this one in the bin folder)
// with the adaptive bi-square kernel, a search by AICc (K = 3), and prints
// per run the elapsed and processor seconds, the peak resident memory, the
// rounds of the back-fitting and the sizes found.
//
//   bench_multiscale [-t 1,2] [-i 0|1] [-k] [N ...]   (default N: 1000 10000)
//
// -i 0 adds the keyword record "inference 0" (estimates and bandwidths
// only); -i 1 (the default) fits with the inference.  Both leave out the
// single-bandwidth model's bandwidth interval ("interval 0").  The listings
// of the same run on different thread counts are compared.
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "synth.h"
#include "timed_run.h"

namespace fs = std::filesystem;

namespace {

using bench::timing;
using bench::run;

// The listing without its time-stamped lines, and the multiscale facts:
// the convergence line and the sizes of the parameters.
std::string untimed(const fs::path& p, std::string& facts) {
    std::ifstream in(p);
    std::string line, all;
    int table = -1;
    while (std::getline(in, line)) {
        if (line.find("Program starts at:") != std::string::npos ||
            line.find("Program terminates") != std::string::npos)
            continue;
        all += line + '\n';
        if (line.find("Back-fitting converged") != std::string::npos ||
            line.find("did not converge") != std::string::npos)
            facts += line.substr(3) + ";";
        if (line.rfind("   Label          Size", 0) == 0) table = 3;
        else if (table > 0) {
            std::istringstream row(line);
            std::string label, size;
            row >> label >> size;
            facts += " " + size;
            --table;
        }
    }
    return all;
}

std::vector<int> split(const std::string& s) {
    std::vector<int> v;
    std::stringstream in(s);
    std::string item;
    while (std::getline(in, item, ',')) v.push_back(std::atoi(item.c_str()));
    return v;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<int> threads{2};
    std::vector<int> sizes;
    int inference = 1;
    bool keep = false;
    for (int a = 1; a < argc; ++a) {
        const std::string arg = argv[a];
        if (arg == "-t" && a + 1 < argc)
            threads = split(argv[++a]);
        else if (arg == "-i" && a + 1 < argc)
            inference = std::atoi(argv[++a]);
        else if (arg == "-k")
            keep = true;
        else
            sizes.push_back(std::atoi(arg.c_str()));
    }
    if (sizes.empty()) sizes = {1000, 10000};
    const fs::path tzm = fs::canonical("/proc/self/exe").parent_path() / "tzm";
    const fs::path dir = fs::temp_directory_path() / ("bench_multiscale." + std::to_string(getpid()));
    fs::create_directories(dir);
    std::printf("%7s %7s %9s %10s %10s %10s  %s\n", "n", "threads", "inference", "wall s", "cpu s", "peak MiB",
                "result");
    int status = 0;
    for (int n : sizes) {
        const std::string data = "synth" + std::to_string(n) + ".csv";
        if (!synth::write_data((dir / data).string(), n, 20261207)) {
            std::fprintf(stderr, "bench_multiscale: cannot write the data\n");
            return 1;
        }
        const fs::path ctl = dir / ("ms" + std::to_string(n) + ".tzm");
        {
            std::ofstream c(ctl);
            c << data << "\n\n\n4\n2,3,0\nBenchmark multiscale\nFFFFTT\nvaa\n0\n0\n0\n0\n0\n0\n6\n1\n"
              << "interval 0\n"
              << (inference ? "" : "inference 0\n");
        }
        std::string first;
        for (int t : threads) {
            const fs::path lst = dir / ("ms" + std::to_string(n) + "." + std::to_string(t) + ".lst");
            const timing r = run(tzm, dir, ctl, lst, t);
            std::string facts;
            const std::string text = untimed(lst, facts);
            std::string verdict = r.status == 0 ? facts : "exit status " + std::to_string(r.status);
            if (first.empty())
                first = text;
            else if (text != first) {
                verdict = "LISTING DIFFERS FROM THE FIRST THREAD COUNT";
                status = 1;
            }
            std::printf("%7d %7d %9d %10.2f %10.2f %10.1f  %s\n", n, t, inference, r.wall, r.cpu,
                        r.maxrss_kb / 1024.0, verdict.c_str());
            std::fflush(stdout);
        }
    }
    if (keep)
        std::printf("scratch folder kept: %s\n", dir.c_str());
    else
        fs::remove_all(dir);
    return status;
}
