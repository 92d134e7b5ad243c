// The run dialog: listing-name rules, starting the engine without a shell,
// the alternative start through a script, the watch, and a real run of the
// built engine on the bundled example.
#include "fe1_support.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QThread>

namespace {

using tk::Answer;

class RunDialog : public Fe1 {
protected:
    void SetUp() override {
        t.folder = dir.path();
        FrmRun::show_listing = [this] { ++viewerOpened; };
    }
    void TearDown() override { FrmRun::show_listing = nullptr; }
    int viewerOpened = 0;
};

TEST_F(RunDialog, LoadsIdleWithTheTimeOfDay) {
    t.clock = "09:15:00";
    EXPECT_EQ(run().windowTitle(), "Run");
    EXPECT_EQ(run().Label2->text(), "09:15:00");
    EXPECT_EQ(run().lbltime->text(), "0");
    EXPECT_FALSE(run().Timer1->isActive());
    EXPECT_EQ(run().Timer1->interval(), 1000);
}

TEST_F(RunDialog, BrowseButtonsFillThePaths) {
    od().ProjectPathTxt->setText("/proj/");
    t.choose("/data/m1.tzm");
    run().CmdInput->click();
    EXPECT_EQ(run().TxtInput->text(), "/data/m1.tzm");
    EXPECT_EQ(run().TxtOutput->text(), "/data/");
    t.choose("/out/l.txt");
    run().CmdOutput->click();
    EXPECT_EQ(run().TxtOutput->text(), "/out/l.txt");
    run().CmdOutput->click();  // cancelled: unchanged
    EXPECT_EQ(run().TxtOutput->text(), "/out/l.txt");
    ASSERT_EQ(t.dialogs.size(), 3u);
    EXPECT_FALSE(t.dialogs[0].save);
    EXPECT_EQ(t.dialogs[0].request.title, "Open Control File");
    EXPECT_EQ(t.dialogs[0].request.filter, "Control Files (Text File - *.tzm)|*.tzm");
    EXPECT_EQ(t.dialogs[0].request.folder, "/proj/");
    EXPECT_TRUE(t.dialogs[1].save);
    EXPECT_EQ(t.dialogs[1].request.title, "Open Output File");
    EXPECT_EQ(t.dialogs[1].request.filter, "Output Files (Text File - *.txt)|*.txt");
    // Without a project folder the dialogs start in the program's folder.
    od().ProjectPathTxt->clear();
    run().CmdInput->click();
    EXPECT_EQ(t.dialogs[3].request.folder, dir.path());
}

TEST_F(RunDialog, EmptyPathsChangeNothingButTheTimer) {
    run().Timer1->start();
    run().TxtInput->setText(path("m.tzm"));
    run().Command1->click();
    EXPECT_FALSE(run().Timer1->isActive());
    EXPECT_TRUE(t.processes.empty());
    EXPECT_TRUE(t.shown.empty());
    EXPECT_EQ(run().TxtOutput->text(), "");
}

TEST_F(RunDialog, ListingNameRulesAndTheStartedProcess) {
    const QString ctl = write("my model.tzm", "x");
    run().TxtInput->setText(ctl);
    // A folder becomes the folder's ".txt"; ".TXT" is not ".txt".
    const struct {
        QString given, expected;
    } cases[] = {{dir.path() + "/", dir.path() + "/.txt"},
                 {path("RUN.TXT"), path("RUN.TXT.txt")},
                 {path("run1.txt"), path("run1.txt")},
                 {path("run1"), path("run1.txt")}};
    for (const auto& c : cases) {
        run().TxtOutput->setText(c.given);
        run().Command1->click();
        EXPECT_EQ(run().TxtOutput->text(), c.expected);
        const tk::ProcessSpec& s = t.processes.back()->spec;
        EXPECT_EQ(s.program, dir.path() + "/tzm");
        EXPECT_TRUE(s.arguments.isEmpty());
        EXPECT_EQ(s.workingDirectory, dir.path());
        EXPECT_EQ(s.stdinFile, ctl);
        EXPECT_EQ(s.stdoutFile, c.expected);
    }
    EXPECT_EQ(t.cwd, dir.path());
    EXPECT_TRUE(run().Timer1->isActive());
    EXPECT_TRUE(run().running);
    EXPECT_FALSE(t.busy);
    EXPECT_TRUE(t.shown.empty());
}

TEST_F(RunDialog, OldListingIsRemovedBeforeTheStart) {
    run().TxtInput->setText(write("m.tzm", "x"));
    run().TxtOutput->setText(write("old.txt", "an old listing"));
    run().Command1->click();
    EXPECT_FALSE(QFile::exists(path("old.txt")));
    // The engine has not ended: the watch only counts.
    run().Timer1_Timer();
    run().Timer1_Timer();
    EXPECT_EQ(run().lbltime->text(), "2");
    EXPECT_TRUE(run().running);
    EXPECT_TRUE(t.shown.empty());
}

TEST_F(RunDialog, CompletionIsReportedOnlyOnceTheEngineHasEnded) {
    t.clock = "11:00:01";
    run().TxtInput->setText(write("m.tzm", "x"));
    run().TxtOutput->setText(path("l.txt"));
    run().Command1->click();
    auto proc = t.processes.back();
    // The listing is being written but the engine still runs.
    write("l.txt", "partial");
    run().Timer1_Timer();
    EXPECT_TRUE(t.shown.empty());
    EXPECT_EQ(run().Label2->text(), "11:00:01");
    proc->finished = true;
    t.answers = {Answer::Yes};
    run().Timer1_Timer();
    EXPECT_EQ(t.texts(), QStringList{"View Listing File?"});
    EXPECT_EQ(t.titles(), QStringList{"Run Completed"});
    EXPECT_EQ(t.shown[0].buttons, tk::Buttons::YesNo);
    EXPECT_EQ(viewerOpened, 1);
    EXPECT_FALSE(run().running);
    EXPECT_EQ(run().lbltime->text(), "2");
    // The timer keeps the clock going; nothing more is asked.
    t.clock = "11:00:05";
    run().Timer1_Timer();
    EXPECT_EQ(t.shown.size(), 1u);
    EXPECT_EQ(run().Label2->text(), "11:00:05");

    // "No" leaves the viewer closed.
    t.clearLog();
    run().Command1->click();
    write("l.txt", "listing");
    t.processes.back()->finished = true;
    t.answers = {Answer::No};
    run().Timer1_Timer();
    EXPECT_EQ(t.texts(), QStringList{"View Listing File?"});
    EXPECT_EQ(viewerOpened, 1);
}

TEST_F(RunDialog, AnEngineEndingWithoutAListingFailed) {
    run().TxtInput->setText(write("m.tzm", "x"));
    run().TxtOutput->setText(path("l.txt"));
    for (bool emptyListing : {false, true}) {
        t.clearLog();
        run().Command1->click();
        if (emptyListing) write("l.txt", "");
        t.processes.back()->finished = true;
        t.processes.back()->exitCode = 127;
        run().Timer1_Timer();
        EXPECT_EQ(t.texts(), QStringList{"The model failed to run"});
        EXPECT_EQ(t.titles(), QStringList{"Run Completed"});
        EXPECT_EQ(t.shown[0].icon, tk::Icon::Information);
        EXPECT_EQ(run().lbltime->text(), "-");
        EXPECT_FALSE(run().running);
    }
    EXPECT_EQ(viewerOpened, 0);
}

TEST_F(RunDialog, FailedStartFallsBackToAScript) {
    t.failStart = true;
    const QString ctl = write("m.tzm", "x");
    run().TxtInput->setText(ctl);
    run().TxtOutput->setText(path("l.txt"));
    run().Command1->click();
    EXPECT_EQ(t.titles(), (QStringList{"Alternative Run", "No Command File set", "Run Completed"}));
    EXPECT_EQ(t.texts()[0],
              "An error has occurred while trying to run the model. Please select a Command Filename for the "
              "alternative procedure.");
    EXPECT_EQ(t.shown[0].icon, tk::Icon::Exclamation);
    EXPECT_EQ(t.texts()[1], "Default Command Filename selected.");
    EXPECT_EQ(t.shown[1].icon, tk::Icon::Critical);
    ASSERT_EQ(t.dialogs.size(), 1u);
    EXPECT_EQ(t.dialogs[0].request.title, "Save Command to File");
    EXPECT_EQ(t.dialogs[0].request.folder, dir.path());
    EXPECT_EQ(t.dialogs[0].request.fileName, "run_TZM");
    EXPECT_EQ(t.dialogs[0].request.filter, "Model File (Command Files - *.sh)|*.sh");
    // The default script was written and started (this start failed too:
    // the dialog says so and stays usable).
    const QString script = path("run_TZM.sh");
    EXPECT_TRUE(QFileInfo(script).isExecutable());
    ASSERT_EQ(t.processes.size(), 2u);
    EXPECT_EQ(t.processes[1]->spec.program, script);
    EXPECT_EQ(t.texts()[2], "The model failed to run");
    EXPECT_FALSE(run().running);

    // An old listing that cannot be removed leads there too; a chosen
    // script name is used and the started script is watched.
    t.clearLog();
    t.processes.clear();
    t.failStart = false;
    write("l.txt", "old");
    t.deleteFailures[path("l.txt")] = {tk::FileError::InUse};
    t.choose(path("mine.sh"));
    run().Command1->click();
    EXPECT_EQ(t.titles(), QStringList{"Alternative Run"});
    ASSERT_EQ(t.processes.size(), 1u);
    EXPECT_EQ(t.processes[0]->spec.program, path("mine.sh"));
    EXPECT_EQ(read(path("mine.sh")), FrmRun::run_script(ctl, path("l.txt")));
    EXPECT_TRUE(run().running);
    EXPECT_TRUE(run().Timer1->isActive());
}

// Runs a real process through the toolkit and waits for the dialog's watch
// to finish with it.
void waitForRun(FrmRun& r, tk::testing::ScriptedToolkit& t, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (r.running && clock.elapsed() < timeoutMs) {
        QThread::msleep(50);
        QCoreApplication::processEvents();
        r.Timer1_Timer();
    }
    (void)t;
}

TEST_F(RunDialog, PathsWithShellCharactersReachTheEngineIntact) {
    // A stand-in engine that copies its input to its output and records its
    // working folder.
    t.realProcesses = true;
    write("tzm", "#!/bin/sh\npwd > cwd.out\ncat\n");
    QFile(path("tzm")).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QDir(dir.path()).mkdir("a b;$x`y`'q'");
    const QString sub = path("a b;$x`y`'q'");
    const QString ctl = sub + "/m $(id).tzm";
    QFile f(ctl);
    f.open(QIODevice::WriteOnly);
    f.write("control\r\n");
    f.close();
    run().TxtInput->setText(ctl);
    run().TxtOutput->setText(sub + "/out 'x'.txt");
    t.answers = {Answer::No};
    run().Command1->click();
    waitForRun(run(), t, 10000);
    EXPECT_EQ(read(sub + "/out 'x'.txt"), "control\r\n");
    EXPECT_EQ(read(path("cwd.out")).trimmed(), QDir(dir.path()).canonicalPath().toUtf8());
    EXPECT_EQ(t.texts(), QStringList{"View Listing File?"});

    // The same through the alternative start's script.
    QFile::remove(sub + "/out 'x'.txt");
    const QByteArray script = FrmRun::run_script(ctl, sub + "/out 'x'.txt");
    write("s.sh", script);
    QFile(path("s.sh")).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    auto p = t.start({path("s.sh"), {}, "/", QString(), QString()});
    ASSERT_TRUE(p);
    ASSERT_TRUE(p->waitForFinished(10000));
    EXPECT_EQ(p->exitCode(), 0);
    EXPECT_EQ(read(sub + "/out 'x'.txt"), "control\r\n");
    EXPECT_FALSE(script.contains('\r'));
}

TEST_F(RunDialog, RealEngineRunsTheBundledExampleToItsListing) {
    // The front end's folder holds the built engine.
    t.folder = QFileInfo(TZM_EXE).absolutePath();
    t.realProcesses = true;
    QFile::copy(QString(EXAMPLES_DIR) + "/columbus.csv", path("columbus.csv"));
    // Build the model in the editor: CRIME on INC and HOVAL, fixed kernel
    // calibrated by AICc, no result file.
    od().TxtOpenData->setText(path("columbus.csv"));
    od().ProjectPathTxt->setText(dir.path() + "/");
    od().TxtOutput->setText(path("est.csv"));
    main().mnuGauss_Click();
    assign(ed().Command1, "CRIME");
    assign(ed().Command3, "X");
    assign(ed().Command4, "Y");
    assign(ed().Command2, "INC");
    assign(ed().Command2, "HOVAL");
    ed().TxtTitle->setText("Columbus from the front end");
    t.choose(path("columbus model.tzm"));
    ed().mnuSaveAs_Click();
    ASSERT_TRUE(QFile::exists(path("columbus model.tzm")));
    t.clearLog();

    ed().Command10->click();
    EXPECT_EQ(run().TxtOutput->text(), dir.path() + "/");
    run().TxtOutput->setText(path("columbus listing"));
    t.answers = {Answer::Yes};
    run().Command1->click();
    ASSERT_TRUE(t.shown.empty()) << t.texts().join("\n").toStdString();
    waitForRun(run(), t, 120000);
    EXPECT_FALSE(run().running);
    EXPECT_EQ(t.texts(), QStringList{"View Listing File?"});
    EXPECT_EQ(viewerOpened, 1);
    const QString listing = QString::fromUtf8(read(path("columbus listing.txt")));
    EXPECT_TRUE(listing.contains("Columbus from the front end")) << listing.left(2000).toStdString();
    EXPECT_TRUE(listing.contains("** Observed data file:        " + path("columbus.csv").left(40)));
    EXPECT_TRUE(listing.contains("** Bandwidth selection by AICc minimisation"));
    EXPECT_TRUE(listing.contains("Program terminates"));
}

}  // namespace
