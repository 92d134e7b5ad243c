// Cost of the fixed Gaussian criterion per (location, observation) pair:
// sets up a run on synthetic data (K = 3, n observations, a bandwidth wide
// enough that every observation carries weight everywhere), then times
// evaluations of the AICc criterion (akeval: weights, X'WX, X'Wy, the
// inverse, the variance factors at every observation point) on one thread,
// on every path the processor runs: eight fits at once with AVX-512 (the
// weights formed in the lanes), four with AVX2, and the scalar loops; and
// prints nanoseconds per
// pair (processor time) and the fraction of this processor's peak
// arithmetic rate.
//
//   bench_pairs [N] [EVALUATIONS]          (default: 4000 5)
//
// The peak is estimated from /proc/cpuinfo: the clock ("cpu MHz") times
// the doubles of a vector register the engine uses (8 with AVX-512, 4 with
// AVX2, else 2)
// times 4 operations a cycle (two additions and two multiplications, the
// pipes of current x86 cores; the engine uses no fused multiply-add).
// The arithmetic of one pair is counted from the loops: 5 operations for
// the squared distance, 26 for the weight (a division, 24 for the
// exponential, the observation weight), 27 for the cross products (18
// multiplications, 9 additions) and 33 for the variance factors: 91 in the
// scalar loops; the vector loops fit four or eight locations at once and
// form the 9 products of an observation's own values once for them (84.25
// and 83.125).
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <unistd.h>

#ifdef _OPENMP
#include <omp.h>
#endif

#include "control/blocks.h"
#include "control/control.h"
#include "gaussian/calib.h"
#include "gaussian/vexp.h"
#include "synth.h"

namespace {

constexpr double ops_scalar = 91.0;

double cpu_mhz() {
    std::ifstream in("/proc/cpuinfo");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("cpu MHz", 0) == 0) return std::atof(line.substr(line.find(':') + 1).c_str());
    return 0.0;
}

}  // namespace

int main(int argc, char** argv) {
    const int n = argc > 1 ? std::atoi(argv[1]) : 4000;
    const int evals = argc > 2 ? std::atoi(argv[2]) : 5;
#ifdef _OPENMP
    omp_set_num_threads(1);
#endif
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("bench_pairs." + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string data = (dir / "synth.csv").string();
    if (!synth::write_data(data, n, 20261207)) {
        std::fprintf(stderr, "bench_pairs: cannot write %s\n", data.c_str());
        return 1;
    }
    // A given bandwidth of the side of the square: every weight is positive.
    const double bw = std::sqrt(static_cast<double>(n));
    std::ostringstream ctl;
    ctl.precision(17);
    ctl << data << "\n\n\n4\n2,3,0\nBenchmark\nFFFFTT\nfnn\n" << bw << "\n0\n0\n0\n0\n0\n2\n1\n";
    std::istringstream in(ctl.str());
    std::ostringstream out, err;
    gwr::state s(in, out, err);
    if (gwr::run(s) != 0) {
        std::fprintf(stderr, "bench_pairs: the run failed\n%s", err.str().c_str());
        return 1;
    }
    s.sampl.insamp.assign(n, 1);

    const double mhz = cpu_mhz();
    const gwr::vector_isa best = gwr::vector_isa_available();
    const int lanes = best == gwr::vector_isa::avx512 ? 8 : best == gwr::vector_isa::avx2 ? 4 : 2;
    const double peak = mhz * 1e-3 * lanes * 4.0;  // operations per nanosecond
    std::printf("n = %d, K = 3, %d evaluations of the criterion, one thread\n", n, evals);
    std::printf("peak estimate: %.0f MHz x %d doubles x 4 operations = %.1f operations per ns\n", mhz,
                lanes, peak);
    std::printf("%-22s %12s %12s %14s\n", "loops", "ns/pair", "ops/ns", "of the peak");
    struct path {
        const char* name;
        gwr::vector_isa cap;
        int width;
    };
    const path paths[] = {{"eight fits (AVX-512)", gwr::vector_isa::avx512, 8},
                          {"four fits (AVX2)", gwr::vector_isa::avx2, 4},
                          {"scalar loops", gwr::vector_isa::scalar, 1}};
    for (const path& p : paths) {
        if (p.cap > best) continue;
        s.vector_loops = p.width > 1;
        s.vector_cap = p.cap;
        gwr::akeval(s, bw);  // warm up
        // Processor time of this (one-threaded) process: the machine may be shared.
        const std::clock_t c0 = std::clock();
        double aicc = 0.0;
        for (int e = 0; e < evals; ++e) aicc = gwr::akeval(s, bw * (1.0 + 0.01 * e));
        const double sec = static_cast<double>(std::clock() - c0) / CLOCKS_PER_SEC;
        const double ns = sec * 1e9 / (static_cast<double>(evals) * n * n);
        const double ops = ops_scalar - (p.width > 1 ? 9.0 * (1.0 - 1.0 / p.width) : 0.0);
        std::printf("%-22s %12.2f %12.1f %13.1f%%   last AICc %.17g\n", p.name, ns, ops / ns,
                    100.0 * ops / ns / peak, aicc);
    }
    fs::remove_all(dir);
    return 0;
}
