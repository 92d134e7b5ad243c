// Whole logistic and Poisson runs of the built program: the bundled
// examples against their stored listings, the data and location lines, the
// offset stops and the stop for fit locations away from the observations.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "format/format.h"
#include "glm_reference.h"
#include "support/testing.h"

namespace {

using testing_support::lines;
using testing_support::mask_times;
using testing_support::read_file;
using testing_support::run_tzm;
using testing_support::tempdir;

// Runs an example control file in a scratch folder holding the example data.
testing_support::run_result run_example(const std::string& name, tempdir& t) {
    for (const char* f : {"columbus.csv", "counts.csv"})
        std::filesystem::copy_file(std::string(EXAMPLES_DIR) + "/" + f, t.path / f);
    return run_tzm(read_file(std::string(EXAMPLES_DIR) + "/" + name + ".tzm"), t.path);
}

bool has_line(const std::string& listing, const std::string& line) {
    for (const auto& l : lines(listing))
        if (l == line) return true;
    return false;
}

// A control file for data.csv with columns ID,X,Y,Y0,W,X1,X2.
std::string control(int method, const std::string& loc, int wcol, const std::string& kernel,
                    const std::string& bw, int pred = 0, int coords = 1) {
    std::ostringstream c;
    c << "data.csv\n" << loc << "\n\n4\n2,3," << wcol << "\nTest model\nFFFFFTT\n" << kernel << "\n" << bw
      << "\n0\n" << pred << "\n0\n0\n0\n" << method << "\n" << coords << "\n";
    return c.str();
}

// Data with counts (method 4) or a 0/1 response (method 3) and a positive
// weight/offset column.
std::string data_file(const glmref::data& d, const std::vector<double>& wcol) {
    std::ostringstream f;
    f.precision(17);
    f << "ID,X,Y,Y0,W,X1,X2\n";
    for (int j = 0; j < d.n(); ++j)
        f << j + 1 << "," << d.xc[j] << "," << d.yc[j] << "," << d.y[j] << "," << wcol[j] << "," << d.x[j][1]
          << "," << d.x[j][2] << "\n";
    return f.str();
}

}  // namespace

TEST(GlmRun, ExamplesMatchTheirStoredListings) {
    for (const char* name : {"logistic", "poisson", "poisson_adaptive"}) {
        tempdir t;
        auto r = run_example(name, t);
        ASSERT_EQ(r.status, 0) << name << r.err;
        EXPECT_EQ(r.err, "") << name;
        EXPECT_EQ(mask_times(r.out), read_file(std::string(EXPECTED_DIR) + "/" + name + ".txt")) << name;
    }
}

TEST(GlmRun, PoissonExampleAgreesWithNewtonRaphson) {
    // Global fit of the example's counts: CASES on DEPRIV and URBAN with
    // the EXPECTED column as offset.
    tempdir t;
    auto r = run_example("poisson", t);
    ASSERT_EQ(r.status, 0);
    glmref::data d;
    d.method = 4;
    auto rows = lines(read_file(t.path / "counts.csv"));
    for (std::size_t i = 1; i < rows.size(); ++i) {
        std::vector<double> v;
        std::stringstream ss(rows[i]);
        std::string f;
        while (std::getline(ss, f, ',')) v.push_back(std::stod(f));
        d.y.push_back(v[3]);
        d.offset.push_back(v[4]);
        d.x.push_back({1.0, v[5], v[6]});
    }
    auto ref = glmref::newton(d);
    char buf[100];
    std::snprintf(buf, sizeof buf, "Log-likelihood:                  %20.6f", ref.loglik);
    EXPECT_TRUE(has_line(r.out, buf)) << buf;
    std::snprintf(buf, sizeof buf, " DEPRIV  %13.3f%13.3f%13.3f%13.3f%13.3f", ref.b[1], ref.se[1], ref.b[1] / ref.se[1],
                  std::exp(ref.b[1]), std::exp(ref.b[1]) * ref.se[1]);
    EXPECT_TRUE(has_line(r.out, buf)) << buf;
    // The result file has one row per district.
    EXPECT_EQ(lines(read_file(t.path / "poisson_results.csv")).size(), d.y.size() + 1);
}

TEST(GlmRun, ZeroAndNegativeOffsetsStopBeforeAnyFit) {
    glmref::data d = glmref::make(4, 12, 4);
    for (double bad : {0.0, -2.0}) {
        tempdir t;
        std::vector<double> off(d.offset);
        off[6] = bad;
        t.write("data.csv", data_file(d, off));
        auto r = run_tzm(control(4, "", 5, "fnn", "5"), t.path);
        EXPECT_EQ(r.status, 3);
        EXPECT_EQ(r.err, "");  // a stop without code
        auto l = lines(r.out);
        ASSERT_GE(l.size(), 2u);
        EXPECT_EQ(l[l.size() - 2], bad == 0.0 ? "** ERROR - zero offset for case      7 **"
                                              : "** ERROR - negative offset for case      7 **");
        EXPECT_EQ(l.back(), "** Program halting ** ");
        EXPECT_EQ(r.out.find("Global Poisson"), std::string::npos);
    }
}

TEST(GlmRun, LocationFiles) {
    glmref::data d = glmref::make(3, 30, 9);
    tempdir t;
    t.write("data.csv", data_file(d, std::vector<double>(d.n(), 1.0)));
    std::ostringstream same, other;
    same.precision(17);
    for (int j = 0; j < d.n(); ++j) same << j + 1 << " " << d.xc[j] << " " << d.yc[j] << "\n";
    for (int j = 0; j < 5; ++j) other << j + 1 << " " << 2.0 * j << " 5\n";
    t.write("same.xy", same.str());
    t.write("other.xy", other.str());

    // The same points in the same order: a complete run, no extents for a
    // user-supplied bandwidth.
    auto r = run_tzm(control(3, "same.xy", 0, "fnn", "4", 1), t.path);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(has_line(r.out, "*Regression point file read...")) << r.out;
    EXPECT_TRUE(has_line(r.out, " ** Data and regression points identical"));
    EXPECT_TRUE(has_line(r.out, " Predictions from this model..."));
    EXPECT_EQ(r.out.find("extent"), std::string::npos);
    EXPECT_NE(r.out.find("Program terminates normally"), std::string::npos);

    // Other points: estimates and standard errors at every location, no
    // diagnostics (the markers -1), no prediction report.
    r = run_tzm(control(3, "other.xy", 0, "fnn", "4", 1), t.path);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(has_line(r.out, " ** Data and regression points differ"));
    EXPECT_TRUE(has_line(r.out, "** Diagnostics not available when estimating")) << r.out;
    EXPECT_FALSE(has_line(r.out, " Predictions from this model..."));
    EXPECT_NE(r.out.find("Program terminates normally"), std::string::npos);
    EXPECT_EQ(r.out.find("NaN"), std::string::npos);
}

TEST(GlmRun, LogisticWeightVariableLeavesTheGlobalModelAlone) {
    glmref::data d = glmref::make(3, 40, 13);
    std::vector<double> w;
    for (int j = 0; j < d.n(); ++j) w.push_back(1.0 + j % 3);
    tempdir t;
    t.write("data.csv", data_file(d, w));
    auto weighted = run_tzm(control(3, "", 5, "fnn", "3"), t.path);
    auto plain = run_tzm(control(3, "", 0, "fnn", "3"), t.path);
    ASSERT_EQ(weighted.status, 0);
    ASSERT_EQ(plain.status, 0);
    EXPECT_TRUE(has_line(weighted.out, "** Weight variable for estimation..W       "));
    auto block = [](const std::string& out) {
        const auto a = out.find("Global Logistic"), b = out.find("Local Logistic");
        return out.substr(a, b - a);
    };
    EXPECT_EQ(block(weighted.out), block(plain.out));
    auto local = [](const std::string& out) { return out.substr(out.find("Local Logistic"), 200); };
    EXPECT_NE(local(weighted.out), local(plain.out));
}

TEST(GlmRun, LocalFailuresStopAtTheFirstLocationOnAnyThreadCount) {
    // Cylinder windows of radius 1.5 hold only two or three observations
    // here, too few for three parameters: some local fits never settle.
    glmref::data d = glmref::make(4, 80, 6);
    for (int j = 0; j < d.n(); ++j)
        if (d.xc[j] < 5.0) d.x[j][2] = 0.0;
    tempdir t;
    t.write("data.csv", data_file(d, d.offset));
    const char* before = std::getenv("OMP_NUM_THREADS");
    const std::string saved = before ? before : "";
    std::string listing[2];
    for (int threads : {1, 2}) {
        setenv("OMP_NUM_THREADS", std::to_string(threads).c_str(), 1);
        auto r = run_tzm(control(4, "", 5, "cnn", "1.5"), t.path);
        EXPECT_EQ(r.status, 3);
        EXPECT_EQ(r.err, "STOP 8888 statement executed\n");
        listing[threads - 1] = mask_times(r.out);
    }
    if (before)
        setenv("OMP_NUM_THREADS", saved.c_str(), 1);
    else
        unsetenv("OMP_NUM_THREADS");
    EXPECT_EQ(listing[0], listing[1]);
    EXPECT_TRUE(has_line(listing[0], " [WGLM] IRLS Convergence problem")) << listing[0];
    EXPECT_EQ(listing[0].find("Local Poisson"), std::string::npos);
}

TEST(GlmRun, ResponsesTheModelCannotTakeStopBeforeAnyFit) {
    // A logistic response other than 0 or 1, a negative Poisson count: the
    // first such observation is named, with its value, before the global
    // model.
    struct bad {
        int method, at;
        double value;
        const char* line;
    } cases[] = {{3, 5, 2.0, "** ERROR - logistic response not 0 or 1 for case      5 **"},
                 {3, 9, 0.5, "** ERROR - logistic response not 0 or 1 for case      9 **"},
                 {4, 7, -1.0, "** ERROR - negative Poisson count for case      7 **"}};
    for (const bad& b : cases) {
        SCOPED_TRACE(b.line);
        glmref::data d = glmref::make(b.method, 30, 5);
        d.y[b.at - 1] = b.value;
        d.y[b.at + 3] = b.value;  // a later one is not the first
        tempdir t;
        t.write("data.csv", data_file(d, std::vector<double>(d.n(), 1.0)));
        auto r = run_tzm(control(b.method, "", 0, "fnn", "4"), t.path);
        const auto lines = testing_support::lines(r.out);
        const auto at = std::find(lines.begin(), lines.end(), b.line);
        ASSERT_NE(at, lines.end()) << r.out;
        ASSERT_LT(at + 2, lines.end());
        EXPECT_EQ(at[1], " ** Value: " + ftn::ldreal(b.value));
        EXPECT_EQ(at[2], "** Program halting ** ");
        EXPECT_EQ(r.out.find("Global"), std::string::npos);
        EXPECT_EQ(r.out.find("NaN"), std::string::npos);
    }
}
