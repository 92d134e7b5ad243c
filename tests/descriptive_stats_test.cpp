// Local weighted means and variances, their listing and their result file,
// checked against direct two-pass computations written here.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "control/stop.h"
#include "descriptive/descriptive.h"
#include "support/testing.h"

namespace {

using testing_support::harness;
using testing_support::lines;
using testing_support::read_file;
using testing_support::tempdir;

double unif(gwr::rng& r) { return r.rand() / 32767.0; }

// Weighted mean and variance the textbook way: two passes.
void two_pass(const std::vector<double>& w, const std::vector<double>& z, double& mean,
              double& var) {
    const int n = static_cast<int>(z.size());
    double sw = 0.0, swz = 0.0;
    for (int j = 0; j < n; ++j) {
        sw += w[j];
        swz += w[j] * z[j];
    }
    mean = swz / sw;
    double ss = 0.0;
    for (int j = 0; j < n; ++j) ss += w[j] * (z[j] - mean) * (z[j] - mean);
    var = ss / (sw * (n - 1) / n);
}

// Splits a result-file line at its commas, blanks removed from each field.
std::vector<std::string> fields(const std::string& line) {
    std::vector<std::string> v;
    std::stringstream ss(line);
    std::string f;
    while (std::getline(ss, f, ',')) {
        auto a = f.find_first_not_of(' ');
        auto b = f.find_last_not_of(' ');
        v.push_back(a == std::string::npos ? "" : f.substr(a, b - a + 1));
    }
    return v;
}

// A descriptive-run state: observations at (x, y) with the chosen variables'
// columns `vars`, fit locations at the observations.
void descriptive_state(gwr::state& s, const std::vector<double>& x, const std::vector<double>& y,
                       const std::vector<std::vector<double>>& vars) {
    const int n = static_cast<int>(x.size());
    const int m = static_cast<int>(vars.size());
    s.trig.degrad = 57.29577951308232;
    s.trig.raddeg = 0.017453292519943295;
    s.set_observation_count(n);
    testing_support::describe(s, [](gwr::run_description& r) {
        testing_support::set_kernel(r, 'f');
        r.crit = gwr::criterion::given;
    });
    s.set_parameter_count(m);
    s.size_obs(n);
    s.struc2.xobs = x;
    s.struc2.yobs = y;
    s.struc1.selmat.resize(n, m);
    for (int k = 0; k < m; ++k)
        for (int i = 0; i < n; ++i) s.struc1.selmat(i, k) = vars[k][i];
    s.fit1.xfit = x;
    s.fit1.yfit = y;
    s.fit2.fitid.resize(n);
    for (int i = 0; i < n; ++i) s.fit2.fitid[i] = i + 1;
    s.fit3.nloc = n;
    s.size_loc(n, m);
    s.ws.size(n, m);
    s.lab1.modlab.clear();
    for (int k = 1; k <= m; ++k) {
        std::string name = "VAR";
        name += std::to_string(k);
        name.resize(8, ' ');
        s.lab1.modlab.push_back(name);
    }
}

struct cloud {
    std::vector<double> x, y, a, b;
    explicit cloud(int n, unsigned seed) {
        gwr::rng r;
        r.srand(seed);
        for (int i = 0; i < n; ++i) {
            x.push_back(100.0 * unif(r));
            y.push_back(50.0 * unif(r));
            a.push_back(1000.0 + 20.0 * unif(r));  // large mean, small spread
            b.push_back(x.back() * 0.3 - 4.0 * unif(r));
        }
    }
};

}  // namespace

TEST(DescriptiveMeanVariance, IncrementalPassMatchesTwoPass) {
    gwr::rng r;
    r.srand(3);
    for (int n : {2, 3, 17, 500}) {
        std::vector<double> w(n), z(n);
        for (int j = 0; j < n; ++j) {
            w[j] = unif(r) < 0.2 ? 0.0 : 2.0 * unif(r);
            z[j] = 1.0e4 + 3.0 * unif(r);
        }
        w[0] = 0.0;  // the first observation carries no weight
        w[n - 1] = 0.5;
        double mean, var, m2, v2;
        gwr::wmvar(w.data(), z.data(), n, mean, var);
        two_pass(w, z, m2, v2);
        EXPECT_NEAR(mean, m2, 1e-10 * std::abs(m2)) << "n=" << n;
        EXPECT_NEAR(var, v2, 1e-8 * v2) << "n=" << n;
    }
}

TEST(DescriptiveMeanVariance, ZeroWeightsConstantsAndSingleObservation) {
    // Leading zero weights leave the mean alone; the first positive weight's
    // value becomes the mean.
    std::vector<double> w{0.0, 0.0, 1.0, 0.0}, z{5.0, 6.0, 7.0, 8.0};
    double mean, var;
    gwr::wmvar(w.data(), z.data(), 4, mean, var);
    EXPECT_EQ(mean, 7.0);
    EXPECT_EQ(var, 0.0);

    // A constant variable has variance exactly 0.
    std::vector<double> w2{0.3, 1.0, 0.7, 0.1}, c(4, 2.5);
    gwr::wmvar(w2.data(), c.data(), 4, mean, var);
    EXPECT_EQ(mean, 2.5);
    EXPECT_EQ(var, 0.0);

    // One observation: 0 / 0.
    double one = 1.0, val = 4.0;
    gwr::wmvar(&one, &val, 1, mean, var);
    EXPECT_EQ(mean, 4.0);
    EXPECT_TRUE(std::isnan(var));

    // No observations at all: no statistic, and nothing read.
    gwr::wmvar(nullptr, nullptr, 0, mean, var);
    EXPECT_TRUE(std::isnan(mean));
    EXPECT_TRUE(std::isnan(var));
}

TEST(DescriptiveLocal, GaussianKernelMatchesDirectComputation) {
    cloud c(60, 9);
    harness h;
    gwr::state& s = *h.s;
    descriptive_state(s, c.x, c.y, {c.a, c.b});
    s.parms.bandw = 15.0;
    gwr::dstcal(s);
    for (int l = 0; l < 60; l += 7) {
        std::vector<double> w(60);
        for (int j = 0; j < 60; ++j) {
            double d2 = (c.x[j] - c.x[l]) * (c.x[j] - c.x[l]) + (c.y[j] - c.y[l]) * (c.y[j] - c.y[l]);
            w[j] = std::exp(-d2 / (2.0 * 15.0 * 15.0));
        }
        double mean, var;
        two_pass(w, c.a, mean, var);
        EXPECT_NEAR(s.bvals(l, 0), mean, 1e-10 * std::abs(mean));
        EXPECT_NEAR(s.svals(l, 0), var, 1e-8 * var);
        two_pass(w, c.b, mean, var);
        EXPECT_NEAR(s.bvals(l, 1), mean, 1e-10 * std::abs(mean) + 1e-12);
        EXPECT_NEAR(s.svals(l, 1), var, 1e-8 * var);
    }
}

TEST(DescriptiveLocal, AdaptiveKernelIgnoresObservationsOutsideNeighbourhood) {
    cloud c(40, 21);
    harness h;
    gwr::state& s = *h.s;
    descriptive_state(s, c.x, c.y, {c.b});
    testing_support::set_kernel(s, 'v');
    s.fit5.nnear = 12;
    gwr::dstcal(s);
    for (int l = 0; l < 40; l += 3) {
        std::vector<double> d2(40), sorted;
        for (int j = 0; j < 40; ++j)
            d2[j] = (c.x[j] - c.x[l]) * (c.x[j] - c.x[l]) + (c.y[j] - c.y[l]) * (c.y[j] - c.y[l]);
        sorted = d2;
        std::sort(sorted.begin(), sorted.end());
        double dmax = sorted[11];
        std::vector<double> w(40);
        for (int j = 0; j < 40; ++j)
            w[j] = d2[j] < dmax ? (1.0 - d2[j] / dmax) * (1.0 - d2[j] / dmax) : 0.0;
        double mean, var;
        two_pass(w, c.b, mean, var);
        EXPECT_NEAR(s.bvals(l, 0), mean, 1e-10 * std::abs(mean) + 1e-12);
        EXPECT_NEAR(s.svals(l, 0), var, 1e-8 * var);
    }
}

TEST(DescriptiveLocal, HugeBandwidthGivesGlobalMeanAndSampleVariance) {
    cloud c(25, 4);
    harness h;
    gwr::state& s = *h.s;
    descriptive_state(s, c.x, c.y, {c.a, c.b});
    s.parms.bandw = 1.0e9;
    gwr::dstcal(s);
    for (int k = 0; k < 2; ++k) {
        const auto& z = k == 0 ? c.a : c.b;
        double mean = 0.0;
        for (double v : z) mean += v;
        mean /= 25;
        double ss = 0.0;
        for (double v : z) ss += (v - mean) * (v - mean);
        double var = ss / 24;  // divisor n - 1
        for (int l = 0; l < 25; ++l) {
            EXPECT_NEAR(s.bvals(l, k), mean, 1e-9 * std::abs(mean));
            EXPECT_NEAR(s.svals(l, k), var, 1e-8 * var);
        }
    }
}

TEST(DescriptiveLocal, ChosenVariablesSkipCoordinatesWeightAndDependent) {
    harness h;
    gwr::state& s = *h.s;
    s.trig.raddeg = 0.017453292519943295;
    s.option.nvfile = 7;
    s.set_observation_count(2);
    s.option.ixvar = 2;
    s.option.iyvar = 3;
    s.option.iwvar = 5;
    s.option.idep = 7;
    testing_support::set_spherical(s, true);
    s.dat2.inmod = {1, 1, 1, 1, 1, 0, 1};
    s.struc1.datmat.resize(2, 7);
    for (int i = 0; i < 2; ++i)
        for (int j = 0; j < 7; ++j) s.struc1.datmat(i, j) = 10.0 * (j + 1) + i;
    s.size_obs(2);
    EXPECT_EQ(gwr::dstsel(s), 2);  // columns 1 and 4
    EXPECT_EQ(s.run().K, 2);
    EXPECT_EQ(s.run().n, 2);
    EXPECT_EQ(s.struc1.selmat(1, 0), 11.0);
    EXPECT_EQ(s.struc1.selmat(1, 1), 41.0);
    EXPECT_EQ(s.fit6.obswt[0], 50.0);
    EXPECT_DOUBLE_EQ(s.struc2.xobs[1], 21.0 * 0.017453292519943295);
    EXPECT_DOUBLE_EQ(s.struc2.yobs[0], 30.0 * 0.017453292519943295);
}

TEST(DescriptiveFile, HeaderNamesForTwoAndTwelveVariables) {
    EXPECT_EQ(gwr::dstnam("MEAN", 1), "MEAN_1");
    EXPECT_EQ(gwr::dstnam("VAR_", 1), "VAR__1");
    EXPECT_EQ(gwr::dstnam("STD_", 12), "STD_12");
    tempdir t;
    for (int m : {2, 12}) {
        harness h;
        gwr::state& s = *h.s;
        std::vector<std::vector<double>> vars(m, std::vector<double>{1.0, 2.0});
        descriptive_state(s, {0.0, 1.0}, {0.0, 1.0}, vars);
        s.files.outfil = t.file("stats" + std::to_string(m) + ".txt");
        gwr::wrscsv(s);
        auto l = lines(read_file(s.files.outfil));
        ASSERT_EQ(l.size(), 3u);
        if (m == 2) {
            EXPECT_EQ(l[0], "ID,FITX,FITY,MEAN_1,MEAN_2,VAR__1,VAR__2,STD__1,STD__2");
        } else {
            EXPECT_EQ(l[0],
                      "ID,FITX,FITY,MEAN_1,MEAN_2,MEAN_3,MEAN_4,MEAN_5,MEAN_6,MEAN_7,MEAN_8,"
                      "MEAN_9,MEAN10,MEAN11,MEAN12,VAR__1,VAR__2,VAR__3,VAR__4,VAR__5,VAR__6,"
                      "VAR__7,VAR__8,VAR__9,VAR_10,VAR_11,VAR_12,STD__1,STD__2,STD__3,STD__4,"
                      "STD__5,STD__6,STD__7,STD__8,STD__9,STD_10,STD_11,STD_12");
        }
        EXPECT_EQ(fields(l[1]).size(), 3u + 3u * m);
    }
}

TEST(DescriptiveFile, RowsHoldMeansVariancesAndDeviationsAndSpecialValues) {
    tempdir t;
    harness h;
    gwr::state& s = *h.s;
    descriptive_state(s, {0.5, -1.25, 2.0}, {3.0, 4.0, 5.0}, {{0, 0, 0}, {0, 0, 0}});
    s.fit2.fitid = {7, 8, 9};
    s.bvals(0, 0) = 12.5;
    s.svals(0, 0) = 6.25;
    s.bvals(0, 1) = -3.0;
    s.svals(0, 1) = 0.0;
    const double inf = std::numeric_limits<double>::infinity();
    s.bvals(1, 0) = inf;
    s.svals(1, 0) = std::numeric_limits<double>::quiet_NaN();
    s.bvals(1, 1) = -inf;
    s.svals(1, 1) = 2.0;
    s.files.outfil = t.file("out.txt");
    gwr::wrscsv(s);
    auto l = lines(read_file(s.files.outfil));
    ASSERT_EQ(l.size(), 4u);
    EXPECT_NE(l[1].back(), ' ');  // trailing blanks removed
    auto f = fields(l[1]);
    ASSERT_EQ(f.size(), 9u);
    EXPECT_EQ(f[0], "7");
    EXPECT_EQ(std::stod(f[1]), 0.5);
    EXPECT_EQ(std::stod(f[2]), 3.0);
    EXPECT_EQ(std::stod(f[3]), 12.5);
    EXPECT_EQ(std::stod(f[4]), -3.0);
    EXPECT_EQ(std::stod(f[5]), 6.25);
    EXPECT_EQ(std::stod(f[6]), 0.0);
    EXPECT_EQ(std::stod(f[7]), 2.5);
    EXPECT_EQ(std::stod(f[8]), 0.0);
    // List-directed reals: a blank, a sign position and the value.
    EXPECT_EQ(l[1].substr(0, 4), "  7,") << l[1];
    EXPECT_NE(l[1].find(",  12.5,"), std::string::npos) << l[1];
    EXPECT_NE(l[1].find(", -3.,"), std::string::npos) << l[1];

    auto g = fields(l[2]);
    ASSERT_EQ(g.size(), 9u);
    EXPECT_EQ(g[3], "Infinity");
    EXPECT_EQ(g[4], "-Infinity");
    EXPECT_EQ(g[5], "NaN");
    EXPECT_EQ(std::stod(g[6]), 2.0);
    EXPECT_EQ(std::stod(g[7]), 0.0);  // no deviation for a variance that is not a number
    EXPECT_NEAR(std::stod(g[8]), std::sqrt(2.0), 1e-8);  // 9 significant digits
}

TEST(DescriptiveFile, UnwritableFileIsAnError) {
    harness h;
    gwr::state& s = *h.s;
    descriptive_state(s, {0.0}, {0.0}, {{1.0}});
    s.files.outfil = "/nonexistent-folder/stats.txt";
    EXPECT_THROW(gwr::wrscsv(s), gwr::io_error);
}

TEST(DescriptiveListing, LayoutSpecialValuesAndDegrees) {
    harness h;
    gwr::state& s = *h.s;
    const double rd = 0.017453292519943295;
    descriptive_state(s, {-83.5 * rd, 10.25 * rd}, {41.25 * rd, -5.0 * rd},
                      {{1.0, 2.0}, {3.0, 4.0}, {5.0, 6.0}});
    testing_support::set_spherical(s, true);
    s.bvals(0, 0) = 1.5;
    s.svals(0, 0) = 4.0;
    s.svals(0, 1) = std::numeric_limits<double>::quiet_NaN();
    s.bvals(0, 2) = std::numeric_limits<double>::infinity();
    tempdir t;
    s.files.outfil = t.file("sph.txt");
    gwr::dstprt(s);
    gwr::wrscsv(s);

    auto l = lines(h.listing());
    ASSERT_EQ(l.size(), 2u + 1u + 2u + 2u * 3u) << h.listing();
    EXPECT_EQ(l[0], " ");
    EXPECT_EQ(l[1], "** Estimated means, variances and standard deviations");
    EXPECT_EQ(l[2], "      ID   X-COORD   Y-COORD");
    EXPECT_EQ(l[3], "     <*****     VAR1         *****>      <*****     VAR2         *****> ");
    EXPECT_EQ(l[4], "     <*****     VAR3         *****> ");
    EXPECT_EQ(l[5], "       1   -83.500    41.250");
    EXPECT_EQ(l[6], "       1.500       4.000       2.000       0.000         NaN         NaN");
    EXPECT_EQ(l[7], "    Infinity       0.000       0.000");
    EXPECT_EQ(l[8], "       2    10.250    -5.000");

    auto f = fields(lines(read_file(s.files.outfil))[1]);
    EXPECT_NEAR(std::stod(f[1]), -83.5, 1e-9);
    EXPECT_NEAR(std::stod(f[2]), 41.25, 1e-9);
}
