// The fitting loops run on several threads: every listing and result file
// must be the same bytes with one thread and with two.  The shipped examples
// and a few synthetic models (ties among distances, cut-off kernels,
// calibration, the Monte Carlo test, locations elsewhere, descriptive
// statistics) run through the built program with OMP_NUM_THREADS=1 and =2.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "support/testing.h"

namespace {

namespace fs = std::filesystem;
using testing_support::mask_times;
using testing_support::read_file;
using testing_support::run_tzm;
using testing_support::tempdir;

// Listing (time lines masked) and every file of the run folder after a run.
struct outcome {
    std::string listing;
    std::string err;
    int status = -1;
    std::map<std::string, std::string> files;
};

// Sets an environment variable for the programs started while it lives.
struct scoped_env {
    std::string name;
    std::string old;
    bool had;
    scoped_env(const std::string& n, const std::string& v) : name(n) {
        const char* o = std::getenv(n.c_str());
        had = o != nullptr;
        if (had) old = o;
        ::setenv(n.c_str(), v.c_str(), 1);
    }
    ~scoped_env() {
        if (had)
            ::setenv(name.c_str(), old.c_str(), 1);
        else
            ::unsetenv(name.c_str());
    }
};

outcome run_with(int threads, const std::string& control,
                 const std::map<std::string, std::string>& inputs) {
    scoped_env env("OMP_NUM_THREADS", std::to_string(threads));
    tempdir t;
    for (const auto& [name, text] : inputs) t.write(name, text);
    auto r = run_tzm(control, t.path);
    outcome o;
    o.listing = mask_times(r.out);
    o.err = r.err;
    o.status = r.status;
    for (const auto& e : fs::directory_iterator(t.path)) {
        const std::string name = e.path().filename().string();
        if (!inputs.count(name)) o.files[name] = read_file(e.path());
    }
    return o;
}

// Runs the model with one and with two threads and compares everything.
void same_bytes(const std::string& what, const std::string& control,
                const std::map<std::string, std::string>& inputs, bool expect_file = false) {
    SCOPED_TRACE(what);
    outcome one = run_with(1, control, inputs);
    outcome two = run_with(2, control, inputs);
    EXPECT_EQ(one.status, 0) << one.err;
    EXPECT_EQ(one.status, two.status);
    EXPECT_EQ(one.err, two.err);
    EXPECT_EQ(one.listing, two.listing);
    ASSERT_EQ(one.files.size(), two.files.size());
    if (expect_file) {
        EXPECT_FALSE(one.files.empty());
    }
    for (const auto& [name, text] : one.files) {
        ASSERT_TRUE(two.files.count(name)) << name;
        EXPECT_EQ(text, two.files.at(name)) << name;
    }
    // A run that stopped early would compare equal too: make sure the model
    // was actually fitted.
    EXPECT_NE(one.listing.find("Program terminates normally"), std::string::npos)
        << one.listing.substr(one.listing.size() > 600 ? one.listing.size() - 600 : 0);
}

std::string example(const std::string& name) {
    return read_file(fs::path(EXAMPLES_DIR) / name);
}

std::map<std::string, std::string> example_data() {
    return {{"columbus.csv", example("columbus.csv")},
            {"columbus_new.csv", example("columbus_new.csv")},
            {"counts.csv", example("counts.csv")}};
}

TEST(ParallelExamples, EveryShippedExampleGivesTheSameBytesOnOneAndTwoThreads) {
    int count = 0;
    for (const auto& e : fs::directory_iterator(EXAMPLES_DIR)) {
        if (e.path().extension() != ".tzm") continue;
        same_bytes(e.path().filename().string(), read_file(e.path()), example_data());
        ++count;
    }
    EXPECT_GE(count, 7);
}

// Observations on an integer grid, every point twice: many observations tie
// at the N-th nearest distance, which the adaptive kernel must treat alike
// on every thread.  Counts and a 0/1 response for the reweighted models.
std::string grid_data() {
    std::ostringstream d;
    d << "ID,X,Y,DEP,X1,X2,CNT,BIN\n";
    int id = 0;
    for (int rep = 0; rep < 2; ++rep) {
        for (int gx = 0; gx < 12; ++gx) {
            for (int gy = 0; gy < 12; ++gy) {
                ++id;
                const int a = (id * 37) % 17 - 8, b = (id * 11) % 13 - 6;
                const double dep = 2.0 + 0.1 * gx * a + 0.05 * gy * b + ((id * 7) % 5) * 0.1;
                d << id << ',' << gx << ',' << gy << ',' << dep << ',' << a << ',' << b << ','
                  << (id * 5) % 7 << ',' << ((a + gx) % 3 == 0 ? 1 : 0) << '\n';
            }
        }
    }
    return d.str();
}

std::string control(const std::string& locs, const std::string& out, int dep,
                    const std::string& xyw, const std::string& flags, const std::string& kernel,
                    const std::string& bw, int hist, int pred, int outtype, int test, int diag,
                    int method) {
    std::ostringstream c;
    c << "grid.csv\n"
      << locs << '\n'
      << out << '\n'
      << dep << '\n'
      << xyw << "\nSynthetic grid\n"
      << flags << '\n'
      << kernel << '\n'
      << bw << '\n'
      << hist << '\n'
      << pred << '\n'
      << outtype << '\n'
      << test << '\n'
      << diag << '\n'
      << method << "\n1\n";
    return c.str();
}

TEST(ParallelExamples, TiedDistancesCutOffKernelsCalibrationAndTheMonteCarloTest) {
    const std::map<std::string, std::string> in{
        {"grid.csv", grid_data()},
        {"locs.txt", "1 0.5 0.5\n2 3.25 7\n3 11 11\n4 -2 5\n5 6 6\n"}};
    const std::string g = "FFFFTTFF";
    same_bytes("adaptive, given size", control("", "a.csv", 4, "2,3,0", g, "vnn", "25", 0, 1, 1, 0, 1, 2), in, true);
    same_bytes("adaptive, AICc", control("", "b.csv", 4, "2,3,0", g, "vaa", "0", 1, 0, 1, 0, 1, 2), in, true);
    same_bytes("adaptive, sampled cross-validation",
               control("", "", 4, "2,3,0", g, "vcs", "-50", 1, 0, 0, 0, 0, 2), in);
    same_bytes("cylinder", control("", "c.csv", 4, "2,3,0", g, "cnn", "3", 0, 1, 1, 0, 1, 2), in, true);
    same_bytes("fixed, cross-validation", control("", "d.csv", 4, "2,3,0", g, "fca", "0", 1, 0, 1, 0, 1, 2), in, true);
    same_bytes("fixed, Monte Carlo test", control("", "", 4, "2,3,0", g, "fnn", "3", 0, 0, 0, 1, 0, 2), in);
    same_bytes("adaptive, thinned Monte Carlo test",
               control("", "", 4, "2,3,0", g, "vnn", "30", 0, 0, 0, -1, 0, 2), in);
    same_bytes("locations elsewhere", control("locs.txt", "e.csv", 4, "2,3,0", g, "vnn", "40", 0, 0, 1, 0, 1, 2), in, true);
    same_bytes("descriptive, adaptive", control("", "f.txt", 0, "2,3,0", "FFFTTTFF", "v", "20", 0, 1, 1, 0, 0, 1), in, true);
    same_bytes("descriptive, fixed", control("", "g.txt", 0, "2,3,0", "FFFTTTFF", "f", "2", 0, 1, 1, 0, 0, 1), in, true);
    same_bytes("Poisson, AICc", control("", "h.csv", 7, "2,3,0", "FFFFTTFF", "vaa", "0", 1, 0, 1, 0, 1, 4), in, true);
    same_bytes("logistic, given size", control("", "i.csv", 8, "2,3,0", "FFFFTTFF", "vnn", "80", 0, 0, 1, 0, 1, 3), in, true);
}

TEST(ParallelExamples, AnAdaptiveSizeAboveTheObservationCountStopsAlikeOnEveryThreadCount) {
    const std::map<std::string, std::string> in{{"grid.csv", grid_data()}};
    const std::string ctl = control("", "", 4, "2,3,0", "FFFFTTFF", "vnn", "500", 0, 0, 0, 0, 1, 2);
    outcome one = run_with(1, ctl, in);
    outcome two = run_with(2, ctl, in);
    EXPECT_EQ(one.listing, two.listing);
    EXPECT_EQ(one.status, two.status);
    EXPECT_NE(one.listing.find("** Local sample size is greater than the number of observations **"),
              std::string::npos);
    EXPECT_EQ(one.listing.find("Program terminates normally"), std::string::npos);
}

}  // namespace
