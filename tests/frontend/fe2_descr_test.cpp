// The descriptive statistics editor: opening, role buttons, validation, the
// control file a save writes, reading it back, and its commands.
#include "fe2_support.h"

#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>

namespace {

using tk::Answer;
using tk::FileError;

const QByteArray kFive = "ID,X,Y,POP,INC";

class DescrEditor : public Fe2 {
protected:
    // The data file chosen and the editor opened through its menu command.
    void openEditor(const QByteArray& header = kFive, const QString& output = "est.txt")
    {
        chooseData(header, output);
        main().mnuDescrStatsEditor_Click();
        t.clearLog();
    }
    // POP and INC summarised at X, Y; adaptive kernel of 50 neighbours, csv.
    void example()
    {
        openEditor();
        assign(de().lstAllVars, de().Command2, "POP");
        assign(de().lstAllVars, de().Command2, "INC");
        assign(de().lstAllVars, de().Command3, "X");
        assign(de().lstAllVars, de().Command4, "Y");
        de().TxtTitle->setText("Local means");
        de().kerneltype->setCurrentText("Adaptive");
        de().BandwidthTxt->setText("50");
        de().Option4->setChecked(true);
    }
    QByteArray saveAs(const QString& name)
    {
        t.choose(path(name));
        de().mnuSaveAs_Click();
        return read(path(name));
    }
};

TEST_F(DescrEditor, OpeningFillsTheVariables)
{
    openEditor();
    EXPECT_TRUE(de().isVisible());
    EXPECT_EQ(de().windowTitle(), "Descriptive Statistics Editor (Geographically Weighted Statistics)");
    EXPECT_EQ(entries(de().lstAllVars), QString(kFive).split(','));
    EXPECT_EQ(de().TxtVarsNo->text(), "5");
    EXPECT_EQ(main().editor_kind, 2);
    EXPECT_TRUE(de().Option7->isChecked());
    EXPECT_EQ(de().ldlfilename->text(), "No selected file name");
    EXPECT_EQ(de().kerneltype->currentText(), "Fixed");
    EXPECT_EQ(de().CoordsType->currentText(), "Cartesian");

    // Without a data file the data-file sequence runs first, for this editor.
    forms::unloadAll();
    main().mnuDescrStatsEditor_Click();
    EXPECT_EQ(main().editor_kind, 2);
    ASSERT_EQ(t.dialogs.size(), 1u);
    EXPECT_EQ(t.dialogs[0].request.title, "Open Data File");
    EXPECT_FALSE(de().isVisible());
}

TEST_F(DescrEditor, ExampleIsWrittenByteForByteAndReadsBack)
{
    example();
    const QByteArray file = saveAs("d.tzm");
    EXPECT_EQ(file, crlf({path("data.csv"), "", path("est.csv"), "0", "2,3,0", "Local means", "FFFTT", "v", "50",
                          "0", "0", "1", "0", "0", "1", "1"}));
    EXPECT_TRUE(t.shown.empty());
    EXPECT_EQ(de().ldlfilename->text(), path("d.tzm"));
    ASSERT_EQ(t.dialogs.size(), 1u);
    EXPECT_EQ(t.dialogs[0].request.title, "Save Model to File");
    EXPECT_EQ(t.dialogs[0].request.filter, "Model File (Model Files - *.tzm)|*.tzm");

    forms::unloadAll();
    t.clearLog();
    t.choose(path("d.tzm"));
    main().mnuOpenDescr_Click();
    EXPECT_TRUE(t.shown.empty());
    EXPECT_TRUE(de().isVisible());
    EXPECT_EQ(de().ldlfilename->text(), path("d.tzm"));
    EXPECT_EQ(od().TxtOutput->text(), path("est.csv"));
    EXPECT_EQ(de().TxtVarsNo->text(), "5");
    EXPECT_EQ(entries(de().LstIndVars), QStringList({"POP", "INC"}));
    EXPECT_EQ(de().LstIndVars->currentRow(), 0);
    EXPECT_EQ(de().TxtX->text(), "X");
    EXPECT_EQ(de().TxtY->text(), "Y");
    EXPECT_EQ(de().TxtWindex->text(), "0");
    for (QPushButton* b : {de().Command2, de().Command3, de().Command4})
        EXPECT_EQ(b->text(), "<-");
    EXPECT_EQ(de().Command5->text(), "->");
    EXPECT_EQ(de().kerneltype->currentText(), "Adaptive");
    EXPECT_EQ(de().BandwidthTxt->text(), "50");
    EXPECT_TRUE(de().Option4->isChecked());
    EXPECT_EQ(saveAs("d2.tzm"), file);
}

TEST_F(DescrEditor, OtherChoicesReadBackToTheSameFile)
{
    // Weight, fixed kernel, spherical, MapInfo, a title with commas, and a
    // location file that "Model Options" (Gaussian) lets through.
    openEditor("ID,X,Y,POP,INC,AGE");
    od().Txtlocations->setText(write("pts.xy", "1 0 0\r\n"));
    assign(de().lstAllVars, de().Command2, "AGE");
    assign(de().lstAllVars, de().Command3, "Y");
    assign(de().lstAllVars, de().Command4, "X");
    assign(de().lstAllVars, de().Command5, "INC");
    de().TxtTitle->setText("Means, variances, and SDs");
    de().BandwidthTxt->setText("12.5");
    de().CoordsType->setCurrentText("Spherical");
    de().Option6->setChecked(true);
    const QByteArray file = saveAs("w.tzm");
    ASSERT_EQ(file, crlf({path("data.csv"), path("pts.xy"), path("est.mif"), "0", "3,2,5",
                          "Means, variances, and SDs", "FFFFFT", "f", "12.5", "0", "0", "3", "0", "0", "1", "2"}));
    forms::unloadAll();
    t.choose(path("w.tzm"));
    main().mnuOpenDescr_Click();
    EXPECT_EQ(de().TxtW->text(), "INC");
    EXPECT_EQ(de().TxtTitle->text(), "Means, variances, and SDs");
    EXPECT_EQ(de().CoordsType->currentText(), "Spherical");
    EXPECT_EQ(saveAs("w2.tzm"), file);

    // With another model type in "Model Options" the location file is left
    // out, with the model editor's message.
    t.clearLog();
    opt().select_model_type(3);
    const QByteArray logistic = saveAs("w3.tzm");
    EXPECT_EQ(t.titles(), QStringList{"Gaussian Regression"});
    EXPECT_TRUE(logistic.startsWith((path("data.csv") + "\r\n\r\n").toUtf8()));
}

TEST_F(DescrEditor, ValidationReportsEveryFailureInOrder)
{
    openEditor(kFive, "");
    od().TxtOpenData->clear();
    de().kerneltype->setCurrentText("");
    de().BandwidthTxt->setText("0");
    de().mnuSaveAs_Click();
    EXPECT_EQ(t.texts(), QStringList({
                             "No data file has been defined. Create a new model.",
                             "No output file has been defined. Create a new model.",
                             "No x (x-coord) variable has been selected. Please select one.",
                             "No y (y-coord) variable has been selected. Please select one.",
                             "Warning: No title entered. Note: This is optional and the program will still run "
                             "without a title.",
                             "No independent variables have been selected. Please select one.",
                             "No kernel type selected. Please select a kernel type and try again.",
                             "No positive bandwidth defined. Please define the positive bandwidth and try again.",
                             "Fail to save the configuration",
                         }));
    EXPECT_EQ(t.titles().count("Error"), 8);
    EXPECT_TRUE(t.dialogs.empty());

    // "Run" validates the same way and does not run.
    t.clearLog();
    de().Command10->click();
    EXPECT_EQ(t.texts().last(), "Fail to run the model");
    EXPECT_FALSE(forms::loaded<FrmRun>() && run().isVisible());
}

TEST_F(DescrEditor, AStoppedSaveLeavesTheOldFileIntact)
{
    example();
    saveAs("d.tzm");
    const QByteArray good = read(path("d.tzm"));

    // An empty bandwidth passes validation and stops the save at record 9.
    t.clearLog();
    de().BandwidthTxt->clear();
    t.answers = {Answer::Yes};
    de().Command8->click();
    EXPECT_EQ(t.titles(), QStringList({"Update Model Control File", "Error"}));
    EXPECT_EQ(t.shown[1].text, "No positive bandwidth defined. Please define the positive bandwidth and try again.");
    EXPECT_EQ(read(path("d.tzm")), good);

    // A file in use offers a retry with this editor's wording; a refused
    // retry keeps the old file, an accepted one writes the new one.
    de().BandwidthTxt->setText("60");
    t.clearLog();
    t.writeFailures[path("d.tzm")] = {FileError::InUse, FileError::InUse};
    t.answers = {Answer::Yes, Answer::OK, Answer::Cancel};
    de().mnuSave_Click();
    ASSERT_EQ(t.shown.size(), 3u);
    EXPECT_EQ(t.shown[1].title, "Open File Error");
    EXPECT_EQ(t.shown[1].text, "An error occurred trying saving the file. Press OK to try again. If the problem "
                               "persists, press CANCEL and try to save the configuration as ... option");
    EXPECT_EQ(read(path("d.tzm")), good);
    t.answers = {Answer::Yes};
    de().mnuSave_Click();
    EXPECT_TRUE(read(path("d.tzm")).contains("\r\n60\r\n"));

    // Any other failure: the unexpected-error message, the file untouched.
    const QByteArray now = read(path("d.tzm"));
    de().BandwidthTxt->setText("70");
    t.clearLog();
    t.writeFailures[path("d.tzm")] = {FileError::Access};
    t.answers = {Answer::Yes};
    de().mnuSave_Click();
    EXPECT_EQ(t.titles(), QStringList({"Update Model Control File", "Unable to complete operation"}));
    EXPECT_EQ(read(path("d.tzm")), now);

    // "No" to the overwrite question writes nothing.
    t.clearLog();
    const size_t writes = t.writes.size();
    t.answers = {Answer::No};
    de().mnuSave_Click();
    EXPECT_EQ(t.writes.size(), writes);
    EXPECT_EQ(read(path("d.tzm")), now);
}

TEST_F(DescrEditor, CancelledSaveDialogForgetsTheFileName)
{
    example();
    de().Command8->click();  // no file name yet: the dialog, cancelled
    EXPECT_EQ(t.titles(), QStringList{"Fail to Save the Model"});
    EXPECT_EQ(t.texts(), QStringList{"The model was not saved."});
    EXPECT_EQ(de().ldlfilename->text(), "No selected file name");

    // Nothing to run yet.
    t.clearLog();
    de().mnuRun_Click();
    EXPECT_EQ(t.titles(), QStringList{"Unable to run model"});
    EXPECT_EQ(t.texts(), QStringList{"You need to create and/or save the model before run it."});
}

TEST_F(DescrEditor, RunHandsTheSavedFileToTheRunDialog)
{
    example();
    saveAs("d.tzm");
    t.clearLog();
    de().Command10->click();
    EXPECT_TRUE(t.shown.empty());
    EXPECT_TRUE(run().isVisible());
    EXPECT_EQ(run().TxtInput->text(), path("d.tzm"));
    EXPECT_EQ(run().TxtOutput->text(), path("d.txt"));
}

TEST_F(DescrEditor, RoleButtonsRefuseVariablesWithAnotherRole)
{
    openEditor();
    // Nothing selected.
    de().Command3->click();
    de().Command2->click();
    EXPECT_EQ(t.titles(), QStringList({"Define The Coordinate X", "Define an Independent Variable"}));
    EXPECT_EQ(t.texts().first(), "You should select a variable from the Variables List first.");

    assign(de().lstAllVars, de().Command3, "X");
    assign(de().lstAllVars, de().Command5, "POP");
    EXPECT_EQ(de().TxtXindex->text(), "2");
    EXPECT_EQ(de().TxtWindex->text(), "4");
    t.clearLog();
    // The weight offered for the list is reported twice; X once.
    assign(de().lstAllVars, de().Command2, "POP");
    assign(de().lstAllVars, de().Command2, "X");
    EXPECT_EQ(t.texts(), QStringList({"This variable is already used as the Weight",
                                      "This variable is already used as the Weight",
                                      "This variable is already used as the Coordinate X"}));
    EXPECT_EQ(t.titles().count("Wrong Selection"), 3);
    EXPECT_EQ(de().LstIndVars->count(), 0);

    // A variable is summarised once; removing the last one turns the button.
    t.clearLog();
    assign(de().lstAllVars, de().Command2, "INC");
    assign(de().lstAllVars, de().Command2, "INC");
    EXPECT_EQ(t.texts(), QStringList{"This variable is already used as an Independent Variable"});
    EXPECT_EQ(de().LstIndVars->count(), 1);
    pick(de().LstIndVars, "INC");
    EXPECT_EQ(de().Command2->text(), "<-");
    de().Command2->click();
    EXPECT_EQ(de().LstIndVars->count(), 0);
    EXPECT_EQ(de().Command2->text(), "->");

    // The x button clicked again gives the role up.
    de().Command3->click();
    EXPECT_EQ(de().TxtX->text(), "");
    EXPECT_EQ(de().TxtXindex->text(), "");
    EXPECT_EQ(de().Command3->text(), "->");
}

TEST_F(DescrEditor, ClosingOffersToSaveAndForgetsTheFiles)
{
    example();
    saveAs("d.tzm");
    t.clearLog();
    t.answers = {Answer::No};
    de().Command9->click();
    EXPECT_EQ(t.titles(), QStringList{"Update Model Control File"});
    EXPECT_EQ(t.texts(), QStringList{"Do you wish to save the Descriptives Configuration File?"});
    EXPECT_TRUE(od().TxtOpenData->text().isEmpty());
    EXPECT_TRUE(od().Txtlocations->text().isEmpty());
    EXPECT_TRUE(od().TxtOutput->text().isEmpty());

    // "Yes" saves over the current file first.
    forms::unloadAll();
    example();
    saveAs("e.tzm");
    de().BandwidthTxt->setText("75");
    t.clearLog();
    t.answers = {Answer::Yes, Answer::Yes};
    de().mnuExit_Click();
    EXPECT_EQ(t.titles(), QStringList({"Update Model Control File", "Update Model Control File"}));
    EXPECT_TRUE(read(path("e.tzm")).contains("\r\n75\r\n"));
    EXPECT_TRUE(od().TxtOpenData->text().isEmpty());

    // A save asked for that does not happen keeps the editor and its files.
    forms::unloadAll();
    example();
    t.clearLog();
    t.answers = {Answer::Yes};
    de().Command9->click();  // no file name: the dialog, cancelled
    EXPECT_EQ(t.titles(), QStringList({"Update Model Control File", "Fail to Save the Model"}));
    EXPECT_TRUE(de().isVisible());
    EXPECT_EQ(od().TxtOpenData->text(), path("data.csv"));

    // A typed coordinates text stops the save rather than write a file the
    // engine cannot read.
    de().CoordsType->setCurrentText("cartesian");
    t.clearLog();
    t.choose(path("typed.tzm"));
    EXPECT_FALSE(de().save_configuration(0, QString()) || QFile::exists(path("typed.tzm")));
    EXPECT_EQ(t.texts().last(), "No coordinate type selected. Please select Cartesian or Spherical and try again.");
}

TEST_F(DescrEditor, DataFileSequencePresetsThisEditorsFormat)
{
    // "Descriptive Statistics" before any data file: the data-file sequence,
    // whose MapInfo filter entry selects this editor's MapInfo format, and
    // "Continue" of "Confirm Data Files" opens the editor.
    const QString data = write("data.csv", kFive + "\r\n");
    t.choose(data);
    t.answers = {Answer::Yes};
    t.choose(path("est.mif"), 3);
    main().mnuDescrStatsEditor_Click();
    EXPECT_TRUE(de().Option6->isChecked());
    od().cmdOK_Click();
    EXPECT_TRUE(de().isVisible());
    EXPECT_EQ(de().TxtVarsNo->text(), "5");
    EXPECT_EQ(main().editor_kind, -1);
}

}  // namespace
