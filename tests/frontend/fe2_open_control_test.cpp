// Reading control files back into the model editor and the descriptive
// statistics editor: round trips, refusals and failures.
#include "fe2_support.h"

#include "FrmWiz.h"
#include "FrmWiz2.h"

#include <QComboBox>
#include <QFile>

#include <clocale>
#include <QDir>

#include <functional>
#include <QLineEdit>
#include <QRadioButton>

namespace {

using tk::Answer;

const QByteArray kSix = "ID,X,Y,POP,INC,AGE";

class OpenControl : public Fe2 {
protected:
    // The records of a model file over data.csv.
    QStringList modelRecords(const QString& codes, const QString& bandwidth, const QString& flags = "FFFTFT")
    {
        return {path("data.csv"), "", path("est.csv"), "5", "2,3,0", "A title", flags, codes, bandwidth,
                "0", "0", "1", "0", "0", "2", "1"};
    }
    // Writes a control file and opens it with "Model...".
    void openModel(const QStringList& records, const QString& name = "m.tzm")
    {
        t.choose(write(name, crlf(records)));
        main().mnuOpenModel_Click();
    }
    // Saves the model editor's choices under `name` and returns the file.
    QByteArray saveModelAs(const QString& name)
    {
        t.choose(path(name));
        ed().mnuSaveAs_Click();
        return read(path(name));
    }
    // Opens `file` with "Model..." in fresh windows and saves it again.
    QByteArray reopenAndSave(const QString& file, const QString& name)
    {
        forms::unloadAll();
        t.choose(file);
        main().mnuOpenModel_Click();
        EXPECT_TRUE(ed().isVisible());
        return saveModelAs(name);
    }
};

TEST_F(OpenControl, SixVariableExampleReadsBackIntoEveryControl)
{
    chooseData(kSix);
    main().mnuGauss_Click();
    assign(ed().lstAllVars, ed().Command1, "INC");
    assign(ed().lstAllVars, ed().Command3, "X");
    assign(ed().lstAllVars, ed().Command4, "Y");
    assign(ed().lstAllVars, ed().Command2, "POP");
    assign(ed().lstAllVars, ed().Command2, "AGE");
    ed().Option4->setChecked(true);
    const QByteArray first = saveModelAs("model.tzm");
    ASSERT_EQ(first, crlf({path("data.csv"), "", path("est.csv"), "5", "2,3,0", "Untitled", "FFFTFT", "faa",
                           "0", "0", "0", "1", "0", "0", "2", "1"}));

    forms::unloadAll();
    t.clearLog();
    od().ProjectPathTxt->setText(dir.path() + "/");
    t.choose(path("model.tzm"));
    main().mnuOpenModel_Click();
    EXPECT_TRUE(t.shown.empty());
    ASSERT_EQ(t.dialogs.size(), 1u);
    EXPECT_FALSE(t.dialogs[0].save);
    EXPECT_EQ(t.dialogs[0].request.title, "Open Model File");
    EXPECT_EQ(t.dialogs[0].request.filter, "Model Files (Existing Model File - *.tzm)|*.tzm");
    EXPECT_EQ(t.dialogs[0].request.folder, dir.path() + "/");
    EXPECT_TRUE(t.dialogs[0].request.fileName.isEmpty());

    EXPECT_TRUE(ed().isVisible());
    EXPECT_EQ(ed().ldlfilename->text(), path("model.tzm"));
    EXPECT_EQ(od().TxtOpenData->text(), path("data.csv"));
    EXPECT_EQ(od().Txtlocations->text(), "");
    EXPECT_EQ(od().TxtOutput->text(), path("est.csv"));
    EXPECT_EQ(entries(ed().lstAllVars), QString(kSix).split(','));
    EXPECT_EQ(ed().TxtVarsNo->text(), "6");
    EXPECT_EQ(ed().TxtDependent->text(), "INC");
    EXPECT_EQ(ed().TxtDindex->text(), "5");
    EXPECT_EQ(ed().TxtX->text(), "X");
    EXPECT_EQ(ed().TxtXindex->text(), "2");
    EXPECT_EQ(ed().TxtY->text(), "Y");
    EXPECT_EQ(ed().TxtYindex->text(), "3");
    EXPECT_EQ(ed().TxtW->text(), "");
    EXPECT_EQ(ed().TxtWindex->text(), "0");
    for (QPushButton* b : {ed().Command1, ed().Command2, ed().Command3, ed().Command4})
        EXPECT_EQ(b->text(), "<-") << b->objectName().toStdString();
    EXPECT_EQ(ed().Command5->text(), "->");
    EXPECT_EQ(entries(ed().LstIndVars), QStringList({"POP", "AGE"}));
    EXPECT_EQ(ed().LstIndVars->currentRow(), 0);
    EXPECT_EQ(ed().TxtTitle->text(), "Untitled");
    EXPECT_EQ(ed().kerneltype->currentText(), "Fixed");
    EXPECT_TRUE(ed().OptionAIC->isChecked());
    EXPECT_FALSE(ed().OptionCV->isChecked());
    EXPECT_TRUE(ed().OptionAll->isChecked());
    EXPECT_FALSE(ed().OptionBW->isChecked());
    EXPECT_TRUE(ed().Option4->isChecked());
    EXPECT_EQ(ed().CoordsType->currentText(), "Cartesian");
    EXPECT_TRUE(opt().Option2->isChecked());
    EXPECT_TRUE(opt().Option10->isChecked());
    EXPECT_FALSE(opt().cvcheck->isChecked() || opt().predCheck->isChecked() || opt().DiagnCheck->isChecked());

    // Saved again, the file is the same byte for byte.
    EXPECT_EQ(saveModelAs("again.tzm"), first);
}

TEST_F(OpenControl, EveryWrittenModelReadsBackToTheSameFile)
{
    // Adaptive kernel calibrated by CV on a 25 % sample, weight, listings,
    // Monte Carlo test, logistic, spherical; a comma in the data path and
    // in the title.
    QDir(dir.path()).mkdir("x,y");
    chooseData(kSix, "est.txt", "x,y/a,b.csv");
    main().mnuLogist_Click();
    assign(ed().lstAllVars, ed().Command1, "INC");
    assign(ed().lstAllVars, ed().Command3, "X");
    assign(ed().lstAllVars, ed().Command4, "Y");
    assign(ed().lstAllVars, ed().Command5, "AGE");
    assign(ed().lstAllVars, ed().Command2, "POP");
    ed().TxtTitle->setText("Lima, Peru: 2 bands, \"sample\"");
    ed().kerneltype->setCurrentText("Adaptive");
    ed().CoordsType->setCurrentText("Spherical");
    ed().select(ed().OptionCV);
    ed().select(ed().OptionSample);
    ed().Text2->setText("25");
    ed().Option6->setChecked(true);
    opt().cvcheck->setChecked(true);
    opt().predCheck->setChecked(true);
    opt().DiagnCheck->setChecked(true);
    opt().Option8->setChecked(true);
    const QByteArray sample = saveModelAs("sample.tzm");
    ASSERT_EQ(sample, crlf({path("x,y/a,b.csv"), "", path("est.mif"), "5", "2,3,6", "Lima, Peru: 2 bands, \"sample\"",
                            "FFFTFF", "vcs", "-25", "1", "1", "3", "1", "1", "3", "2"}));
    EXPECT_EQ(reopenAndSave(path("sample.tzm"), "sample2.tzm"), sample);
    EXPECT_EQ(od().TxtOpenData->text(), path("x,y/a,b.csv"));
    EXPECT_EQ(ed().TxtTitle->text(), "Lima, Peru: 2 bands, \"sample\"");
    EXPECT_EQ(ed().TxtW->text(), "AGE");
    EXPECT_EQ(ed().kerneltype->currentText(), "Adaptive");
    EXPECT_TRUE(ed().OptionCV->isChecked());
    EXPECT_TRUE(ed().OptionSample->isChecked());
    EXPECT_EQ(ed().Text2->text(), "25");
    EXPECT_TRUE(opt().Option3->isChecked());
    EXPECT_TRUE(opt().Option8->isChecked());

    // A user's bandwidth of 0.5 with a location file, Leung test, e00.
    forms::unloadAll();
    chooseData(kSix);
    od().Txtlocations->setText(write("pts.xy", "1 0 0\r\n"));
    main().mnuGauss_Click();
    assign(ed().lstAllVars, ed().Command1, "POP");
    assign(ed().lstAllVars, ed().Command3, "X");
    assign(ed().lstAllVars, ed().Command4, "Y");
    assign(ed().lstAllVars, ed().Command2, "INC");
    ed().TxtTitle->setText("Fixed");
    ed().select(ed().OptionBW);
    ed().Text1->setText("0.5");
    ed().Option5->setChecked(true);
    opt().Option9->setChecked(true);
    const QByteArray fixed = saveModelAs("fixed.tzm");
    ASSERT_EQ(fixed, crlf({path("data.csv"), path("pts.xy"), path("est.e00"), "4", "2,3,0", "Fixed", "FFFFTF",
                           "fnn", "0.5", "0", "0", "2", "2", "0", "2", "1"}));
    EXPECT_EQ(reopenAndSave(path("fixed.tzm"), "fixed2.tzm"), fixed);
    EXPECT_TRUE(ed().OptionBW->isChecked());
    EXPECT_FALSE(ed().OptionAIC->isChecked() || ed().OptionCV->isChecked());
    EXPECT_EQ(ed().Text1->text(), "0.5");
    EXPECT_EQ(od().Txtlocations->text(), path("pts.xy"));

    // A sample whose percentage box was left empty is written as a lone
    // minus sign and reads back as that empty sample.
    forms::unloadAll();
    chooseData(kSix, "");
    main().mnuBi_Click();
    assign(ed().lstAllVars, ed().Command1, "POP");
    assign(ed().lstAllVars, ed().Command3, "X");
    assign(ed().lstAllVars, ed().Command4, "Y");
    assign(ed().lstAllVars, ed().Command2, "AGE");
    ed().TxtTitle->setText("Empty sample");
    od().TxtOutput->setText(path("est.txt"));
    ed().select(ed().OptionSample);
    ed().Text2->clear();
    const QByteArray empty = saveModelAs("empty.tzm");
    ASSERT_EQ(empty, crlf({path("data.csv"), "", "", "4", "2,3,0", "Empty sample", "FFFFFT", "fas", "-", "0", "0",
                           "0", "0", "0", "4", "1"}));
    od().TxtOutput->setText(path("est.txt"));
    forms::unloadAll();
    t.choose(path("empty.tzm"));
    main().mnuOpenModel_Click();
    EXPECT_TRUE(ed().OptionSample->isChecked());
    EXPECT_EQ(ed().Text2->text(), "");
    od().TxtOutput->setText(path("est.txt"));  // record 3 was empty
    EXPECT_EQ(saveModelAs("empty2.tzm"), empty);
}

TEST_F(OpenControl, CodesAndBandwidthSelectTheOptions)
{
    chooseData(kSix);
    // Adaptive, CV, a sample of 25 %.
    openModel(modelRecords("vcs", "-25"));
    EXPECT_EQ(ed().kerneltype->currentText(), "Adaptive");
    EXPECT_TRUE(ed().OptionCV->isChecked());
    EXPECT_FALSE(ed().OptionAIC->isChecked());
    EXPECT_TRUE(ed().OptionSample->isChecked());
    EXPECT_FALSE(ed().OptionAll->isChecked() || ed().OptionBW->isChecked());
    EXPECT_EQ(ed().Text2->text(), "25");
    EXPECT_EQ(ed().Text1->text(), "");

    // A user's bandwidth: the calibration letter n and a positive value.
    forms::unloadAll();
    openModel(modelRecords("fnn", "0.5"));
    EXPECT_EQ(ed().kerneltype->currentText(), "Fixed");
    EXPECT_TRUE(ed().OptionBW->isChecked());
    EXPECT_FALSE(ed().OptionAIC->isChecked() || ed().OptionCV->isChecked());
    EXPECT_EQ(ed().Text1->text(), "0.5");

    // The bandwidth option follows record 9 whatever the third letter says.
    forms::unloadAll();
    openModel(modelRecords("fas", "0"));
    EXPECT_TRUE(ed().OptionAIC->isChecked());
    EXPECT_TRUE(ed().OptionAll->isChecked());
    EXPECT_FALSE(ed().OptionSample->isChecked());

    // A calibration letter the editor does not know changes nothing there.
    forms::unloadAll();
    ed().select(ed().OptionCV);
    openModel(modelRecords("fbn", "0"));
    EXPECT_TRUE(ed().OptionCV->isChecked());
    EXPECT_TRUE(ed().OptionAll->isChecked());

    // Typed kernel and coordinates texts give way to the file's choices.
    forms::unloadAll();
    ed().kerneltype->setCurrentText("fixed");
    ed().CoordsType->setCurrentText("cartesian");
    openModel(modelRecords("faa", "0"));
    EXPECT_EQ(ed().kerneltype->currentText(), "Fixed");
    EXPECT_EQ(ed().CoordsType->currentText(), "Cartesian");

    // Lower-case t marks no independent variable.
    forms::unloadAll();
    openModel(modelRecords("faa", "0", "FFFtFt"));
    EXPECT_TRUE(ed().isVisible());
    EXPECT_EQ(ed().LstIndVars->count(), 0);
    EXPECT_TRUE(t.shown.empty());
}

TEST_F(OpenControl, UnlistedValuesKeepWhatTheEditorHad)
{
    chooseData(kSix);
    ed().Option5->setChecked(true);
    opt().Option8->setChecked(true);
    ed().CoordsType->setCurrentText("Spherical");
    QStringList records = modelRecords("faa", "0");
    records[11] = "7";  // result format
    records[12] = "3";  // significance test
    records[15] = "9";  // coordinates
    openModel(records);
    EXPECT_TRUE(ed().Option5->isChecked());
    EXPECT_TRUE(opt().Option8->isChecked());
    EXPECT_EQ(ed().CoordsType->currentText(), "Spherical");

    // A file without its coordinates record (written for a typed
    // coordinates text) reads up to there and keeps the choice.
    forms::unloadAll();
    ed().CoordsType->setCurrentText("Spherical");
    records = modelRecords("faa", "0");
    records.removeLast();
    openModel(records);
    EXPECT_TRUE(t.shown.empty());
    EXPECT_TRUE(ed().isVisible());
    EXPECT_EQ(ed().CoordsType->currentText(), "Spherical");
}

TEST_F(OpenControl, DescriptiveFileIsRefusedByTheModelReader)
{
    chooseData(kSix);
    const QString descr = write("d.tzm", crlf({path("data.csv"), "", path("est.csv"), "0", "2,3,0", "D", "FFFTT",
                                                "v", "50", "0", "0", "1", "0", "0", "1", "1"}));
    // "Yes" asks for another file; that dialog is cancelled.
    t.choose(descr);
    t.answers = {Answer::Yes};
    main().mnuOpenModel_Click();
    ASSERT_EQ(t.shown.size(), 2u);
    EXPECT_EQ(t.shown[0].title, "Wrong file type");
    EXPECT_EQ(t.shown[0].text, "This is not a model control file. Would you like to select another file?");
    EXPECT_EQ(t.shown[0].buttons, tk::Buttons::YesNo);
    EXPECT_EQ(t.shown[1].title, "Fail to open model.");
    EXPECT_EQ(t.shown[1].text, "No File Selected. Try Again.");
    EXPECT_EQ(t.dialogs.size(), 2u);
    EXPECT_FALSE(ed().isVisible());
    // The refused file's paths and name stay.
    EXPECT_EQ(ed().ldlfilename->text(), descr);
    EXPECT_EQ(od().TxtOutput->text(), path("est.csv"));

    // "No" ends the command; so does a model type the editor does not know.
    t.clearLog();
    QStringList records = modelRecords("faa", "0");
    records[14] = "5";
    t.choose(write("m5.tzm", crlf(records)));
    t.answers = {Answer::No};
    main().mnuOpenModel_Click();
    EXPECT_EQ(t.titles(), QStringList{"Wrong file type"});
    EXPECT_EQ(t.dialogs.size(), 1u);
    EXPECT_FALSE(ed().isVisible());
}

TEST_F(OpenControl, ModelFileIsRefusedByTheDescriptiveReader)
{
    chooseData(kSix);
    t.choose(write("m.tzm", crlf(modelRecords("faa", "0"))));
    t.answers = {Answer::No};
    main().mnuOpenDescr_Click();
    ASSERT_EQ(t.shown.size(), 1u);
    EXPECT_EQ(t.shown[0].title, "Wrong file type");
    EXPECT_EQ(t.shown[0].text,
              "This is not a descriptive statistics configuration file. Would you like to select another file?");
    EXPECT_FALSE(de().isVisible());
    EXPECT_EQ(t.dialogs[0].request.title, "Open Descriptives Configuration File");
    EXPECT_EQ(t.dialogs[0].request.filter, "Configuration Files (*.tzm)|*.tzm");

    // Nothing chosen.
    t.clearLog();
    main().mnuOpenDescr_Click();
    EXPECT_EQ(t.titles(), QStringList{"Fail to open descriptives configuration."});
    EXPECT_EQ(t.texts(), QStringList{"No File Selected. Try Again."});
}

TEST_F(OpenControl, UnreadableFilesShowNoEditor)
{
    chooseData(kSix);
    // A file that is gone: silence.
    t.choose(path("gone.tzm"));
    main().mnuOpenModel_Click();
    EXPECT_TRUE(t.shown.empty());
    EXPECT_FALSE(ed().isVisible());

    // Text where a number is due, a short flag string, a short record 5,
    // a file that ends early: the unexpected-error message, for both readers.
    const QList<std::function<void(QStringList&)>> faults = {
        [](QStringList& r) { r[4] = "2,x,0"; },
        [](QStringList& r) { r[6] = "FFT"; },
        [](QStringList& r) { r[4] = "2,3"; },
        [](QStringList& r) { r[8] = "ten"; },
        [](QStringList& r) { r = r.mid(0, 12); },
    };
    for (bool model : {true, false}) {
        for (const auto& fault : faults) {
            QStringList records = modelRecords("faa", "0");
            if (!model) {
                records[3] = "0";
                records[14] = "1";
            }
            fault(records);
            forms::unloadAll();
            t.clearLog();
            t.choose(write("bad.tzm", crlf(records)));
            if (model)
                main().mnuOpenModel_Click();
            else
                main().mnuOpenDescr_Click();
            EXPECT_EQ(t.titles(), QStringList{"Unable to complete operation"}) << records.join('|').toStdString();
            EXPECT_FALSE(ed().isVisible() || de().isVisible());
        }
    }
}

TEST_F(OpenControl, ColumnsOutsideTheVariableListNameNothing)
{
    chooseData(kSix);
    QStringList records = modelRecords("faa", "0");
    records[3] = "9";
    records[4] = "2,3,7";
    openModel(records);
    EXPECT_TRUE(t.shown.empty());
    EXPECT_EQ(ed().TxtDindex->text(), "9");
    EXPECT_EQ(ed().TxtDependent->text(), "");
    EXPECT_EQ(ed().TxtWindex->text(), "7");
    EXPECT_EQ(ed().TxtW->text(), "");

    // Without a data path the variable list stays and no flag is read.
    forms::unloadAll();
    records = modelRecords("faa", "0");
    records[0] = "";
    openModel(records);
    EXPECT_TRUE(ed().isVisible());
    EXPECT_EQ(ed().lstAllVars->count(), 0);
    EXPECT_EQ(ed().LstIndVars->count(), 0);
}

TEST_F(OpenControl, KeywordRecordsAreKeptAndWrittenAfterRecord16)
{
    chooseData(kSix);
    // The limits, the coordinate system and the switches go to "Model
    // Options"; other keywords, known or not, and a malformed one, are kept
    // as written.
    QStringList records = modelRecords("vaa", "0");
    records << "limits 50 400"
            << "epsg 27700"
            << "scale 0"
            << "frobnicate 1, 2"
            << "limits 5";
    openModel(records);
    EXPECT_TRUE(t.shown.empty()) << t.texts().join('|').toStdString();
    EXPECT_EQ(opt().TxtLimitLo->text(), "50");
    EXPECT_EQ(opt().TxtLimitHi->text(), "400");
    EXPECT_EQ(opt().TxtEpsg->text(), "27700");
    EXPECT_FALSE(opt().ChkScale->isChecked());
    EXPECT_TRUE(opt().ChkInterval->isChecked() && opt().ChkInference->isChecked());
    EXPECT_EQ(ed().keyword_records, (QStringList{"frobnicate 1, 2", "limits 5"}));
    EXPECT_EQ(saveModelAs("again.tzm"), crlf(records));

    // A switch turned off is written as KEYWORD 0, one turned on not at all.
    opt().ChkInference->setChecked(false);
    opt().ChkScale->setChecked(true);
    QStringList switched = records;
    switched[18] = "inference 0";
    EXPECT_EQ(saveModelAs("again.tzm"), crlf(switched));
    opt().ChkInference->setChecked(true);
    opt().ChkScale->setChecked(false);

    // Emptied fields are not written; filled ones are, after record 16.
    opt().TxtEpsg->clear();
    records.removeAt(17);
    EXPECT_EQ(saveModelAs("again.tzm"), crlf(records));
    opt().TxtLimitLo->clear();
    opt().TxtLimitHi->clear();
    ed().keyword_records.clear();
    opt().ChkScale->setChecked(true);
    EXPECT_EQ(saveModelAs("again.tzm"), crlf(records.mid(0, 16)));
    opt().TxtEpsg->setText("2056");
    EXPECT_EQ(saveModelAs("again.tzm"), crlf(records.mid(0, 16) << "epsg 2056"));

    // A descriptive statistics file keeps its keyword records too.
    QStringList descr = modelRecords("v", "50");
    descr[3] = "0";
    descr[14] = "1";
    descr << "epsg 4326" << "inference 0";
    forms::unloadAll();
    t.choose(write("d.tzm", crlf(descr)));
    main().mnuOpenDescr_Click();
    ASSERT_TRUE(de().isVisible());
    t.choose(path("d2.tzm"));
    de().mnuSaveAs_Click();
    EXPECT_EQ(read(path("d2.tzm")), crlf(descr));
}

TEST_F(OpenControl, ModelOptionsSettingsAreCheckedOnSave)
{
    chooseData(kSix);
    openModel(modelRecords("vaa", "0"));
    t.clearLog();
    const struct {
        QString lo, hi, epsg, message;
    } faults[] = {
        {"50", "", "", "Give both bandwidth search limits, or leave both empty."},
        {"50.5", "400", "", "The bandwidth search limits of the adaptive kernel are numbers of neighbours: give "
                            "whole numbers."},
        {"400", "50", "", "The lower bandwidth search limit must be above 0 and below the upper one."},
        {"-1", "50", "", "The lower bandwidth search limit must be above 0 and below the upper one."},
        {"0", "50", "", "The lower bandwidth search limit must be above 0 and below the upper one."},
        {"", "", "EPSG:27700", "The EPSG code must be a positive whole number."},
        {"", "", "0", "The EPSG code must be a positive whole number."},
    };
    for (const auto& f : faults) {
        opt().TxtLimitLo->setText(f.lo);
        opt().TxtLimitHi->setText(f.hi);
        opt().TxtEpsg->setText(f.epsg);
        t.clearLog();
        t.choose(path("x.tzm"));
        ed().mnuSaveAs_Click();
        EXPECT_EQ(t.texts(), (QStringList{f.message, "Fail to save the model"}));
        EXPECT_EQ(t.titles(), (QStringList{"Error", "Error"}));
        EXPECT_FALSE(QFile::exists(path("x.tzm")));
        t.files.clear();
    }
    // A fixed kernel searches distances: decimals are fine.
    ed().kerneltype->setCurrentText("Fixed");
    opt().TxtLimitLo->setText("0.5");
    opt().TxtLimitHi->setText("12.25");
    opt().TxtEpsg->clear();
    t.clearLog();
    const QByteArray saved = saveModelAs("x.tzm");
    EXPECT_TRUE(t.shown.empty()) << t.texts().join('|').toStdString();
    EXPECT_TRUE(saved.endsWith("\r\n1\r\nlimits 0.5 12.25\r\n"));
    // A new model starts without them.
    main().initialise_model_options();
    EXPECT_TRUE(opt().TxtLimitLo->text().isEmpty() && opt().TxtLimitHi->text().isEmpty() &&
                opt().TxtEpsg->text().isEmpty());
}

TEST_F(OpenControl, AMissingDataFileNeverBorrowsThePreviousVariables)
{
    chooseData(kSix);
    openModel(modelRecords("faa", "0"));
    ASSERT_EQ(ed().TxtDependent->text(), "INC");
    ASSERT_EQ(ed().LstIndVars->count(), 2);
    // The next model names a data file that is gone: its columns must not
    // be read as the variables of the file shown before.
    QStringList records = modelRecords("faa", "0");
    records[0] = path("gone.csv");
    t.clearLog();
    t.answers = {Answer::Cancel};
    openModel(records, "other.tzm");
    EXPECT_EQ(t.titles(), QStringList{"Open File Error"});
    EXPECT_TRUE(ed().isVisible());
    EXPECT_EQ(ed().ldlfilename->text(), path("other.tzm"));
    EXPECT_EQ(ed().lstAllVars->count(), 0);
    EXPECT_EQ(ed().TxtVarsNo->text(), "0");
    EXPECT_EQ(ed().TxtDependent->text(), "");
    EXPECT_EQ(ed().TxtX->text(), "");
    EXPECT_EQ(ed().LstIndVars->count(), 0);
    EXPECT_EQ(ed().TxtDindex->text(), "5");
}

// Control files opened under a German locale, where the C library writes
// and reads "4,5" for four and a half.
class GermanOpenControl : public OpenControl {
protected:
    void SetUp() override
    {
        old_ = std::setlocale(LC_ALL, nullptr);
        ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr) << "the de_DE.UTF-8 locale is not installed";
    }
    void TearDown() override { std::setlocale(LC_ALL, old_.c_str()); }

private:
    std::string old_;
};

TEST_F(GermanOpenControl, NumbersAreReadAsTheEngineReadsThem)
{
    chooseData(kSix);
    // The bandwidth the editor writes: read as it stands.
    openModel(modelRecords("fnn", "4.5"));
    EXPECT_TRUE(t.shown.empty()) << t.texts().join('|').toStdString();
    EXPECT_TRUE(ed().OptionBW->isChecked());
    EXPECT_EQ(ed().Text1->text(), "4.5");
    EXPECT_EQ(saveModelAs("again.tzm"), crlf(modelRecords("fnn", "4.5")));
    // "4,5" is two values to the engine, which takes the first: 4.
    forms::unloadAll();
    openModel(modelRecords("fnn", "4,5"));
    EXPECT_TRUE(t.shown.empty());
    EXPECT_EQ(ed().Text1->text(), "4");
    // Whole-number records hold whole numbers only: the engine refuses
    // "2.0", "1e0" and "0x2", and so does the reader.
    for (const char* code : {"2.0", "1e0", "0x2"}) {
        QStringList records = modelRecords("faa", "0");
        records[14] = code;
        forms::unloadAll();
        t.clearLog();
        openModel(records);
        EXPECT_EQ(t.titles(), QStringList{"Unable to complete operation"}) << code;
    }
    // A numeric record left blank takes the next line's value, as in the
    // engine: here the significance test reads the diagnostics flag.
    QStringList records = modelRecords("faa", "0");
    records[12] = "";
    records[13] = "1";
    records.insert(14, "0");
    records.removeAt(16);
    forms::unloadAll();
    t.clearLog();
    openModel(records);
    EXPECT_TRUE(opt().Option8->isChecked());  // Monte Carlo
    EXPECT_FALSE(opt().DiagnCheck->isChecked());
}

// The multiscale model chosen in the wizard is written as method 6, and a
// file of it with its keyword records opens in the editor with that model
// type and saves back byte for byte.
TEST_F(OpenControl, MultiscaleModelFromTheWizardSavesAndReadsBack)
{
    chooseData(kSix);
    main().mnuWiz_Click();
    forms::form<FrmWiz>().Option1->setChecked(true);
    forms::form<FrmWiz>().Command2->click();
    auto* multiscale = forms::form<FrmWiz2>().findChild<QRadioButton*>("Option4");
    ASSERT_TRUE(multiscale);
    EXPECT_EQ(multiscale->text(), "Multiscale (Gaussian)");
    multiscale->setChecked(true);
    forms::form<FrmWiz2>().Command2->click();
    ASSERT_TRUE(ed().isVisible());
    auto* option = opt().findChild<QRadioButton*>("Option6");
    ASSERT_TRUE(option);
    EXPECT_EQ(option->text(), "Multiscale (Gaussian)");
    EXPECT_TRUE(option->isChecked());
    assign(ed().lstAllVars, ed().Command1, "INC");
    assign(ed().lstAllVars, ed().Command3, "X");
    assign(ed().lstAllVars, ed().Command4, "Y");
    assign(ed().lstAllVars, ed().Command2, "POP");
    ed().TxtTitle->setText("Multiscale");
    const QByteArray first = saveModelAs("ms.tzm");
    ASSERT_EQ(first, crlf({path("data.csv"), "", "", "5", "2,3,0", "Multiscale", "FFFTFF", "faa", "0", "0", "0",
                           "0", "0", "0", "6", "1"}));

    QStringList records = modelRecords("vaa", "0");
    records[14] = "6";
    records << "scale 0" << "inference 0";
    const QString file = write("keys.tzm", crlf(records));
    EXPECT_EQ(reopenAndSave(file, "keys2.tzm"), crlf(records));
    EXPECT_TRUE(opt().findChild<QRadioButton*>("Option6")->isChecked());
}

}  // namespace
