// The bandwidth interval: the grid of trials, the Akaike-weight set, and
// the interval of the examples against AICc values and weights computed
// here from local fits of our own.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "gaussian/bwinterval.h"
#include "gaussian_reference.h"
#include "support/testing.h"

namespace {

namespace fs = std::filesystem;
using testing_support::lines;
using testing_support::read_file;
using testing_support::tempdir;

TEST(BandwidthInterval, GridsAndAkaikeSets) {
    // Every size of a short range; an even grid of whole sizes of a long
    // one; an even grid of distances.
    auto g = gwr::bwgrid(true, 10, 49);
    ASSERT_EQ(g.size(), 40u);
    EXPECT_EQ(g.front(), 10);
    EXPECT_EQ(g.back(), 49);
    g = gwr::bwgrid(true, 500, 10000);
    ASSERT_EQ(g.size(), 100u);
    EXPECT_EQ(g.front(), 500);
    EXPECT_EQ(g.back(), 10000);
    for (std::size_t t = 1; t < g.size(); ++t) {
        EXPECT_EQ(g[t], std::floor(g[t]));
        EXPECT_NEAR(g[t] - g[t - 1], 9500.0 / 99, 1.0);
    }
    g = gwr::bwgrid(false, 0.5, 20);
    ASSERT_EQ(g.size(), 100u);
    EXPECT_EQ(g.back(), 20.0);
    EXPECT_DOUBLE_EQ(g[1] - g[0], 19.5 / 99);

    // Weights exp(-delta/2), normalised; the set grows by weight until it
    // holds 95 %; an undefined trial has no weight; two lows give a set
    // that is not one run of trials.
    std::vector<double> w;
    std::vector<char> in;
    const std::vector<double> a{10.0, 4.0, 0.0, 2.0, 30.0, 1.0};
    EXPECT_EQ(gwr::akaike_set(a, {1, 1, 1, 1, 1, 0}, 0.95, w, in), 3);
    double sum = 0.0;
    for (double x : {10.0, 4.0, 0.0, 2.0, 30.0}) sum += std::exp(-x / 2);
    EXPECT_DOUBLE_EQ(w[2], 1.0 / sum);
    EXPECT_DOUBLE_EQ(w[1], std::exp(-2.0) / sum);
    EXPECT_EQ(w[5], 0.0);
    EXPECT_EQ(in, (std::vector<char>{0, 1, 1, 1, 0, 0}));
    EXPECT_EQ(gwr::akaike_set({0.0, 9.0, 0.5}, {1, 1, 1}, 0.95, w, in), 2);
    EXPECT_EQ(in, (std::vector<char>{1, 0, 1}));
    EXPECT_EQ(gwr::akaike_set({1.0, 2.0}, {0, 0}, 0.95, w, in), 0);

    // A profile steep away from its low at trial 42, with the search's
    // trials at 23.6, 38.2 and 61.8: every trial within 30 of the lowest
    // value is evaluated, and the set is that of every trial; most of the
    // others are not evaluated.  Undefined trials (below 10) weigh nothing.
    auto f = [](double x) { return 3.0 * (x - 42) * (x - 42) / 4.0; };
    auto profile = [&](int t, double& v) {
        v = f(t);
        return t >= 10;
    };
    std::vector<double> grid(100);
    for (int t = 0; t < 100; ++t) grid[t] = t;
    const std::vector<std::pair<double, double>> searched{{23.6, f(23.6)}, {38.2, f(38.2)}, {61.8, f(61.8)}};
    std::vector<double> a2;
    std::vector<char> done, ok;
    int planned = 0;
    const int evals = gwr::bwprofile(grid, searched, profile, a2, done, ok, planned);
    EXPECT_EQ(planned, evals);
    EXPECT_LT(evals, 30);
    for (int t = 10; t < 100; ++t)
        if (f(t) < 30.0) {
            EXPECT_TRUE(done[t]) << t;
        }
    std::vector<double> all(100);
    std::vector<char> allok(100);
    for (int t = 0; t < 100; ++t) allok[t] = profile(t, all[t]);
    std::vector<char> in2;
    EXPECT_EQ(gwr::akaike_set(a2, ok, 0.95, w, in), gwr::akaike_set(all, allok, 0.95, w, in2));
    EXPECT_EQ(in, in2);
    // A low too narrow for the even grid: the grid is refined near it until
    // the set holds 10 trials or more, and the interval approaches that of
    // weights exp(-(x - 37.3)^2 / (2 * 0.5^2)), 37.3 -+ 1.96 * 0.5.
    std::vector<double> even(100);
    for (int t = 0; t < 100; ++t) even[t] = t * 100.0 / 99;
    auto narrow = [](double x, double& v) {
        v = (x - 37.3) * (x - 37.3) / 0.25;
        return true;
    };
    int planned2 = 0;
    const gwr::bwresult r = gwr::bwanalyse(even, false, {{37.0, 0.36}}, narrow, planned2);
    EXPECT_GT(r.refined, 0);
    EXPECT_GE(r.count, 10);
    EXPECT_EQ(planned2, static_cast<int>(r.x.size()));
    EXPECT_NEAR(r.lo, 37.3 - 1.96 * 0.5, 0.1);
    EXPECT_NEAR(r.hi, 37.3 + 1.96 * 0.5, 0.1);
    EXPECT_TRUE(r.contiguous);
    EXPECT_LT(r.x.size(), 80u);
    // A short grid is evaluated whole.
    grid.resize(25);
    EXPECT_EQ(gwr::bwprofile(grid, searched, profile, a2, done, ok, planned), 25);
}

// Every number of a line, words and signs around them skipped.
std::vector<double> numbers(const std::string& line) {
    static const std::regex num(R"([-+]?[0-9]+(\.[0-9]*)?([eE][-+]?[0-9]+)?)");
    std::vector<double> v;
    for (auto it = std::sregex_iterator(line.begin(), line.end(), num); it != std::sregex_iterator(); ++it)
        v.push_back(std::stod(it->str()));
    return v;
}

std::string line_with(const std::vector<std::string>& L, const std::string& begin) {
    for (const auto& l : L)
        if (l.rfind(begin, 0) == 0) return l;
    ADD_FAILURE() << "no line " << begin;
    return "";
}

// The Columbus data: coordinates, CRIME and the predictors INC, HOVAL and
// (with three) OPEN.
struct columbus {
    std::vector<double> x, y, dep;
    std::vector<std::vector<double>> X;
    explicit columbus(int predictors) {
        const auto rows = lines(read_file(fs::path(EXAMPLES_DIR) / "columbus.csv"));
        for (std::size_t i = 1; i < rows.size(); ++i) {
            std::vector<double> f;
            std::stringstream ss(rows[i]);
            for (std::string v; std::getline(ss, v, ',');) f.push_back(std::stod(v));
            x.push_back(f[1]);
            y.push_back(f[2]);
            dep.push_back(f[3]);
            std::vector<double> r{1.0, f[4], f[5]};
            if (predictors == 3) r.push_back(f[6]);
            X.push_back(r);
        }
    }
    int n() const { return static_cast<int>(x.size()); }
};

// AICc of the Gaussian local model at every observation point with the
// fixed Gaussian kernel of bandwidth h, or the adaptive bi-square of nn
// neighbours (nn > 0): n (ln(2 pi RSS/n) + 1 + 2 (tr S + 1) / (n - 2 - tr S)).
double aicc(const columbus& d, double h, int nn) {
    const int n = d.n(), K = static_cast<int>(d.X[0].size());
    double rss = 0.0, trs = 0.0;
    for (int i = 0; i < n; ++i) {
        std::vector<double> d2(n), w(n);
        for (int j = 0; j < n; ++j) d2[j] = (d.x[j] - d.x[i]) * (d.x[j] - d.x[i]) + (d.y[j] - d.y[i]) * (d.y[j] - d.y[i]);
        if (nn > 0) {
            std::vector<double> s = d2;
            std::sort(s.begin(), s.end());
            for (int j = 0; j < n; ++j) w[j] = d2[j] < s[nn - 1] ? std::pow(1 - d2[j] / s[nn - 1], 2) : 0.0;
        } else {
            for (int j = 0; j < n; ++j) w[j] = std::exp(-d2[j] / (2 * h * h));
        }
        gaussian_reference::Mat a(K, std::vector<double>(K, 0.0));
        std::vector<double> xy(K, 0.0);
        for (int j = 0; j < n; ++j)
            for (int r = 0; r < K; ++r) {
                xy[r] += w[j] * d.X[j][r] * d.dep[j];
                for (int c = 0; c < K; ++c) a[r][c] += w[j] * d.X[j][r] * d.X[j][c];
            }
        const auto ai = gaussian_reference::inverse(a);
        double yh = 0.0, hi = 0.0;
        for (int r = 0; r < K; ++r)
            for (int c = 0; c < K; ++c) {
                yh += d.X[i][r] * ai[r][c] * xy[c];
                hi += d.X[i][r] * ai[r][c] * d.X[i][c];
            }
        rss += (d.dep[i] - yh) * (d.dep[i] - yh);
        trs += w[i] * hi;
    }
    return n * (std::log(2 * M_PI * rss / n) + 1 + 2 * (trs + 1) / (n - 2 - trs));
}

TEST(BandwidthInterval, ExamplesAgainstAkaikeWeightsComputedHere) {
    struct kase {
        const char* example;
        const char* kernel;  // record 8, "" as shipped
        int predictors;
    };
    for (const kase& k : {kase{"gaussian.tzm", "", 2}, kase{"gaussian_adaptive.tzm", "vaa", 3}}) {
        SCOPED_TRACE(k.example);
        const bool adaptive = *k.kernel == 'v';
        auto rec = lines(read_file(fs::path(EXAMPLES_DIR) / k.example));
        if (*k.kernel) rec[7] = k.kernel;
        rec[2] = "";
        rec[11] = "0";
        std::string ctl;
        for (const auto& r : rec) ctl += r + "\n";
        tempdir t;
        fs::copy_file(fs::path(EXAMPLES_DIR) / "columbus.csv", t.path / "columbus.csv");
        const auto r = testing_support::run_tzm(ctl, t.path);
        ASSERT_EQ(r.status, 0) << r.err;
        const auto L = lines(r.out);

        // The search range of the listing, and the grid across it.
        const columbus d(k.predictors);
        double lo, hi;
        if (adaptive) {
            lo = 10;  // n / 20, at least 10
            hi = d.n();
        } else {
            const auto [x0, x1] = std::minmax_element(d.x.begin(), d.x.end());
            const auto [y0, y1] = std::minmax_element(d.y.begin(), d.y.end());
            hi = std::min(*x1 - *x0, *y1 - *y0);
            lo = hi / 20;
        }
        const int T = adaptive ? static_cast<int>(hi - lo) + 1 : 100;
        std::vector<double> bw(T), a(T);
        for (int i = 0; i < T; ++i) {
            bw[i] = adaptive ? lo + i : (i == T - 1 ? hi : lo + (hi - lo) * i / (T - 1));
            a[i] = adaptive ? aicc(d, 0, static_cast<int>(bw[i])) : aicc(d, bw[i], 0);
        }
        // Akaike weights, and the trials by weight until 95 % is reached.
        const double amin = *std::min_element(a.begin(), a.end());
        std::vector<std::pair<double, int>> by;
        double sum = 0.0;
        for (int i = 0; i < T; ++i) sum += std::exp(-(a[i] - amin) / 2);
        for (int i = 0; i < T; ++i) by.push_back({-std::exp(-(a[i] - amin) / 2) / sum, i});
        std::sort(by.begin(), by.end());
        double cum = 0.0;
        int first = T, last = -1, count = 0;
        for (const auto& [nw, i] : by) {
            first = std::min(first, i);
            last = std::max(last, i);
            ++count;
            cum -= nw;
            if (cum >= 0.95) break;
        }
        const auto grid = numbers(line_with(L, "**   AICc at"));
        const auto set = numbers(line_with(L, "**   95% of the weight on"));
        ASSERT_EQ(set.size(), 4u);
        if (adaptive) {
            EXPECT_EQ(grid, (std::vector<double>{lo, hi, static_cast<double>(T)}));
            EXPECT_EQ(set, (std::vector<double>{95, bw[first], bw[last], static_cast<double>(count)}));
        } else {
            ASSERT_EQ(grid.size(), 4u);
            EXPECT_EQ(grid[0], T);
            EXPECT_NEAR(grid[1], lo, 5e-6);
            EXPECT_NEAR(grid[2], hi, 5e-6);
            EXPECT_NEAR(set[1], bw[first], 5e-6);
            EXPECT_NEAR(set[2], bw[last], 5e-6);
            EXPECT_EQ(set[3], count);
        }
        // A set that is not one run of trials says so: the fixed kernel's
        // AICc falls and rises smoothly, the adaptive kernel's jumps with
        // the neighbours.
        const bool run = count == last - first + 1;
        EXPECT_EQ(run, !adaptive);
        EXPECT_EQ(r.out.find("AICc has several lows") == std::string::npos, run);

        // The keyword record interval 0: the same listing without the
        // interval's lines, and the echo line in their stead.
        const auto q = testing_support::run_tzm(ctl + "interval 0\n", t.path);
        ASSERT_EQ(q.status, 0) << q.err;
        std::vector<std::string> expect;
        for (const auto& l : L) {
            if (l.rfind("**   ", 0) == 0 && (l.find("AICc at") != std::string::npos || l.find("95% of") != std::string::npos ||
                                           l.find("not evaluated") != std::string::npos ||
                                           l.find("several lows") != std::string::npos ||
                                           l.find("more near the low") != std::string::npos ||
                                           l.find("more sizes near") != std::string::npos))
                continue;
            if (l.rfind("** Bandwidth interval (", 0) == 0 || l.rfind("Program ", 0) == 0) continue;
            expect.push_back(l);
            if (l.rfind("** Coordinate system", 0) == 0 || l.rfind("** Cartesian coordinates", 0) == 0)
                expect.push_back("** No bandwidth interval after a search by AICc");
        }
        std::vector<std::string> got;
        for (const auto& l : lines(q.out))
            if (l.rfind("Program ", 0) != 0) got.push_back(l);
        EXPECT_EQ(got, expect);
    }
}

}  // namespace
