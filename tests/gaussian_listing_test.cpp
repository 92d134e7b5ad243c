// Whole listings and result files of Gaussian runs of the built program,
// compared with stored, hand-checked copies (the two time-stamped lines
// masked).  Set GWR_WRITE_EXPECTED=1 to rewrite the stored copies after a
// deliberate change, then review the difference line by line.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/testing.h"

namespace {

namespace fs = std::filesystem;
using testing_support::mask_times;
using testing_support::read_file;
using testing_support::run_tzm;
using testing_support::tempdir;

struct listing_case {
    std::string name;                // stored listing tests/expected/<name>.txt
    std::string control;             // control text
    std::vector<std::string> files;  // copied into the run folder
    std::string result;              // result file written by the run, or ""
};

void compare(const std::string& what, const std::string& actual, const fs::path& stored) {
    if (std::getenv("GWR_WRITE_EXPECTED")) {
        std::ofstream(stored, std::ios::binary) << actual;
        return;
    }
    ASSERT_TRUE(fs::exists(stored)) << stored;
    EXPECT_EQ(actual, read_file(stored)) << what;
}

void check(const listing_case& c) {
    SCOPED_TRACE(c.name);
    tempdir t;
    for (const auto& f : c.files) fs::copy_file(f, t.path / fs::path(f).filename());
    auto r = run_tzm(c.control, t.path);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    compare("listing", mask_times(r.out), fs::path(EXPECTED_DIR) / (c.name + ".txt"));
    if (!c.result.empty())
        compare("result file", read_file(t.path / c.result),
                fs::path(EXPECTED_DIR) / (c.name + "_results.csv"));
}

std::string example(const std::string& name) { return read_file(fs::path(EXAMPLES_DIR) / name); }

const std::string columbus = std::string(EXAMPLES_DIR) + "/columbus.csv";

TEST(GaussianListing, FixedKernelWithDiagnosticsPredictionsAndResultFile) {
    check({"gaussian_fixed", example("gaussian_fixed.tzm"), {columbus},
           "gaussian_fixed_results.csv"});
}

TEST(GaussianListing, AdaptiveKernelThreePredictors) {
    check({"gaussian_adaptive", example("gaussian_adaptive.tzm"), {columbus}, ""});
}

TEST(GaussianListing, LocationFileWithOtherPoints) {
    check({"gaussian_grid",
           "columbus.csv\ngaussian_grid.xy\ngrid.csv\n4\n2,3,0\nColumbus on a grid\n"
           "FFFFTTFFFFFFF\nfnn\n6\n0\n1\n1\n0\n1\n2\n1\n",
           {columbus, std::string(TESTDATA_DIR) + "/gaussian_grid.xy"},
           "grid.csv"});
}

TEST(GaussianListing, SphericalCoordinatesWeightAndCylinder) {
    const std::string data = std::string(TESTDATA_DIR) + "/gaussian_sphere.csv";
    check({"gaussian_sphere",
           "gaussian_sphere.csv\n\nsphere.csv\n4\n2,3,6\nWeighted, on the sphere\n"
           "FFFFTF\nfnn\n40\n0\n1\n1\n0\n1\n2\n2\n",
           {data},
           "sphere.csv"});
    check({"gaussian_sphere_cylinder",
           "gaussian_sphere.csv\n\n\n4\n2,3,0\nCylinder on the sphere\n"
           "FFFFTF\ncnn\n60\n0\n1\n0\n0\n0\n2\n2\n",
           {data},
           ""});
}

}  // namespace

// The README's example: bandwidth by AICc, history, casewise diagnostics,
// predictions and the result file.
TEST(GaussianListing, CalibratedExample) {
    check({"gaussian", example("gaussian.tzm"), {columbus}, "gaussian_results.csv"});
}

// Predictions at six new places from a location table with the predictors.
TEST(GaussianListing, PredictionExample) {
    check({"predict", example("predict.tzm"), {columbus, std::string(EXAMPLES_DIR) + "/columbus_new.csv"},
           "predict_results.csv"});
}
