// The vector logarithm against the long double logl and the scalar
// library: within its error bound over the values the Poisson likelihood
// meets (ratios y / mu, most of them near 1) and over every exponent, the
// two vector widths bit for bit, the library's results at the ends.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "gaussian/vlog.h"

namespace {

double from_bits(std::uint64_t u) {
    double d;
    std::memcpy(&d, &u, sizeof d);
    return d;
}

TEST(VectorLogarithm, StaysWithinItsBoundWithTheSameBitsOnBothWidthsAndKeepsTheLibrarysEnds) {
    if (gwr::vector_isa_available() == gwr::vector_isa::scalar) GTEST_SKIP() << "no AVX2: std::log throughout";
    std::vector<double> x;
    std::mt19937_64 g(20261207);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    // Ratios of counts to their means: a wide spread in the logarithm, and
    // ever closer to 1 as the fits converge (where ln is tiny and relative
    // accuracy is hardest).
    for (int i = 0; i < 200000; ++i) x.push_back(std::exp(-14.0 + 28.0 * u(g)));
    for (double w : {1e-2, 1e-4, 1e-8, 1e-13})
        for (int i = 0; i < 50000; ++i) x.push_back(1.0 + w * (2.0 * u(g) - 1.0));
    // Every exponent of the normal numbers, and the edges of every table
    // interval (the representation offset by i 2^45 above that of 17/24) with
    // their neighbours, in several binades.
    for (int i = 0; i < 100000; ++i) x.push_back(std::ldexp(0.5 + u(g), static_cast<int>(-1021 + 2044 * u(g))));
    for (std::uint64_t i = 0; i <= 128; ++i)
        for (int e : {0, -1, 5, -300})
            for (std::int64_t d = -2; d <= 2; ++d)
                x.push_back(std::ldexp(from_bits(0x3fe6aaaaaaaaaaabULL + (i << 45) + d), e));
    for (double e : {1.0, 2.0, 0.5, std::nextafter(1.0, 2.0), std::nextafter(1.0, 0.0), 0x1.0p-1022,
                     std::numeric_limits<double>::max()})
        x.push_back(e);
    // An odd count: the last few through the padded block.
    while (x.size() % 8 != 3) x.push_back(3.0 + 0.1 * static_cast<double>(x.size() % 8));
    const int n = static_cast<int>(x.size());

    std::vector<double> y2(n), y8(n);
    gwr::vlog(x.data(), y2.data(), n, gwr::vector_isa::avx2);
    double worst = 0.0;
    for (int i = 0; i < n; ++i) {
        const long double exact = std::log(static_cast<long double>(x[i]));
        const double lib = std::log(x[i]);
        if (exact == 0.0L) {
            ASSERT_EQ(y2[i], 0.0) << "x = " << x[i];
            continue;
        }
        const double unit = std::ldexp(1.0, std::ilogb(static_cast<double>(exact)) - 52);
        worst = std::max(worst, static_cast<double>(std::fabs(static_cast<long double>(y2[i]) - exact) / unit));
        ASSERT_LE(std::fabs(y2[i] - lib), unit) << "x = " << x[i];
    }
    EXPECT_LT(worst, 0.51);

    // In place, and on the wide path where there is one: the same bits.
    std::vector<double> inplace = x;
    gwr::vlog(inplace.data(), inplace.data(), n, gwr::vector_isa::avx2);
    gwr::vlog(x.data(), y8.data(), n, gwr::vector_isa::avx512);
    for (int i = 0; i < n; ++i) {
        ASSERT_EQ(std::memcmp(&inplace[i], &y2[i], sizeof(double)), 0) << "x = " << x[i];
        ASSERT_EQ(std::memcmp(&y8[i], &y2[i], sizeof(double)), 0) << "x = " << x[i];
    }

    // The ends go to the library: zeros, negatives, subnormals, infinity,
    // not-a-number, mixed with ordinary values in one block.
    const double inf = std::numeric_limits<double>::infinity();
    std::vector<double> ends = {0.0, -0.0, -1.0, 0x1.0p-1074, 0x1.8p-1030, inf, -inf,
                                std::numeric_limits<double>::quiet_NaN(), 2.5, 0.25, 7.0};
    for (gwr::vector_isa path : {gwr::vector_isa::avx2, gwr::vector_isa::avx512}) {
        std::vector<double> ye(ends.size());
        gwr::vlog(ends.data(), ye.data(), static_cast<int>(ends.size()), path);
        for (std::size_t i = 0; i < ends.size(); ++i) {
            const double lib = std::log(ends[i]);
            if (std::isnan(lib)) {
                EXPECT_TRUE(std::isnan(ye[i])) << ends[i];
            } else if (i < 8) {
                EXPECT_EQ(ye[i], lib) << ends[i];
            }
        }
    }
}

}  // namespace
