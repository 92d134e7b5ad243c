// The control file as one typed value: what the writer makes of what the
// reader read is the same file, byte for byte, and every field means what
// the engine's reader (linked into this test only) makes of its record.
#include "control_file.h"
#include "open_control.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <sstream>

#include "control/control.h"
#include "control/stop.h"

namespace {

QByteArray joined(const QStringList& lines, const char* eol)
{
    QByteArray b;
    for (const QString& l : lines)
        b += l.toUtf8() + eol;
    return b;
}

QStringList examples()
{
    QStringList out;
    for (const QString& name : QDir(EXAMPLES_DIR).entryList({"*.tzm"}, QDir::Files, QDir::Name))
        out << QString(EXAMPLES_DIR) + "/" + name;
    return out;
}

QByteArray contents(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Files no editor writes as they stand, each written with CR LF.
const QStringList kVariants[] = {
    // Commas and quotes in paths and title, a location file, GeoPackage
    // results, a weight, lower-case flags, the lone minus of an empty
    // sample percentage, spherical coordinates, keyword records known and
    // unknown.
    {"/d/a,b.csv", "/d/loc.xy", "/d/out, 2.gpkg", "5", "2,3,6", " \"Lima, Peru\" ", "FFFtTF", "vcs", "-", "1",
     "1", "4", "1", "1", "3", "2", "limits 50 400", "epsg 27700", "scale 0", "frobnicate 1, 2", "limits 5"},
    // Descriptive statistics: the kernel letter alone, no dependent variable.
    {"data.csv", "", "", "0", "2,3,0", "Untitled", "FFFTT", "v", "50", "0", "0", "0", "0", "0", "1", "1"},
    // A file that ends after record 15; an empty kernel record.
    {"data.csv", "", "r.mif", "0", "2,3,0", "t", "TT", "", "8", "0", "0", "3", "0", "0", "1"},
    // No kernel letter (a kernel text typed in lower case): the other two
    // letters move left.  Codes the editors never write: result 7, test -1,
    // method 5; a bandwidth with every digit and an exponent.
    {"data.csv", "", "r.e00", "4", "1,2,0", "x", "FFFT", "aa", "2.5D0", "2", "0", "7", "-1", "3", "5", "1"},
    {"data.csv", "", "", "4", "1,2,0", "x", "FFFT", "cbs", "1234.56789", "0", "0", "0", "-2", "0", "4", "2",
     "inference 0"},
    // The multiscale model with its keyword records.
    {"data.csv", "", "ms.csv", "4", "2,3,0", "ms", "FFFFTT", "vaa", "0", "1", "0", "1", "0", "0", "6", "1",
     "scale 0", "inference 0"},
};

TEST(ControlFile, ExamplesAndVariantsReadAndWriteBackByteForByte)
{
    const QStringList files = examples();
    ASSERT_GE(files.size(), 7);
    for (const QString& path : files) {
        const QByteArray bytes = contents(path);
        const control_read r = parse_control_file(QString::fromUtf8(bytes));
        EXPECT_EQ(r.complete, 16) << path.toStdString() << ": " << r.fault;
        EXPECT_EQ(joined(control_records(r.file), "\n"), bytes) << path.toStdString();
    }
    for (const QStringList& records : kVariants) {
        const QByteArray bytes = joined(records, "\r\n");
        const control_read r = parse_control_file(QString::fromUtf8(bytes));
        EXPECT_EQ(r.complete, 16) << records[0].toStdString() << ": " << r.fault;
        EXPECT_EQ(control_records(r.file), records);
        // And the value written reads back as the same value.
        EXPECT_EQ(parse_control_file(QString::fromUtf8(joined(control_records(r.file), "\r\n"))).file, r.file);
    }

    // Fields by name: the first variant.
    const control_file f = parse_control_file(QString::fromUtf8(joined(kVariants[0], "\r\n"))).file;
    EXPECT_EQ(f.result_file, "/d/out, 2.gpkg");
    EXPECT_EQ(f.weight, 6);
    EXPECT_EQ(f.title, " \"Lima, Peru\" ");
    EXPECT_EQ(f.kernel, QChar('v'));
    EXPECT_EQ(f.calibration, QChar('c'));
    EXPECT_EQ(f.sample, QChar('s'));
    EXPECT_EQ(f.format, result_format::gpkg);
    EXPECT_EQ(f.test, test_code::monte_carlo);
    EXPECT_EQ(f.method, 3);
    EXPECT_EQ(f.coordinates, coordinate_type::spherical);
    EXPECT_EQ(f.keywords.size(), 5);
    const control_file ms = parse_control_file(QString::fromUtf8(joined(kVariants[5], "\r\n"))).file;
    EXPECT_EQ(ms.method, 6);
    ASSERT_NE(find_model_type(ms.method), nullptr);
    EXPECT_STREQ(find_model_type(ms.method)->caption, "Multiscale (Gaussian)");
    const control_file short_file = parse_control_file(QString::fromUtf8(joined(kVariants[2], "\r\n"))).file;
    EXPECT_FALSE(short_file.coordinates.has_value());
    EXPECT_TRUE(short_file.kernel.isNull());
}

TEST(ControlFile, ReadingStopsAtTheFirstUnreadableRecord)
{
    QStringList records = kVariants[1];
    // Text where a number is due: the records before it are read, each
    // later one is refused.
    records[9] = "yes";
    control_read r = parse_control_file(records.join("\r\n"));
    EXPECT_EQ(r.complete, 9);
    EXPECT_EQ(r.file.bandwidth, "50");
    EXPECT_NO_THROW(r.need(9));
    EXPECT_THROW(r.need(10), control_read_error);
    EXPECT_THROW(r.need(16), control_read_error);

    // A bandwidth that is no number, nor the lone minus sign.
    records = kVariants[1];
    records[8] = "ten";
    EXPECT_EQ(parse_control_file(records.join("\n")).complete, 8);
    // A numeric record left blank takes the next line, as in the engine:
    // the later records move up and the file ends without record 16.
    records = kVariants[1];
    records[9] = "";
    r = parse_control_file(records.join("\n"));
    EXPECT_EQ(r.complete, 16);
    EXPECT_EQ(r.file.diagnostics, 1);
    EXPECT_EQ(r.file.method, 1);
    EXPECT_FALSE(r.file.coordinates.has_value());
    // A record 16 that is no number is a fault; a missing one is not.
    records = kVariants[1];
    records[15] = "x";
    EXPECT_EQ(parse_control_file(records.join("\n")).complete, 15);
    records.removeLast();
    EXPECT_EQ(parse_control_file(records.join("\n")).complete, 16);
    EXPECT_EQ(parse_control_file(QString()).complete, 0);
}

TEST(ControlFile, FieldsMeanWhatTheEngineReads)
{
    QStringList texts;
    for (const QString& path : examples())
        texts << QString::fromUtf8(contents(path));
    // Search limits and a coordinate system, a weight, a sample.
    texts << joined({"columbus.csv", "", "r.csv", "4", "2,3,6", "T", "FFFFTTFFFFFFF", "vcs", "-25", "1", "0", "1",
                     "1", "0", "2", "2", "limits 30 200", "epsg 4326"},
                    "\r\n");
    // The multiscale model, with its keyword records.
    texts << joined({"columbus.csv", "", "m.csv", "4", "2,3,0", "M", "FFFFTTFFFFFFF", "vaa", "0", "1", "0", "1",
                     "0", "0", "6", "1", "scale 0", "inference 0"},
                    "\r\n");
    for (const QString& text : texts) {
        control_file f = parse_control_file(text).file;
        // The engine is given the file as the writer writes it, its data
        // file found in the examples.
        f.data_file = QString(EXAMPLES_DIR) + "/" + f.data_file;
        std::istringstream in(joined(control_records(f), "\r\n").toStdString());
        std::ostringstream listing, err;
        gwr::state s(in, listing, err);
        gwr::init(s);
        ASSERT_NO_THROW(gwr::read1(s)) << f.title.toStdString() << "\n" << listing.str();
        const std::string what = f.title.toStdString();

        EXPECT_EQ(s.files.datfil, f.data_file.toStdString()) << what;
        EXPECT_EQ(s.option.iloc, f.location_file.isEmpty() ? 1 : 2) << what;
        EXPECT_EQ(s.files.outfil, f.result_file.toStdString()) << what;
        EXPECT_EQ(s.option.idep, f.dependent) << what;
        EXPECT_EQ(s.option.ixvar, f.x) << what;
        EXPECT_EQ(s.option.iyvar, f.y) << what;
        EXPECT_EQ(s.option.iwvar, f.weight) << what;
        for (int i = 0; i < f.flags.size() && i < int(s.dat2.inmod.size()); ++i)
            EXPECT_EQ(bool(s.dat2.inmod[i]), f.flags[i].toUpper() == QChar('T')) << what << " column " << i + 1;
        EXPECT_EQ(s.files.kercod, f.kernel.toLatin1()) << what;
        EXPECT_EQ(s.files.calcod, f.calibration.isNull() ? 'n' : f.calibration.toLatin1()) << what;
        if (!f.sample.isNull()) {
            EXPECT_EQ(s.files.smpcod, f.sample.toLatin1()) << what;
        }
        EXPECT_EQ(s.parms.bandw, item_value(f.bandwidth)) << what;
        EXPECT_EQ(s.option.rawhst, f.history) << what;
        EXPECT_EQ(s.option.rawprd, f.predictions) << what;
        EXPECT_EQ(s.option.rawout, long(f.format)) << what;
        EXPECT_EQ(s.option.itest, long(f.test)) << what;
        EXPECT_EQ(s.option.idiag, f.diagnostics) << what;
        EXPECT_EQ(s.option.method, f.method) << what;
        EXPECT_EQ(s.option.isph, f.coordinates == coordinate_type::spherical ? 1 : 0) << what;
        EXPECT_EQ(s.run().keys.limits, f.keywords.contains("limits 30 200")) << what;
        EXPECT_EQ(s.run().keys.epsg, f.keywords.contains("epsg 4326") ? 4326 : 0) << what;
        EXPECT_EQ(s.run().keys.scale, f.keywords.contains("scale 0") ? 0 : 1) << what;
        EXPECT_EQ(s.run().keys.inference, f.keywords.contains("inference 0") ? 0 : 1) << what;
    }
}

}  // namespace
