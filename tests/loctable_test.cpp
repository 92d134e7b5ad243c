// Location files in table form: columns found by the data file's names,
// identifiers, predictor values and offsets, the warnings of the data
// file's reader, the tables that are refused, and the three-number form
// read as before.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "control/control.h"
#include "control/stop.h"
#include "support/testing.h"

namespace {

using testing_support::harness;
using testing_support::tempdir;

// A state as read1 leaves it for the data file ID,X,Y,DEP,P1,P2,POP with
// DEP on P1 and P2 (POP the weight or offset when `offset`).
void describe(gwr::state& s, int method, bool offset) {
    gwr::init(s);
    testing_support::describe(s, [method](gwr::run_description& d) { d.method = gwr::method_of(method); });
    s.option.method = method;
    s.option.nvfile = 7;
    s.option.idep = 4;
    s.option.ixvar = 2;
    s.option.iyvar = 3;
    s.option.iwvar = offset ? 7 : 0;
    s.lab1.varful = {"ID", "X", "Y", "DEP", "P1", "P2", "POP"};
    s.dat2.inmod = {0, 0, 0, 0, 1, 1, 0};
}

std::string read_error(harness& h) {
    try {
        gwr::readin(*h.s);
    } catch (const gwr::io_error& e) {
        return e.what();
    }
    return "no error";
}

TEST(LocationTable, ColumnsByNameIdentifiersPredictorsOffsetsAndWarnings) {
    tempdir dir;
    {
        // Any order of the columns, a column the model does not use, an
        // empty field, a record continued on the next line.
        harness h;
        describe(*h.s, 4, true);
        h.s->files.locfil = dir.write("t.csv",
                                      "\xEF\xBB\xBF  POP , P2,X,Y,NOTE,P1,ID\r\n"
                                      "2.5,0.5,10,20,7,1.5,101\r\n"
                                      "\n"
                                      "1,,11,21,7,-2,102\n"
                                      "3,4,12\n"
                                      "22,0,3,103\n");
        gwr::readin(*h.s);
        const gwr::state& s = *h.s;
        ASSERT_EQ(s.fit3.nloc, 3);
        EXPECT_EQ(s.fit2.fitid, (std::vector<int>{101, 102, 103}));
        EXPECT_EQ(s.fit1.xfit, (std::vector<double>{10, 11, 12}));
        EXPECT_EQ(s.fit1.yfit, (std::vector<double>{20, 21, 22}));
        ASSERT_TRUE(s.pred.active);
        ASSERT_EQ(s.pred.x0.cols, 3);
        const double want[3][3] = {{1, 1.5, 0.5}, {1, -2, 0}, {1, 3, 4}};
        for (int i = 0; i < 3; ++i)
            for (int k = 0; k < 3; ++k) EXPECT_EQ(s.pred.x0(i, k), want[i][k]) << i << "," << k;
        EXPECT_EQ(s.pred.off0, (std::vector<double>{2.5, 1, 3}));
        EXPECT_EQ(h.listing(),
                  " Number of calibration points: 3\n"
                  "** Location table: identifiers from column ID\n"
                  "** Location table with predictor values: predictions at every location\n"
                  "** Offsets at the locations from column POP\n"
                  "** Warning: 1 empty field was read as 0; the first is column 2 (P2) of location 2 (line 4)\n"
                  "** Warning: 1 location continued on a following line; the first ran short on line 5\n"
                  "** Check the location file for missing values\n");
        EXPECT_EQ(h.err.str(),
                  "tzm: warning: location file '" + s.files.locfil +
                      "': 1 empty field was read as 0; the first is column 2 (P2) of location 2 (line 4)\n"
                      "tzm: warning: location file '" + s.files.locfil +
                      "': 1 location continued on a following line; the first ran short on line 5\n"
                      "tzm: warning: check the location file '" + s.files.locfil + "' for missing values\n");
    }
    {
        // No identifier column, no predictors, longitudes and latitudes: a
        // plain list of places, numbered, in radians.
        harness h;
        describe(*h.s, 2, false);
        testing_support::set_spherical(*h.s, true);
        h.s->files.locfil = dir.write("s.csv", "Y,X\n52,-3\n51.5,-2.5\n");
        gwr::readin(*h.s);
        const gwr::state& s = *h.s;
        EXPECT_FALSE(s.pred.active);
        EXPECT_EQ(s.fit2.fitid, (std::vector<int>{1, 2}));
        EXPECT_DOUBLE_EQ(s.fit1.xfit[1], -2.5 * s.trig.raddeg);
        EXPECT_DOUBLE_EQ(s.fit1.yfit[1], 51.5 * s.trig.raddeg);
        EXPECT_NE(h.listing().find("** Location table: the locations are numbered in the order of the file\n"
                                   "** Location table without predictor values: locations only\n"),
                  std::string::npos);
    }
    {
        // The data file's first column has a part in the model: it is no
        // identifier.  A Poisson table without the offset column.
        harness h;
        describe(*h.s, 4, true);
        h.s->dat2.inmod = {1, 0, 0, 0, 1, 1, 0};
        h.s->files.locfil = dir.write("u.csv", "X,Y,ID,P1,P2\n1,2,7,0.5,0.25\n");
        gwr::readin(*h.s);
        EXPECT_EQ(h.s->fit2.fitid, std::vector<int>{1});
        ASSERT_EQ(h.s->pred.x0.cols, 4);
        EXPECT_EQ(h.s->pred.x0(0, 1), 7.0);
        EXPECT_EQ(h.s->pred.off0, std::vector<double>{1.0});
        EXPECT_NE(h.listing().find("** No offset column in the location table: offsets of 1 at the locations\n"),
                  std::string::npos);
    }
    {
        // Three numbers per line, words after them ignored as always: no table.
        harness h;
        describe(*h.s, 2, false);
        h.s->files.locfil = dir.write("p.xy", "\n1, 38.8, 44.07 first place\n2 1 2\n");
        gwr::readin(*h.s);
        EXPECT_FALSE(h.s->pred.table);
        EXPECT_EQ(h.s->fit2.fitid, (std::vector<int>{1, 2}));
        EXPECT_EQ(h.s->fit1.yfit, (std::vector<double>{44.07, 2}));
        EXPECT_EQ(h.listing(), " Number of calibration points: 2\n");
    }
}

TEST(LocationTable, RefusesTablesItCannotUse) {
    tempdir dir;
    struct kase {
        const char* text;
        bool offset;
        std::string message;  // after "location file '<name>', line "
    };
    const kase cases[] = {
        {"ID,Y,P1,P2\n1,2,3,4\n", false, "1: the header line names no column 'X' (the x coordinate of the data file)"},
        {"X,Y,P1\n1,2,3\n", false,
         "1: the table holds some independent variables of the model but not P2 (predictions need all of them)"},
        {"X,Y,P1,X\n1,2,3,4\n", false, "1: the header line names the column 'X' twice"},
        {"ID,X,Y\n1.5,2,3\n", false, "2: '1.5' is not a whole number (identifier column ID)"},
        {"X,Y\n\n1,2\n3,north\n", false, "4: 'north' is not a number (column Y)"},
        {"X,Y,P1,P2,POP\n1,2,3,4,0\n", true, "2: the offset 0 (column POP) is not above 0"},
    };
    for (const kase& k : cases) {
        SCOPED_TRACE(k.text);
        harness h;
        describe(*h.s, 4, k.offset);
        h.s->files.locfil = dir.write("bad.csv", k.text);
        EXPECT_EQ(read_error(h), "location file '" + h.s->files.locfil + "', line " + k.message);
    }
}

}  // namespace
