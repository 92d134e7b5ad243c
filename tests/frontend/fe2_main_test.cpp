// The main window's menus, the start-up wizard, the listing viewer and the
// small windows; and a whole session from the main window to the listing.
#include "fe2_support.h"

#include "FrmCon.h"
#include "FrmDataPrev.h"
#include "FrmHelp.h"
#include "FrmResults.h"
#include "FrmWiz.h"
#include "FrmWiz2.h"
#include "frmAbout.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QThread>

namespace {

using tk::Answer;
using tk::FileError;

class MainWindow : public Fe2 {
protected:
    void TearDown() override { FrmRun::show_listing = nullptr; }
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

}  // namespace
