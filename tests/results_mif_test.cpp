#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "control/stop.h"
#include "results/results.h"
#include "support/testing.h"

using testing_support::harness;
using testing_support::lines;
using testing_support::read_file;
using testing_support::tempdir;

namespace {

void prepare(gwr::state& s, int m, int p) {
    s.fit3.nloc = m;
    s.outst1.npar = p;
    s.set_parameter_count(p);
    s.size_obs(m);
    s.size_loc(m, p);
    s.fit1.xfit.assign(m, 0.0);
    s.fit1.yfit.assign(m, 0.0);
    s.fit2.fitid.assign(m, 0);
    s.trig.degrad = 57.29577951308232;
    s.trig.raddeg = 0.017453292519943295;
    s.output.samepts = 1;
}

// Splits a .mid line at single blanks, keeping empty fields so that a run of
// blanks or a leading blank shows up as one.
std::vector<std::string> fields(const std::string& line) {
    std::vector<std::string> out(1);
    for (char c : line) {
        if (c == ' ') out.emplace_back();
        else out.back() += c;
    }
    return out;
}

double number(const std::string& f) {
    char* end = nullptr;
    double v = std::strtod(f.c_str(), &end);
    EXPECT_TRUE(!f.empty() && *end == '\0') << "'" << f << "' is not a number";
    return v;
}

// Values that print with many digits, to check that each reads back exactly.
const double awkward[] = {0.1, 1.0 / 3.0, -2.0 / 3.0, 1e-300, -2.5e17, 123456789.123, 0.0, 5e-324};

}  // namespace

TEST(MapInfo, ModelColumnsPointsAndExactValues) {
    harness h;
    gwr::state& s = *h.s;
    const int p = 3;
    prepare(s, 2, p);
    s.fit2.fitid = {11, 12};
    s.fit1.xfit = {123.456, -7.25};
    s.fit1.yfit = {0.1, 3.0};
    int a = 0;
    for (int l = 0; l < 2; ++l)
        for (int k = 0; k < p; ++k) {
            s.bvals(l, k) = awkward[a++ % 8];
            s.svals(l, k) = awkward[a++ % 8];
        }
    s.struc2.ydep = {1.0 / 7.0, 2.0};
    s.output.yhat = {0.3, -1e-20};
    s.output.resid = {1.0 / 7.0 - 0.3, 2.0 + 1e-20};
    s.hat1.hatdg = {0.25, 1.0};
    s.diags.stdres = {1.0 / 9.0, -999.0};
    s.diags.cookd = {2e-5, -999.0};
    s.diags.locr2 = {0.999999999999, 0.0};

    tempdir dir;
    s.files.outfil = dir.file("model.mif");
    gwr::wr_mif(s);

    EXPECT_EQ(lines(read_file(dir.file("model.mif"))),
              (std::vector<std::string>{
                  "VERSION 1",
                  "Charset \"WindowsLatin1\"",
                  "DELIMITER \" \"",
                  "COLUMNS   16",
                  "ID        integer",
                  "X         float",
                  "Y         float",
                  "PARM_1          float",
                  "PARM_2          float",
                  "PARM_3          float",
                  "SVAL_1         float",
                  "SVAL_2         float",
                  "SVAL_3         float",
                  "OBS       float",
                  "PRED      float",
                  "RESID     float",
                  "HAT       float",
                  "STDRES    float",
                  "COOKSD    float",
                  "LOCRSQ    float",
                  "DATA",
                  "POINT      123.456001       0.100000",
                  "POINT       -7.250000       3.000000",
              }));

    std::vector<std::string> mid = lines(read_file(dir.file("model.mid")));
    ASSERT_EQ(mid.size(), 2u);
    for (int l = 0; l < 2; ++l) {
        std::vector<std::string> f = fields(mid[l]);
        ASSERT_EQ(f.size(), 16u) << mid[l];  // 1 + 2 + 3 + 3 + 7 values
        EXPECT_EQ(f[0], std::to_string(s.fit2.fitid[l]));
        // x and y: single precision, read back exactly.
        EXPECT_EQ(number(f[1]), static_cast<double>(static_cast<float>(s.fit1.xfit[l])));
        EXPECT_EQ(number(f[2]), static_cast<double>(static_cast<float>(s.fit1.yfit[l])));
        EXPECT_EQ(std::strtof(f[1].c_str(), nullptr), static_cast<float>(s.fit1.xfit[l]));
        const double want[13] = {s.bvals(l, 0), s.bvals(l, 1), s.bvals(l, 2),
                                 s.svals(l, 0), s.svals(l, 1), s.svals(l, 2),
                                 s.struc2.ydep[l], s.output.yhat[l], s.output.resid[l],
                                 s.hat1.hatdg[l], s.diags.stdres[l], s.diags.cookd[l],
                                 s.diags.locr2[l]};
        for (int k = 0; k < 13; ++k) EXPECT_EQ(number(f[3 + k]), want[k]) << "field " << 4 + k << ": " << f[3 + k];
    }
}

TEST(MapInfo, ObservedColumnIsMinusOneAwayFromTheObservations) {
    harness h;
    gwr::state& s = *h.s;
    prepare(s, 1, 1);
    s.fit2.fitid = {3};
    s.output.samepts = 0;
    s.struc2.ydep = {42.0};
    tempdir dir;
    s.files.outfil = dir.file("away.mif");
    gwr::wr_mif(s);
    std::vector<std::string> f = fields(lines(read_file(dir.file("away.mid")))[0]);
    ASSERT_EQ(f.size(), 12u);
    EXPECT_EQ(number(f[5]), -1.0);
}

TEST(MapInfo, LocalStatisticsDeclareMeansAndVariancesOnly) {
    harness h;
    gwr::state& s = *h.s;
    prepare(s, 1, 2);
    testing_support::set_spherical(s, true);
    s.fit2.fitid = {5};
    s.fit1.xfit = {0.5};   // 28.6478898 degrees
    s.fit1.yfit = {-1.0};  // -57.2957795 degrees
    s.bvals(0, 0) = 10.0;
    s.bvals(0, 1) = 1.0 / 3.0;
    s.svals(0, 0) = 4.0;
    s.svals(0, 1) = 0.01;
    tempdir dir;
    s.files.outfil = dir.file("stats.mif");
    gwr::wrsmif(s);
    std::vector<std::string> mif = lines(read_file(dir.file("stats.mif")));
    EXPECT_EQ(mif, (std::vector<std::string>{
                       "VERSION 1", "Charset \"WindowsLatin1\"", "DELIMITER \" \"", "COLUMNS    7",
                       "ID        integer", "X         float", "Y         float",
                       "MEAN_1          float", "MEAN_2          float",
                       "VAR__1         float", "VAR__2         float", "DATA",
                       "POINT       28.647890     -57.295780"}));
    std::vector<std::string> f = fields(lines(read_file(dir.file("stats.mid")))[0]);
    ASSERT_EQ(f.size(), 7u);
    EXPECT_EQ(f[0], "5");
    EXPECT_EQ(std::strtof(f[1].c_str(), nullptr), static_cast<float>(0.5 * 57.29577951308232));
    EXPECT_EQ(std::strtof(f[2].c_str(), nullptr), static_cast<float>(-57.29577951308232));
    EXPECT_EQ(number(f[3]), 10.0);
    EXPECT_EQ(number(f[4]), 1.0 / 3.0);
    EXPECT_EQ(number(f[5]), 4.0);
    EXPECT_EQ(number(f[6]), 0.01);
}

// The pair goes where the user asked for the result, not into fixed names
// in the working directory.
TEST(MapInfo, FilesAreNamedAfterTheResultFile) {
    EXPECT_EQ(gwr::mif_names("/data/run/model.mif"),
              (std::pair<std::string, std::string>{"/data/run/model.mif", "/data/run/model.mid"}));
    EXPECT_EQ(gwr::mif_names("out/model.txt"),
              (std::pair<std::string, std::string>{"out/model.mif", "out/model.mid"}));
    EXPECT_EQ(gwr::mif_names("out.v2/model"),
              (std::pair<std::string, std::string>{"out.v2/model.mif", "out.v2/model.mid"}));
    EXPECT_EQ(gwr::mif_names("a.b.mif"), (std::pair<std::string, std::string>{"a.b.mif", "a.b.mid"}));
    EXPECT_EQ(gwr::mif_names(""), (std::pair<std::string, std::string>{"mapinfo.mif", "mapinfo.mid"}));
    EXPECT_EQ(gwr::mif_names("   "), (std::pair<std::string, std::string>{"mapinfo.mif", "mapinfo.mid"}));

    harness h;
    gwr::state& s = *h.s;
    prepare(s, 1, 1);
    tempdir dir;
    std::filesystem::create_directory(dir.path / "results");
    s.files.outfil = (dir.path / "results" / "first").string();
    gwr::wr_mif(s);
    s.files.outfil = (dir.path / "results" / "second.mif").string();
    s.fit2.fitid = {2};
    gwr::wr_mif(s);
    // Two runs keep two results.
    EXPECT_EQ(fields(lines(read_file(dir.path / "results" / "first.mid"))[0])[0], "0");
    EXPECT_EQ(fields(lines(read_file(dir.path / "results" / "second.mid"))[0])[0], "2");
    EXPECT_TRUE(std::filesystem::exists(dir.path / "results" / "first.mif"));

    // Without a name the fixed pair is written in the working directory.
    const std::filesystem::path cwd = std::filesystem::current_path();
    std::filesystem::current_path(dir.path);
    s.files.outfil = "";
    try {
        gwr::wrsmif(s);
    } catch (...) {
        std::filesystem::current_path(cwd);
        throw;
    }
    std::filesystem::current_path(cwd);
    EXPECT_EQ(lines(read_file(dir.path / "mapinfo.mif"))[3], "COLUMNS    5");
    EXPECT_EQ(lines(read_file(dir.path / "mapinfo.mid")).size(), 1u);
}

TEST(MapInfo, FileThatCannotBeCreatedIsReported) {
    harness h;
    gwr::state& s = *h.s;
    prepare(s, 1, 1);
    tempdir dir;
    s.files.outfil = dir.file("missing/model.mif");
    try {
        gwr::wr_mif(s);
        FAIL() << "no error for a file that cannot be created";
    } catch (const gwr::io_error& e) {
        EXPECT_NE(std::string(e.what()).find(dir.file("missing/model.mif")), std::string::npos) << e.what();
    }
}

// Record 12 values other than 0, 1, 2 and 4 ask for the MapInfo pair (the
// echo announces it): every method writes the same pair as record 12 = 3.
TEST(MapInfo, AnyOtherResultCodeWritesThePairForEveryMethod) {
    struct model {
        int method, dep;
    };
    for (const model m : {model{1, 0}, model{2, 4}, model{3, 10}, model{4, 4}}) {
        std::string mid3;
        for (int code : {3, 5, -1}) {
            tempdir t;
            std::filesystem::copy_file(std::string(EXAMPLES_DIR) + "/columbus.csv", t.path / "columbus.csv");
            const std::string control = "columbus.csv\n\nres.txt\n" + std::to_string(m.dep) +
                                        "\n2,3,0\nT\nFFFFTTFFFFFFF\nfnn\n8\n0\n0\n" + std::to_string(code) +
                                        "\n0\n0\n" + std::to_string(m.method) + "\n1\n";
            const auto r = testing_support::run_tzm(control, t.path);
            SCOPED_TRACE("method " + std::to_string(m.method) + ", record 12 = " + std::to_string(code));
            EXPECT_EQ(r.status, 0) << r.out;
            EXPECT_NE(r.out.find("** Output estimates to be written to .mif file\n"), std::string::npos);
            EXPECT_NE(r.out.find("\n ** Results written to .mif file\n"), std::string::npos) << r.out;
            ASSERT_TRUE(std::filesystem::exists(t.path / "res.mif"));
            const std::string mid = read_file(t.path / "res.mid");
            EXPECT_EQ(lines(mid).size(), 49u);
            if (code == 3)
                mid3 = mid;
            else
                EXPECT_EQ(mid, mid3);
        }
    }
}
