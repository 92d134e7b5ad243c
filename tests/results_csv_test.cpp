// The comma-delimited file of local estimates.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "control/stop.h"
#include "results/results.h"
#include "support/testing.h"

namespace {

using testing_support::harness;
using testing_support::lines;
using testing_support::read_file;
using testing_support::tempdir;

// Two fit locations, p parameters: estimates k + 0.5 (negative at the
// second location), standard errors 0.5 except a zero for parameter 2.
void fill(gwr::state& s, int p, const std::string& out, bool same) {
    s.files.outfil = out;
    s.outst1.npar = p;
    s.fit3.nloc = 2;
    s.fit1.xfit = {123.456, 1.0};
    s.fit1.yfit = {-0.5, 2.0};
    s.fit2.fitid = {7, 8};
    s.size_loc(2, p);
    for (int k = 0; k < p; ++k)
        for (int l = 0; l < 2; ++l) {
            s.bvals(l, k) = (l ? -1 : 1) * (k + 1.5);
            s.svals(l, k) = k == 1 ? 0.0 : 0.5;
        }
    s.output.samepts = same ? 1 : 0;
    s.size_obs(same ? 2 : 0);
    if (same) s.struc2.ydep = {10.25, 3.0};
    s.output.yhat = {9.75, 2.5};
    s.output.resid = {0.5, 0.5};
    s.hat1.hatdg = {0.125, 0.25};
    s.diags.stdres = {1.25, -999};
    s.diags.cookd = {0.0625, -999};
    s.diags.locr2 = {0.5, 1e-5};
}

TEST(ResultsCsv, HeaderAndRowsForThreeParameters) {
    tempdir t;
    harness h;
    fill(*h.s, 3, t.file("est.csv"), true);
    gwr::wr_csv(*h.s);
    auto L = lines(read_file(t.file("est.csv")));
    ASSERT_EQ(L.size(), 3u);
    EXPECT_EQ(L[0],
              "ID,FITX,FITY,PARM_1,PARM_2,PARM_3,SVAL_1,SVAL_2,SVAL_3,TVAL_1,TVAL_2,TVAL_3,"
              "OBS,PRED,RESID,HAT,STDRES,COOKSD,LOCRSQ");
    // Coordinates in single precision; t = b/s, and 0 where s is 0.
    EXPECT_EQ(L[1],
              "  7,  123.456001, -0.5,  1.5,  2.5,  3.5,  0.5,  0.,  0.5,  3.,  0.,  7.,"
              "  10.25,  9.75,  0.5,  0.125,  1.25,  0.0625,  0.5");
    EXPECT_EQ(L[2],
              "  8,  1.,  2., -1.5, -2.5, -3.5,  0.5,  0.,  0.5, -3.,  0., -7.,"
              "  3.,  2.5,  0.5,  0.25, -999., -999.,  1.E-05");
    EXPECT_EQ(h.s->outst2.names.size(), 19u);
}

TEST(ResultsCsv, ElevenParametersOtherLocationsAndDegrees) {
    tempdir t;
    harness h;
    auto& s = *h.s;
    fill(s, 11, t.file("est.csv"), false);
    testing_support::set_spherical(s, true);
    s.trig.degrad = 57.29577951308232;
    s.fit1.xfit = {-3.0 * 0.017453292519943295, 0.0};
    s.fit1.yfit = {52.25 * 0.017453292519943295, 0.0};
    s.output.yhat = {-1, -1};
    gwr::wr_csv(s);
    auto L = lines(read_file(t.file("est.csv")));
    ASSERT_EQ(L.size(), 3u);
    EXPECT_NE(L[0].find(",PARM_9,PARM10,PARM11,SVAL_1,"), std::string::npos);
    EXPECT_NE(L[0].find(",TVAL10,TVAL11,OBS,"), std::string::npos);
    EXPECT_EQ(s.outst2.names.size(), 3u + 33 + 7);
    // Degrees as read, in single precision; the observed value is the
    // marker -1 when the locations are not the observations.
    EXPECT_EQ(L[1].substr(0, 20), "  7, -3.,  52.25,  1");
    std::size_t commas = 0;
    for (char c : L[1]) commas += c == ',';
    EXPECT_EQ(commas, 3u + 33 + 7 - 1);
    EXPECT_NE(L[1].find(",  23., -1., -1.,  0.5,"), std::string::npos) << L[1];
}

TEST(ResultsCsv, UncreatableFileIsAnInputOutputFailure) {
    tempdir t;
    harness h;
    fill(*h.s, 1, t.file("no/such/folder/est.csv"), true);
    EXPECT_THROW(gwr::wr_csv(*h.s), gwr::io_error);
}

}  // namespace
