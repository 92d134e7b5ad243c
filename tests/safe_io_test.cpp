// Safe input and output: inputs that are no text files, over-long lines,
// byte-order marks, spherical coordinates that are no degrees, result files
// that would replace an input, and result files written whole or not at all.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "control/control.h"
#include "control/stop.h"
#include "control/textin.h"
#include "results/results.h"
#include "results/written.h"
#include "support/testing.h"

using testing_support::harness;
using testing_support::lines;
using testing_support::read_file;
using testing_support::run_tzm;
using testing_support::tempdir;

namespace fs = std::filesystem;

namespace {

// A Gaussian model of the Columbus data (CRIME on INC and HOVAL, fixed
// bandwidth); `over` replaces record k.
std::string model(std::map<int, std::string> over = {}) {
    std::map<int, std::string> r = {
        {1, "columbus.csv"}, {2, ""},   {3, "res.csv"}, {4, "4"},  {5, "2,3,0"}, {6, "Safe files"},
        {7, "FFFFTTFFFFFFF"}, {8, "fnn"}, {9, "8"},      {10, "0"}, {11, "0"},    {12, "1"},
        {13, "0"},            {14, "0"}, {15, "2"},      {16, "1"},
    };
    for (auto& [k, v] : over) r[k] = v;
    std::string t;
    for (auto& [k, v] : r) t += v + "\n";
    return t;
}

struct folder {
    tempdir dir;
    folder() { fs::copy_file(fs::path(EXAMPLES_DIR) / "columbus.csv", dir.path / "columbus.csv"); }
    // The names in the folder, sorted.
    std::vector<std::string> names() const {
        std::vector<std::string> v;
        for (auto& e : fs::directory_iterator(dir.path)) v.push_back(e.path().filename().string());
        std::sort(v.begin(), v.end());
        return v;
    }
};

template <class F>
std::string io_message(F f) {
    try {
        f();
    } catch (const gwr::io_error& e) {
        return e.what();
    }
    return "<none>";
}

}  // namespace

TEST(Inputs, DevicesFoldersAndOverlongLinesAreRefused) {
    harness h;
    h.s->files.datfil = "/dev/zero";
    EXPECT_EQ(io_message([&] { gwr::rdlabl(*h.s); }), "the data file '/dev/zero' is not a regular file");
    tempdir dir;
    h.s->files.datfil = dir.path.string();
    EXPECT_EQ(io_message([&] { gwr::rdlabl(*h.s); }),
              "the data file '" + dir.path.string() + "' is not a regular file but a folder");
    h.s->files.locfil = "/dev/null";
    EXPECT_EQ(io_message([&] { gwr::readin(*h.s); }), "the location file '/dev/null' is not a regular file");

    // A line of 1 MiB is read (with or without its CR); one character more
    // is refused, naming the input and the line.
    std::string mib(gwr::max_line, 'x');
    std::istringstream in("a\r\n" + mib + "\r\n" + mib + "y\n");
    std::string line;
    ASSERT_TRUE(gwr::read_line(in, line, 1, "input"));
    EXPECT_EQ(line, "a");
    ASSERT_TRUE(gwr::read_line(in, line, 2, "input"));
    EXPECT_EQ(line.size(), gwr::max_line);
    EXPECT_EQ(io_message([&] { gwr::read_line(in, line, 3, "input"); }),
              "input, line 3: the line is longer than 1 MiB (1048576 characters); is this a text file?");

    // Standard input without line ends, and a data line, through the engine.
    auto r = run_tzm(std::string(3 << 20, '\0'), dir.path);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "tzm: the control file, line 1: the line is longer than 1 MiB (1048576 characters); "
                     "is this a text file?\n");
    dir.write("long.csv", "a,b,c\n1,2,3\n" + mib + "yz\n");
    r = run_tzm(model({{1, "long.csv"}, {4, "1"}, {7, "FFF"}}), dir.path);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "tzm: data file 'long.csv', line 3: the line is longer than 1 MiB (1048576 characters); "
                     "is this a text file?\n");
}

TEST(Inputs, ByteOrderMarksAreSkippedAtTheStartOnly) {
    const std::string bom = "\xEF\xBB\xBF";
    folder f;
    const std::string data = read_file(f.dir.path / "columbus.csv");
    f.dir.write("bom.csv", bom + data);
    f.dir.write("loc.xy", bom + "7 38.8 44.07\n8 35.6 42.38\n");
    auto plain = run_tzm(model({{2, "loc.xy"}, {12, "0"}}), f.dir.path);
    auto marked = run_tzm(bom + model({{1, "bom.csv"}, {2, "loc.xy"}, {12, "0"}}), f.dir.path);
    ASSERT_EQ(plain.status, 0) << plain.err;
    ASSERT_EQ(marked.status, 0) << marked.err;
    auto a = lines(testing_support::mask_times(plain.out)), b = lines(testing_support::mask_times(marked.out));
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i].find("columbus.csv") == std::string::npos) {
            EXPECT_EQ(a[i], b[i]);
        }
    }
    EXPECT_NE(marked.out.find("** Observed data file:        bom.csv"), std::string::npos);

    // Elsewhere a mark is data: here a name of the header that is no number.
    f.dir.write("late.csv", "X,Y,V\n" + bom + "1,2,3\n");
    auto late = run_tzm(model({{1, "late.csv"}, {4, "3"}, {5, "1,2,0"}, {7, "FFF"}}), f.dir.path);
    EXPECT_EQ(late.status, 1);
    EXPECT_NE(late.out.find(" Error reading case  0"), std::string::npos);
}

TEST(Inputs, NoDegreesAndNoLocationsStop) {
    auto read = [](const std::string& text, int isph, std::string& note) {
        tempdir dir;
        harness h;
        h.s->files.datfil = dir.write("d.csv", text);
        gwr::rdlabl(*h.s);
        h.s->option.nvfile = h.s->dat2.nvard;
        testing_support::set_spherical(*h.s, isph == 1);
        h.s->option.ixvar = 2;
        h.s->option.iyvar = 3;
        note = "<none>";
        try {
            gwr::rdata(*h.s);
        } catch (const gwr::stop& st) {
            note = st.note.substr(st.note.find("', ") + 3);
        }
        return lines(h.listing());
    };
    const std::string ok = "ID,LON,LAT\n1,10,45\n2,359.5,-90\n3,-181,90\n";
    std::string note;
    read(ok, 1, note);
    EXPECT_EQ(note, "<none>");
    auto L = read(ok + "\n4,20,90.5\n", 1, note);
    ASSERT_EQ(L.size(), 2u);
    EXPECT_EQ(L[0], "*** Observation 4 (data file line 6): latitude 90.5 is outside -90 to 90");
    EXPECT_EQ(L[1], "*** Spherical coordinates are longitudes and latitudes in degrees... stopping.");
    EXPECT_EQ(note, "line 6, observation 4: latitude 90.5 is outside -90 to 90 degrees");
    read(ok + "4,-400,10\n", 1, note);
    EXPECT_EQ(note, "line 5, observation 4: longitude -400 is outside -360 to 360 degrees");
    read(ok + "4,500000,4649776\n", 0, note);  // Cartesian: any number
    EXPECT_EQ(note, "<none>");

    // A location file: the same test, in degrees before they become radians.
    tempdir dir;
    harness h;
    testing_support::set_spherical(*h.s, true);
    h.s->trig.raddeg = 0.017453292519943295;
    h.s->files.locfil = dir.write("loc.xy", "1 10 45\n2 -10 -89.5\n3 500000 10\n");
    try {
        gwr::readin(*h.s);
        FAIL();
    } catch (const gwr::stop& st) {
        EXPECT_EQ(st.note, "location file '" + h.s->files.locfil + "', line 3: longitude 500000 is outside -360 "
                           "to 360 degrees");
    }
    EXPECT_EQ(lines(h.listing())[0], "*** Location file line 3: longitude 500000 is outside -360 to 360");

    // A location file without locations (blank lines only) has nothing to estimate.
    harness e;
    e.s->files.locfil = dir.write("none.xy", "\n  \n");
    try {
        gwr::readin(*e.s);
        FAIL();
    } catch (const gwr::stop& st) {
        EXPECT_EQ(st.note, "location file '" + e.s->files.locfil + "': no locations read");
    }
    EXPECT_EQ(e.listing(), " Number of calibration points: 0\n*** The location file holds no locations... stopping.\n");
}

TEST(ResultFiles, ThatWouldReplaceAnInputAreRefusedBeforeAnyReading) {
    folder f;
    const std::string data = read_file(f.dir.path / "columbus.csv");
    fs::create_hard_link(f.dir.path / "columbus.csv", f.dir.path / "alias.csv");
    f.dir.write("loc.xy", "1 38.8 44.07\n");
    f.dir.write("points.mid", "1 38.8 44.07\n");
    const std::pair<std::map<int, std::string>, std::string> cases[] = {
        {{{3, "columbus.csv"}}, "the result file 'columbus.csv' is the data file 'columbus.csv'"},
        {{{3, "./alias.csv"}, {12, "2"}}, "the result file './alias.csv' is the data file 'columbus.csv'"},
        {{{2, "loc.xy"}, {3, "loc.xy"}}, "the result file 'loc.xy' is the location file 'loc.xy'"},
        {{{2, "points.mid"}, {3, "points.txt"}, {12, "3"}},
         "the result file 'points.mid' is the location file 'points.mid'"},
    };
    for (const auto& [over, expect] : cases) {
        auto r = run_tzm(model(over), f.dir.path);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.err, "tzm: " + expect + ": refusing to overwrite it (control file record 3)\n");
        EXPECT_EQ(lines(r.out).size(), 16u);  // the banner and the limits, nothing of the run
    }
    EXPECT_EQ(read_file(f.dir.path / "columbus.csv"), data);
    EXPECT_EQ(read_file(f.dir.path / "points.mid"), "1 38.8 44.07\n");

    // No result file asked for, or a GeoPackage (written as columbus.gpkg):
    // the name does no harm.
    for (const char* code : {"0", "4"}) {
        auto r = run_tzm(model({{3, "columbus.csv"}, {12, code}}), f.dir.path);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(read_file(f.dir.path / "columbus.csv"), data);
    }
    EXPECT_TRUE(fs::exists(f.dir.path / "columbus.gpkg"));
}

TEST(ResultFiles, AreWrittenWholeOrNotAtAll) {
    folder f;
    // A .mid that cannot be written leaves the earlier .mif as it was.
    f.dir.write("res.mif", "earlier\n");
    fs::create_directory(f.dir.path / "res.mid");
    auto r = run_tzm(model({{12, "3"}}), f.dir.path);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "tzm: cannot create result file 'res.mid': it is a folder\n");
    EXPECT_EQ(read_file(f.dir.path / "res.mif"), "earlier\n");
    EXPECT_EQ(f.names(), (std::vector<std::string>{"columbus.csv", "res.mid", "res.mif"}));
    fs::remove(f.dir.path / "res.mid");

    // A run replaces an earlier file whole and keeps its permissions; the
    // pair is written, and nothing else is left in the folder.
    f.dir.write("res.csv", "earlier\n");
    fs::permissions(f.dir.path / "res.csv", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    r = run_tzm(model(), f.dir.path);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(lines(read_file(f.dir.path / "res.csv")).size(), 50u);
    EXPECT_EQ(fs::status(f.dir.path / "res.csv").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    r = run_tzm(model({{12, "3"}}), f.dir.path);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(lines(read_file(f.dir.path / "res.mid")).size(), 49u);
    EXPECT_EQ(f.names(), (std::vector<std::string>{"columbus.csv", "res.csv", "res.mid", "res.mif"}));
    // A device is written to directly.
    r = run_tzm(model({{3, "/dev/null"}, {12, "2"}}), f.dir.path);
    EXPECT_EQ(r.status, 0) << r.err;

    // A writer that fails part way leaves neither its temporary file nor a
    // changed result.
    try {
        gwr::written::staged_file file(f.dir.file("res.csv"));
        file.open() << "partial\n";
        EXPECT_EQ(fs::path(file.temp()).parent_path(), f.dir.path);
        EXPECT_EQ(fs::path(file.temp()).extension(), ".csv");
        throw gwr::io_error("failed");
    } catch (const gwr::io_error&) {
    }
    EXPECT_EQ(lines(read_file(f.dir.path / "res.csv")).size(), 50u);
    EXPECT_EQ(f.names(), (std::vector<std::string>{"columbus.csv", "res.csv", "res.mid", "res.mif"}));

    // A library that refuses to create over a file gets a free temporary name.
    {
        gwr::written::staged_file file(f.dir.file("res.gpkg"));
        EXPECT_FALSE(fs::exists(file.vacate()));
        std::ofstream(file.temp(), std::ios::binary) << "made by a library";
        file.commit();
    }
    EXPECT_EQ(read_file(f.dir.path / "res.gpkg"), "made by a library");
}
