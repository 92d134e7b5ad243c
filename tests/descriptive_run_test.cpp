// Whole descriptive-statistics runs of the built program: the bundled
// example against its stored listing and a direct computation, the stops,
// location files and degenerate data.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "support/testing.h"

namespace {

using testing_support::lines;
using testing_support::mask_times;
using testing_support::read_file;
using testing_support::run_tzm;
using testing_support::tempdir;

std::vector<std::string> split(const std::string& line) {
    std::vector<std::string> v;
    std::stringstream ss(line);
    std::string f;
    while (std::getline(ss, f, ',')) v.push_back(f);
    return v;
}

std::vector<std::vector<double>> numbers(const std::string& text, bool header) {
    std::vector<std::vector<double>> rows;
    auto l = lines(text);
    for (std::size_t i = header ? 1 : 0; i < l.size(); ++i) {
        std::vector<double> r;
        for (const auto& f : split(l[i])) r.push_back(std::stod(f));
        rows.push_back(r);
    }
    return rows;
}

// A descriptive control file: variables flagged in `flags`, kernel record
// `kernel`, bandwidth `bw`, prediction report `pred`, result file code `out`.
std::string control(const std::string& data, const std::string& loc, const std::string& flags,
                    const std::string& kernel, const std::string& bw, int pred, int out,
                    int coords = 1) {
    std::ostringstream c;
    c << data << "\n" << loc << "\nstats.txt\n0\n2,3,0\nTitle\n" << flags << "\n" << kernel << "\n"
      << bw << "\n0\n" << pred << "\n" << out << "\n0\n0\n1\n" << coords << "\n";
    return c.str();
}

bool has_line(const std::string& listing, const std::string& line) {
    for (const auto& l : lines(listing))
        if (l == line) return true;
    return false;
}

}  // namespace

TEST(DescriptiveRun, ExampleMatchesStoredListingAndDirectComputation) {
    tempdir t;
    std::filesystem::copy_file(EXAMPLES_DIR "/columbus.csv", t.path / "columbus.csv");
    auto r = run_tzm(read_file(EXAMPLES_DIR "/descriptive.tzm"), t.path);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    auto got = lines(mask_times(r.out));
    auto want = lines(read_file(EXPECTED_DIR "/descriptive.txt"));
    for (std::size_t i = 0; i < std::min(got.size(), want.size()); ++i)
        ASSERT_EQ(got[i], want[i]) << "listing line " << i + 1;
    ASSERT_EQ(got.size(), want.size());

    // The result file against a two-pass Gaussian-kernel computation of the
    // example's three variables (CRIME, INC, HOVAL; bandwidth 8).
    auto data = numbers(read_file(t.path / "columbus.csv"), true);
    auto res = numbers(read_file(t.path / "descriptive_results.txt"), true);
    const int n = static_cast<int>(data.size());
    ASSERT_EQ(n, 49);
    ASSERT_EQ(static_cast<int>(res.size()), n);
    for (int l = 0; l < n; ++l) {
        ASSERT_EQ(res[l].size(), 12u);
        EXPECT_EQ(res[l][0], l + 1);
        EXPECT_NEAR(res[l][1], data[l][1], 1e-6);
        EXPECT_NEAR(res[l][2], data[l][2], 1e-6);
        std::vector<double> w(n);
        double sw = 0.0;
        for (int j = 0; j < n; ++j) {
            double dx = data[j][1] - data[l][1], dy = data[j][2] - data[l][2];
            w[j] = std::exp(-(dx * dx + dy * dy) / (2.0 * 64.0));
            sw += w[j];
        }
        for (int k = 0; k < 3; ++k) {
            double mean = 0.0;
            for (int j = 0; j < n; ++j) mean += w[j] * data[j][3 + k];
            mean /= sw;
            double ss = 0.0;
            for (int j = 0; j < n; ++j) ss += w[j] * (data[j][3 + k] - mean) * (data[j][3 + k] - mean);
            double var = ss / (sw * (n - 1) / n);
            EXPECT_NEAR(res[l][3 + k], mean, 1e-8 * std::abs(mean));
            EXPECT_NEAR(res[l][6 + k], var, 1e-7 * var);
            EXPECT_NEAR(res[l][9 + k], std::sqrt(var), 1e-7 * std::sqrt(var));
        }
    }
}

TEST(DescriptiveRun, CalibrationAndCylinderKernelStopAfterTheData) {
    tempdir t;
    t.write("d.csv", "ID,X,Y,V\n1,0,0,1\n2,1,0,2\n3,0,1,4\n");
    auto r = run_tzm(control("d.csv", "", "FFFT", "fca", "0", 1, 1), t.path);
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.err, "STOP 2222 statement executed\n");
    EXPECT_TRUE(has_line(r.out, "** Data file read...")) << r.out;
    EXPECT_TRUE(has_line(r.out, " ** Invalid choice for bandwidth specification")) << r.out;
    EXPECT_EQ(r.out.find("terminates"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(t.path / "stats.txt"));

    auto c = run_tzm(control("d.csv", "", "FFFT", "c", "2", 1, 1), t.path);
    EXPECT_EQ(c.status, 3);
    EXPECT_EQ(c.err, "STOP 3333 statement executed\n");
    EXPECT_TRUE(has_line(c.out, " ** Invalid kernel specification")) << c.out;
    EXPECT_FALSE(std::filesystem::exists(t.path / "stats.txt"));
}

TEST(DescriptiveRun, LocationFileElsewhereWithMoreLocationsThanObservations) {
    tempdir t;
    t.write("d.csv", "ID,X,Y,V,W\n1,0,0,1,5\n2,1,0,2,5\n3,0,1,4,5\n");
    std::string loc;
    for (int i = 1; i <= 8; ++i) loc += std::to_string(100 + i) + " " + std::to_string(0.1 * i + 0.03) + " 0.5\n";
    t.write("l.xy", loc);
    auto r = run_tzm(control("d.csv", "l.xy", "FFFTT", "v", "3", 0, 1), t.path);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(has_line(r.out, "** Prediction points read...")) << r.out;
    EXPECT_TRUE(has_line(r.out, " ** Data and estimation points differ")) << r.out;
    EXPECT_TRUE(has_line(r.out, " ** Adaptive kernel: local sample size is  3")) << r.out;
    EXPECT_TRUE(has_line(r.out, " ** Results written to .txt file")) << r.out;
    EXPECT_EQ(r.out.find("** Estimated means"), std::string::npos);
    auto res = numbers(read_file(t.path / "stats.txt"), true);
    ASSERT_EQ(res.size(), 8u);
    EXPECT_EQ(res[0][0], 101);
    EXPECT_EQ(res[7][0], 108);
    // The constant variable W: mean 5, variance 0 everywhere.
    for (const auto& row : res) {
        EXPECT_EQ(row[4], 5.0);
        EXPECT_EQ(row[6], 0.0);
        EXPECT_EQ(row[8], 0.0);
    }

    // The same points in the same order as the observations: identical.
    t.write("same.xy", "1 0 0\n2 1 0\n3 0 1\n");
    auto s = run_tzm(control("d.csv", "same.xy", "FFFTF", "f", "1", 0, 0), t.path);
    EXPECT_TRUE(has_line(s.out, " ** Data and estimation points identical")) << s.out;
}

TEST(DescriptiveRun, SingleObservationGivesNotANumberVariance) {
    tempdir t;
    t.write("d.csv", "ID,X,Y,V\n1,2,3,7.5\n");
    auto r = run_tzm(control("d.csv", "", "FFFT", "f", "1", 1, 1), t.path);
    ASSERT_EQ(r.status, 0) << r.err;
    auto l = lines(r.out);
    bool found = false;
    for (std::size_t i = 0; i + 1 < l.size(); ++i)
        if (l[i] == "       1     2.000     3.000") {
            EXPECT_EQ(l[i + 1], "       7.500         NaN         NaN");
            found = true;
        }
    EXPECT_TRUE(found) << r.out;
    auto f = lines(read_file(t.path / "stats.txt"));
    ASSERT_EQ(f.size(), 2u);
    auto v = split(f[1]);
    ASSERT_EQ(v.size(), 6u);
    EXPECT_EQ(std::stod(v[3]), 7.5);
    EXPECT_NE(v[4].find("NaN"), std::string::npos) << f[1];
    EXPECT_EQ(std::stod(v[5]), 0.0);
}

TEST(DescriptiveRun, SphericalLocationsPrintInDegrees) {
    tempdir t;
    t.write("d.csv", "ID,LON,LAT,V\n1,-83.25,41.5,1\n2,-83.5,41.75,3\n3,-84.0,42.0,2\n");
    auto r = run_tzm(control("d.csv", "", "FFFT", "f", "50", 1, 1, 2), t.path);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(has_line(r.out, "       2   -83.500    41.750")) << r.out;
    auto res = numbers(read_file(t.path / "stats.txt"), true);
    ASSERT_EQ(res.size(), 3u);
    EXPECT_NEAR(res[2][1], -84.0, 1e-9);
    EXPECT_NEAR(res[2][2], 42.0, 1e-9);
}
