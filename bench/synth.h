// Synthetic observations for benchmarks: points uniform on a square of
// side sqrt(n) (one point per unit area), two predictors and coefficients
// that vary smoothly over the square, plus noise.  The same seed gives the
// same file on every platform.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>

namespace synth {

// SplitMix64: small, portable, and good enough for test data.
struct source {
    std::uint64_t s;
    explicit source(std::uint64_t seed) : s(seed) {}
    std::uint64_t next() {
        std::uint64_t z = (s += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    double uniform() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }
    double normal() {
        double u1 = uniform(), u2 = uniform();
        if (u1 < 1e-300) u1 = 1e-300;
        return std::sqrt(-2.0 * std::log(u1)) * std::cos(6.283185307179586 * u2);
    }
};

// Writes the data file (header ID,X,Y,DEP,X1,X2); returns false when the
// file cannot be written.
inline bool write_data(const std::string& path, int n, std::uint64_t seed) {
    std::FILE* f = std::fopen(path.c_str(), "w");
    if (!f) return false;
    source g(seed);
    const double side = std::sqrt(static_cast<double>(n));
    std::fprintf(f, "ID,X,Y,DEP,X1,X2\n");
    for (int i = 1; i <= n; ++i) {
        double x = side * g.uniform(), y = side * g.uniform();
        double u = x / side, v = y / side;
        double b0 = 3.0 + 2.0 * std::sin(3.0 * u) * std::cos(2.0 * v);
        double b1 = 1.0 + u + v;
        double b2 = -0.5 + std::cos(4.0 * u * v);
        double x1 = g.normal(), x2 = g.normal();
        double dep = b0 + b1 * x1 + b2 * x2 + 0.5 * g.normal();
        std::fprintf(f, "%d,%.10g,%.10g,%.10g,%.10g,%.10g\n", i, x, y, dep, x1, x2);
    }
    return std::fclose(f) == 0;
}

}  // namespace synth
