// Reading control-file records and data-file headers back exactly as the
// engine reads them, under a German locale as under any other: the front
// end's reader is checked against the engine's own routines, linked into
// this test only.
#include "engine_numbers.h"
#include "open_control.h"
#include "shared.h"
#include "support/scripted_toolkit.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QListWidget>
#include <QTemporaryDir>

#include <clocale>
#include <cstring>
#include <sstream>

#include "control/control.h"
#include "control/stop.h"
#include "format/format.h"

namespace {

// Runs the test body under de_DE.UTF-8, where the C library's decimal
// separator is a comma, and restores the locale after.  The engine program
// never sets a locale: its routines are run in the "C" locale (engine()).
class GermanLocale : public ::testing::Test {
protected:
    template <class F>
    auto engine(F f)
    {
        std::setlocale(LC_ALL, "C");
        auto r = f();
        std::setlocale(LC_ALL, "de_DE.UTF-8");
        return r;
    }

    void SetUp() override
    {
        old_ = std::setlocale(LC_ALL, nullptr);
        ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr) << "the de_DE.UTF-8 locale is not installed";
        ASSERT_STREQ(std::localeconv()->decimal_point, ",");
    }
    void TearDown() override { std::setlocale(LC_ALL, old_.c_str()); }

private:
    std::string old_;
};

class EngineRules : public GermanLocale {};

TEST_F(EngineRules, NumbersAreReadAsTheEngineReadsThem)
{
    const char* fields[] = {"4.5", "4,5", "4", "-25", "+3", " 7 ", "\t8\r", "4.0", "1e1", "1E+2", "2.5d0",
                            "2.5D-1", ".5", "5.", "0x10", "1e", "e5", "-", "", "inf", "nan", "1e400", "1e-400",
                            "2147483647", "2147483648", "-2147483648", "-2147483649", "1 2", "12a", "0.1",
                            "123456789012345678901234567890", "3.14159265358979323846264338327950288"};
    for (const char* f : fields) {
        int ei = 0;
        long fi = 0;
        const bool eInt = engine([&] { return ftn::parse_int(f, ei); });
        EXPECT_EQ(engine_int(f, fi), eInt) << '"' << f << '"';
        if (eInt)
            EXPECT_EQ(fi, ei) << f;
        double er = 0, fr = 0;
        const bool eReal = engine([&] { return ftn::parse_real(f, er); });
        EXPECT_EQ(engine_real(f, fr), eReal) << '"' << f << '"';
        if (eReal)
            EXPECT_EQ(std::memcmp(&fr, &er, sizeof fr), 0) << f << ": " << fr << " against " << er;
        // The editors' own boxes follow the same rule.
        double pr = 0;
        EXPECT_EQ(parse_number(f, pr), eReal) << f;
    }
}

TEST_F(EngineRules, ListsContinueAcrossLinesAsTheEngineReadsThem)
{
    const struct {
        const char* text;
        int count;
    } cases[] = {{"2,3,0", 3},      {" 2 , 3,0  ", 3}, {"2 3\t0 junk", 3}, {",5", 2},      {"5,", 2},
                 {"   \n\n7", 1},   {"2,3\n0", 3},     {"3*1", 3},         {"2*,4", 3},     {"1/", 3},
                 {"'4.5' \"x\"", 2}, {"4,5", 1},        {"1,,2", 3},        {"\n", 1},       {"a'b", 1},
                 {"2 , , 3", 3},    {"\t1\r", 1},      {"1 2\n3 4", 3},    {"0*5 6", 2},    {"12*", 1}};
    for (const auto& c : cases) {
        QStringList lines = QString(c.text).split('\n');
        std::vector<std::string> stdLines;
        for (const QString& l : lines)
            stdLines.push_back(l.toStdString());
        std::size_t at = 0;
        std::vector<std::optional<std::string>> expected;
        const bool eOk = ftn::ldread(
            [&](std::string& l) {
                if (at >= stdLines.size())
                    return false;
                l = stdLines[at++];
                return true;
            },
            c.count, expected);
        qsizetype next = 0;
        QList<std::optional<QString>> got;
        ASSERT_EQ(engine_list(lines, next, c.count, got), eOk) << c.text;
        EXPECT_EQ(std::size_t(next), at) << c.text;
        ASSERT_EQ(std::size_t(got.size()), expected.size()) << c.text;
        for (std::size_t k = 0; k < expected.size(); ++k) {
            EXPECT_EQ(got[k].has_value(), expected[k].has_value()) << c.text << " value " << k;
            if (got[k] && expected[k])
                EXPECT_EQ(got[k]->toStdString(), *expected[k]) << c.text << " value " << k;
        }
    }
}

TEST_F(EngineRules, HeadersSplitAsTheEngineSplitsThem)
{
    tk::testing::ScriptedToolkit t;
    QTemporaryDir dir;
    const QByteArray longHeader = "A," + QByteArray(5000, 'b') + ",C";
    const QByteArray headers[] = {"ID,X,Y,Income per head,Pop", "a,b,", "a,b,   ", ",a", "a,,b,", "  a , b  ",
                                  "a\tb,c\t", "x,y\r\r", "p,q\rr,s", longHeader, "a,b\r", QByteArray(4095, 'z') + ",y"};
    for (const QByteArray& h : headers) {
        const QString path = dir.path() + "/d.csv";
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(h + "\n1,2,3\n");
        f.close();

        gwr::state s;
        std::ostringstream listing;
        s.out = &listing;
        s.files.datfil = path.toStdString();
        gwr::rdlabl(s);

        QListWidget list;
        ASSERT_TRUE(file_header_to_list(path, &list));
        ASSERT_EQ(list.count(), s.dat2.nvard) << h.left(60).toStdString();
        for (int i = 0; i < list.count(); ++i) {
            // The engine keeps 8 characters of each name.
            std::string name = list.item(i)->text().toStdString().substr(0, 8);
            name.resize(8, ' ');
            EXPECT_EQ(name, s.lab1.varlab[i]) << h.left(60).toStdString() << " name " << i;
        }
    }
    // A blank header gives no names (the engine stops on it).
    EXPECT_TRUE(split_header("    ").isEmpty());
    EXPECT_TRUE(split_header("").isEmpty());
}

TEST(ControlRecords, LinesEndAtLineFeedsOnly)
{
    // CR LF and LF end a record; a lone CR belongs to its line, as in the
    // engine; an empty line is a record; the final line end opens no extra
    // record, a missing one loses nothing.
    ControlRecords r(QString("a,b\r\n\r\nc\nd\re\n"));
    EXPECT_EQ(r.count(), 4);
    EXPECT_EQ(r.text(), "a,b");
    EXPECT_EQ(r.text(), "");
    EXPECT_EQ(r.text(), "c");
    EXPECT_EQ(r.text(), "d\re");
    EXPECT_TRUE(r.atEnd());
    EXPECT_THROW(r.text(), control_read_error);
    EXPECT_EQ(ControlRecords(QString("x\r\n")).count(), 1);
    EXPECT_EQ(ControlRecords(QString("x\r\ny")).count(), 2);

    // A numeric record left blank takes its value from the next line, as
    // the engine does; a record that is no number is an error.
    ControlRecords n(QString("4 9\n\n\n7\n1.0\n"));
    EXPECT_EQ(n.whole(), 4);
    EXPECT_EQ(n.whole(), 7);
    EXPECT_THROW(n.whole(), control_read_error);
    EXPECT_THROW(item_whole("2.0"), control_read_error);
    EXPECT_THROW(item_value("nan"), control_read_error);
}

TEST(ControlRecords, CommasAndQuotesInTextRecordsStayInPlace)
{
    // A comma in a path or a title neither cuts the record nor shifts the
    // records after it; quotes and blanks are kept as written.
    ControlRecords r(QString("/d/a,b.csv\r\n\r\n/d/out, 2.csv\r\n5\r\n2,3,0\r\n \"Lima, Peru\" \r\n"));
    EXPECT_EQ(r.text(), "/d/a,b.csv");
    EXPECT_EQ(r.text(), "");
    EXPECT_EQ(r.text(), "/d/out, 2.csv");
    EXPECT_EQ(r.whole(), 5);
    long x, y, w;
    r.three(x, y, w);
    EXPECT_EQ(x, 2);
    EXPECT_EQ(y, 3);
    EXPECT_EQ(w, 0);
    EXPECT_EQ(r.text(), " \"Lima, Peru\" ");
}

TEST(ControlRecords, BandwidthKeepsItsTextAndSign)
{
    BandwidthField sample = bandwidth_field("-25");
    EXPECT_TRUE(sample.negative);
    EXPECT_EQ(sample.magnitude, "25");
    EXPECT_DOUBLE_EQ(sample.value, -25.0);

    BandwidthField fixed = bandwidth_field("0.5");
    EXPECT_FALSE(fixed.negative);
    EXPECT_EQ(fixed.magnitude, "0.5");

    // A bandwidth keeps every digit it was written with.
    EXPECT_EQ(bandwidth_field("1234.56789").magnitude, "1234.56789");

    // The lone minus sign of a sample with an empty percentage.
    BandwidthField empty = bandwidth_field("-");
    EXPECT_TRUE(empty.negative);
    EXPECT_TRUE(empty.magnitude.isEmpty());

    EXPECT_FALSE(bandwidth_field("-0").negative);
    EXPECT_FALSE(bandwidth_field("0").negative);
    EXPECT_THROW(bandwidth_field("ten"), control_read_error);
}

TEST(ControlRecords, FlagsAreUpperCaseTOnly)
{
    EXPECT_EQ(model_flags("FFFTT", 5), QList<bool>({false, false, false, true, true}));
    EXPECT_EQ(model_flags("tTfF", 4), QList<bool>({false, true, false, false}));
    EXPECT_EQ(model_flags("TTTT", 2), QList<bool>({true, true}));
    EXPECT_TRUE(model_flags("", 0).isEmpty());
    EXPECT_THROW(model_flags("TF", 3), control_read_error);
}

}  // namespace
