// Run control: the control-file reader and its echo, the error stops, the
// observation and location readers, the fit-location set-up and thinning.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <string>

#include "control/control.h"
#include "control/stop.h"
#include "support/testing.h"

using testing_support::harness;
using testing_support::lines;
using testing_support::run_tzm;
using testing_support::tempdir;

namespace {

const char* const columbus_header = "ID,X,Y,CRIME,INC,HOVAL";
const char* const small_data =
    "ID,X,Y,CRIME,INC,HOVAL\n"
    "1,0,0,10,1,5\n"
    "2,1,0,12,2,4\n"
    "3,0,1,15,3,6\n"
    "4,1,1,11,4,8\n";

// A control file of 16 records; `over` replaces record k (1-based) or adds
// line k after record 16.
std::string control(const std::string& datfil, std::map<int, std::string> over = {}) {
    std::map<int, std::string> r = {
        {1, datfil}, {2, ""},  {3, "out.csv"}, {4, "4"},  {5, "2,3,0"}, {6, "A title"},
        {7, "FFFFTT"}, {8, "fnn"}, {9, "2.5"},   {10, "0"}, {11, "1"},    {12, "1"},
        {13, "0"},   {14, "1"},  {15, "5"},      {16, "1"},
    };
    for (auto& [k, v] : over) r[k] = v;
    std::string t;
    for (auto& [k, v] : r) t += v + "\r\n";  // as the front end writes them; 17.. keyword records
    return t;
}

// Runs read1 in-process on a fresh state; returns the listing.
struct reader {
    tempdir dir;
    std::string data;
    std::unique_ptr<harness> h;
    std::string stop_code = "<none>";

    explicit reader(std::map<int, std::string> over = {}, const std::string& datatext = small_data) {
        data = dir.write("data.csv", datatext);
        h = std::make_unique<harness>(control(data, std::move(over)));
        gwr::init(*h->s);
        try {
            gwr::read1(*h->s);
        } catch (const gwr::stop& st) {
            stop_code = st.code;
        }
    }
    gwr::state& s() { return *h->s; }
    std::string listing() const { return h->listing(); }
};

bool contains_line(const std::string& listing, const std::string& line) {
    for (const auto& l : lines(listing))
        if (l == line) return true;
    return false;
}

}  // namespace

TEST(ControlFile, EchoOfAModelAndTheSettings) {
    reader r;
    ASSERT_EQ(r.stop_code, "<none>");
    auto L = lines(r.listing());
    ASSERT_GE(L.size(), 25u);
    EXPECT_EQ(L[0], std::string("A title") + std::string(73, ' '));
    EXPECT_EQ(L[1], "** Observed data file:        " + (r.data + std::string(40, ' ')).substr(0, 40));
    EXPECT_EQ(L[2], "** Prediction location file:  Estimation at sample point locations    ");
    EXPECT_EQ(L[3], "** Result output file:        out.csv                                 ");
    EXPECT_EQ(L[4], " ");
    EXPECT_EQ(L[5], "** Variables in the data file...");
    EXPECT_EQ(L[6], " ID       X        Y        CRIME    INC      HOVAL   ");
    EXPECT_EQ(L[7], " ");
    EXPECT_EQ(L[8], "** Dependent (y) variable..........CRIME   ");
    EXPECT_EQ(L[9], "** Easting  (x-coord) variable.....X       ");
    EXPECT_EQ(L[10], "** Northing (y-coord) variable.....Y       ");
    EXPECT_EQ(L[11], "** No weight variable specified");
    EXPECT_EQ(L[12], "** Independent variables in your model...");
    EXPECT_EQ(L[13], " INC      HOVAL   ");
    EXPECT_EQ(L[14], "** Kernel type:  Fixed");
    EXPECT_EQ(L[15], "** Kernel shape: Gaussian");
    EXPECT_EQ(L[16], "** User supplied bandwidth");
    EXPECT_EQ(L[17], "** Bandwidth is        2.50000 coordinate units");
    EXPECT_EQ(L[18], "** No calibration history requested");
    EXPECT_EQ(L[19], "** Prediction report requested");
    EXPECT_EQ(L[20], "** Output estimates to be written to .txt file");
    EXPECT_EQ(L[21], "** No significance test for spatial variation");
    EXPECT_EQ(L[22], "** Casewise diagnostics to be printed");
    EXPECT_EQ(L[23], " ");
    EXPECT_EQ(L[24], "*** Analysis method ***");
    EXPECT_EQ(L[25], "*** Geographically weighted log-odds ratios");
    EXPECT_EQ(L[26], "** Cartesian coordinates: Euclidean Distance");

    const auto& o = r.s().option;
    EXPECT_EQ(o.nvfile, 6);
    EXPECT_EQ(o.idep, 4);
    EXPECT_EQ(o.ncol, 3);
    EXPECT_EQ(o.kertyp, 1);
    EXPECT_EQ(o.kershp, 1);
    EXPECT_EQ(o.icalib, 1);
    EXPECT_EQ(o.ipred, 1);
    EXPECT_EQ(o.iouttp, 1);
    EXPECT_EQ(o.idiag, 1);
    EXPECT_EQ(o.iloc, 1);
    EXPECT_EQ(o.method, 5);
    EXPECT_EQ(o.isph, 0);
    EXPECT_EQ(r.s().output.samepts, 1);
    EXPECT_EQ(r.s().files.calcod, 'n');
    EXPECT_EQ(r.s().files.smpcod, 'n');
    EXPECT_EQ(r.s().dat2.ixvar, 2);
    ASSERT_EQ(r.s().lab1.modlab.size(), 2u);
    EXPECT_EQ(r.s().lab1.modlab[1], "HOVAL   ");
}

TEST(ControlFile, DescriptiveStatisticsFile) {
    // Record 4 holds 0 and record 8 only the kernel letter.
    reader r({{4, "0"}, {8, "f"}, {7, "FFFTTT"}, {15, "1"}});
    ASSERT_EQ(r.stop_code, "<none>");
    EXPECT_EQ(r.listing().find("** Dependent"), std::string::npos);
    EXPECT_TRUE(contains_line(r.listing(), "** Statistics required for the following..."));
    EXPECT_TRUE(contains_line(r.listing(), " CRIME    INC      HOVAL   "));
    EXPECT_TRUE(contains_line(r.listing(), "*** Geographically weighted descriptive statistics"));
    EXPECT_EQ(r.s().option.icalib, 1);
    EXPECT_EQ(r.s().files.calcod, 'n');  // blank letters: n and a
    EXPECT_EQ(r.s().files.smpcod, 'a');
    EXPECT_EQ(r.s().option.ncol, 4);
}

TEST(ControlFile, BandwidthAndCalibrationSettings) {
    {
        reader r({{8, "vnn"}, {9, "45.9"}});
        EXPECT_EQ(r.s().fit5.nnear, 45);
        EXPECT_EQ(r.s().parms.bandw2, 45.9);
        EXPECT_TRUE(contains_line(r.listing(), "** Local sample size is         45 objects "));
        EXPECT_TRUE(contains_line(r.listing(), "** Kernel type:  Adaptive"));
        EXPECT_TRUE(contains_line(r.listing(), "** Kernel shape: Bi-Square"));
    }
    {
        reader r({{8, "fcs"}, {9, "-25"}});
        EXPECT_EQ(r.s().option.icalib, 4);
        EXPECT_EQ(r.s().sampl.smppct, 25.0);
        EXPECT_TRUE(contains_line(r.listing(), "** Bandwidth selection by crossvalidation"));
        EXPECT_TRUE(contains_line(r.listing(), "** Use a sample of regression points"));
        EXPECT_TRUE(contains_line(r.listing(), "*** Sample size is     25.000%"));
    }
    {
        reader r({{8, "vaa"}, {9, "0"}});
        EXPECT_EQ(r.s().option.icalib, 3);
        EXPECT_TRUE(contains_line(r.listing(), "** Bandwidth selection by AICc minimisation"));
        EXPECT_TRUE(contains_line(r.listing(), "** Use all regression points"));
    }
    {
        reader r({{8, "cbs"}, {9, "-10"}});
        EXPECT_EQ(r.s().option.icalib, 7);
        EXPECT_EQ(r.s().option.kershp, 3);
        EXPECT_TRUE(contains_line(r.listing(), "** Kernel shape: Cylinder"));
        EXPECT_TRUE(contains_line(r.listing(), "** Bandwidth selection by BIC minimisation"));
    }
    {
        // An unknown calibration letter writes nothing and leaves the code 0.
        reader r({{8, "fz"}});
        EXPECT_EQ(r.stop_code, "<none>");
        EXPECT_EQ(r.s().option.icalib, 0);
    }
}

TEST(ControlFile, ReportAndTestCodes) {
    reader r({{12, "7"}, {13, "3"}, {10, "5"}, {11, "0"}, {14, "0"}});
    EXPECT_EQ(r.s().option.iouttp, 3);
    EXPECT_EQ(r.s().option.rawout, 7);
    EXPECT_EQ(r.s().option.itest, 0);
    EXPECT_EQ(r.s().option.ihist, 1);
    EXPECT_EQ(r.s().option.ipred, 0);
    EXPECT_TRUE(contains_line(r.listing(), "** Output estimates to be written to .mif file"));
    EXPECT_TRUE(contains_line(r.listing(), "** Calibration history requested"));
    EXPECT_TRUE(contains_line(r.listing(), "** No prediction report requested"));
    EXPECT_TRUE(contains_line(r.listing(), "** No casewise diagnostics requested"));
    EXPECT_EQ(r.listing().find("significance test"), std::string::npos);

    reader m({{13, "-1"}, {12, "2"}});
    EXPECT_EQ(m.s().option.itest, -1);
    EXPECT_TRUE(contains_line(m.listing(), "** Monte Carlo significance tests for spatial variation"));
    EXPECT_TRUE(contains_line(m.listing(), "** Output estimates to be written to .e00 file"));
    reader l({{13, "-2"}, {12, "0"}});
    EXPECT_EQ(l.s().option.itest, -2);
    EXPECT_TRUE(contains_line(l.listing(), "** Leung significance tests for spatial variation"));
    EXPECT_TRUE(contains_line(l.listing(), "** No output estimates to be written to file"));
}

TEST(ControlFile, ModelVariablesLeaveOutTheRoleColumns) {
    // Every column flagged T, weight in column 6: only INC stays.
    reader r({{5, "2,3,6"}, {7, "tttttt"}, {15, "2"}});
    ASSERT_EQ(r.s().lab1.modlab.size(), 2u);  // ID and INC
    EXPECT_EQ(r.s().lab1.modlab[0], "ID      ");
    EXPECT_EQ(r.s().lab1.modlab[1], "INC     ");
    EXPECT_TRUE(contains_line(r.listing(), "** Weight variable for estimation..HOVAL   "));
    reader p({{5, "2,3,6"}, {15, "4"}});
    EXPECT_TRUE(contains_line(p.listing(), "** Offset variable for estimation..HOVAL   "));
    reader q({{15, "4"}});
    EXPECT_TRUE(contains_line(q.listing(), "** No offset variable specified"));
}

TEST(ControlFile, ErrorStops) {
    {
        reader r({{8, "xnn"}});
        EXPECT_EQ(r.stop_code, "98");
        EXPECT_EQ(lines(r.listing()).back(), "Illegal Kernel Choice");
    }
    {
        reader r({{8, "fcx"}});
        EXPECT_EQ(r.stop_code, "97");
        auto L = lines(r.listing());
        ASSERT_GE(L.size(), 23u);
        EXPECT_EQ(L[L.size() - 23], " *** Illegal method/calibration choice");
        EXPECT_EQ(L[L.size() - 22], " Method: CVS, alldat x");
        EXPECT_EQ(L[L.size() - 21], "*********** Control Vector Dump *************");
        EXPECT_EQ(L[L.size() - 20], "number of variables in data file:     6");
        EXPECT_EQ(L[L.size() - 18], "index of dependent variable:          4");
        EXPECT_EQ(L.back(), "not used                              0");
    }
    {
        reader r({{8, "fax"}});
        EXPECT_EQ(r.stop_code, "97");
        EXPECT_NE(r.listing().find(" Method: AIC, alldat x"), std::string::npos);
    }
    {
        reader r({{8, "fbq"}});
        EXPECT_EQ(r.stop_code, "94");
        EXPECT_NE(r.listing().find(" Method: BIC, alldat q"), std::string::npos);
    }
    {
        reader r({{8, "fnn"}, {9, "0"}});
        EXPECT_EQ(r.stop_code, "");
        auto L = lines(r.listing());
        EXPECT_EQ(L[L.size() - 3], "** Bandwidth is        0.00000 coordinate units");
        EXPECT_EQ(L[L.size() - 2], "** User supplied bandwidth is too small");
        EXPECT_EQ(L.back(), "** It must be >0 units ");
    }
    {
        reader r({{8, "vnn"}, {9, "0.7"}});
        EXPECT_EQ(r.stop_code, "");
        EXPECT_EQ(lines(r.listing()).back(), "** It must be >0 objects ");
    }
    {
        reader r({{15, "7"}});
        EXPECT_EQ(r.stop_code, "905");
        EXPECT_EQ(lines(r.listing()).back(), "*** Unknown method choice... stopping.");
    }
    {
        reader r({{16, "3"}});
        EXPECT_EQ(r.stop_code, "906");
        EXPECT_EQ(lines(r.listing()).back(), "*** Unknown coordinate choice... stopping.");
    }
}

TEST(ControlFile, KeywordRecordsAfterRecordSixteen) {
    // Blank lines after record 16 change nothing.
    reader plain({{15, "2"}, {8, "fas"}, {9, "-20"}, {16, "2"}});
    reader blank({{15, "2"}, {8, "fas"}, {9, "-20"}, {16, "2"}, {17, ""}, {18, " \t "}});
    // (Each reader has its own folder: the data-file line differs.)
    auto without_folder = [](const std::string& listing) {
        auto v = lines(listing);
        v.erase(v.begin() + 1);
        return v;
    };
    EXPECT_EQ(without_folder(plain.listing()), without_folder(blank.listing()));
    EXPECT_FALSE(blank.s().run().keys.limits);
    EXPECT_EQ(blank.s().run().keys.epsg, 0);
    EXPECT_EQ(blank.s().run().keys.scale, 1);
    EXPECT_EQ(blank.s().run().keys.inference, 1);
    EXPECT_EQ(blank.s().run().keys.interval, 1);

    // Every keyword, in any order, with blank lines between: the values, and
    // the echo adds exactly its own lines at their places.
    reader r({{15, "2"}, {8, "fas"}, {9, "-20"}, {16, "2"}, {17, "inference 0"}, {18, ""},
              {19, "  limits 1.5\t40 "}, {20, "epsg 4326"}, {21, "scale 0"}, {22, "interval 0"}});
    ASSERT_EQ(r.stop_code, "<none>");
    const auto& k = r.s().run().keys;
    EXPECT_TRUE(k.limits);
    EXPECT_EQ(k.limlo, 1.5);
    EXPECT_EQ(k.limhi, 40.0);
    EXPECT_EQ(k.epsg, 4326);
    EXPECT_EQ(k.scale, 0);
    EXPECT_EQ(k.inference, 0);
    EXPECT_EQ(k.interval, 0);
    auto L = without_folder(r.listing()), P = without_folder(plain.listing());
    auto at = std::find(P.begin(), P.end(), "*** Sample size is     20.000%") - P.begin() + 1;
    P.insert(P.begin() + at, "** Search limits for the bandwidth:       1.50000 to      40.00000 km");
    P.push_back("** Coordinate system of the results: EPSG 4326");
    P.push_back("** Multiscale fits on the predictors as given");
    P.push_back("** Multiscale fits without standard errors");
    P.push_back("** No bandwidth interval after a search by AICc");
    EXPECT_EQ(L, P);

    reader a({{15, "2"}, {8, "vaa"}, {17, "limits 30 200"}});
    EXPECT_TRUE(contains_line(a.listing(), "** Search limits for the local sample size:        30 to       200 objects"));
    reader c({{15, "2"}, {8, "fca"}, {17, "limits 0.25 3"}});
    EXPECT_TRUE(contains_line(c.listing(), "** Search limits for the bandwidth:       0.25000 to       3.00000 coordinate units"));
    reader n({{17, "limits 1 2"}, {18, "scale 1"}, {19, "inference 1"}});
    EXPECT_TRUE(contains_line(n.listing(), "** Search limits not used: no bandwidth search requested"));
    EXPECT_TRUE(contains_line(n.listing(), "** Multiscale fits on standardised predictors"));
    EXPECT_TRUE(contains_line(n.listing(), "** Multiscale fits with standard errors"));
}

TEST(ControlFile, FaultyKeywordRecordsNameTheLine) {
    auto message = [](std::map<int, std::string> over) {
        tempdir dir;
        std::string data = dir.write("data.csv", small_data);
        over[15] = "2";
        harness h(control(data, over));
        gwr::init(*h.s);
        try {
            gwr::read1(*h.s);
        } catch (const gwr::io_error& e) {
            EXPECT_EQ(h.listing(), "");  // before any echo
            return std::string(e.what());
        }
        return std::string("<none>");
    };
    const std::pair<std::string, std::string> cases[] = {
        {"limit 1 2", "unknown keyword 'limit' (the records after record 16 may be limits, epsg, scale, inference or interval)"},
        {"limits 10", "'limits LO HI' expected, the line holds 1 value(s)"},
        {"limits 1 2 3", "'limits LO HI' expected, the line holds 3 value(s)"},
        {"limits 1,2", "'limits LO HI' expected, the line holds 1 value(s)"},
        {"limits 1 x", "'x' is not a number (limits LO HI)"},
        {"limits 200 100", "'limits 200 100': the lower limit must be below the upper one"},
        {"limits 5 5", "'limits 5 5': the lower limit must be below the upper one"},
        {"limits -5 100", "'limits -5 100': the limits must be above 0"},
        {"limits 0 100", "'limits 0 100': the limits must be above 0"},
        {"epsg 27700.0", "'27700.0' is not an integer (epsg CODE)"},
        {"epsg 0", "'epsg 0': the code must be above 0"},
        {"scale 2", "'scale 2': the value must be 0 or 1"},
    };
    for (const auto& [line, expect] : cases)
        EXPECT_EQ(message({{17, line}}), "control file line 17: " + expect) << line;
    // After a blank line, a second record of one keyword, adaptive sizes.
    EXPECT_EQ(message({{17, ""}, {18, "scale 0"}, {19, "scale 0"}}), "control file line 19: a second 'scale' record");
    EXPECT_EQ(message({{8, "vaa"}, {17, "limits 10.5 100"}}),
              "control file line 17: 'limits 10.5 100': the adaptive kernel's sizes are whole numbers up to 80000");
    EXPECT_EQ(message({{8, "vaa"}, {17, "limits 10 80001"}}),
              "control file line 17: 'limits 10 80001': the adaptive kernel's sizes are whole numbers up to 80000");
    EXPECT_EQ(message({{8, "faa"}, {17, "limits 10 80001"}}), "<none>");
}

TEST(ControlFile, ColumnNumbersOutsideTheDataFileStop) {
    reader r({{5, "2,14,0"}});
    EXPECT_EQ(r.stop_code, "");
    EXPECT_NE(r.listing().find("*** Control record  5: column     14 for the y coordinate is not a column"),
              std::string::npos)
        << r.listing();
    reader d({{4, "0"}, {15, "2"}});
    EXPECT_EQ(d.stop_code, "");
    EXPECT_NE(d.listing().find("*** Control record  4: column      0 for the dependent variable"), std::string::npos);
    reader w({{5, "2,3,-1"}});
    EXPECT_EQ(w.stop_code, "");
    EXPECT_NE(w.listing().find("for the weight variable"), std::string::npos);
}

TEST(ControlFile, LongFileNamesAreNotCut) {
    tempdir dir;
    std::string deep = (dir.path / std::string(90, 'd')).string();
    std::filesystem::create_directories(deep);
    std::string data = deep + "/observations.csv";
    std::ofstream(data) << small_data;
    harness h(control(data));
    gwr::init(*h.s);
    gwr::read1(*h.s);
    EXPECT_EQ(h.s->files.datfil, data);
    EXPECT_EQ(h.s->option.nvfile, 6);
    EXPECT_TRUE(contains_line(h.listing(), "** Observed data file:        " + data.substr(0, 40)));
}

TEST(ControlFile, HeaderWithMoreNamesThanTheLimit) {
    std::string header = "X,Y";
    for (int i = 3; i <= 60; ++i) header += ",V" + std::to_string(i);
    std::string flags(60, 'F');
    reader r({{4, "3"}, {5, "1,2,0"}, {7, flags}, {15, "2"}}, header + "\n");
    ASSERT_EQ(r.stop_code, "<none>");
    EXPECT_EQ(r.s().option.nvfile, 60);
    // Eight names a line: 52 names fill seven lines.
    auto L = lines(r.listing());
    int names = 0;
    for (std::size_t i = 6; i < L.size() && L[i] != " "; ++i) ++names;
    EXPECT_EQ(names, 7);
    EXPECT_EQ(r.listing().find("V53"), std::string::npos);
    // The run stops for too many variables before any record is read.
    EXPECT_THROW(gwr::rdata(r.s()), gwr::stop);
    auto tail = lines(r.listing());
    EXPECT_EQ(tail[tail.size() - 2], "** Too many variables are present in your data file **");
    EXPECT_EQ(tail.back(), "** Check the program limits... halting **");
}

TEST(ControlFile, MalformedRecordsAreRunTimeFailures) {
    auto fails = [](std::map<int, std::string> over, const std::string& expect) {
        tempdir dir;
        std::string data = dir.write("data.csv", small_data);
        harness h(control(data, over));
        gwr::init(*h.s);
        try {
            gwr::read1(*h.s);
            ADD_FAILURE() << "no failure for " << expect;
        } catch (const gwr::io_error& e) {
            EXPECT_NE(std::string(e.what()).find(expect), std::string::npos) << e.what();
        }
    };
    fails({{4, "four"}}, "control file record 4 (dependent variable column): 'four' is not an integer");
    fails({{9, "wide"}}, "control file record 9 (bandwidth): 'wide' is not a number");
    fails({{7, "FFT"}}, "control file record 7 (model variable flags): 6 letters T or F expected");
    fails({{7, "FFTXTT"}}, "'X' in column 4 is not T or F");
    fails({{1, "/nonexistent/data.csv"}}, "cannot open the data file '/nonexistent/data.csv'");
    // Record 5 short: the read continues on the title line, which is no number.
    fails({{5, "2,3"}}, "control file record 5 (x, y and weight columns), continued on line 6");

    tempdir dir;
    std::string data = dir.write("data.csv", small_data);
    std::string text = control(data);
    text = text.substr(0, text.find("A title"));  // records 1 to 5 only
    harness h(text);
    gwr::init(*h.s);
    try {
        gwr::read1(*h.s);
        ADD_FAILURE();
    } catch (const gwr::io_error& e) {
        EXPECT_STREQ(e.what(), "the control file ends before control file record 6 (title)");
    }
}

TEST(DataFile, HeaderNames) {
    auto names = [](const std::string& header) {
        tempdir dir;
        harness h;
        h.s->files.datfil = dir.write("d.csv", header + "\n");
        gwr::rdlabl(*h.s);
        return h.s->lab1.varlab;
    };
    auto v = names("ID,X,Y,Income per head,Pop");
    ASSERT_EQ(v.size(), 5u);
    EXPECT_EQ(v[3], "Income p");
    EXPECT_EQ(v[4], "Pop     ");
    EXPECT_EQ(names("a,b,").size(), 2u);
    auto lead = names(",a");
    ASSERT_EQ(lead.size(), 2u);
    EXPECT_EQ(lead[0], "        ");
    EXPECT_EQ(lead[1], "a       ");
    auto blanks = names("x, y");
    EXPECT_EQ(blanks[1], " y      ");
    EXPECT_EQ(names("a,,b   ").size(), 3u);

    tempdir dir;
    harness h;
    h.s->files.datfil = dir.write("d.csv", "    \nsomething\n");
    EXPECT_THROW(gwr::rdlabl(*h.s), gwr::stop);
    EXPECT_EQ(h.listing(), " No labels on first record in data file...?\n");
}

namespace {

// Reads the records of a data file with `nv` columns into a fresh state.
struct data_reader {
    tempdir dir;
    harness h;
    explicit data_reader(const std::string& text) {
        h.s->files.datfil = dir.write("d.csv", text);
        gwr::rdlabl(*h.s);
        h.s->option.nvfile = h.s->dat2.nvard;
    }
};

}  // namespace

TEST(DataFile, RecordsAndTheWarningsAboutTheirReading) {
    data_reader r("a,b,c,d\n1,2,,4\n\n  5 6\t7\n 8 , 9\n10 11 12 13 14 15\n,17,\n16,17\n18\n");
    gwr::rdata(*r.h.s);
    const auto& s = *r.h.s;
    // The last observation is cut short by the end of the file: not counted.
    ASSERT_EQ(s.run().n, 4);
    EXPECT_EQ(s.struc1.datmat(0, 2), 0.0);
    EXPECT_EQ(s.struc1.datmat(0, 3), 4.0);
    EXPECT_EQ(s.struc1.datmat(1, 2), 7.0);  // continued over two lines
    EXPECT_EQ(s.struc1.datmat(1, 3), 8.0);
    EXPECT_EQ(s.struc1.datmat(2, 0), 10.0);  // values beyond the fourth ignored
    EXPECT_EQ(s.struc1.datmat(2, 3), 13.0);
    EXPECT_EQ(s.struc1.datmat(3, 0), 0.0);  // ",17," continued by "16,17"
    EXPECT_EQ(s.struc1.datmat(3, 2), 16.0);
    EXPECT_EQ(s.struc2.xobs.size(), 4u);
    // The reading stays as documented, but says what it did.
    const std::string warnings[] = {
        "2 empty fields were read as 0; the first is variable 3 (c) of observation 1 (line 2)",
        "2 observations continued on a following line; the first ran short on line 4",
        "the file ends inside an observation begun on line 9; it was not used",
    };
    EXPECT_EQ(r.h.listing(), " Number of data cases read: 4\n** Warning: " + warnings[0] + "\n** Warning: " +
                                 warnings[1] + "\n** Warning: " + warnings[2] +
                                 "\n** Check the data file for missing values\n");
    const std::string file = "tzm: warning: data file '" + s.files.datfil + "': ";
    EXPECT_EQ(r.h.err.str(), file + warnings[0] + "\n" + file + warnings[1] + "\n" + file + warnings[2] +
                                 "\ntzm: warning: check the data file '" + s.files.datfil +
                                 "' for missing values\n");
}

TEST(DataFile, FewerObservationsThanParametersStop) {
    auto read = [](const std::string& text, int method, int ncol, std::string& note) {
        data_reader r(text);
        testing_support::describe(*r.h.s, [method](gwr::run_description& d) { d.method = gwr::method_of(method); });
        r.h.s->option.ncol = ncol;
        try {
            gwr::rdata(*r.h.s);
            note = "<none>";
        } catch (const gwr::stop& st) {
            EXPECT_EQ(st.code, "");
            note = st.note.substr(st.note.find("': ") + 3);
        }
        return r.h.listing();
    };
    std::string note;
    // A header and nothing else: no local statistics either.
    EXPECT_EQ(read("a,b\n", 1, 3, note), " Number of data cases read: 0\n"
                                         "*** Too few observations in the data file: 0 observations read, the "
                                         "model needs at least 1\n*** Too few observations... stopping.\n");
    EXPECT_EQ(note, "0 observations read, the model needs at least 1");
    read("a,b,c\n1,2,3\n4,5,6\n", 2, 3, note);
    EXPECT_EQ(note, "2 observations read, the model needs at least 3");
    read("a,b,c\n1,2,3\n4,5,6\n7,8,9\n", 4, 3, note);
    EXPECT_EQ(note, "<none>");
}

TEST(DataFile, BadRecordEndsWithStatusOne) {
    std::string text = "a,b\n";
    for (int i = 0; i < 10; ++i) text += std::to_string(i) + "," + std::to_string(2 * i) + "\n";
    text += "11,x\n";
    data_reader r(text);
    try {
        gwr::rdata(*r.h.s);
        FAIL();
    } catch (const gwr::exit_status& e) {
        EXPECT_EQ(e.status, 1);
    }
    EXPECT_EQ(r.h.listing(), " Error reading case  10\n");
}

TEST(DataFile, ObservationLimit) {
    std::string text = "a,b\n";
    text.reserve(80001 * 8);
    for (int i = 0; i < gwr::maxobs; ++i) text += "1,2\n";
    {
        data_reader r(text);
        gwr::rdata(*r.h.s);
        EXPECT_EQ(r.h.s->run().n, gwr::maxobs);
    }
    text += "3,4\n";
    data_reader r(text);
    EXPECT_THROW(gwr::rdata(*r.h.s), gwr::stop);
    EXPECT_EQ(r.h.listing(),
              "** The number of observations in your data file is more than the program capacity **\n"
              "** Check the program limits... halting **\n");
}

namespace {

struct located {
    tempdir dir;
    harness h;
    located(const std::string& locations, int isph = 0) {
        gwr::init(*h.s);
        auto& s = *h.s;
        testing_support::set_spherical(s, isph == 1);
        s.set_observation_count(3);
        s.size_obs(3);
        s.struc2.xobs = {0.5, 1.0, 2.0};
        s.struc2.yobs = {1.5, 1.0, 0.0};
        testing_support::describe(s, [](gwr::run_description& d) { d.location_file = true; });
        s.files.locfil = dir.write("loc.xy", locations);
    }
};

}  // namespace

TEST(Locations, SameLocationTest) {
    {
        located l("1 0.5 1.5\n2 1.0 1.0\n3 2 0\n");
        EXPECT_TRUE(gwr::fitloc(*l.h.s));
        EXPECT_EQ(l.h.s->output.samepts, 1);
        EXPECT_EQ(l.h.s->option.iloc, 1);
        EXPECT_EQ(l.h.s->option.nfit, 3);
        EXPECT_EQ(l.h.listing(), " Number of calibration points: 3\n");
    }
    {
        located l("1 1.0 1.0\n2 0.5 1.5\n3 2 0\n");  // same points, other order
        gwr::fitloc(*l.h.s);
        EXPECT_EQ(l.h.s->output.samepts, 0);
        EXPECT_EQ(l.h.s->option.iloc, 2);
    }
    {
        located l("7,10,20\n9,30,40\n");
        gwr::fitloc(*l.h.s);
        EXPECT_EQ(l.h.s->output.samepts, 0);
        EXPECT_EQ(l.h.s->fit3.nloc, 2);
        EXPECT_EQ(l.h.s->fit2.fitid[1], 9);
        EXPECT_EQ(l.h.s->fit1.yfit[1], 40.0);
    }
    {
        located l("1 90 45\n", 1);
        gwr::fitloc(*l.h.s);
        EXPECT_DOUBLE_EQ(l.h.s->fit1.xfit[0], 3.141592653589793 / 2);
        EXPECT_DOUBLE_EQ(l.h.s->fit1.yfit[0], 3.141592653589793 / 4);
    }
    {
        // At the observation points: copied, identifiers 1..n.
        located l("");
        testing_support::describe(*l.h.s, [](gwr::run_description& d) { d.location_file = false; });
        EXPECT_FALSE(gwr::fitloc(*l.h.s));
        EXPECT_EQ(l.h.s->fit3.nloc, 3);
        EXPECT_EQ(l.h.s->fit2.fitid[2], 3);
        EXPECT_EQ(l.h.s->fit1.xfit[2], 2.0);
        EXPECT_EQ(l.h.listing(), "");
    }
}

TEST(Locations, BadRecordsAndTheLimit) {
    located bad("1 2 3\n2 x 4\n");
    try {
        gwr::fitloc(*bad.h.s);
        FAIL();
    } catch (const gwr::io_error& e) {
        EXPECT_NE(std::string(e.what()).find("line 2: 'x' is not a number (x coordinate)"), std::string::npos);
    }
    std::string many;
    for (int i = 0; i <= gwr::maxloc; ++i) many += "1 2 3\n";
    located big(many);
    EXPECT_THROW(gwr::fitloc(*big.h.s), gwr::stop);
    EXPECT_EQ(big.h.listing(),
              "** The number of estimation locations in your file is more than the program capacity **\n"
              "** Check the program limits... halting **\n");
    located missing("");
    missing.h.s->files.locfil = "/nonexistent/loc.xy";
    EXPECT_THROW(gwr::fitloc(*missing.h.s), gwr::io_error);
}

TEST(Locations, Thinning) {
    auto thinned = [](int n) {
        harness h;
        h.s->fit3.nloc = n;
        for (int i = 0; i < n; ++i) {
            h.s->fit1.xfit.push_back(i);
            h.s->fit1.yfit.push_back(-i);
        }
        gwr::thin(*h.s);
        std::vector<double> kept(h.s->fit1.xfit.begin(), h.s->fit1.xfit.begin() + h.s->fit3.nloc);
        return std::make_pair(kept, h.listing());
    };
    auto [all, line] = thinned(100);
    EXPECT_EQ(all.size(), 100u);  // p >= 1 keeps every location
    EXPECT_EQ(line, "   1. 100\n");
    auto [a, la] = thinned(5000);
    auto [b, lb] = thinned(5000);
    EXPECT_EQ(a, b);  // the same subset every time
    EXPECT_GT(a.size(), 50u);
    EXPECT_LT(a.size(), 150u);
    EXPECT_TRUE(std::is_sorted(a.begin(), a.end()));  // order kept
    EXPECT_EQ(la, "   0.0199999996 " + std::to_string(a.size()) + "\n");
}

TEST(Engine, ListingFrameAndExitStatuses) {
    tempdir dir;
    dir.write("data.csv", std::string(small_data) + "garbage that is never read\n");

    // Method 5: the whole echo, then straight to the closing lines.
    auto ok = run_tzm(control("data.csv"), dir.path);
    EXPECT_EQ(ok.status, 0);
    EXPECT_EQ(ok.err, "");
    auto L = lines(ok.out);
    ASSERT_GT(L.size(), 20u);
    EXPECT_EQ(L[0], std::string(49, '*'));
    EXPECT_EQ(L[1], "*       Geographically Weighted Regression      *");
    EXPECT_EQ(L[8], std::string(49, '*'));
    for (int i = 0; i < 9; ++i) EXPECT_EQ(L[i].size(), 49u);
    EXPECT_EQ(L[9].rfind("Program starts at: ", 0), 0u);
    EXPECT_EQ(L[9].size(), 19u + 24u);
    EXPECT_EQ(L[10], " ");
    EXPECT_EQ(L[11], "** Program limits:");
    EXPECT_EQ(L[12], "** Maximum number of variables.....     52");
    EXPECT_EQ(L[13], "** Maximum number of observations..  80000");
    EXPECT_EQ(L[14], "** Maximum number of fit locations.  80000");
    EXPECT_EQ(L[15], " ");
    EXPECT_EQ(L[L.size() - 3], "** Cartesian coordinates: Euclidean Distance");
    EXPECT_EQ(L[L.size() - 2], " ");
    EXPECT_EQ(L.back().rfind("Program terminates normally at: ", 0), 0u);
    EXPECT_EQ(ok.out.find("Error reading"), std::string::npos);

    // An error stop with a code: the stop text on standard error, status 3,
    // no closing lines.
    auto bad = run_tzm(control("data.csv", {{15, "0"}}), dir.path);
    EXPECT_EQ(bad.status, 3);
    EXPECT_EQ(bad.err, "STOP 905 statement executed\n");
    EXPECT_EQ(lines(bad.out).back(), "*** Unknown method choice... stopping.");

    // A stop without code writes nothing on standard error.
    auto nocode = run_tzm(control("data.csv", {{9, "-1"}}), dir.path);
    EXPECT_EQ(nocode.status, 3);
    EXPECT_EQ(nocode.err, "");

    // Other failures: one line on standard error, non-zero status; the
    // listing still begins with the banner and the limits.
    auto empty = run_tzm("", dir.path);
    EXPECT_EQ(empty.status, 2);
    EXPECT_EQ(empty.err, "tzm: the control file ends before control file record 1 (data file name)\n");
    EXPECT_EQ(lines(empty.out).size(), 16u);
    auto missing = run_tzm(control("absent.csv"), dir.path);
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.err.find("cannot open the data file 'absent.csv'"), std::string::npos);
}
