// Reading control-file records back: whole lines, list items, numbers.
#include "open_control.h"

#include <gtest/gtest.h>

TEST(ControlRecords, EveryLineIsOneRecordWhateverItsLineEnd)
{
    // CR LF, LF and a lone CR all end a record; an empty line is a record;
    // the final line end opens no extra record, a missing one loses nothing.
    ControlRecords r(QString("a,b\r\n\r\nc\nd\re"));
    EXPECT_EQ(r.count(), 5);
    EXPECT_EQ(r.text(), "a,b");
    EXPECT_EQ(r.text(), "");
    EXPECT_EQ(r.text(), "c");
    EXPECT_EQ(r.text(), "d");
    EXPECT_EQ(r.text(), "e");
    EXPECT_TRUE(r.atEnd());
    EXPECT_THROW(r.text(), control_read_error);
    EXPECT_EQ(ControlRecords(QString("x\r\n")).count(), 1);
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

TEST(ControlRecords, ListItemsSplitAtCommasAndBlanks)
{
    EXPECT_EQ(list_items("2,3,0"), QStringList({"2", "3", "0"}));
    EXPECT_EQ(list_items("  2 , 3,0  "), QStringList({"2", "3", "0"}));
    EXPECT_EQ(list_items("2 3\t0 junk"), QStringList({"2", "3", "0", "junk"}));
    EXPECT_EQ(list_items(",5"), QStringList({"", "5"}));
    EXPECT_EQ(list_items("5,"), QStringList({"5"}));
    EXPECT_TRUE(list_items("   ").isEmpty());

    long x, y, w;
    ControlRecords shortRecord(QString("2,3\n0\n"));
    EXPECT_THROW(shortRecord.three(x, y, w), control_read_error);
}

TEST(ControlRecords, NumbersMustBeNumbers)
{
    EXPECT_DOUBLE_EQ(item_value("-25"), -25.0);
    EXPECT_DOUBLE_EQ(item_value("1e3"), 1000.0);
    EXPECT_DOUBLE_EQ(item_value(""), 0.0);
    EXPECT_THROW(item_value("abc"), control_read_error);
    EXPECT_THROW(item_value("5x"), control_read_error);
    EXPECT_THROW(item_value("nan"), control_read_error);
    EXPECT_EQ(item_whole("2.0"), 2);
    EXPECT_THROW(item_whole("2.5"), control_read_error);

    // The first item of a numeric record is its value; the rest is ignored.
    ControlRecords r(QString("4 9\n\n"));
    EXPECT_EQ(r.whole(), 4);
    EXPECT_EQ(r.whole(), 0);
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
