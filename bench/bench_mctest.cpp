// Benchmark of the Monte Carlo test of spatial variation: 2000 observations
// on a jittered grid, intercept and two predictors (one slope varying over
// space), fixed Gaussian kernel, fit locations at the observations, so the
// test costs 99 sets of 2000 local fits.  Prints the time of the estimation
// pass and of the whole test.
//
//   bench_mctest [n]
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <new>
#include <sstream>
#include <string>

#include "control/blocks.h"
#include "sigtest/sigtest.h"

// Every allocation of the program is counted, to show that a set of local
// fits allocates nothing.  (The compiler cannot see that the replacement
// new and delete below pair with each other.)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
static long allocations = 0;

void* operator new(std::size_t size) {
    ++allocations;
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

int main(int argc, char** argv) {
    const int n = argc > 1 ? std::max(10, std::atoi(argv[1])) : 2000;
    const int k = 3;
    std::istringstream in;
    std::ostringstream out, err;
    gwr::state s(in, out, err);

    gwr::rng data;
    data.srand(2024);
    auto unif = [&] { return data.rand() / 32767.0; };
    const int side = static_cast<int>(std::ceil(std::sqrt(static_cast<double>(n))));

    gwr::run_description d;
    d.method = gwr::analysis::gaussian;
    gwr::kernel_of('f', d.ktype, d.kshape);
    d.crit = gwr::criterion::given;
    d.test = gwr::variation_test::monte_carlo;
    s.describe(d);
    s.set_observation_count(n);
    s.set_parameter_count(k);
    s.parms.bandw = 0.15 * side;
    s.size_obs(n);
    s.struc1.xmat.resize(n, k);
    for (int i = 0; i < n; ++i) {
        double x = i % side + 0.5 * unif(), y = i / side + 0.5 * unif();
        double a = 2.0 * unif() - 1.0, b = 2.0 * unif() - 1.0;
        s.struc2.xobs[i] = x;
        s.struc2.yobs[i] = y;
        s.struc1.xmat(i, 0) = 1.0;
        s.struc1.xmat(i, 1) = a;
        s.struc1.xmat(i, 2) = b;
        s.struc2.ydep[i] = 1.0 + (x / side - 0.5) * 4.0 * a + 2.0 * b + 0.3 * (unif() - 0.5);
    }
    s.fit1.xfit = s.struc2.xobs;
    s.fit1.yfit = s.struc2.yobs;
    s.fit2.fitid.resize(n);
    for (int i = 0; i < n; ++i) s.fit2.fitid[i] = i + 1;
    s.fit3.nloc = n;
    s.option.nfit = n;
    s.lab1.modlab = {"SLOPEVAR", "SLOPEFIX"};
    s.size_loc(n, k);
    s.ws.size(n, k);

    using clock = std::chrono::steady_clock;
    auto t0 = clock::now();
    std::clock_t c0 = std::clock();
    long before = allocations;
    gwr::mcfits(s, s.ws, n);  // the estimation pass the test follows
    long during = allocations - before;
    auto t1 = clock::now();
    std::clock_t c1 = std::clock();
    gwr::mctest(s);
    auto t2 = clock::now();
    std::clock_t c2 = std::clock();

    double fit = std::chrono::duration<double>(t1 - t0).count();
    double test = std::chrono::duration<double>(t2 - t1).count();
    std::printf("mctest: n=%d locations=%d parameters=%d\n", n, n, k);
    double fitcpu = static_cast<double>(c1 - c0) / CLOCKS_PER_SEC;
    double testcpu = static_cast<double>(c2 - c1) / CLOCKS_PER_SEC;
    // Wall and processor time: on a shared machine the second is the cost.
    std::printf("                           wall (s)    cpu (s)\n");
    std::printf("  one set of local fits   %9.3f  %9.3f\n", fit, fitcpu);
    std::printf("  Monte Carlo test (99)   %9.3f  %9.3f  (%.3f cpu s per set)\n", test, testcpu,
                testcpu / 99.0);
    std::printf("  allocations during one set of local fits: %ld\n", during);
    std::fputs(out.str().c_str(), stdout);
    return 0;
}
