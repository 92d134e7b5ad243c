// Times a whole Gaussian run (data reading, global model, local fits at
// every observation, diagnostics, summary) in-process: fixed Gaussian
// kernel, given bandwidth, intercept and two predictors, synthetic data.
//
//   bench_gauss [N ...]        (default: 10000 40000)
//
// Prints one line per size: observations, locations, elapsed seconds,
// processor seconds of this process (the machine may be shared) and local
// fits per elapsed second.  Then counts the allocations of the local
// estimation on a small run, once over all locations and once over ten:
// the two counts are equal when the per-location loop allocates nothing.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "control/blocks.h"
#include "control/control.h"
#include "gaussian/gaussian.h"
#include "synth.h"

#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
static long allocations = 0;

void* operator new(std::size_t size) {
    ++allocations;
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

std::string control_text(const std::string& data, int n) {
    const double bw = 0.1 * std::sqrt(static_cast<double>(n));
    std::ostringstream ctl;
    ctl.precision(17);
    ctl << data << "\n\n\n4\n2,3,0\nBenchmark\nFFFFTT\nfnn\n" << bw << "\n0\n0\n0\n0\n0\n2\n1\n";
    return ctl.str();
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<int> sizes;
    for (int a = 1; a < argc; ++a) sizes.push_back(std::atoi(argv[a]));
    if (sizes.empty()) sizes = {10000, 40000};

    namespace fs = std::filesystem;
    fs::path dir = fs::temp_directory_path() / ("bench_gauss." + std::to_string(::getpid()));
    fs::create_directories(dir);
    std::printf("%12s %12s %12s %12s %16s\n", "observations", "locations", "seconds",
                "cpu seconds", "fits/second");
    int status = 0;
    for (int n : sizes) {
        std::string data = (dir / ("synth" + std::to_string(n) + ".csv")).string();
        if (!synth::write_data(data, n, 20261207)) {
            std::fprintf(stderr, "bench_gauss: cannot write %s\n", data.c_str());
            return 1;
        }
        std::istringstream in(control_text(data, n));
        std::ostringstream out, err;
        gwr::state s(in, out, err);
        auto t0 = std::chrono::steady_clock::now();
        std::clock_t c0 = std::clock();
        int rc = gwr::run(s);
        std::clock_t c1 = std::clock();
        auto t1 = std::chrono::steady_clock::now();
        double sec = std::chrono::duration<double>(t1 - t0).count();
        double cpu = static_cast<double>(c1 - c0) / CLOCKS_PER_SEC;
        if (rc != 0 || s.fit3.nloc != n) {
            std::fprintf(stderr, "bench_gauss: run failed (%d)\n%s", rc, err.str().c_str());
            status = 1;
            continue;
        }
        std::printf("%12d %12d %12.2f %12.2f %16.1f\n", n, s.fit3.nloc, sec, cpu,
                    s.fit3.nloc / sec);
        std::fflush(stdout);
    }

    // Allocations of the local estimation (fits, diagnostics) after a run.
    {
        const int n = 2000;
        std::string data = (dir / "alloc.csv").string();
        synth::write_data(data, n, 1);
        std::istringstream in(control_text(data, n));
        std::ostringstream out, err;
        gwr::state s(in, out, err);
        gwr::run(s);
        long a0 = allocations;
        gwr::tzm(s);
        long all = allocations - a0;
        s.fit3.nloc = 10;
        a0 = allocations;
        gwr::tzm(s);
        long ten = allocations - a0;
        std::printf("allocations of the local estimation: %ld over %d locations, %ld over 10\n",
                    all, n, ten);
    }
    fs::remove_all(dir);
    return status;
}
