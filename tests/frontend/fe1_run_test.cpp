// The run dialog: the listing beside the control file, the engine started
// without a shell in the control file's folder, the alternative start
// through a script, progress, Stop, honest reports of failed and stopped
// runs, and real runs of the built engine.
#include "fe1_support.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QThread>

#include "../../bench/synth.h"

namespace {

using tk::Answer;

class RunDialog : public Fe1 {
protected:
    void SetUp() override {
        t.folder = dir.path();
        FrmRun::show_listing = [this] { ++viewerOpened; };
        FrmRun::show_partial_listing = [this](const QString& p) { partialShown = p; };
    }
    void TearDown() override {
        FrmRun::show_listing = nullptr;
        FrmRun::show_partial_listing = nullptr;
    }
    // Starts a run of control file m.tzm with the listing l.txt.
    std::shared_ptr<tk::testing::FakeProcessState> start() {
        run().TxtInput->setText(write("m.tzm", "x"));
        run().TxtOutput->setText(path("l.txt"));
        run().Command1->click();
        return t.processes.empty() ? nullptr : t.processes.back();
    }
    int viewerOpened = 0;
    QString partialShown;
};

TEST_F(RunDialog, LoadsIdleWithTheTimeOfDay) {
    t.clock = "09:15:00";
    EXPECT_EQ(run().windowTitle(), "Run");
    EXPECT_EQ(run().Label2->text(), "09:15:00");
    EXPECT_EQ(run().lbltime->text(), "0");
    EXPECT_FALSE(run().Timer1->isActive());
    EXPECT_EQ(run().Timer1->interval(), 1000);
    EXPECT_TRUE(run().Command1->isEnabled());
    EXPECT_FALSE(run().CmdStop->isEnabled());
    EXPECT_EQ(run().CmdStop->text(), "Stop");
    EXPECT_EQ(run().ProgressBar1->value(), 0);
}

TEST_F(RunDialog, TheListingDefaultsToTheControlFileNameBesideIt) {
    // Choosing a control file in the dialog, and "Run open model" in both
    // editors, name the listing after the control file.
    od().ProjectPathTxt->setText("/proj/");
    t.choose("/data/m1.tzm");
    run().CmdInput->click();
    EXPECT_EQ(run().TxtInput->text(), "/data/m1.tzm");
    EXPECT_EQ(run().TxtOutput->text(), "/data/m1.txt");
    EXPECT_EQ(t.dialogs[0].request.title, "Open Control File");
    EXPECT_EQ(t.dialogs[0].request.filter, "Control Files (Text File - *.tzm)|*.tzm");
    EXPECT_EQ(t.dialogs[0].request.folder, "/proj/");
    t.choose("/out/l.txt");
    run().CmdOutput->click();
    EXPECT_EQ(run().TxtOutput->text(), "/out/l.txt");
    EXPECT_EQ(t.dialogs[1].request.title, "Open Output File");
    // Without a project folder a dialog opens in the last folder used.
    od().ProjectPathTxt->clear();
    run().CmdInput->click();
    EXPECT_EQ(t.dialogs[2].request.folder, "/out/");

    for (const auto& [control, listing] :
         {std::pair<QString, QString>{"/d/model.tzm", "/d/model.txt"}, {"/d/a.b/model", "/d/a.b/model.txt"},
          {"/d/run.txt", "/d/run.txt.txt"}, {"/d/.tzm", "/d/.tzm.txt"}})
        EXPECT_EQ(FrmRun::listing_for(control), listing) << control.toStdString();

    openEditor("ID,X,Y,A,B");
    const QString ctl = write("model.tzm", "x");
    ed().ldlfilename->setText(ctl);
    ed().mnuRun_Click();
    EXPECT_EQ(run().TxtInput->text(), ctl);
    EXPECT_EQ(run().TxtOutput->text(), path("model.txt"));
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

TEST_F(RunDialog, TheEngineRunsInTheControlFilesFolderWithProgress) {
    QDir(dir.path()).mkdir("models");
    const QString ctl = write("models/my model.tzm", "x");
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
        EXPECT_EQ(s.arguments, QStringList{"--progress"});
        EXPECT_EQ(s.workingDirectory, path("models"));
        EXPECT_EQ(s.stdinFile, ctl);
        EXPECT_EQ(s.stdoutFile, c.expected);
        EXPECT_TRUE(s.captureStderr);
        // While it runs, Run does nothing and Stop is offered.
        EXPECT_FALSE(run().Command1->isEnabled());
        EXPECT_TRUE(run().CmdStop->isEnabled());
        const auto before = t.processes.size();
        run().Command1_Click();
        EXPECT_EQ(t.processes.size(), before);
        t.processes.back()->finished = true;
        run().Timer1_Timer();
        EXPECT_TRUE(run().Command1->isEnabled());
        EXPECT_FALSE(run().CmdStop->isEnabled());
    }
    EXPECT_FALSE(t.busy);

    // The listing is never the control file the engine reads.
    t.clearLog();
    run().TxtOutput->setText(path("models/my model.tzm").chopped(4) + ".txt");
    run().TxtInput->setText(path("models/my model.txt"));
    write("models/my model.txt", "control");
    const auto before = t.processes.size();
    run().Command1->click();
    EXPECT_EQ(t.processes.size(), before);
    EXPECT_EQ(t.titles(), QStringList{"Unable to run model"});
    EXPECT_EQ(read(path("models/my model.txt")), "control");
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
    auto proc = start();
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
    EXPECT_EQ(run().ProgressBar1->value(), 1000);
    // The timer keeps the clock going; nothing more is asked.
    t.clock = "11:00:05";
    run().Timer1_Timer();
    EXPECT_EQ(t.shown.size(), 1u);
    EXPECT_EQ(run().Label2->text(), "11:00:05");

    // "No" leaves the viewer closed; an engine that ends normally without
    // a listing failed.
    t.clearLog();
    proc = start();
    write("l.txt", "listing");
    proc->finished = true;
    t.answers = {Answer::No};
    run().Timer1_Timer();
    EXPECT_EQ(t.texts(), QStringList{"View Listing File?"});
    EXPECT_EQ(viewerOpened, 1);
    t.clearLog();
    proc = start();
    proc->finished = true;
    run().Timer1_Timer();
    EXPECT_EQ(t.texts(), QStringList{"The model failed to run"});
    EXPECT_EQ(t.titles(), QStringList{"Run Completed"});
    EXPECT_EQ(run().lbltime->text(), "-");
}

TEST_F(RunDialog, AFailedRunShowsTheEnginesErrorAndNeverRunCompleted) {
    // An error stop (status 3): the engine's standard error, and the listing
    // on offer, which tells where the run stopped.
    auto proc = start();
    proc->stderrText = "progress reading 10 10\nSTOP 905 statement executed\n";
    write("l.txt", "*** Unknown method choice... stopping.\n");
    proc->finished = true;
    proc->exitCode = 3;
    t.answers = {Answer::Yes};
    run().Timer1_Timer();
    ASSERT_EQ(t.shown.size(), 1u);
    EXPECT_EQ(t.shown[0].title, "Run Failed");
    EXPECT_EQ(t.shown[0].icon, tk::Icon::Critical);
    EXPECT_EQ(t.shown[0].buttons, tk::Buttons::YesNo);
    EXPECT_EQ(t.shown[0].text,
              "The model stopped with an error (exit status 3).\n\nSTOP 905 statement executed\n\nDo you want to view "
              "the listing? It tells where the run stopped.");
    EXPECT_EQ(viewerOpened, 1);
    EXPECT_EQ(run().lblPhase->text(), "Stopped with an error");
    EXPECT_FALSE(run().running);

    // Another failure without a listing (status 2, the file named), and an
    // engine that ended abnormally: the text alone.
    t.clearLog();
    proc = start();
    proc->stderrText = "tzm: cannot open the data file 'nosuch.csv': No such file or directory\n";
    proc->finished = true;
    proc->exitCode = 2;
    run().Timer1_Timer();
    EXPECT_EQ(t.texts(), QStringList{"The model stopped with an error (exit status 2).\n\ntzm: cannot open the data "
                                     "file 'nosuch.csv': No such file or directory"});
    EXPECT_EQ(t.shown[0].buttons, tk::Buttons::OK);
    t.clearLog();
    proc = start();
    write("l.txt", "half a listing");
    proc->finished = proc->crashed = true;
    t.answers = {Answer::No};
    run().Timer1_Timer();
    EXPECT_EQ(t.titles(), QStringList{"Run Failed"});
    EXPECT_TRUE(t.texts()[0].startsWith("The model stopped with an error (the engine ended abnormally)."));
    EXPECT_FALSE(t.titles().contains("Run Completed"));
    EXPECT_EQ(viewerOpened, 1);
}

TEST_F(RunDialog, ProgressShowsThePhaseTheBarAndTheTimeLeft) {
    auto proc = start();
    EXPECT_EQ(run().lblPhase->text(), "Starting the engine");
    proc->stderrText = "progress reading 0 1000\nprogress rea";
    run().Timer1_Timer();
    EXPECT_EQ(run().lblPhase->text(), "Reading the data");
    EXPECT_EQ(run().ProgressBar1->value(), 0);
    // A line may arrive in pieces; a calibration trial's fitting loop moves
    // the bar within the trial.
    proc->stderrText = "ding 1000 1000\nprogress calibration 0 10\nprogress fits 50 100\n";
    run().Timer1_Timer();
    EXPECT_EQ(run().lblPhase->text(), "Calibrating the bandwidth: trial 1 of about 10");
    EXPECT_EQ(run().ProgressBar1->value(), 50);
    EXPECT_EQ(run().lblLeft->text(), "-");
    proc->stderrText = "progress calibration 4 10\nprogress fits 50 100\n";
    run().Timer1_Timer();
    run().Timer1_Timer();
    EXPECT_EQ(run().lblPhase->text(), "Calibrating the bandwidth: trial 5 of about 10");
    EXPECT_EQ(run().ProgressBar1->value(), 450);
    // 0.45 of the phase in the 2 seconds since it began: about 2 s left.
    EXPECT_EQ(run().lblLeft->text(), "about 2 s");
    // The bandwidth interval's trials follow the search, each with its fits.
    proc->stderrText = "progress calibration 10 10\nprogress interval 3 100\nprogress fits 50 100\n";
    run().Timer1_Timer();
    EXPECT_EQ(run().lblPhase->text(), "Bandwidth interval: trial 4 of 100");
    EXPECT_EQ(run().ProgressBar1->value(), 35);
    // After them the final fit stands on its own.
    proc->stderrText = "progress interval 100 100\nprogress fits 5000 20000\n";
    run().Timer1_Timer();
    EXPECT_EQ(run().lblPhase->text(), "Local fits: 5000 of 20000");
    EXPECT_EQ(run().ProgressBar1->value(), 250);
    proc->stderrText = "progress fits 10000 20000\nprogress montecarlo 0 99\n";
    run().Timer1_Timer();
    run().Timer1_Timer();
    EXPECT_EQ(run().lblPhase->text(), "Monte Carlo test: set 1 of 99");
    proc->stderrText = "progress montecarlo 98 99\nprogress writing 0 1\n";
    run().Timer1_Timer();
    EXPECT_EQ(run().lblPhase->text(), "Writing the result file");
    EXPECT_EQ(RunProgress::leftText(125), "about 2 min 05 s");
    EXPECT_EQ(RunProgress::leftText(7300), "about 2 h 01 min");
    EXPECT_TRUE(t.shown.empty());
}

TEST_F(RunDialog, StopEndsTheRunAndItsListingIsOfferedAsPartial) {
    auto proc = start();
    write("l.txt", "the first lines");
    run().Timer1_Timer();
    t.answers = {Answer::Yes};
    run().CmdStop->click();
    EXPECT_TRUE(proc->killed);
    EXPECT_FALSE(run().running);
    EXPECT_EQ(t.titles(), QStringList{"Run Stopped"});
    EXPECT_EQ(t.texts(), QStringList{"The run was stopped. Do you want to view the partial listing?"});
    EXPECT_EQ(partialShown, path("l.txt"));
    EXPECT_EQ(viewerOpened, 0);
    EXPECT_TRUE(run().Command1->isEnabled());

    // "End" during a run asks first: "No" keeps it going, "Yes" stops it
    // and closes the dialog; closing the window asks the same.
    t.clearLog();
    run().show();
    proc = start();
    t.answers = {Answer::No};
    run().Command2->click();
    EXPECT_EQ(t.titles(), QStringList{"Run in Progress"});
    EXPECT_EQ(t.texts(), QStringList{"A model is running. Do you want to stop the run?"});
    EXPECT_FALSE(proc->killed);
    EXPECT_TRUE(run().isVisible());
    EXPECT_FALSE(run().close());
    EXPECT_TRUE(run().running);
    t.answers = {Answer::Yes};
    run().Command2->click();
    EXPECT_TRUE(proc->killed);
    EXPECT_FALSE(run().isVisible());
    EXPECT_FALSE(run().running);
    // Idle, "End" closes without asking.
    t.clearLog();
    run().show();
    run().Command2->click();
    EXPECT_TRUE(t.shown.empty());
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
    EXPECT_TRUE(run().Command1->isEnabled());

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
    EXPECT_TRUE(t.processes[0]->spec.captureStderr);
    EXPECT_EQ(read(path("mine.sh")), FrmRun::run_script(ctl, path("l.txt")));
    EXPECT_TRUE(run().running);
    EXPECT_TRUE(run().Timer1->isActive());
}

// Runs the dialog's watch on a real process until the run is over.
void waitForRun(FrmRun& r, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (r.running && clock.elapsed() < timeoutMs) {
        QThread::msleep(50);
        QCoreApplication::processEvents();
        r.Timer1_Timer();
    }
}

TEST_F(RunDialog, PathsWithShellCharactersReachTheEngineIntact) {
    // A stand-in engine that copies its input to its output and records its
    // working folder and arguments.
    t.realProcesses = true;
    write("tzm", "#!/bin/sh\npwd > \"$0.cwd\"\necho \"$@\" > \"$0.args\"\ncat\n");
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
    waitForRun(run(), 10000);
    EXPECT_EQ(read(sub + "/out 'x'.txt"), "control\r\n");
    EXPECT_EQ(read(path("tzm.cwd")).trimmed(), QDir(sub).canonicalPath().toUtf8());
    EXPECT_EQ(read(path("tzm.args")).trimmed(), "--progress");
    EXPECT_EQ(t.texts(), QStringList{"View Listing File?"});

    // The same through the alternative start's script.
    QFile::remove(sub + "/out 'x'.txt");
    QFile::remove(path("tzm.cwd"));
    const QByteArray script = FrmRun::run_script(ctl, sub + "/out 'x'.txt");
    write("s.sh", script);
    QFile(path("s.sh")).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    auto p = t.start({path("s.sh"), {}, "/", QString(), QString()});
    ASSERT_TRUE(p);
    ASSERT_TRUE(p->waitForFinished(10000));
    EXPECT_EQ(p->exitCode(), 0);
    EXPECT_EQ(read(sub + "/out 'x'.txt"), "control\r\n");
    EXPECT_EQ(read(path("tzm.cwd")).trimmed(), QDir(sub).canonicalPath().toUtf8());
    EXPECT_FALSE(script.contains('\r'));
}

class RealEngine : public RunDialog {
protected:
    void SetUp() override {
        RunDialog::SetUp();
        // The front end's folder holds the built engine.
        t.folder = QFileInfo(TZM_EXE).absolutePath();
        t.realProcesses = true;
    }
};

TEST_F(RealEngine, TheBundledExampleRunsFromTheFrontEndToAListingBesideIt) {
    // examples/gaussian.tzm names its data file and result file without a
    // folder: they are found beside the control file.
    QFile::copy(QString(EXAMPLES_DIR) + "/columbus.csv", path("columbus.csv"));
    QFile::copy(QString(EXAMPLES_DIR) + "/gaussian.tzm", path("gaussian.tzm"));
    t.choose(path("gaussian.tzm"));
    run().CmdInput->click();
    EXPECT_EQ(run().TxtOutput->text(), path("gaussian.txt"));
    t.answers = {Answer::Yes};
    run().Command1->click();
    ASSERT_TRUE(t.shown.empty()) << t.texts().join("\n").toStdString();
    waitForRun(run(), 120000);
    EXPECT_FALSE(run().running);
    EXPECT_EQ(t.texts(), QStringList{"View Listing File?"});
    EXPECT_EQ(viewerOpened, 1);
    const QString listing = QString::fromUtf8(read(path("gaussian.txt")));
    EXPECT_TRUE(listing.contains("Columbus crime rates: CRIME on INC and HOVAL")) << listing.left(2000).toStdString();
    EXPECT_TRUE(listing.contains("** Bandwidth selection by AICc minimisation"));
    EXPECT_TRUE(listing.contains("Program terminates normally"));
    EXPECT_TRUE(QFile::exists(path("gaussian_results.csv")));
    EXPECT_EQ(run().lblPhase->text(), "Completed");
}

TEST_F(RealEngine, AFailingRunReportsTheEnginesMessage) {
    // A missing data file (an input failure, status 2) and an unknown
    // method (an error stop, status 3): the engine's own words, never
    // "Run Completed".
    QFile::copy(QString(EXAMPLES_DIR) + "/columbus.csv", path("columbus.csv"));
    const struct {
        const char* data;
        const char* method;
        const char* start;
    } cases[] = {
        {"nosuch.csv", "2", "The model stopped with an error (exit status 2).\n\ntzm: cannot open the data file 'nosuch.csv'"},
        {"columbus.csv", "7", "The model stopped with an error (exit status 3).\n\nSTOP 905 statement executed\n\n"
                              "Do you want to view the listing? It tells where the run stopped."},
    };
    for (const auto& c : cases) {
        write("bad.tzm", QString("%1\r\n\r\n\r\n4\r\n2,3,0\r\nt\r\nFFFFTTFFFFFFF\r\nfaa\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n%2\r\n1\r\n")
                             .arg(c.data, c.method)
                             .toUtf8());
        run().TxtInput->setText(path("bad.tzm"));
        run().TxtOutput->setText(FrmRun::listing_for(path("bad.tzm")));
        t.shown.clear();
        t.answers = {Answer::No};
        run().Command1->click();
        waitForRun(run(), 60000);
        ASSERT_EQ(t.shown.size(), 1u);
        EXPECT_EQ(t.shown[0].title, "Run Failed");
        EXPECT_TRUE(t.shown[0].text.startsWith(c.start)) << t.shown[0].text.toStdString();
        EXPECT_FALSE(t.titles().contains("Run Completed"));
    }
}

TEST_F(RealEngine, TheBarMovesEverySecondOnA20000PointRun) {
    ASSERT_TRUE(synth::write_data(path("mid.csv").toStdString(), 20000, 3));
    write("mid.tzm", "mid.csv\r\n\r\n\r\n4\r\n2,3,0\r\nMid\r\nFFFFTT\r\nfaa\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n2\r\n1\r\n");
    run().TxtInput->setText(path("mid.tzm"));
    run().TxtOutput->setText(path("mid.txt"));
    run().Command1->click();
    ASSERT_TRUE(run().running);
    // The dialog's own one-second watch, four times over.
    QList<int> values;
    QElapsedTimer clock;
    clock.start();
    for (int tick = 1; tick <= 4; ++tick) {
        while (clock.elapsed() < 1000 * tick) {
            QThread::msleep(20);
            QCoreApplication::processEvents();
        }
        run().Timer1_Timer();
        values << run().ProgressBar1->value();
    }
    ASSERT_TRUE(run().running);
    for (int i = 1; i < values.size(); ++i) EXPECT_GT(values[i], values[i - 1]) << "tick " << i + 1;
    EXPECT_TRUE(run().lblPhase->text().startsWith("Calibrating")) << run().lblPhase->text().toStdString();
    t.answers = {Answer::No};
    run().CmdStop->click();
    EXPECT_FALSE(run().running);
}

TEST_F(RealEngine, StopEndsALargeRunWithinASecond) {
    // 40 000 points with a calibrated fixed Gaussian kernel: minutes of work.
    ASSERT_TRUE(synth::write_data(path("big.csv").toStdString(), 40000, 11));
    write("big.tzm", "big.csv\r\n\r\n\r\n4\r\n2,3,0\r\nLarge\r\nFFFFTT\r\nfaa\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n2\r\n1\r\n");
    run().TxtInput->setText(path("big.tzm"));
    run().TxtOutput->setText(path("big.txt"));
    run().Command1->click();
    ASSERT_TRUE(run().running);
    // Let the engine get going and report its first phase.
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 3000 && !run().lblPhase->text().startsWith("Calibrating")) {
        QThread::msleep(100);
        QCoreApplication::processEvents();
        run().Timer1_Timer();
    }
    EXPECT_TRUE(run().lblPhase->text().startsWith("Calibrating")) << run().lblPhase->text().toStdString();
    EXPECT_TRUE(run().running);
    t.answers = {Answer::No};
    clock.restart();
    run().CmdStop->click();
    const qint64 took = clock.elapsed();
    EXPECT_FALSE(run().running);
    EXPECT_LT(took, 1000);
    EXPECT_EQ(t.titles(), QStringList{"Run Stopped"});
}

}  // namespace
