// Student's t quantiles against printed tables and an integration of the
// density written here, and the listing block of the critical t values
// adjusted for multiple testing against the examples' own results.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "gaussian/inference.h"
#include "support/testing.h"

namespace {

namespace fs = std::filesystem;
using testing_support::lines;
using testing_support::read_file;
using testing_support::tempdir;

// P(T > t) for Student's t with df degrees of freedom: 1/2 minus the
// integral of the density from 0 to t, by Simpson's rule on 20000 panels.
double upper_tail(double t, double df) {
    const double c = std::exp(std::lgamma((df + 1) / 2) - std::lgamma(df / 2)) / std::sqrt(df * M_PI);
    auto f = [&](double x) { return c * std::pow(1 + x * x / df, -(df + 1) / 2); };
    const int m = 20000;
    const double h = t / m;
    double s = f(0) + f(t);
    for (int i = 1; i < m; ++i) s += f(i * h) * (i % 2 ? 4 : 2);
    return 0.5 - s * h / 3;
}

TEST(StudentT, QuantilesAgainstTablesAndAnIntegrationOfTheDensity) {
    // Two-sided critical values as printed in statistical tables.
    const struct {
        double upper, df, t;
    } table[] = {{0.025, 1, 12.7062}, {0.05, 1, 6.3138},  {0.005, 5, 4.0321},  {0.025, 10, 2.2281},
                 {0.025, 30, 2.0423}, {0.005, 60, 2.6603}, {0.05, 120, 1.6577}, {0.025, 1e6, 1.9600}};
    for (const auto& r : table) EXPECT_NEAR(gwr::t_upper(r.upper, r.df), r.t, 5e-5) << r.df;
    // Degrees of freedom that are no whole numbers, at the levels the
    // adjusted critical values reach.
    for (double df : {2.5, 35.974508, 91.9}) {
        for (double upper : {0.0116, 0.0058, 0.0012}) {
            const double t = gwr::t_upper(upper, df);
            EXPECT_NEAR(upper_tail(t, df), upper, 1e-9 * upper * 1e3) << df << " " << upper;
        }
    }
    EXPECT_TRUE(std::isnan(gwr::t_upper(0.025, 0.0)));
    EXPECT_TRUE(std::isnan(gwr::t_upper(1.5, 10.0)));
}

// The numbers of the listing line that begins with `label` (its
// occurrence-th such line).
std::vector<double> numbers_after(const std::vector<std::string>& L, const std::string& label, int occurrence = 1) {
    for (const std::string& l : L) {
        if (l.rfind(label, 0) != 0 || --occurrence > 0) continue;
        std::istringstream is(l.substr(label.size()));
        std::vector<double> v;
        for (double x; is >> x;) v.push_back(x);
        return v;
    }
    ADD_FAILURE() << "no line " << label;
    return {};
}

TEST(AdjustedT, ExampleBlocksAgainstTheirResultFiles) {
    // The Gaussian example (ENP from its local diagnostics) and the Poisson
    // one (from its local model's block): the level alpha*K/ENP, the
    // critical value of t with n - ENP degrees of freedom, and the count of
    // locations whose |t| in the result file exceeds it.
    struct kase {
        const char *example, *data, *result, *enp;
        int occurrence, n, K;
        std::vector<std::string> labels;
    };
    for (const kase& k :
         {kase{"gaussian.tzm", "columbus.csv", "gaussian_results.csv", "Effective number of parameters..", 2, 49, 3,
               {"Intrcept", "INC", "HOVAL"}},
          kase{"poisson.tzm", "counts.csv", "poisson_results.csv", "Effective number of parameters..", 1, 100, 3,
               {"Intrcept", "DEPRIV", "URBAN"}}}) {
        SCOPED_TRACE(k.example);
        tempdir t;
        fs::copy_file(fs::path(EXAMPLES_DIR) / k.data, t.path / k.data);
        const auto r = testing_support::run_tzm(read_file(fs::path(EXAMPLES_DIR) / k.example), t.path);
        ASSERT_EQ(r.status, 0) << r.err;
        const auto L = lines(r.out);
        const double enp = numbers_after(L, k.enp, k.occurrence).at(0);
        const auto level = numbers_after(L, "Adjusted level");
        const auto crit = numbers_after(L, "Critical |t|");
        ASSERT_EQ(level.size(), 3u);
        ASSERT_EQ(crit.size(), 3u);
        const double alpha[3] = {0.10, 0.05, 0.01};
        for (int a = 0; a < 3; ++a) {
            const double lv = alpha[a] * k.K / enp;
            EXPECT_NEAR(level[a], lv, 1e-6);
            EXPECT_NEAR(crit[a], gwr::t_upper(lv / 2, k.n - enp), 2e-6);
        }
        // t values of the result file, TVAL_1..TVAL_K.
        const auto rows = lines(read_file(t.path / k.result));
        ASSERT_EQ(static_cast<int>(rows.size()), k.n + 1);
        for (int p = 0; p < k.K; ++p) {
            int count[3] = {0, 0, 0};
            for (int i = 1; i <= k.n; ++i) {
                std::stringstream ss(rows[i]);
                std::vector<double> f;
                for (std::string x; std::getline(ss, x, ',');) f.push_back(std::stod(x));
                const double tv = std::fabs(f.at(3 + 2 * k.K + p));
                for (int a = 0; a < 3; ++a) count[a] += tv > crit[a];
            }
            const auto listed = numbers_after(L, k.labels[p], 3);  // after the summary's two rows
            ASSERT_EQ(listed.size(), 3u) << k.labels[p];
            for (int a = 0; a < 3; ++a) EXPECT_EQ(listed[a], count[a]) << k.labels[p] << " " << alpha[a];
        }
    }
}

}  // namespace
