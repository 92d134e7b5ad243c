// The model editor: role buttons, option effects, validation and the
// control file a save writes.
#include "fe1_support.h"

#include <QCoreApplication>
#include <QEvent>

namespace {

using tk::Answer;
using tk::Icon;

const QByteArray kSix = "ID,X,Y,POP,INC,AGE";

class ModelEditor : public Fe1 {
protected:
    // Dependent INC, x X, y Y, independent POP and AGE.
    void sixVariableModel() {
        openEditor(kSix);
        assign(ed().Command1, "INC");
        assign(ed().Command3, "X");
        assign(ed().Command4, "Y");
        assign(ed().Command2, "POP");
        assign(ed().Command2, "AGE");
    }
    // Saves through "Save the model as ..." into `name`; returns the bytes.
    QByteArray saveAs(const QString& name) {
        t.choose(path(name));
        ed().mnuSaveAs_Click();
        return read(path(name));
    }
    static QByteArray crlf(const QStringList& lines) {
        QByteArray b;
        for (const QString& l : lines) b += l.toUtf8() + "\r\n";
        return b;
    }
};

TEST_F(ModelEditor, OpeningFillsTheVariablesAndDefaults) {
    openEditor(kSix, 4);
    EXPECT_EQ(ed().lstAllVars->count(), 6);
    EXPECT_EQ(ed().TxtVarsNo->text(), "6");
    EXPECT_TRUE(opt().Option4->isChecked());  // Poisson
    EXPECT_TRUE(ed().OptionAIC->isChecked());
    EXPECT_TRUE(ed().OptionAll->isChecked());
    EXPECT_FALSE(ed().OptionBW->isChecked());
    EXPECT_TRUE(ed().Option7->isChecked());
    EXPECT_EQ(ed().Text2->text(), "1");
    EXPECT_EQ(ed().ldlfilename->text(), "No selected file name");
    EXPECT_EQ(ed().windowTitle(), "Model Editor (Geographically Weighted Regression)");
    EXPECT_TRUE(ed().isVisible());
}

TEST_F(ModelEditor, SixVariableExampleIsWrittenByteForByte) {
    sixVariableModel();
    ed().Option4->setChecked(true);
    const QByteArray file = saveAs("model.tzm");
    EXPECT_EQ(file, crlf({path("data.csv"), "", path("est.csv"), "5", "2,3,0", "Untitled", "FFFTFT", "faa", "0", "0",
                          "0", "1", "0", "0", "2", "1"}));
    // The missing title is warned about in validation and again when the
    // record is written; nothing else is said.
    EXPECT_EQ(t.titles(), (QStringList{"Warning", "Warning"}));
    EXPECT_EQ(t.shown[0].icon, Icon::Exclamation);
    EXPECT_EQ(ed().ldlfilename->text(), path("model.tzm"));
    ASSERT_EQ(t.dialogs.size(), 1u);
    EXPECT_TRUE(t.dialogs[0].save);
    EXPECT_EQ(t.dialogs[0].request.title, "Save Model to File");
    EXPECT_EQ(t.dialogs[0].request.filter, "Model File (Model Files - *.tzm)|*.tzm");
    EXPECT_EQ(t.dialogs[0].request.folder, dir.path() + "/");
}

TEST_F(ModelEditor, OptionsBecomeTheirRecords) {
    sixVariableModel();
    ed().TxtTitle->setText("Sample run");
    // Sample calibration by CV, with listings, test and diagnostics.
    ed().select(ed().OptionCV);
    ed().select(ed().OptionSample);
    ed().Text2->setText("25");
    ed().Option6->setChecked(true);
    opt().cvcheck->setChecked(true);
    opt().predCheck->setChecked(true);
    opt().DiagnCheck->setChecked(true);
    opt().Option8->setChecked(true);
    ed().CoordsType->setCurrentText("Spherical");
    EXPECT_EQ(saveAs("a.tzm"), crlf({path("data.csv"), "", path("est.mif"), "5", "2,3,0", "Sample run", "FFFTFT", "fcs",
                                     "-25", "1", "1", "3", "1", "1", "2", "2"}));
    EXPECT_TRUE(t.shown.empty());

    // An adaptive kernel with a given number of neighbours and a weight;
    // Leung test, e00 output, logistic model.
    ed().kerneltype->setCurrentText("Adaptive");
    ed().select(ed().OptionBW);
    EXPECT_FALSE(ed().OptionCV->isChecked());
    ed().Text1->setText("50");
    assign(ed().Command5, "ID");
    ed().Option5->setChecked(true);
    opt().Option9->setChecked(true);
    opt().Option3->setChecked(true);
    const QByteArray b = saveAs("b.tzm");
    EXPECT_EQ(b, crlf({path("data.csv"), "", path("est.e00"), "5", "2,3,1", "Sample run", "FFFTFT", "vnn", "50", "1",
                       "1", "2", "2", "1", "3", "2"}));

    // A kernel typed in lower case has no letter; "All data" is 0.
    ed().kerneltype->setCurrentText("fixed");
    ed().select(ed().OptionAIC);
    const QStringList lines = QString::fromUtf8(saveAs("c.tzm")).split("\r\n");
    EXPECT_EQ(lines[7], "aa");
    EXPECT_EQ(lines[8], "0");
}

TEST_F(ModelEditor, EmptySamplePercentageIsWrittenAsALoneMinus) {
    sixVariableModel();
    ed().TxtTitle->setText("t");
    ed().select(ed().OptionSample);
    ed().Text2->clear();
    const QStringList lines = QString::fromUtf8(saveAs("m.tzm")).split("\r\n");
    ASSERT_GT(lines.size(), 9);
    EXPECT_EQ(lines[7], "fas");
    EXPECT_EQ(lines[8], "-");
}

TEST_F(ModelEditor, PercentageOutsideOneToNinetyNineIsRefused) {
    openEditor(kSix);
    for (const char* bad : {"0", "100", "abc"}) {
        t.clearLog();
        ed().Text2->setText(bad);
        EXPECT_EQ(ed().Text2->text(), "") << bad;
        ASSERT_EQ(t.shown.size(), 1u) << bad;
        EXPECT_EQ(t.shown[0].title, "Value Check");
        EXPECT_EQ(t.shown[0].icon, Icon::Critical);
        EXPECT_EQ(t.shown[0].text,
                  "The number you have entered is invalid. Please enter a percentage in the range of 1-99, or choose "
                  "another validation type");
    }
    t.clearLog();
    for (const char* good : {"1", "99", "45"}) {
        ed().Text2->setText(good);
        EXPECT_EQ(ed().Text2->text(), good);
    }
    EXPECT_TRUE(t.shown.empty());
    // The spinner stays within the range.
    ed().Text2->setText("99");
    ed().UpDown1->step(1);
    EXPECT_EQ(ed().Text2->text(), "99");
    ed().Text2->setText("1");
    ed().UpDown1->step(-1);
    EXPECT_EQ(ed().Text2->text(), "1");
    ed().UpDown1->step(1);
    EXPECT_EQ(ed().Text2->text(), "2");
}

TEST_F(ModelEditor, BandwidthAndCalibrationOptionsAffectEachOther) {
    openEditor(kSix);
    ed().select(ed().OptionBW);
    EXPECT_FALSE(ed().OptionAIC->isChecked());
    EXPECT_FALSE(ed().OptionCV->isChecked());
    EXPECT_FALSE(ed().OptionAll->isChecked());
    ed().Text1->setText("12.5");
    ed().select(ed().OptionCV);
    EXPECT_TRUE(ed().OptionCV->isChecked());
    EXPECT_FALSE(ed().OptionAIC->isChecked());
    EXPECT_FALSE(ed().OptionBW->isChecked());
    EXPECT_TRUE(ed().OptionAll->isChecked());
    EXPECT_EQ(ed().Text1->text(), "");
    ed().Text1->setText("3");
    ed().select(ed().OptionSample);
    EXPECT_EQ(ed().Text1->text(), "");
    EXPECT_FALSE(ed().OptionAll->isChecked());
    // A real click on a selected option keeps it selected.
    ed().OptionSample->click();
    EXPECT_TRUE(ed().OptionSample->isChecked());
}

TEST_F(ModelEditor, ValidationReportsEveryFailureInOrder) {
    openEditor(kSix, 2, "");
    od().TxtOpenData->clear();
    ed().kerneltype->setCurrentText("");
    ed().OptionAll->setChecked(false);
    ed().Text1->setText("0");
    t.choose(path("never.tzm"));
    ed().Command7->click();
    EXPECT_EQ(t.texts(), (QStringList{
                             "No data file has been defined. Create a new model.",
                             "No output file has been defined. Create a new model.",
                             "No dependent variable has been selected. Please select one.",
                             "No x (x-coord) variable has been selected. Please select one.",
                             "No y (y-coord) variable has been selected. Please select one.",
                             "Warning: No title entered. Note: This is optional and the program will still run "
                             "without a title.",
                             "No independent variables have been selected. Please select one.",
                             "No kernel type selected. Please select a kernel type and try again.",
                             "No bandwidth selected. Please select a bandwidth and try again.",
                             "No positive bandwidth defined. Please define the positive bandwidth and try again.",
                             "Fail to save the model",
                         }));
    for (const auto& s : t.shown) {
        if (s.title == "Warning") continue;
        EXPECT_EQ(s.title, "Error");
        EXPECT_EQ(s.icon, Icon::Critical);
    }
    EXPECT_TRUE(t.dialogs.empty());
    EXPECT_FALSE(QFile::exists(path("never.tzm")));

    // "Run Model" validates the same way and names its own failure.
    t.clearLog();
    ed().Command10->click();
    EXPECT_EQ(t.texts().last(), "Fail to run the model");
    EXPECT_EQ(t.texts().size(), 11);
}

TEST_F(ModelEditor, ZeroBandwidthFailsEvenWithAllData) {
    sixVariableModel();
    ed().TxtTitle->setText("t");
    ed().Text1->setText("0");
    EXPECT_FALSE(ed().check_model());
    EXPECT_EQ(t.texts(),
              QStringList{"No positive bandwidth defined. Please define the positive bandwidth and try again."});
}

TEST_F(ModelEditor, AStoppedSaveLeavesTheOldFileIntact) {
    sixVariableModel();
    ed().TxtTitle->setText("t");
    const QByteArray good = saveAs("m.tzm");
    ASSERT_TRUE(good.startsWith(path("data.csv").toUtf8()));
    // "Bandwidth" with an empty box passes validation and stops at the
    // bandwidth record.
    ed().select(ed().OptionBW);
    t.clearLog();
    t.answers = {Answer::Yes};
    ed().Command7->click();
    EXPECT_EQ(t.titles(), (QStringList{"Update Model Control File", "Error"}));
    EXPECT_EQ(t.texts().last(), "No positive bandwidth defined. Please define the positive bandwidth and try again.");
    EXPECT_EQ(read(path("m.tzm")), good);
    // A bandwidth that is not a number is an unexpected error, also
    // harmless.
    ed().Text1->setText("1e");
    EXPECT_FALSE(ed().check_model());
    EXPECT_EQ(read(path("m.tzm")), good);
    // A coordinate text that is neither choice stops the save too.
    ed().Text1->setText("7");
    ed().CoordsType->setCurrentText("cartesian");
    t.clearLog();
    t.answers = {Answer::Yes};
    ed().Command7->click();
    EXPECT_EQ(t.texts().last(), "No coordinate type selected. Please select Cartesian or Spherical and try again.");
    EXPECT_EQ(read(path("m.tzm")), good);
    ed().CoordsType->setCurrentText("Cartesian");
    // A write that fails leaves the file as it was and says so.
    ed().Text1->setText("7");
    t.clearLog();
    t.answers = {Answer::Yes};
    t.writeFailures[path("m.tzm")] = {tk::FileError::Access};
    ed().Command7->click();
    EXPECT_EQ(t.titles(), (QStringList{"Update Model Control File", "Unable to complete operation"}));
    EXPECT_EQ(read(path("m.tzm")), good);
}

TEST_F(ModelEditor, FileInUseIsRetriedOnOk) {
    sixVariableModel();
    ed().TxtTitle->setText("t");
    t.writeFailures[path("m.tzm")] = {tk::FileError::InUse, tk::FileError::InUse};
    t.answers = {Answer::OK, Answer::Cancel};
    t.choose(path("m.tzm"));
    ed().mnuSaveAs_Click();
    EXPECT_EQ(t.titles(), (QStringList{"Open File Error", "Open File Error"}));
    EXPECT_EQ(read(path("m.tzm")), "<missing>");
    t.clearLog();
    t.writeFailures[path("m.tzm")] = {tk::FileError::InUse};
    t.answers = {Answer::Yes, Answer::OK};
    ed().mnuSave_Click();
    EXPECT_EQ(t.titles(), (QStringList{"Update Model Control File", "Open File Error"}));
    EXPECT_TRUE(read(path("m.tzm")).startsWith(path("data.csv").toUtf8()));
}

TEST_F(ModelEditor, SaveCommandsChooseTheirMode) {
    sixVariableModel();
    ed().TxtTitle->setText("t");
    // A cancelled dialog resets the file name.
    ed().Command7->click();
    EXPECT_EQ(t.texts(), QStringList{"The model was not saved."});
    EXPECT_EQ(t.titles(), QStringList{"Fail to Save the Model"});
    EXPECT_EQ(ed().ldlfilename->text(), "No selected file name");
    // With a file name "Save" asks before overwriting; "No" writes nothing.
    saveAs("m.tzm");
    const QByteArray before = read(path("m.tzm"));
    ed().TxtTitle->setText("changed");
    t.clearLog();
    t.answers = {Answer::No};
    ed().Command7->click();
    EXPECT_EQ(t.texts(), QStringList{"Are you sure you wish to overwrite the existing Model Control File?"});
    EXPECT_EQ(t.shown[0].buttons, tk::Buttons::YesNo);
    EXPECT_EQ(read(path("m.tzm")), before);
    t.answers = {Answer::Yes};
    ed().Command7->click();
    EXPECT_TRUE(read(path("m.tzm")).contains("\r\nchanged\r\n"));
    EXPECT_TRUE(t.dialogs.empty());
}

TEST_F(ModelEditor, RoleButtonsAssignAndRelease) {
    openEditor(kSix);
    // Nothing selected: each button names its role.
    ed().lstAllVars->setCurrentRow(-1);
    ed().lstAllVars->clearSelection();
    for (QPushButton* b : {ed().Command1, ed().Command3, ed().Command4, ed().Command5, ed().Command2}) b->click();
    EXPECT_EQ(t.titles(), (QStringList{"Define The Dependent Variable", "Define The Coordinate X",
                                       "Define The Coordinate Y", "Define The Weight", "Define an Independent Variable"}));
    for (const auto& s : t.shown) {
        EXPECT_EQ(s.text, "You should select a variable from the Variables List first.");
        EXPECT_EQ(s.icon, Icon::Information);
    }
    t.clearLog();

    assign(ed().Command3, "X");
    EXPECT_EQ(ed().TxtX->text(), "X");
    EXPECT_EQ(ed().TxtXindex->text(), "2");
    EXPECT_EQ(ed().Command3->text(), "<-");
    ed().Command3->click();
    EXPECT_EQ(ed().TxtX->text(), "");
    EXPECT_EQ(ed().TxtXindex->text(), "");
    EXPECT_EQ(ed().Command3->text(), "->");

    // Independent variables: added in order, a second add refused.
    assign(ed().Command2, "AGE");
    assign(ed().Command2, "POP");
    EXPECT_EQ(ed().Command2->text(), "<-");
    assign(ed().Command2, "AGE");
    EXPECT_EQ(t.texts(), QStringList{"This variable is already used as an Independent Variable"});
    EXPECT_EQ(t.shown[0].title, "Wrong Selection");
    EXPECT_EQ(t.shown[0].icon, Icon::Exclamation);
    ASSERT_EQ(ed().LstIndVars->count(), 2);
    EXPECT_EQ(ed().LstIndVars->item(0)->text(), "AGE");
    t.clearLog();

    // Removing: clicking the list turns the button to removal.
    pick(ed().LstIndVars, "AGE");
    EXPECT_EQ(ed().Command2->text(), "<-");
    ed().Command2->click();
    ASSERT_EQ(ed().LstIndVars->count(), 1);
    EXPECT_EQ(ed().Command2->text(), "<-");
    ed().Command2->click();  // nothing selected any more
    EXPECT_EQ(t.texts(), QStringList{"You should select a variable from the Independent Variables List first."});
    EXPECT_EQ(t.titles(), QStringList{"Remove an Independent  Variable"});
    pick(ed().LstIndVars, "POP");
    ed().Command2->click();
    EXPECT_EQ(ed().LstIndVars->count(), 0);
    EXPECT_EQ(ed().Command2->text(), "->");
}

TEST_F(ModelEditor, RoleCheckRefusesConflictsAndReportsTheWeightTwice) {
    openEditor(kSix);
    assign(ed().Command1, "INC");
    assign(ed().Command5, "AGE");
    t.clearLog();
    // The weight offered as an independent variable: two weight messages.
    assign(ed().Command2, "AGE");
    EXPECT_EQ(t.texts(), (QStringList{"This variable is already used as the Weight",
                                      "This variable is already used as the Weight"}));
    EXPECT_EQ(ed().LstIndVars->count(), 0);
    t.clearLog();
    // The dependent variable as x coordinate.
    assign(ed().Command3, "INC");
    EXPECT_EQ(t.texts(), QStringList{"This variable is already used as the dependent variable"});
    EXPECT_EQ(ed().TxtX->text(), "");
    EXPECT_EQ(ed().Command3->text(), "->");
    t.clearLog();
    // The weight button skips its first weight check but not the last one:
    // the same name offered again is refused by that final check.
    EXPECT_TRUE(ed().check_var_use("AGE", Role::Weight));
    EXPECT_EQ(t.texts(), QStringList{"This variable is already used as the Weight"});
    t.clearLog();
    // The dependent button skips the dependent check; an independent
    // variable is still refused.
    assign(ed().Command2, "POP");
    EXPECT_FALSE(ed().check_var_use("INC", Role::Dependent));
    EXPECT_TRUE(ed().check_var_use("POP", Role::Dependent));
    EXPECT_FALSE(ed().check_var_use("", Role::Independent));
    EXPECT_EQ(t.texts(), QStringList{"This variable is already used as an Independent Variable"});
}

TEST_F(ModelEditor, SeparateEstimationPointsForceAGivenBandwidth) {
    openEditor(kSix);
    od().Txtlocations->setText(write("pts.xy", "1 2 3\n"));
    ed().Form_Activate();
    EXPECT_TRUE(ed().OptionBW->isChecked());
    EXPECT_FALSE(ed().OptionAIC->isChecked());
    for (QWidget* w : std::initializer_list<QWidget*>{ed().FrameMethod, ed().OptionAll, ed().OptionSample, ed().Text2,
                                                      ed().UpDown1, opt().cvcheck, opt().predCheck, opt().DiagnCheck,
                                                      opt().FrameTest})
        EXPECT_FALSE(w->isEnabled()) << w->objectName().toStdString();
    assign(ed().Command1, "INC");
    assign(ed().Command3, "X");
    assign(ed().Command4, "Y");
    assign(ed().Command2, "POP");
    ed().TxtTitle->setText("t");
    ed().Text1->setText("2.5");
    QStringList lines = QString::fromUtf8(saveAs("g.tzm")).split("\r\n");
    ASSERT_GT(lines.size(), 9);
    EXPECT_EQ(lines[1], path("pts.xy"));
    EXPECT_EQ(lines[7], "fnn");
    EXPECT_EQ(lines[8], "2.5");
    EXPECT_TRUE(t.shown.empty());

    // Other model types are fitted at the data points only.
    opt().Option4->setChecked(true);
    lines = QString::fromUtf8(saveAs("p.tzm")).split("\r\n");
    EXPECT_EQ(lines[1], "");
    EXPECT_EQ(lines[14], "4");
    EXPECT_EQ(t.titles(), QStringList{"Gaussian Regression"});
    EXPECT_EQ(t.texts()[0],
              "This model type can only be fitted at the data points. The calibration locations file selected will be "
              "ignored.");

    // Without the location file everything is enabled again, the selection
    // unchanged.
    od().Txtlocations->clear();
    ed().Form_Activate();
    EXPECT_TRUE(ed().FrameMethod->isEnabled());
    EXPECT_TRUE(opt().FrameTest->isEnabled());
    EXPECT_TRUE(ed().OptionBW->isChecked());
}

TEST_F(ModelEditor, ResultFileNameTakesTheFormatsExtension) {
    EXPECT_EQ(output_path_for("/d/est.txt", ".csv"), "/d/est.csv");
    EXPECT_EQ(output_path_for("/d/est.e00", ".mif"), "/d/est.mif");
    // A name without a three-letter extension keeps its folder and name.
    EXPECT_EQ(output_path_for("/d/results", ".csv"), "/d/results.csv");
    EXPECT_EQ(output_path_for("/d/a", ".csv"), "/d/a.csv");
}

TEST_F(ModelEditor, RunOpenModelHandsTheFilesToTheRunDialog) {
    sixVariableModel();
    ed().TxtTitle->setText("t");
    ed().mnuRun_Click();
    EXPECT_EQ(t.texts(), QStringList{"You need to create and/or save the model before run it."});
    EXPECT_EQ(t.titles(), QStringList{"Unable to run model"});
    saveAs("m.tzm");
    t.clearLog();
    ed().Command10->click();
    EXPECT_TRUE(t.shown.empty());
    EXPECT_EQ(run().TxtInput->text(), path("m.tzm"));
    // The listing is named after the control file, beside it.
    EXPECT_EQ(run().TxtOutput->text(), path("m.txt"));
    EXPECT_TRUE(run().isVisible());
}

TEST_F(ModelEditor, CommandsOpenTheirWindows) {
    openEditor(kSix);
    ed().Command6->click();
    EXPECT_TRUE(opt().isVisible());
    EXPECT_EQ(opt().windowTitle(), "Model Options");
    opt().cmdOK->click();
    EXPECT_FALSE(opt().isVisible());
    ed().mnuChgFiles->trigger();
    EXPECT_TRUE(od().isVisible());
    // "Open another model" is the main window's model-opening command.
    ed().mnuOpen->trigger();
    ASSERT_EQ(t.dialogs.size(), 1u);
    EXPECT_EQ(t.dialogs[0].request.title, "Open Model File");
}

TEST_F(ModelEditor, ClosingOffersToSaveAndForgetsTheFiles) {
    sixVariableModel();
    ed().TxtTitle->setText("t");
    // A save that was asked for and did not happen keeps the editor and
    // its files.
    t.answers = {Answer::Yes};
    ed().Command9->click();
    EXPECT_EQ(t.texts(), (QStringList{"Do you wish to save the Model Control File?", "The model was not saved."}));
    EXPECT_TRUE(ed().isVisible());
    EXPECT_EQ(od().TxtOpenData->text(), path("data.csv"));
    t.clearLog();
    t.answers = {Answer::Yes};
    t.choose(path("closing.tzm"));
    ed().Command9->click();
    EXPECT_EQ(t.texts().first(), "Do you wish to save the Model Control File?");
    EXPECT_TRUE(read(path("closing.tzm")).startsWith(path("data.csv").toUtf8()));
    EXPECT_EQ(od().TxtOpenData->text(), "");
    EXPECT_EQ(od().TxtOutput->text(), "");
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(forms::loaded<FrmTZM>());
    // The options dialog keeps its choices; a new editor starts afresh.
    opt().Option9->setChecked(true);
    EXPECT_EQ(ed().LstIndVars->count(), 0);
    EXPECT_TRUE(opt().Option9->isChecked());
}

}  // namespace
