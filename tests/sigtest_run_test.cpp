// Whole Gaussian runs of the built program that ask for a test of spatial
// variation, and runs that must not run one.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "support/testing.h"

namespace {

using testing_support::lines;
using testing_support::mask_times;
using testing_support::read_file;
using testing_support::run_tzm;
using testing_support::tempdir;

// The bundled Gaussian example with its test code (record 13), method
// (record 15) and dependent column (record 4) replaced.
std::string example(int test, int method = 2, const std::string& dep = "4",
                    const std::string& flags = "FFFFTTFFFFFFF") {
    auto l = lines(read_file(EXAMPLES_DIR "/gaussian.tzm"));
    l[3] = dep;
    l[6] = flags;
    l[12] = std::to_string(test);
    l[14] = std::to_string(method);
    std::string c;
    for (const auto& s : l) c += s + "\n";
    return c;
}

struct run {
    tempdir t;
    testing_support::run_result r;
    explicit run(const std::string& control) {
        std::filesystem::copy_file(EXAMPLES_DIR "/columbus.csv", t.path / "columbus.csv");
        r = run_tzm(control, t.path);
    }
};

std::vector<std::string> block(const std::string& listing) {
    auto l = lines(listing);
    std::vector<std::string> v;
    for (std::size_t i = 0; i < l.size(); ++i)
        if (l[i] == "----------      ------------------")
            for (std::size_t j = i + 1; j < l.size() && l[j] != " "; ++j) v.push_back(l[j]);
    return v;
}

}  // namespace

TEST(McRun, GaussianRunEndsWithTheTestBlockAndIsReproducible) {
    run a(example(1));
    ASSERT_EQ(a.r.status, 0) << a.r.err;
    EXPECT_EQ(a.r.err, "");
    auto b = block(a.r.out);
    ASSERT_EQ(b.size(), 3u) << a.r.out;
    EXPECT_EQ(b[0].substr(0, 16), "Intercept       ");
    EXPECT_EQ(b[1].substr(0, 16), "INC             ");
    EXPECT_EQ(b[2].substr(0, 16), "HOVAL           ");
    for (const auto& line : b) {
        double p = std::stod(line.substr(16, 12));
        EXPECT_GE(p, 0.0);
        EXPECT_LE(p, 0.99);
        EXPECT_NEAR(p * 100.0, std::round(p * 100.0), 1e-9);
    }
    // The test is the last block before the closing lines.
    auto l = lines(a.r.out);
    ASSERT_GE(l.size(), 3u);
    EXPECT_EQ(l[l.size() - 3], "*   = significant at 5% level");

    run again(example(1));
    EXPECT_EQ(mask_times(again.r.out), mask_times(a.r.out));
}

TEST(McRun, ThinnedTestKeepsAllOfFewLocations) {
    // 49 locations: the keeping probability 100/49 is above 1, all are kept.
    run a(example(-1));
    ASSERT_EQ(a.r.status, 0) << a.r.err;
    EXPECT_NE(a.r.out.find(" 49\n \n*************************************************"),
              std::string::npos)
        << a.r.out;
    EXPECT_EQ(block(a.r.out).size(), 3u);
}

TEST(McRun, LeungCodesPrintOnlyTheNoticeAndOtherRunsNoTest) {
    for (int code : {2, -2}) {
        run a(example(code));
        ASSERT_EQ(a.r.status, 0) << a.r.err;
        EXPECT_NE(a.r.out.find("* LEUNG SIGNIFICANCE TESTS FOR SPATIAL VARIATION *\n"
                               "**************************************************\n"
                               " \n\n** The Leung test has ben withdrawn in TZM3\n"),
                  std::string::npos)
            << a.r.out;
        EXPECT_EQ(a.r.out.find("Monte Carlo significance test "), std::string::npos);
    }
    // A code that is not a test, and a logistic model asking for the test.
    run none(example(3));
    EXPECT_EQ(none.r.out.find("Test for spatial variability"), std::string::npos);
    EXPECT_NE(none.r.out.find("terminates normally"), std::string::npos);
    run glm(example(1, 3, "10", "FFFFTFFFFFFFF"));
    ASSERT_EQ(glm.r.status, 0) << glm.r.err;
    EXPECT_EQ(glm.r.out.find("Test for spatial variability"), std::string::npos) << glm.r.out;
    EXPECT_NE(glm.r.out.find("terminates normally"), std::string::npos) << glm.r.out;
}
