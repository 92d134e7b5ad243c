#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <sstream>
#include <stdexcept>

#include "format/format.h"

using ftn::format;
using ftn::items;

namespace {
const double inf = std::numeric_limits<double>::infinity();
const double nan_ = std::numeric_limits<double>::quiet_NaN();
}  // namespace

TEST(FormatText, AWritesOwnLengthOrWColumnsPaddedLeft) {
    EXPECT_EQ(format("(a)", {"hello"}), "hello\n");
    EXPECT_EQ(format("(a)", {""}), "\n");
    EXPECT_EQ(format("(a3)", {"abcdef"}), "abc\n");
    EXPECT_EQ(format("(a6)", {"ab"}), "    ab\n");
    EXPECT_EQ(format("(a4)", {"abcd"}), "abcd\n");
    EXPECT_EQ(format("(6a12)", {"x", "y"}), "           x           y\n");
    EXPECT_EQ(format("(3a1)", {"abc", "d", "efg"}), "ade\n");
}

TEST(FormatInteger, RightJustifiedSignedAndStarsWhenTooWide) {
    EXPECT_EQ(format("(i5)", {42}), "   42\n");
    EXPECT_EQ(format("(i5)", {-42}), "  -42\n");
    EXPECT_EQ(format("(i5)", {0}), "    0\n");
    EXPECT_EQ(format("(i4)", {-100}), "-100\n");
    EXPECT_EQ(format("(i3)", {-100}), "***\n");
    EXPECT_EQ(format("(i3)", {1000}), "***\n");
    EXPECT_EQ(format("(i11)", {-2147483647 - 1}), "-2147483648\n");
    EXPECT_EQ(format("(i12)", {123456789012LL}), "123456789012\n");
}

TEST(FormatFixed, RoundingLeadingZeroSignAndOverflow) {
    EXPECT_EQ(format("(f10.3)", {3.14159}), "     3.142\n");
    EXPECT_EQ(format("(f10.3)", {-3.14159}), "    -3.142\n");
    // Rounded as the binary value is: 0.125 is exact (ties to even), 0.0005
    // and 2.0005 lie just above the tie.
    EXPECT_EQ(format("(f6.2)", {0.125}), "  0.12\n");
    EXPECT_EQ(format("(f6.2)", {0.375}), "  0.38\n");
    EXPECT_EQ(format("(f6.3)", {0.0005}), " 0.001\n");
    EXPECT_EQ(format("(f6.3)", {2.0005}), " 2.001\n");
    EXPECT_EQ(format("(f8.3)", {999.9996}), "1000.000\n");
    EXPECT_EQ(format("(f7.3)", {999.9996}), "*******\n");
    // Leading zero kept when it fits, dropped when only it is too much.
    EXPECT_EQ(format("(f5.3)", {0.5}), "0.500\n");
    EXPECT_EQ(format("(f4.3)", {0.5}), ".500\n");
    EXPECT_EQ(format("(f5.3)", {-0.5}), "-.500\n");
    EXPECT_EQ(format("(f6.3)", {-0.5}), "-0.500\n");
    EXPECT_EQ(format("(f4.3)", {-0.5}), "****\n");
    EXPECT_EQ(format("(f3.3)", {0.5}), "***\n");
    // A negative value that rounds to zero has no minus sign.
    EXPECT_EQ(format("(f7.3)", {-0.0004}), "  0.000\n");
    EXPECT_EQ(format("(f7.3)", {-0.0}), "  0.000\n");
    EXPECT_EQ(format("(f7.3)", {-0.0005001}), " -0.001\n");
    // No decimals still shows the point.
    EXPECT_EQ(format("(f5.0)", {3.7}), "   4.\n");
    EXPECT_EQ(format("(f25.12)", {1.0 / 3.0}), "           0.333333333333\n");
}

TEST(FormatFixed, NonFiniteValues) {
    EXPECT_EQ(format("(f12.3)", {nan_}), "         NaN\n");
    EXPECT_EQ(format("(f12.3)", {inf}), "    Infinity\n");
    EXPECT_EQ(format("(f12.3)", {-inf}), "   -Infinity\n");
    EXPECT_EQ(format("(f8.3)", {-inf}), "********\n");
    EXPECT_EQ(format("(f2.1)", {nan_}), "**\n");
    EXPECT_EQ(format("(e14.7)", {nan_}), "           NaN\n");
}

TEST(FormatExponent, MantissaExponentRoundingAndWidth) {
    EXPECT_EQ(format("(e14.7)", {1234.5}), " 0.1234500E+04\n");
    EXPECT_EQ(format("(e14.7)", {-1234.5}), "-0.1234500E+04\n");
    EXPECT_EQ(format("(e14.7)", {0.0}), " 0.0000000E+00\n");
    EXPECT_EQ(format("(e14.7)", {-0.0}), " 0.0000000E+00\n");
    EXPECT_EQ(format("(e14.7)", {1.0}), " 0.1000000E+01\n");
    EXPECT_EQ(format("(e14.7)", {0.5}), " 0.5000000E+00\n");
    EXPECT_EQ(format("(e14.7)", {-0.000123456789}), "-0.1234568E-03\n");
    // Rounding carries into the exponent.
    EXPECT_EQ(format("(e14.7)", {9.99999999}), " 0.1000000E+02\n");
    EXPECT_EQ(format("(e14.7)", {0.099999999999}), " 0.1000000E+00\n");
    // Three-digit exponents lose the E.
    EXPECT_EQ(format("(e14.7)", {1e100}), " 0.1000000+101\n");
    EXPECT_EQ(format("(e14.7)", {1.5e-200}), " 0.1500000-199\n");
    EXPECT_EQ(format("(e14.7)", {2.5e-310}), " 0.2500000-309\n");
    // Leading zero dropped when only it is too much, then asterisks.
    EXPECT_EQ(format("(e13.7)", {-1234.5}), "-.1234500E+04\n");
    EXPECT_EQ(format("(e13.7)", {1234.5}), "0.1234500E+04\n");
    EXPECT_EQ(format("(e12.7)", {1234.5}), ".1234500E+04\n");
    EXPECT_EQ(format("(e12.7)", {-1234.5}), "************\n");
    EXPECT_EQ(format("(e10.3)", {6.02214076e23}), " 0.602E+24\n");
}

// The digits must be those of the C library's correctly rounded
// conversion of the binary value, over a wide spread of magnitudes.
TEST(FormatFixed, DigitsAgreeWithThePrintfConversion) {
    unsigned long long state = 12345;
    auto next = [&state] {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return state >> 11;
    };
    char want[128];
    for (int k = 0; k < 3000; ++k) {
        const double mant = static_cast<double>(next()) / 9007199254740992.0;  // [0, 1)
        const int ex = static_cast<int>(next() % 60) - 30;
        const double v = (k % 2 ? -mant : mant) * std::pow(10.0, ex);
        const int d = static_cast<int>(next() % 13);
        std::snprintf(want, sizeof want, "%#40.*f", d, v);
        std::string got = format("(f40." + std::to_string(d) + ")", {v});
        std::string w = want;
        if (w.find_first_of("123456789") == std::string::npos) {
            size_t minus = w.find('-');
            if (minus != std::string::npos) w = " " + w.erase(minus, 1);  // -0.00 is 0.00
        }
        if (w.size() > 40) w = std::string(40, '*');
        ASSERT_EQ(got, w + "\n") << v << " d=" << d;

        // e14.7: the printf mantissa digits and exponent, shifted to 0.d form.
        std::snprintf(want, sizeof want, "%.6E", std::fabs(v));
        std::string m = std::string(1, want[0]) + std::string(want + 2, 6);
        const int e10 = std::atoi(want + 9) + 1;
        std::string ee = format("(e14.7)", {v});
        ASSERT_EQ(ee.substr(ee.find('.') + 1, 7), m) << v;
        if (v != 0.0) {
            ASSERT_EQ(std::atoi(ee.c_str() + ee.find('E') + 1), e10) << v << " " << ee;
        }

        // List-directed: "%.9G" with a point added when it has none.
        std::snprintf(want, sizeof want, "%.9G", std::fabs(v));
        std::string g = want;
        if (g.find('.') == std::string::npos) g.insert(std::min(g.find('E'), g.size()), ".");
        ASSERT_EQ(ftn::ldreal(v), (v < 0 ? "-" : " ") + (v == 0.0 ? std::string("0.") : g)) << v;
    }
}

TEST(FormatLogicalAndBlanks, LWritesTFAndXWritesBlanks) {
    EXPECT_EQ(format("(l1)", {true}), "T\n");
    EXPECT_EQ(format("(l3)", {false}), "  F\n");
    EXPECT_EQ(format("(80l1)", {true, false, true}), "TFT\n");
    EXPECT_EQ(format("(a,3x,a)", {"a", "b"}), "a   b\n");
    EXPECT_EQ(format("(a,x,a)", {"a", "b"}), "a b\n");
}

TEST(FormatLiterals, QuotedStringsWithDoubledQuotes) {
    EXPECT_EQ(format("('It''s ',a,\" say \"\"hi\"\"\")", {"me"}), "It's me say \"hi\"\n");
    // Literals before the first data descriptor without item are written...
    EXPECT_EQ(format("('head',i3)", {}), "head\n");
    // ...and so are those after the last item, up to the next data descriptor.
    EXPECT_EQ(format("(a,' end',i3,' units')", {"v"}), "v end\n");
    EXPECT_EQ(format("('a,b/(c)')", {}), "a,b/(c)\n");
}

TEST(FormatRecords, SlashesAndRecordEnds) {
    EXPECT_EQ(format("(//a)", {"text"}), "\n\ntext\n");
    EXPECT_EQ(format("(/3a)", {"a", "b", "c"}), "\nabc\n");
    EXPECT_EQ(format("(/5a)", {"a", "b"}), "\nab\n");
    EXPECT_EQ(format("(a/a)", {"one", "two"}), "one\ntwo\n");
    EXPECT_EQ(format("(a/2a)", {"one", "two", "three"}), "one\ntwothree\n");
    // The slash is met before the descriptor that finds no item.
    EXPECT_EQ(format("(a/a)", {"one"}), "one\n\n");
    EXPECT_EQ(format("(a)", {}), "\n");
    EXPECT_EQ(format("(a,2/a)", {"x", "y"}), "x\n\ny\n");
}

TEST(FormatListingLines, ExactLayouts) {
    EXPECT_EQ(format("(a,f20.6)", {"Sigma...........................", 1.5}),
              "Sigma...........................            1.500000\n");
    EXPECT_EQ(format("(a,i7)", {"** Maximum number of observations..", 80000}),
              "** Maximum number of observations..  80000\n");
    EXPECT_EQ(format("(i5,5f12.3,2x,l1)", {3, 1.0, -2.5, 1234567.891, 0.0005, -0.0004, true}),
              "    3       1.000      -2.500 1234567.891       0.001       0.000  T\n");
    EXPECT_EQ(format("( a,f12.5,3x,a3)", {"Bandwidth", 123.456789, "abcd"}),
              "Bandwidth   123.45679   abc\n");
    EXPECT_EQ(format("(2a,f12.5,3x,a3)", {"x", "y", -0.5, "ok"}), "xy    -0.50000    ok\n");
    EXPECT_EQ(format("(a,255(a1,a))", {"head", "xyz", "1", ",", "2"}), "headx1,2\n");
    EXPECT_EQ(format("(a8,i8,f14.6)", {"Intercept_long", 7, 2.0 / 3.0}),
              "Intercep       7      0.666667\n");
}

TEST(FormatRepeats, DescriptorAndNestedGroupRepeats) {
    EXPECT_EQ(format("(3f6.1)", {1.0, 2.0, 3.0}), "   1.0   2.0   3.0\n");
    EXPECT_EQ(format("(2a)", {"ab", "cd"}), "abcd\n");
    EXPECT_EQ(format("(2(a,2(i2)),a)", {"x", 1, 2, "y", 3, 4, "z"}), "x 1 2y 3 4z\n");
    // Stops inside the group at the first descriptor without item.
    EXPECT_EQ(format("(3(i2,a))", {1, "a", 2}), " 1a 2\n");
}

TEST(FormatReversion, RestartsAtLastTopLevelGroupOrAtStart) {
    // Ten names under (8(1x,a8)): eight on the first record, two on the
    // second.  A blank of x only takes effect when something follows it in
    // the record, so the line ends with the last name.
    items names;
    for (int k = 1; k <= 10; ++k) names.emplace_back("v" + std::to_string(k));
    EXPECT_EQ(format("(8(1x,a8))", names),
              "       v1       v2       v3       v4       v5       v6       v7       v8\n"
              "       v9      v10\n");
    EXPECT_EQ(format("(8(1x,a8))", {}), "\n");
    EXPECT_EQ(format("(a,3x/2x,a)", {"p", "q"}), "p\n  q\n");

    items vals = {12, 1.5, -2.25};
    for (int k = 1; k <= 9; ++k) vals.emplace_back(k * 1.125);
    EXPECT_EQ(format("(i8,2f10.3/(6f12.3))", vals),
              "      12     1.500    -2.250\n"
              "       1.125       2.250       3.375       4.500       5.625       6.750\n"
              "       7.875       9.000      10.125\n");

    // No group: the whole specification starts again.
    EXPECT_EQ(format("(a,i3)", {"a", 1, "b", 2, "c"}), "a  1\nb  2\nc\n");
    // The group's repeat count applies again after reversion.
    EXPECT_EQ(format("(a,2(i2))", {"h", 1, 2, 3, 4, 5}), "h 1 2\n 3 4\n 5\n");

    // Result-file row: two reals, two integers and a long run of reals.
    EXPECT_EQ(format("(2e14.7,2i11,200e14.7)", {1234.5, -0.5, 7, -8, 1.0, 2.0, 3.0}),
              " 0.1234500E+04-0.5000000E+00          7         -8"
              " 0.1000000E+01 0.2000000E+01 0.3000000E+01\n");
    EXPECT_EQ(format("(4e14.7)", {1.0, 2.0, 3.0, 4.0, 5.0}),
              " 0.1000000E+01 0.2000000E+01 0.3000000E+01 0.4000000E+01\n"
              " 0.5000000E+01\n");
}

TEST(FormatErrors, MismatchesAndBadSpecificationsAreProgrammingErrors) {
    EXPECT_THROW(format("(f8.2)", {1}), std::logic_error);
    EXPECT_THROW(format("(i5)", {1.5}), std::logic_error);
    EXPECT_THROW(format("(a)", {2}), std::logic_error);
    EXPECT_THROW(format("(l1)", {"T"}), std::logic_error);
    EXPECT_THROW(format("(e14.7)", {3}), std::logic_error);
    EXPECT_THROW(format("a,i5", {"x", 1}), std::logic_error);
    EXPECT_THROW(format("(a,i5", {"x", 1}), std::logic_error);
    EXPECT_THROW(format("(q5)", {1}), std::logic_error);
    EXPECT_THROW(format("(f8)", {1.0}), std::logic_error);
    // Items that can never be written would loop for ever.
    EXPECT_THROW(format("('x')", {1}), std::logic_error);
}

TEST(FormatWrite, FwriteSendsTheRecordsToTheStream) {
    std::ostringstream os;
    ftn::fwrite(os, "(a,i7)", {"n=", 5});
    ftn::fwrite(os, "(a)");
    EXPECT_EQ(os.str(), "n=      5\n\n");
}

TEST(ListDirected, RealsIntegersAndText) {
    EXPECT_EQ(ftn::ldreal(0.0), " 0.");
    EXPECT_EQ(ftn::ldreal(-0.0), " 0.");
    EXPECT_EQ(ftn::ldreal(1.5), " 1.5");
    EXPECT_EQ(ftn::ldreal(-1.5), "-1.5");
    EXPECT_EQ(ftn::ldreal(123456789.0), " 123456789.");
    EXPECT_EQ(ftn::ldreal(1.23456789e10), " 1.23456789E+10");
    EXPECT_EQ(ftn::ldreal(1e-5), " 1.E-05");
    EXPECT_EQ(ftn::ldreal(-2e100), "-2.E+100");
    EXPECT_EQ(ftn::ldreal(1.0 / 3.0), " 0.333333333");
    EXPECT_EQ(ftn::ldreal(2.0 / 3.0), " 0.666666667");
    EXPECT_EQ(ftn::ldreal(1234567891.0), " 1.23456789E+09");
    EXPECT_EQ(ftn::ldreal(nan_), " NaN");
    EXPECT_EQ(ftn::ldreal(inf), " Infinity");
    EXPECT_EQ(ftn::ldreal(-inf), "-Infinity");
    // Single precision prints the float's own value.
    EXPECT_EQ(ftn::ldreal(0.1f), " 0.100000001");
    EXPECT_EQ(ftn::ldrecord({0.1f, 0.1}), "   0.100000001  0.1");

    EXPECT_EQ(ftn::ldformat({0.0}), "   0.\n");
    EXPECT_EQ(ftn::ldformat({-1.5}), "  -1.5\n");
    EXPECT_EQ(ftn::ldformat({123456789.0}), "   123456789.\n");
    EXPECT_EQ(ftn::ldformat({1.23456789e10}), "   1.23456789E+10\n");
    EXPECT_EQ(ftn::ldformat({1e-5}), "   1.E-05\n");
    EXPECT_EQ(ftn::ldformat({"*** Error in record", 42, -3, true}),
              " *** Error in record 42 -3 T\n");
    EXPECT_EQ(ftn::ldformat({}), " \n");
    EXPECT_EQ(ftn::ldformat({"a", "b", 1.5, "c"}), " ab  1.5c\n");
}

TEST(ListDirected, BreaksBeforeAnItemPassingTheWidth) {
    // Each real item is 16 characters: four fit after the leading blank (65),
    // a fifth would reach 81.
    items five(5, ftn::item(1.23456789e10));
    std::string item16 = "  1.23456789E+10";
    std::string four = " " + item16 + item16 + item16 + item16;
    EXPECT_EQ(ftn::ldformat(five), four + "\n" + " " + item16 + "\n");

    // Exactly 80 columns is allowed.
    std::string t79(79, 'x');
    EXPECT_EQ(ftn::ldformat({t79}), " " + t79 + "\n");
    EXPECT_EQ(ftn::ldformat({t79, 7}), " " + t79 + "\n" + "  7\n");
    // An item longer than a record is not split.
    std::string t100(100, 'y');
    EXPECT_EQ(ftn::ldformat({t100, "z"}), " " + t100 + "\n z\n");
    // Other widths, and no breaking at all.
    EXPECT_EQ(ftn::ldformat({"aaaa", "bbbb", "cccc"}, 9), " aaaabbbb\n cccc\n");
    EXPECT_EQ(ftn::ldformat({"aaaa", "bbbb", "cccc"}, 0), " aaaabbbbcccc\n");

    items many(300, ftn::item(1.5));
    std::string rec = ftn::ldrecord(many);
    EXPECT_EQ(rec.size(), 1u + 300u * 5u);
    EXPECT_EQ(rec.find('\n'), std::string::npos);

    std::ostringstream os;
    ftn::ldwrite(os, five);
    EXPECT_EQ(os.str(), ftn::ldformat(five, 80));
}

namespace {

// Feeds the lines of a text to ldread and counts the lines taken.
struct line_source {
    std::vector<std::string> lines;
    size_t next = 0;
    std::function<bool(std::string&)> fn() {
        return [this](std::string& l) {
            if (next >= lines.size()) return false;
            l = lines[next++];
            return true;
        };
    }
};

using fields_t = std::vector<std::optional<std::string>>;

fields_t read_fields(line_source& src, int count, bool expect_ok = true) {
    fields_t f;
    EXPECT_EQ(ftn::ldread(src.fn(), count, f), expect_ok);
    return f;
}

const std::optional<std::string> null_;

}  // namespace

TEST(ListDirectedInput, SeparatorsNullsAndRestOfLine) {
    line_source src{{"1, 2  3\t4 ,5 extra words", "next"}};
    EXPECT_EQ(read_fields(src, 5), (fields_t{"1", "2", "3", "4", "5"}));
    EXPECT_EQ(src.next, 1u);  // the rest of the line is ignored, the next line untouched

    line_source nulls{{",7,,8 , ,9"}};
    EXPECT_EQ(read_fields(nulls, 6), (fields_t{null_, "7", null_, "8", null_, "9"}));

    // A trailing comma followed by the end of the line is one separator.
    line_source trailing{{"1,2,", "3"}};
    EXPECT_EQ(read_fields(trailing, 3), (fields_t{"1", "2", "3"}));
    line_source two_commas{{"1,2,", ",3"}};
    EXPECT_EQ(read_fields(two_commas, 4), (fields_t{"1", "2", null_, "3"}));
}

TEST(ListDirectedInput, ContinuesOnNextLinesAndSkipsBlankLines) {
    line_source src{{"10 20", "", "   ", "30", "40 50 60", "70"}};
    EXPECT_EQ(read_fields(src, 4), (fields_t{"10", "20", "30", "40"}));
    EXPECT_EQ(src.next, 5u);
    EXPECT_EQ(read_fields(src, 1), (fields_t{"70"}));
}

TEST(ListDirectedInput, SlashRepeatCountsAndQuotes) {
    line_source slash{{"1 2 / 3 4", "5"}};
    EXPECT_EQ(read_fields(slash, 4), (fields_t{"1", "2", null_, null_}));
    EXPECT_EQ(slash.next, 1u);

    line_source rep{{"3*1.5 2* 9"}};
    EXPECT_EQ(read_fields(rep, 6), (fields_t{"1.5", "1.5", "1.5", null_, null_, "9"}));
    // A repeat count larger than the fields wanted fills only those.
    line_source big{{"10*0"}};
    EXPECT_EQ(read_fields(big, 3), (fields_t{"0", "0", "0"}));

    line_source quotes{{"'a b', \"it\"\"s\" 2*'x'"}};
    EXPECT_EQ(read_fields(quotes, 4), (fields_t{"a b", "it\"s", "x", "x"}));
}

TEST(ListDirectedInput, EndOfInputBeforeTheCountIsComplete) {
    line_source src{{"1 2", ""}};
    fields_t f = read_fields(src, 3, false);
    EXPECT_EQ(f, (fields_t{"1", "2"}));
    line_source empty{{}};
    EXPECT_TRUE(read_fields(empty, 1, false).empty());
}

TEST(ListDirectedInput, NumberConversions) {
    int i = -99;
    EXPECT_TRUE(ftn::parse_int("42", i));
    EXPECT_EQ(i, 42);
    EXPECT_TRUE(ftn::parse_int("-7", i));
    EXPECT_EQ(i, -7);
    EXPECT_TRUE(ftn::parse_int("+3", i));
    EXPECT_EQ(i, 3);
    EXPECT_TRUE(ftn::parse_int("-2147483648", i));
    EXPECT_EQ(i, -2147483647 - 1);
    i = 5;
    for (const char* bad : {"", "-", "1.0", "12a", "abc", "2147483648", "99999999999999999999"})
        EXPECT_FALSE(ftn::parse_int(bad, i)) << bad;
    EXPECT_EQ(i, 5);

    struct {
        const char* text;
        double value;
    } good[] = {{"1", 1.0},     {"1.", 1.0},       {".5", 0.5},     {"-2.5e3", -2500.0},
                {"1.5D0", 1.5}, {"+3", 3.0},       {"2d-2", 0.02},  {"-.25E+1", -2.5},
                {"0.1", 0.1},   {"123456.789", 123456.789}};
    for (const auto& g : good) {
        double v = 0.0;
        EXPECT_TRUE(ftn::parse_real(g.text, v)) << g.text;
        EXPECT_EQ(v, g.value) << g.text;
    }
    double v = 8.0;
    for (const char* bad : {"abc", "1.2.3", "", ".", "-", "1e", "1e+", "1.5x", "e5", "1e400", "1,5"})
        EXPECT_FALSE(ftn::parse_real(bad, v)) << bad;
    EXPECT_EQ(v, 8.0);
}
