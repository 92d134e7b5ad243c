#include <gtest/gtest.h>

#include <cmath>
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

// A state holding m fit locations with p parameters (or p variables of a
// descriptive run), every table zero, Cartesian, at the observations.
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

// Two locations, three parameters, with values that are exact in e14.7.
void two_locations(gwr::state& s) {
    prepare(s, 2, 3);
    s.fit2.fitid = {7, 9};
    s.fit1.xfit = {123.456, 200.0};
    s.fit1.yfit = {50.0, 75.5};
    const double b[2][3] = {{1.5, -2.0, 0.25}, {4.0, 8.0, -1.0}};
    const double se[2][3] = {{0.5, 0.0, 0.125}, {2.0, 0.5, 0.25}};
    for (int l = 0; l < 2; ++l)
        for (int k = 0; k < 3; ++k) {
            s.bvals(l, k) = b[l][k];
            s.svals(l, k) = se[l][k];
        }
    s.struc2.ydep = {10.0, 20.0};
    s.output.yhat = {9.5, 21.0};
    s.output.resid = {0.5, -1.0};
    s.hat1.hatdg = {0.2, 1.0};
    s.diags.stdres = {1.25, -999.0};
    s.diags.cookd = {0.05, -999.0};
    s.diags.locr2 = {0.75, 0.5};
}

// The 80-column lines of one attribute record.
std::vector<std::string> cut80(std::string rec) {
    rec.resize((rec.size() + 79) / 80 * 80, ' ');
    std::vector<std::string> out;
    for (size_t c = 0; c < rec.size(); c += 80) out.push_back(rec.substr(c, 80));
    return out;
}

std::vector<std::string> write_and_read(gwr::state& s, const tempdir& dir, void (*writer)(gwr::state&)) {
    s.files.outfil = dir.file("fits.e00");
    writer(s);
    return lines(read_file(s.files.outfil));
}

}  // namespace

TEST(ArcExport, WholeFileOfALocalModel) {
    harness h;
    gwr::state& s = *h.s;
    two_locations(s);
    tempdir dir;
    std::vector<std::string> got = write_and_read(s, dir, gwr::wr_e00);

    std::vector<std::string> want = {
        "EXP  0 /TMP/TZMFITS.E00",
        "LAB  2",
        "         7         0 0.1234560E+03 0.5000000E+02",
        " 0.1234560E+03 0.5000000E+02 0.1234560E+03 0.5000000E+02",
        "         9         0 0.2000000E+03 0.7550000E+02",
        " 0.2000000E+03 0.7550000E+02 0.2000000E+03 0.7550000E+02",
        "        -1         0 0.0000000E+00 0.0000000E+00",
        "TOL  2",
        // t = (200 - 123.456) / 10000 in single precision.
        "         1         2 0.7654400E-02",
        "         2         2 0.0000000E+00",
        "         3         2 0.0000000E+00",
        "         4         2 0.0000000E+00",
        "         5         2 0.0000000E+00",
        "         6         2 0.7654400E+00",
        "         7         2 0.7654400E-01",
        "         8         2 0.7654400E-01",
        "         9         2 0.7654400E-01",
        "        10         2 0.7654400E-01",
        "        -1         0",
        "SIN  2",
        "EOX",
        "LOG  2",
        "EOL",
        "IFO  2",
        "TZMFITS.BND                     XX   4   4  16         1",
        "XMIN              4-1   14-1  12 3 60-1  -1  -1-1                   1-",
        "YMIN              4-1   54-1  12 3 60-1  -1  -1-1                   2-",
        "XMAX              4-1   94-1  12 3 60-1  -1  -1-1                   3-",
        "YMAX              4-1  134-1  12 3 60-1  -1  -1-1                   4-",
        " 0.1234560E+03 0.5000000E+02 0.2000000E+03 0.7550000E+02",
        "TZMFITS.PAT                     XX  20  20  80         2",
        "AREA              4-1   14-1  12 3 60-1  -1  -1-1                   1-",
        "PERIMETER         4-1   54-1  12 3 60-1  -1  -1-1                   2-",
        "TZMFITS#          4-1   94-1   5-1 50-1  -1  -1-1                   3-",
        "TZMFITS-ID        4-1  134-1   5-1 50-1  -1  -1-1                   4-",
        "PARM_1            4-1  174-1  12 4 60-1  -1  -1-1                   5-",
        "PARM_2            4-1  214-1  12 4 60-1  -1  -1-1                   6-",
        "PARM_3            4-1  254-1  12 4 60-1  -1  -1-1                   7-",
        "SVAL_1            4-1  294-1  12 4 60-1  -1  -1-1                   8-",
        "SVAL_2            4-1  334-1  12 4 60-1  -1  -1-1                   9-",
        "SVAL_3            4-1  374-1  12 4 60-1  -1  -1-1                  10-",
        "TVAL_1            4-1  414-1  12 4 60-1  -1  -1-1                  11-",
        "TVAL_2            4-1  454-1  12 4 60-1  -1  -1-1                  12-",
        "TVAL_3            4-1  494-1  12 4 60-1  -1  -1-1                  13-",
        "OBS               4-1  534-1  12 4 60-1  -1  -1-1                  14-",
        "PRED              4-1  574-1  12 4 60-1  -1  -1-1                  15-",
        "RESID             4-1  614-1  12 4 60-1  -1  -1-1                  16-",
        "HAT               4-1  654-1  12 4 60-1  -1  -1-1                  17-",
        "STDRES            4-1  694-1  12 4 60-1  -1  -1-1                  18-",
        "COOKSD            4-1  734-1  12 4 60-1  -1  -1-1                  19-",
        "LOCRSQ            4-1  774-1  12 4 60-1  -1  -1-1                  20-",
    };
    // Records: area, perimeter, location number, identifier, then the
    // estimates, standard errors, t values (b/s, 0 where s is 0) and the
    // casewise values.  50 + 16 x 14 = 274 characters: four lines.
    std::string rec1 =
        " 0.0000000E+00 0.0000000E+00          1          7"
        " 0.1500000E+01-0.2000000E+01 0.2500000E+00"
        " 0.5000000E+00 0.0000000E+00 0.1250000E+00"
        " 0.3000000E+01 0.0000000E+00 0.2000000E+01"
        " 0.1000000E+02 0.9500000E+01 0.5000000E+00 0.2000000E+00"
        " 0.1250000E+01 0.5000000E-01 0.7500000E+00";
    std::string rec2 =
        " 0.0000000E+00 0.0000000E+00          2          9"
        " 0.4000000E+01 0.8000000E+01-0.1000000E+01"
        " 0.2000000E+01 0.5000000E+00 0.2500000E+00"
        " 0.2000000E+01 0.1600000E+02-0.4000000E+01"
        " 0.2000000E+02 0.2100000E+02-0.1000000E+01 0.1000000E+01"
        "-0.9990000E+03-0.9990000E+03 0.5000000E+00";
    ASSERT_EQ(rec1.size(), 274u);
    for (const std::string& r : {rec1, rec2})
        for (const std::string& l : cut80(r)) want.push_back(l);
    EXPECT_EQ(want[54].substr(34), std::string(46, ' '));
    for (const char* l : {
             "TZMFITS.TIC                     XX   3   3  12         4",
             "IDTIC             4-1   14-1   5-1 50-1  -1  -1-1                   1-",
             "XTIC              4-1   54-1  12 3 60-1  -1  -1-1                   2-",
             "YTIC              4-1   94-1  12 3 60-1  -1  -1-1                   3-",
             "          1 0.2000000E+03 0.5000000E+02",
             "          4 0.2000000E+03 0.7550000E+02",
             "          2 0.1234560E+03 0.5000000E+02",
             "          3 0.1234560E+03 0.7550000E+02",
             "EOI",
             "EOS",
         })
        want.push_back(l);

    ASSERT_EQ(got.size(), want.size());
    for (size_t k = 0; k < want.size(); ++k) EXPECT_EQ(got[k], want[k]) << "line " << k + 1;
}

TEST(ArcExport, ManyParametersNamesColumnsAndRecordLines) {
    harness h;
    gwr::state& s = *h.s;
    const int p = 27;
    prepare(s, 1, p);
    s.fit2.fitid = {1};
    for (int k = 0; k < p; ++k) {
        s.bvals(0, k) = k + 1;
        s.svals(0, k) = 1.0;
    }
    s.output.samepts = 0;  // locations elsewhere: the observed column holds -1
    s.struc2.ydep = {55.0};
    tempdir dir;
    std::vector<std::string> got = write_and_read(s, dir, gwr::wr_e00);

    const int n = 3 * p + 11;
    EXPECT_EQ(got[28], "TZMFITS.PAT                     XX  92  92 368         1");
    // Result items: PARM_9 then PARM10, start columns 17, 21, ... and
    // item numbers 5, 6, ...; every item line is 70 characters.
    for (int j = 0; j < n - 4; ++j) {
        const std::string& l = got[33 + j];
        ASSERT_EQ(l.size(), 70u) << l;
        EXPECT_EQ(std::stoi(l.substr(21, 4)), 17 + 4 * j) << l;
        EXPECT_EQ(std::stoi(l.substr(66, 3)), 5 + j) << l;
    }
    EXPECT_EQ(got[33 + 8].substr(0, 6), "PARM_9");
    EXPECT_EQ(got[33 + 9].substr(0, 6), "PARM10");
    EXPECT_EQ(got[33 + 3 * p - 1].substr(0, 6), "TVAL27");
    EXPECT_EQ(got[33 + 3 * p].substr(0, 6), "OBS   ");

    // 50 + 14 x 88 = 1282 characters: 17 lines, the last two characters
    // and 78 blanks.
    const size_t first = 33 + (n - 4);
    for (size_t k = first; k < first + 17; ++k) EXPECT_EQ(got[k].size(), 80u);
    EXPECT_EQ(got[first + 16], "00" + std::string(78, ' '));
    EXPECT_EQ(got[first + 17], "TZMFITS.TIC                     XX   3   3  12         4");
    std::string rec;
    for (size_t k = first; k < first + 17; ++k) rec += got[k];
    // The value after the 3p estimates/errors/t values: the observed marker.
    EXPECT_EQ(rec.substr(50 + 14 * 3 * p, 14), "-0.1000000E+01");
    EXPECT_EQ(rec.substr(50 + 14 * (2 * p + 26), 14), " 0.2700000E+02");  // TVAL27 = 27 / 1
}

TEST(ArcExport, SphericalCoordinatesAreWrittenInDegrees) {
    harness h;
    gwr::state& s = *h.s;
    prepare(s, 2, 1);
    testing_support::set_spherical(s, true);
    s.fit2.fitid = {1, 2};
    // 0.5 and 0.25 radians are 28.6478898 and 14.3239449 degrees (14.3239450
    // in single precision); 1 and -0.1 radians are 57.2957795 and -5.72957795.
    s.fit1.xfit = {0.5, 0.25};
    s.fit1.yfit = {1.0, -0.1};
    tempdir dir;
    std::vector<std::string> got = write_and_read(s, dir, gwr::wr_e00);
    EXPECT_EQ(got[2], "         1         0 0.2864789E+02 0.5729578E+02");
    EXPECT_EQ(got[4], "         2         0 0.1432395E+02-0.5729578E+01");
    // t from the degree extents: max(14.3239, 63.0254) / 10000.
    EXPECT_EQ(got[8], "         1         2 0.6302536E-02");
    EXPECT_EQ(got[29], " 0.1432395E+02-0.5729578E+01 0.2864789E+02 0.5729578E+02");
    const size_t n = got.size();
    EXPECT_EQ(got[n - 6], "          1 0.2864789E+02-0.5729578E+01");
    EXPECT_EQ(got[n - 3], "          3 0.1432395E+02 0.5729578E+02");
}

TEST(ArcExport, LocalStatisticsWithStandardDeviations) {
    harness h;
    gwr::state& s = *h.s;
    prepare(s, 1, 2);
    s.fit2.fitid = {4};
    s.fit1.xfit = {1.0};
    s.fit1.yfit = {2.0};
    s.bvals(0, 0) = 3.0;
    s.bvals(0, 1) = -1.0;
    s.svals(0, 0) = 2.25;  // standard deviation 1.5
    s.svals(0, 1) = -1e-12;  // rounding left a negative variance: deviation 0
    tempdir dir;
    std::vector<std::string> got = write_and_read(s, dir, gwr::wrse00);
    EXPECT_EQ(got[28], "TZMFITS.PAT                     XX  10  10  40         1");
    EXPECT_EQ(got[33], "MEAN_1            4-1  174-1  12 4 60-1  -1  -1-1                   5-");
    EXPECT_EQ(got[35].substr(0, 6), "VAR__1");
    EXPECT_EQ(got[38], "STD__2            4-1  374-1  12 4 60-1  -1  -1-1                  10-");
    // 50 + 6 x 14 = 134 characters: two lines.
    std::string rec = " 0.0000000E+00 0.0000000E+00          1          4"
                      " 0.3000000E+01-0.1000000E+01 0.2250000E+01-0.1000000E-11"
                      " 0.1500000E+01 0.0000000E+00";
    std::vector<std::string> want = cut80(rec);
    EXPECT_EQ(got[39], want[0]);
    EXPECT_EQ(got[40], want[1]);
    EXPECT_EQ(got[41], "TZMFITS.TIC                     XX   3   3  12         4");
}

TEST(ArcExport, ReplacesAnExistingFileAndReportsOneThatCannotBeCreated) {
    harness h;
    gwr::state& s = *h.s;
    two_locations(s);
    tempdir dir;
    s.files.outfil = dir.write("fits.e00", std::string(20000, 'x') + "\n");
    gwr::wr_e00(s);
    std::string text = read_file(s.files.outfil);
    EXPECT_EQ(text.find('x'), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 8), "EOI\nEOS\n");

    s.files.outfil = dir.file("missing/fits.e00");
    try {
        gwr::wrse00(s);
        FAIL() << "no error for a file that cannot be created";
    } catch (const gwr::io_error& e) {
        EXPECT_NE(std::string(e.what()).find(s.files.outfil), std::string::npos) << e.what();
    }
}
