// The main window's menus, the start-up wizard, the listing viewer and the
// small windows; and a whole session from the main window to the listing.
#include "fe2_support.h"

#include "FrmCon.h"
#include "FrmDataPrev.h"
#include "FrmHelp.h"
#include "FrmManual.h"
#include "FrmResults.h"
#include "FrmWiz.h"
#include "FrmWiz2.h"
#include "frmAbout.h"
#include "release.h"
#include "screen_fit.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProcess>
#include <QRegularExpression>
#include <QRadioButton>
#include <QThread>

namespace {

using tk::Answer;
using tk::FileError;

class MainWindow : public Fe2 {
protected:
    void TearDown() override
    {
        FrmRun::show_listing = nullptr;
        FrmRun::show_partial_listing = nullptr;
    }
    FrmResults& viewer() { return forms::form<FrmResults>(); }
};

TEST_F(MainWindow, MenuBarHoldsEveryCommand)
{
    // Menu, item, caption, in order of the bar.
    const QList<std::pair<QString, QString>> items = {
        {"mnuOpenDataFile", "Data..."},        {"mnuOpenModel", "Model..."},
        {"mnuOpenDescr", "Descriptives..."},   {"mnuOpenLinstingFile", "Listing..."},
        {"mnuExit", "Exit"},                   {"mnuDescrStatsEditor", "Descriptive Statistics"},
        {"mnuGauss", "Gaussian"},              {"mnuLogist", "Logistic"},
        {"mnuBi", "Poisson"},                  {"mnuWiz", "Analysis Wizard"},
        {"mnuContact", "Contact Information"}, {"mnuAbout", "About"},
    };
    for (const auto& [name, caption] : items) {
        auto* a = main().findChild<QAction*>(name);
        ASSERT_TRUE(a) << name.toStdString();
        EXPECT_EQ(a->text(), caption);
    }
    const QList<std::pair<QString, QString>> menus = {{"mnuFile", "File"},           {"mnuOpen", "Open"},
                                                      {"mnuTZM", "Analysis"},        {"mnuDescr", "Descriptives"},
                                                      {"mnuRegression", "Regression"}, {"mnuTools", "Tools"},
                                                      {"mnuHelp", "Help"}};
    for (const auto& [name, caption] : menus) {
        auto* m = main().findChild<QMenu*>(name);
        ASSERT_TRUE(m) << name.toStdString();
        EXPECT_EQ(m->title(), caption);
    }

    // Each item reaches its window.
    main().mnuOpenModel->trigger();
    main().mnuOpenDescr->trigger();
    ASSERT_EQ(t.dialogs.size(), 2u);
    EXPECT_EQ(t.dialogs[0].request.title, "Open Model File");
    EXPECT_EQ(t.dialogs[1].request.title, "Open Descriptives Configuration File");
    main().mnuContact->trigger();
    EXPECT_TRUE(forms::form<FrmCon>().isVisible());
    EXPECT_EQ(forms::form<FrmCon>().windowTitle(), "Contact");
    main().mnuWiz->trigger();
    EXPECT_TRUE(forms::form<FrmWiz>().isVisible());
    chooseData("ID,X,Y,POP,INC");
    main().mnuDescrStatsEditor->trigger();
    EXPECT_TRUE(de().isVisible());
}

TEST_F(MainWindow, AboutBoxShowsTitleAndVersion)
{
    const QString name = QCoreApplication::applicationName();
    const QString version = QCoreApplication::applicationVersion();
    QCoreApplication::setApplicationName("TZM30");
    QCoreApplication::setApplicationVersion("3.1");
    main().mnuAbout->trigger();
    frmAbout& about = forms::form<frmAbout>();
    EXPECT_TRUE(about.isVisible());
    EXPECT_EQ(about.windowTitle(), "About TZM30");
    EXPECT_EQ(about.lblTitle->text(), "TZM30");
    EXPECT_EQ(about.lblVersion->text(), "Version 3.1.0");
    about.cmdOK->click();
    EXPECT_FALSE(about.isVisible());
    QCoreApplication::setApplicationName(name);
    QCoreApplication::setApplicationVersion(version);
}

TEST_F(MainWindow, StartShowsTheWizardWhichRunsTheChosenTask)
{
    main().editor_kind = 1;
    main().show();
    ASSERT_TRUE(forms::loaded<FrmWiz>());
    FrmWiz& wiz = forms::form<FrmWiz>();
    EXPECT_TRUE(wiz.isVisible());
    EXPECT_EQ(wiz.windowTitle(), "TZM Wizard");
    EXPECT_EQ(main().editor_kind, -1);
    EXPECT_EQ(main().model_kind, -1);
    EXPECT_TRUE(wiz.Option3->isChecked());
    const QStringList captions = {"Create a new model.", "Open an existing model using the TZM Model Editor",
                                  "Run a task", "Create new descriptive statistics",
                                  "Open an existing descriptive statistics configuration"};
    const QRadioButton* options[] = {wiz.Option1, wiz.Option2, wiz.Option3, wiz.Option4, wiz.Option5};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(options[i]->text(), captions[i]);

    // "Run a task": the run dialog with empty paths; the wizard closes.
    wiz.Command2->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(forms::loaded<FrmWiz>());
    EXPECT_TRUE(run().isVisible());
    EXPECT_TRUE(run().TxtInput->text().isEmpty());
    EXPECT_TRUE(run().TxtOutput->text().isEmpty());
    EXPECT_TRUE(t.shown.empty());
}

TEST_F(MainWindow, WizardOptionsOpenTheirEditors)
{
    // "Create a new model." then "Logistic" without a data file: the
    // data-file sequence for the model editor.
    main().mnuWiz_Click();
    forms::form<FrmWiz>().Option1->setChecked(true);
    forms::form<FrmWiz>().Command2->click();
    EXPECT_EQ(main().editor_kind, 1);
    FrmWiz2& second = forms::form<FrmWiz2>();
    EXPECT_TRUE(second.isVisible());
    EXPECT_TRUE(second.Option1->isChecked());
    second.Option2->setChecked(true);
    second.Command2->click();
    EXPECT_EQ(main().model_kind, 3);
    EXPECT_EQ(main().editor_kind, 1);
    ASSERT_EQ(t.dialogs.size(), 1u);
    EXPECT_EQ(t.dialogs[0].request.title, "Open Data File");

    // With a data file "Poisson" opens the model editor for Poisson.
    forms::unloadAll();
    t.clearLog();
    chooseData("ID,X,Y,POP,INC");
    main().mnuWiz_Click();
    forms::form<FrmWiz>().Option1->setChecked(true);
    forms::form<FrmWiz>().Command2->click();
    forms::form<FrmWiz2>().Option3->setChecked(true);
    forms::form<FrmWiz2>().Command2->click();
    EXPECT_TRUE(ed().isVisible());
    EXPECT_TRUE(opt().Option4->isChecked());
    EXPECT_EQ(ed().lstAllVars->count(), 5);

    // "Create new descriptive statistics" with a data file.
    forms::unloadAll();
    chooseData("ID,X,Y,POP,INC");
    main().mnuWiz_Click();
    forms::form<FrmWiz>().Option4->setChecked(true);
    forms::form<FrmWiz>().Command2->click();
    EXPECT_TRUE(de().isVisible());
    EXPECT_EQ(main().editor_kind, 2);

    // The two "Open" options ask for their files; "Cancel" does nothing.
    forms::unloadAll();
    t.clearLog();
    main().mnuWiz_Click();
    forms::form<FrmWiz>().Option2->setChecked(true);
    forms::form<FrmWiz>().Command2->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    main().mnuWiz_Click();
    forms::form<FrmWiz>().Option5->setChecked(true);
    forms::form<FrmWiz>().Command2->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    main().mnuWiz_Click();
    forms::form<FrmWiz>().Command3->click();
    ASSERT_EQ(t.dialogs.size(), 2u);
    EXPECT_EQ(t.dialogs[0].request.title, "Open Model File");
    EXPECT_EQ(t.dialogs[1].request.title, "Open Descriptives Configuration File");
    EXPECT_EQ(t.titles(), QStringList({"Fail to open model.", "Fail to open descriptives configuration."}));
}

TEST_F(MainWindow, WizardHelpShowsTheTextOfTheSelectedTask)
{
    main().mnuWiz_Click();
    FrmWiz& wiz = forms::form<FrmWiz>();
    const QStringList starts = {
        "Creating a new model requires you to prepare your data and decide the options for your model.",
        "The TZM Model Editor allows you to view an existing model, modify it and save any changes, or create a "
        "new model.",
        "In order to run a TZM task, you have to have already created one.",
        "Creating a new descriptive statistics configuration requires you to prepare your data and decide the "
        "options for your descriptive statistics.",
        "The TZM Descriptive Statistics Editor allows you to view an existing descriptive statistics "
        "configuration, modify it and save any changes, or create a new one.",
    };
    QRadioButton* options[] = {wiz.Option1, wiz.Option2, wiz.Option3, wiz.Option4, wiz.Option5};
    for (int i = 0; i < 5; ++i) {
        options[i]->setChecked(true);
        wiz.Command1->click();
        FrmHelp& help = forms::form<FrmHelp>();
        EXPECT_TRUE(help.isVisible());
        EXPECT_EQ(help.windowTitle(), "Help");
        EXPECT_TRUE(help.Label1->text().startsWith(starts[i])) << i;
        // Each text goes on past its first sentence.
        EXPECT_GT(help.Label1->text().size(), starts[i].size() + 100) << i;
    }
    EXPECT_TRUE(wiz.isVisible());

    // The second page's help explains the model types.
    forms::form<FrmWiz2>().Command1->click();
    EXPECT_EQ(forms::form<FrmHelp>().Label1->text(), FrmWiz2::helpText());
    for (const char* type : {"Gaussian", "Logistic", "Poisson"})
        EXPECT_TRUE(FrmWiz2::helpText().contains(type)) << type;
}

TEST_F(MainWindow, ListingBeforeAnyRunShowsAnEmptyViewer)
{
    // The run dialog may already name a folder for the listing.
    run().TxtOutput->setText(dir.path() + "/");
    main().mnuOpenLinstingFile->trigger();
    EXPECT_TRUE(viewer().isVisible());
    EXPECT_EQ(viewer().windowTitle(), "Model Listing");
    EXPECT_TRUE(viewer().RichTextBox1->toPlainText().isEmpty());
    EXPECT_TRUE(viewer().shownFile().isEmpty());
    // The only message is the one about the cancelled dialog.
    EXPECT_EQ(t.titles(), QStringList{"Fail to specify Listing File."});
    EXPECT_EQ(t.texts(), QStringList{"No file selected. Please try again."});
    ASSERT_EQ(t.dialogs.size(), 1u);
    EXPECT_EQ(t.dialogs[0].request.title, "Open a Listing File");
    EXPECT_EQ(t.dialogs[0].request.filter, "Listings Files (Text File - *.txt)|*.txt");
    EXPECT_EQ(t.dialogs[0].request.folder, "/opt/tzm/listing");

    // A chosen listing is shown as it stands.
    t.clearLog();
    const QString listing = write("run.txt", " ** Title\r\n  1.000   2.000\r\n");
    t.choose(listing);
    viewer().Command1->click();
    EXPECT_TRUE(t.shown.empty());
    EXPECT_EQ(viewer().RichTextBox1->toPlainText(), " ** Title\n  1.000   2.000\n");
    EXPECT_EQ(viewer().shownFile(), listing);
    EXPECT_TRUE(viewer().RichTextBox1->isReadOnly());
    EXPECT_EQ(viewer().RichTextBox1->font().pointSizeF(), 8.5);
    viewer().Command2->click();
    EXPECT_FALSE(forms::loaded<FrmResults>() && viewer().isVisible());

    // Once a run has been watched, "Listing..." opens the viewer on its
    // listing.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    run().TxtOutput->setText(listing);
    run().seconds = 3;
    t.clearLog();
    main().mnuOpenLinstingFile->trigger();
    EXPECT_EQ(viewer().shownFile(), listing);
    EXPECT_EQ(t.titles(), QStringList{"Fail to specify Listing File."});
}

TEST_F(MainWindow, ViewerRetriesWhileTheListingCannotBeRead)
{
    main();
    const QString listing = write("run.txt", "listing text\n");
    run().TxtOutput->setText(listing);
    // In use twice, then readable: two offers to retry, both taken.
    t.readFailures[listing] = {FileError::InUse, FileError::Access};
    t.answers = {Answer::OK, Answer::OK};
    FrmRun::show_listing();
    ASSERT_EQ(t.shown.size(), 2u);
    for (const auto& s : t.shown) {
        EXPECT_EQ(s.title, "Open File Error");
        EXPECT_EQ(s.buttons, tk::Buttons::OKCancel);
        EXPECT_EQ(s.text, "The output file is in use, has not been created yet, or does not present. Please wait a "
                          "few seconds and press OK to try again. If the problem persists, press CANCEL and contact "
                          "the support team.");
    }
    EXPECT_EQ(viewer().RichTextBox1->toPlainText(), "listing text\n");

    // Open already: a later run only brings it to the front.
    write("run.txt", "second run\n");
    FrmRun::show_listing();
    EXPECT_EQ(viewer().RichTextBox1->toPlainText(), "listing text\n");
    t.choose(listing);
    viewer().Command1_Click();
    EXPECT_EQ(viewer().RichTextBox1->toPlainText(), "second run\n");

    // Cancel leaves the text area empty; a missing file offers the retry
    // too; any other failure is unexpected.
    viewer().close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    t.clearLog();
    run().TxtOutput->setText(path("none.txt"));
    t.answers = {Answer::Cancel};
    FrmRun::show_listing();
    EXPECT_EQ(t.titles(), QStringList{"Open File Error"});
    EXPECT_TRUE(viewer().RichTextBox1->toPlainText().isEmpty());
    t.clearLog();
    t.readFailures[listing] = {FileError::Other};
    EXPECT_FALSE(viewer().loadListing(listing));
    EXPECT_EQ(t.titles(), QStringList{"Unable to complete operation"});
}

// Ticks the run dialog until the watched run ends.
void tickUntilDone(FrmRun& r, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (r.running && clock.elapsed() < timeoutMs) {
        QThread::msleep(50);
        QCoreApplication::processEvents();
        r.Timer1_Timer();
    }
}

TEST_F(MainWindow, WholeSessionFromDataFilesToTheListing)
{
    // The front end's folder holds the built engine.
    t.folder = QFileInfo(TZM_EXE).absolutePath();
    t.realProcesses = true;
    QFile::copy(QString(EXAMPLES_DIR) + "/columbus.csv", path("columbus.csv"));

    // File > Open > "Data...": data file, analysis at the data points, a csv
    // result file; both "Continue" buttons, no editor waiting.
    t.choose(path("columbus.csv"));
    t.answers = {Answer::Yes};
    t.choose(path("est.csv"), 2);
    main().mnuOpenDataFile->trigger();
    ASSERT_TRUE(forms::form<FrmDataPrev>().isVisible());
    forms::form<FrmDataPrev>().Command1->click();
    od().cmdOK->click();
    EXPECT_FALSE(forms::loaded<FrmTZM>() && ed().isVisible());

    // Analysis > Regression > "Gaussian": build, save, reopen.
    main().mnuGauss->trigger();
    assign(ed().lstAllVars, ed().Command1, "CRIME");
    assign(ed().lstAllVars, ed().Command3, "X");
    assign(ed().lstAllVars, ed().Command4, "Y");
    assign(ed().lstAllVars, ed().Command2, "INC");
    assign(ed().lstAllVars, ed().Command2, "HOVAL");
    ed().TxtTitle->setText("Columbus, whole session");
    ed().kerneltype->setCurrentText("Adaptive");
    ed().select(ed().OptionBW);
    ed().Text1->setText("20");
    ed().Option4->setChecked(true);
    t.choose(path("session.tzm"));
    ed().mnuSaveAs->trigger();
    const QByteArray saved = read(path("session.tzm"));
    ASSERT_TRUE(saved.contains("Columbus, whole session\r\nFFFFTTFFFFFFF\r\nvnn\r\n20\r\n"));
    ed().close();  // the offer to save is declined
    EXPECT_TRUE(od().TxtOpenData->text().isEmpty());

    t.choose(path("session.tzm"));
    main().mnuOpenModel->trigger();
    ASSERT_TRUE(ed().isVisible());
    EXPECT_EQ(od().TxtOpenData->text(), path("columbus.csv"));
    t.clearLog();

    // "Run Model", the run, "View Listing File?" "Yes": the viewer.
    ed().Command10->click();
    run().TxtOutput->setText(path("session listing.txt"));
    t.answers = {Answer::Yes};
    run().Command1->click();
    tickUntilDone(run(), 120000);
    EXPECT_EQ(t.texts(), QStringList{"View Listing File?"});
    ASSERT_TRUE(forms::loaded<FrmResults>());
    EXPECT_TRUE(viewer().isVisible());
    EXPECT_EQ(viewer().shownFile(), path("session listing.txt"));
    const QString text = viewer().RichTextBox1->toPlainText();
    EXPECT_TRUE(text.contains("Columbus, whole session")) << text.left(2000).toStdString();
    EXPECT_TRUE(text.contains("** Local sample size is "));
    EXPECT_TRUE(text.contains("Program terminates"));
}

TEST_F(MainWindow, ExitOffersToSaveAnOpenModelOrConfiguration)
{
    // Nothing open: Exit asks nothing.
    EXPECT_TRUE(main().confirm_exit());
    EXPECT_TRUE(t.shown.empty());

    chooseData("ID,X,Y,POP,INC");
    main().mnuGauss_Click();
    assign(ed().lstAllVars, ed().Command1, "INC");
    assign(ed().lstAllVars, ed().Command3, "X");
    assign(ed().lstAllVars, ed().Command4, "Y");
    assign(ed().lstAllVars, ed().Command2, "POP");
    ed().TxtTitle->setText("t");
    ASSERT_TRUE(ed().isVisible());
    t.clearLog();
    // Cancel: the program goes on, closing the main window is refused too.
    t.answers = {Answer::Cancel, Answer::Cancel};
    EXPECT_FALSE(main().confirm_exit());
    EXPECT_EQ(t.texts(), QStringList{"Do you wish to save the Model Control File?"});
    EXPECT_EQ(t.titles(), QStringList{"Update Model Control File"});
    EXPECT_EQ(t.shown[0].buttons, tk::Buttons::YesNoCancel);
    main().show();
    EXPECT_FALSE(main().close());
    // Yes with the save dialog cancelled: nothing is lost, no exit.
    t.answers = {Answer::Yes};
    EXPECT_FALSE(main().confirm_exit());
    EXPECT_EQ(t.titles().last(), "Fail to Save the Model");
    // Yes and a file: saved, then the exit goes ahead.
    t.clearLog();
    t.answers = {Answer::Yes};
    t.choose(path("kept.tzm"));
    EXPECT_TRUE(main().confirm_exit());
    EXPECT_TRUE(read(path("kept.tzm")).startsWith(path("data.csv").toUtf8() + "\r\n"));
    // No: exit without saving.
    t.answers = {Answer::No};
    EXPECT_TRUE(main().confirm_exit());

    // The descriptive statistics editor asks its own question; a run in
    // progress is stopped only when the user agrees.
    ed().hide();
    chooseData("ID,X,Y,POP,INC");
    main().mnuDescrStatsEditor_Click();
    t.clearLog();
    t.answers = {Answer::No};
    EXPECT_TRUE(main().confirm_exit());
    EXPECT_EQ(t.texts(), QStringList{"Do you wish to save the Descriptives Configuration File?"});
    de().hide();
    run().TxtInput->setText(write("m.tzm", "x"));
    run().TxtOutput->setText(path("m.txt"));
    run().Command1->click();
    ASSERT_TRUE(run().running);
    t.clearLog();
    t.answers = {Answer::No};
    EXPECT_FALSE(main().confirm_exit());
    EXPECT_EQ(t.titles(), QStringList{"Run in Progress"});
    t.answers = {Answer::Yes};
    EXPECT_TRUE(main().confirm_exit());
    EXPECT_TRUE(t.processes.back()->killed);
}

TEST_F(MainWindow, RecentControlFilesAndTheLastFolderAreRemembered)
{
    chooseData("ID,X,Y,POP,INC");
    const QStringList model = {path("data.csv"), "", path("est.csv"), "5", "2,3,0", "t", "FFFTF", "faa", "0",
                               "0", "0", "0", "0", "0", "2", "1"};
    QStringList descr = model;
    descr[3] = "0";
    descr[7] = "f";
    descr[8] = "50";
    descr[14] = "1";
    const QString m = write("m.tzm", crlf(model));
    const QString d = write("d.tzm", crlf(descr));
    t.choose(m);
    main().mnuOpenModel_Click();
    t.choose(d);
    main().mnuOpenDescr_Click();
    EXPECT_EQ(recent_files(), (QStringList{d, m}));
    // The File menu lists them, newest first.
    emit main().mnuFile->aboutToShow();
    EXPECT_TRUE(main().mnuRecent[0]->isVisible());
    EXPECT_EQ(main().mnuRecent[0]->text(), "&1 d.tzm");
    EXPECT_EQ(main().mnuRecent[1]->text(), "&2 m.tzm");
    EXPECT_FALSE(main().mnuRecent[2]->isVisible());
    // Each opens in the editor of its kind.
    forms::unloadAll();
    t.clearLog();
    emit main().mnuFile->aboutToShow();
    main().mnuRecent[1]->trigger();
    EXPECT_TRUE(ed().isVisible());
    EXPECT_EQ(ed().ldlfilename->text(), m);
    EXPECT_FALSE(forms::loaded<FrmDescr>());
    emit main().mnuFile->aboutToShow();
    main().mnuRecent[1]->trigger();  // now d.tzm: m.tzm moved to the top
    EXPECT_TRUE(de().isVisible());
    EXPECT_EQ(de().ldlfilename->text(), d);
    EXPECT_TRUE(t.shown.empty());
    // Saving puts a file at the top; the list keeps five.
    for (int i = 0; i < 6; ++i) {
        t.choose(path(QString("s%1.tzm").arg(i)));
        de().mnuSaveAs_Click();
    }
    EXPECT_EQ(recent_files().size(), 5);
    EXPECT_EQ(recent_files().front(), path("s5.tzm"));
    // A file gone since is taken off the list, with a word why.
    QFile::remove(path("s5.tzm"));
    emit main().mnuFile->aboutToShow();
    t.clearLog();
    main().mnuRecent[0]->trigger();
    EXPECT_EQ(t.texts(), QStringList{"The file " + path("s5.tzm") + " no longer exists."});
    EXPECT_EQ(recent_files().front(), path("s4.tzm"));
    // The settings survive the windows; a new session's dialog opens where
    // the last file was chosen.
    forms::unloadAll();
    od().ProjectPathTxt->clear();
    main().mnuOpenModel_Click();
    EXPECT_EQ(t.dialogs.back().request.folder, dir.path() + "/");
    EXPECT_EQ(t.settings["lastFolder"], dir.path() + "/");
}

TEST_F(MainWindow, ShortcutsHelpAndDoubleClick)
{
    EXPECT_EQ(main().mnuOpenModel->shortcut(), QKeySequence("Ctrl+O"));
    EXPECT_EQ(main().mnuHelpTopics->shortcut(), QKeySequence("F1"));
    EXPECT_EQ(main().mnuHelpTopics->shortcutContext(), Qt::ApplicationShortcut);
    for (QMainWindow* editor : std::initializer_list<QMainWindow*>{&ed(), &de()}) {
        EXPECT_EQ(editor->findChild<QAction*>("mnuSave")->shortcut(), QKeySequence("Ctrl+S"));
        EXPECT_EQ(editor->findChild<QAction*>("mnuRun")->shortcut(), QKeySequence("Ctrl+R"));
        EXPECT_EQ(editor->findChild<QAction*>("mnuOpen")->shortcut(), QKeySequence("Ctrl+O"));
    }
    // Help Topics opens the manual (tests/frontend/manual_viewer_test.cpp).
    main().mnuHelpTopics->trigger();
    EXPECT_TRUE(forms::form<FrmManual>().isVisible());

    // A double click moves a variable to the independent list, in both
    // editors, with the role checks of the button.
    chooseData("ID,X,Y,POP,INC");
    main().mnuGauss_Click();
    assign(ed().lstAllVars, ed().Command1, "INC");
    t.clearLog();
    for (const char* name : {"POP", "INC"}) {
        QListWidgetItem* it = ed().lstAllVars->findItems(name, Qt::MatchExactly).first();
        emit ed().lstAllVars->itemDoubleClicked(it);
    }
    EXPECT_EQ(entries(ed().LstIndVars), QStringList{"POP"});
    EXPECT_EQ(t.texts(), QStringList{"This variable is already used as the dependent variable"});
    main().mnuDescrStatsEditor_Click();
    emit de().lstAllVars->itemDoubleClicked(de().lstAllVars->item(4));
    EXPECT_EQ(entries(de().LstIndVars), QStringList{"INC"});
}

TEST_F(MainWindow, WindowsFitA1366By768ScreenAt100And150PerCent)
{
    // A window past an edge moves back; one larger than the screen shrinks.
    const QRect screen(0, 0, 1366, 728);
    EXPECT_EQ(fit_rect(QRect(1000, 500, 600, 400), screen), QRect(766, 328, 600, 400));
    EXPECT_EQ(fit_rect(QRect(-50, -20, 300, 200), screen), QRect(0, 0, 300, 200));
    EXPECT_EQ(fit_rect(QRect(10, 10, 1500, 900), screen), screen);
    EXPECT_EQ(fit_rect(QRect(10, 10, 300, 200), screen), QRect(10, 10, 300, 200));

    // Every window, the model editor with its variables filled, needs no
    // more than the screen less a panel (40 pixels) and a title bar (34)
    // at 100 % scaling and at 150 %, where the screen is 911 by 512 pixels
    // of the program's own.
    chooseData("ID,X,Y,POP,INC,AGE,A1,A2,A3,A4,A5,A6,A7,A8,A9,B1,B2,B3,B4,B5");
    main().mnuGauss_Click();
    main().mnuDescrStatsEditor_Click();
    QList<QWidget*> windows = {&main(), &ed(), &de(), &opt(), &od(), &run()};
    for (QWidget* w : std::initializer_list<QWidget*>{&forms::form<FrmResults>(), &forms::form<FrmWiz>(),
                                                      &forms::form<FrmWiz2>(), &forms::form<frmAbout>(),
                                                      &forms::form<FrmHelp>(), &forms::form<FrmCon>(),
                                                      &forms::form<FrmDataPrev>(), &forms::form<FrmManual>()})
        windows << w;
    for (double scale : {1.0, 1.5}) {
        const QSize room(int(1366 / scale) - 8, int((768 - 40) / scale) - 34);
        for (QWidget* w : windows) {
            const QSize need = w->minimumSizeHint().expandedTo(w->minimumSize());
            EXPECT_LE(need.width(), room.width()) << w->objectName().toStdString() << " at " << scale;
            EXPECT_LE(need.height(), room.height()) << w->objectName().toStdString() << " at " << scale;
        }
    }
    // The editor's first size fits at 100 % as it is.
    EXPECT_LE(ed().height(), 728 - 34);
}

TEST_F(MainWindow, AboutShowsTheEnginesRelease)
{
    // The engine says its release on --version; the About box shows the
    // same, with the version the program sets at start.
    QProcess engine;
    engine.start(TZM_EXE, {"--version"});
    ASSERT_TRUE(engine.waitForFinished(10000));
    const QString said = QString::fromUtf8(engine.readAllStandardOutput());
    const QRegularExpressionMatch m = QRegularExpression("^tzm release (\\d+\\.\\d+\\.\\d+), build ").match(said);
    ASSERT_TRUE(m.hasMatch()) << said.toStdString();
    const QString version = QCoreApplication::applicationVersion();
    QCoreApplication::setApplicationVersion(TZM_RELEASE);
    main().mnuAbout->trigger();
    EXPECT_EQ(forms::form<frmAbout>().lblVersion->text(), "Version " + m.captured(1));
    QCoreApplication::setApplicationVersion(version);
}

TEST_F(MainWindow, AStoppedRunsListingOpensLabelledPartial)
{
    main();  // ties the run dialog to the viewer
    ASSERT_TRUE(FrmRun::show_partial_listing);
    const QString listing = write("l.txt", "Program starts at: now\n");
    FrmRun::show_partial_listing(listing);
    EXPECT_TRUE(viewer().isVisible());
    EXPECT_EQ(viewer().windowTitle(), "Model Listing - partial: the run was stopped");
    EXPECT_EQ(viewer().RichTextBox1->toPlainText(), "Program starts at: now\n");
    // Another listing loaded in the same viewer is not labelled.
    viewer().loadListing(write("m.txt", "complete"));
    EXPECT_EQ(viewer().windowTitle(), "Model Listing");
}

}  // namespace
