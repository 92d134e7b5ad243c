// The platform layer: filter conversion, safe file replacement, first-line
// reading, processes without a shell.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include "support/scripted_toolkit.h"
#include "toolkit/qt_toolkit.h"

namespace {

QByteArray slurp(const QString& path) {
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

TEST(Toolkit, FilterPairsBecomeQtNameFilters) {
    EXPECT_EQ(tk::qtNameFilters("Data File (Comma Delimited - *.dat)|*.dat|CSV (Comma Delimited - *.csv)|*.csv|"
                                "All Files (*.*)|*.*"),
              (QStringList{"Data File (Comma Delimited - *.dat) (*.dat)", "CSV (Comma Delimited - *.csv) (*.csv)",
                           "All Files (*.*) (*)"}));
    // Several patterns in one pair, and a dangling description without a
    // pattern, which is dropped.
    EXPECT_EQ(tk::qtNameFilters("Text|*.txt;*.lst|orphan"), QStringList{"Text (*.txt *.lst)"});
    EXPECT_EQ(tk::qtNameFilters(""), QStringList{"All Files (*)"});
}

TEST(Toolkit, WriteTextFileEndsLinesWithCrLfAndReplacesWhole) {
    QTemporaryDir dir;
    const QString path = dir.filePath("a b$;`'.tzm");
    tk::QtToolkit qt;
    ASSERT_EQ(qt.writeTextFile(path, {"first", "", "third"}), tk::FileError::None);
    EXPECT_EQ(slurp(path), QByteArray("first\r\n\r\nthird\r\n"));
    ASSERT_EQ(qt.writeTextFile(path, {"x"}), tk::FileError::None);
    EXPECT_EQ(slurp(path), QByteArray("x\r\n"));
    // No temporary file is left behind.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 1);
    // A folder that does not exist is reported, not created.
    EXPECT_EQ(qt.writeTextFile(dir.filePath("missing/x.tzm"), {"x"}), tk::FileError::NotFound);
}

TEST(Toolkit, ReadFirstLineReadsAsTheEngineDoesAndNoFurther) {
    QTemporaryDir dir;
    tk::QtToolkit qt;
    QString line;
    // The line ends at a line feed, as in the engine; a lone carriage return
    // belongs to the line.
    const struct {
        QByteArray text;
        QString line;
    } cases[] = {{"A,B\r\n1,2\r\n", "A,B"},
                 {"A,B\n1,2\n", "A,B"},
                 {"A,B", "A,B"},
                 {"A,B\r1,2", "A,B\r1,2"},
                 {"A,B\r\r\n", "A,B\r"},
                 {QByteArray(5000, 'x') + "\n", QString(4096, 'x')}};
    for (const auto& c : cases) {
        const QString p = dir.filePath("d.csv");
        qt.writeFile(p, c.text);
        ASSERT_EQ(qt.readFirstLine(p, line), tk::FileError::None);
        EXPECT_EQ(line, c.line) << c.text.left(20).toStdString();
    }
    EXPECT_EQ(qt.readFirstLine(dir.filePath("none.csv"), line), tk::FileError::NotFound);

    // A huge file without a line end and an endless device are not read
    // through: the window never hangs on them.
    QFile huge(dir.filePath("huge.csv"));
    ASSERT_TRUE(huge.open(QIODevice::WriteOnly));
    ASSERT_TRUE(huge.resize(qint64(4) << 30));  // sparse: 4 GiB of zero bytes
    huge.close();
    QElapsedTimer clock;
    clock.start();
    ASSERT_EQ(qt.readFirstLine(huge.fileName(), line), tk::FileError::None);
    EXPECT_EQ(line.size(), 4096);
    EXPECT_EQ(qt.readFirstLine("/dev/zero", line), tk::FileError::Other);
    EXPECT_LT(clock.elapsed(), 2000);
}

TEST(Toolkit, ProcessGetsFilesAsStandardStreamsWithoutAShell) {
    QTemporaryDir dir;
    tk::QtToolkit qt;
    // A name full of shell metacharacters is passed as it stands.
    const QString in = dir.filePath("in $(touch x); `y`.txt");
    const QString out = dir.filePath("out 'q'.txt");
    qt.writeFile(in, "hello\n");
    auto p = qt.start({"/bin/cat", {}, dir.path(), in, out});
    ASSERT_TRUE(p);
    ASSERT_TRUE(p->waitForFinished(10000));
    EXPECT_EQ(p->exitCode(), 0);
    EXPECT_FALSE(p->crashed());
    EXPECT_EQ(slurp(out), QByteArray("hello\n"));
    EXPECT_FALSE(QFile::exists(dir.filePath("x")));
    EXPECT_FALSE(qt.start({dir.filePath("no-such-program"), {}, dir.path(), in, out}));
}

TEST(ScriptedToolkit, AnswersQuestionsFromTheQueueAndLogsEveryBox) {
    tk::testing::ScriptedToolkit t;
    EXPECT_EQ(&tk::toolkit(), &t);
    t.answers = {tk::Answer::No};
    EXPECT_EQ(tk::toolkit().message("a", tk::Buttons::OK, tk::Icon::Critical, "T1"), tk::Answer::OK);
    EXPECT_EQ(tk::toolkit().message("b", tk::Buttons::YesNo, tk::Icon::Question, "T2"), tk::Answer::No);
    EXPECT_EQ(tk::toolkit().message("c", tk::Buttons::OKCancel, tk::Icon::None, "T3"), tk::Answer::Cancel);
    EXPECT_EQ(t.unanswered, 1);
    EXPECT_EQ(t.titles(), (QStringList{"T1", "T2", "T3"}));
    t.choose("/x/y.dat", 2);
    EXPECT_EQ(tk::toolkit().openFile({"t", "f", "", ""}).filterIndex, 2);
    EXPECT_FALSE(tk::toolkit().saveFile({"t", "f", "", ""}).chosen());
}

}  // namespace
