// Choosing the data, location and result files, reading the variable names
// and changing a chosen file.
#include "fe1_support.h"

#include "FrmDataPrev.h"
#include "shared.h"

namespace {

using tk::Answer;
using tk::Icon;

QStringList entries(const QListWidget* list) {
    QStringList out;
    for (int i = 0; i < list->count(); ++i) out << list->item(i)->text();
    return out;
}

class DataFiles : public Fe1 {};

TEST_F(DataFiles, HeaderLineIsSplitAtEveryCommaOnly) {
    QListWidget list;
    struct Case {
        QByteArray file;
        QStringList names;
    } cases[] = {
        {"ID,X,Y,POP\r\n1,2,3,4\r\n", {"ID", "X", "Y", "POP"}},
        {"\"ID\",\"X\"\n", {"\"ID\"", "\"X\""}},
        {"A,,B,\r\n", {"A", "", "B"}},
        {" A , B\r\n", {" A ", " B"}},
        {"\r\n1,2\r\n", {}},
        {"", {}},
        {"Only", {"Only"}},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(file_header_to_list(write("h.csv", c.file), &list));
        EXPECT_EQ(entries(&list), c.names) << c.file.toStdString();
    }
    EXPECT_TRUE(t.shown.empty());
}

TEST_F(DataFiles, MissingFileMayBeRetriedOrLeftAsItWas) {
    QListWidget list;
    list.addItems({"old", "names"});
    const QString p = path("late.csv");
    // Cancel: the list keeps what it had.
    t.answers = {Answer::Cancel};
    EXPECT_FALSE(file_header_to_list(p, &list));
    ASSERT_EQ(t.shown.size(), 1u);
    EXPECT_EQ(t.shown[0].title, "Open File Error");
    EXPECT_EQ(t.shown[0].buttons, tk::Buttons::OKCancel);
    EXPECT_EQ(t.shown[0].text, "Check if the file: " + p +
                                   " exists. If you can find it then press OK to try again. If not, press CANCEL and "
                                   "try with an existing file.");
    EXPECT_EQ(entries(&list), (QStringList{"old", "names"}));
    // OK after the file has appeared reads it.
    t.clearLog();
    t.answers = {Answer::OK};
    t.onMessage = [&](const tk::testing::Shown&) { write("late.csv", "P,Q\n"); };
    EXPECT_TRUE(file_header_to_list(p, &list));
    EXPECT_EQ(t.shown.size(), 1u);
    EXPECT_EQ(entries(&list), (QStringList{"P", "Q"}));
    // Any other failure is the unexpected error, once.
    t.onMessage = nullptr;
    t.clearLog();
    t.readFailures[p] = {tk::FileError::Access};
    EXPECT_FALSE(file_header_to_list(p, &list));
    EXPECT_EQ(t.titles(), QStringList{"Unable to complete operation"});
    EXPECT_EQ(entries(&list), (QStringList{"P", "Q"}));
}

TEST_F(DataFiles, DataSequenceAsksForTheThreeFilesInOrder) {
    const QString data = write("obs.csv", "ID,X,Y,POP\r\n");
    const QString pts = write("pts.xy", "1 1 1\n");
    t.folder = "/opt/tzm";
    t.choose(data);
    t.answers = {Answer::No};
    t.choose(pts);
    t.choose(path("out.mif"), 3);
    main().editor_kind = 1;
    main().mnuOpenDataFile->trigger();

    ASSERT_EQ(t.dialogs.size(), 3u);
    EXPECT_FALSE(t.dialogs[0].save);
    EXPECT_EQ(t.dialogs[0].request.title, "Open Data File");
    EXPECT_EQ(t.dialogs[0].request.filter,
              "Data File (Comma Delimited - *.dat)|*.dat|CSV (Comma Delimited - *.csv)|*.csv|All Files (*.*)|*.*");
    EXPECT_EQ(t.dialogs[0].request.folder, "/opt/tzm");
    EXPECT_EQ(t.dialogs[1].request.title, "Open Locations' File");
    EXPECT_EQ(t.dialogs[1].request.filter, "Locations' Files (Formatted Text File - *.xy)|*.xy|All Files (*.*)|*.*");
    EXPECT_EQ(t.dialogs[1].request.folder, dir.path() + "/");
    EXPECT_TRUE(t.dialogs[2].save);
    EXPECT_EQ(t.dialogs[2].request.title, "Output File");
    EXPECT_EQ(t.dialogs[2].request.filter,
              "ArcInfo Export File (*.e00)|*.e00|Comma Separated File (*.csv)|*.csv|MapInfo Interchange File "
              "(*.mif)|*.mif|All Files - (*.*)|*.*");
    EXPECT_EQ(t.titles(), QStringList{"Analysis Point Selection"});
    EXPECT_EQ(t.texts(),
              QStringList{"To undertake analysis at the data point locations click on 'YES' otherwise select 'NO'"});
    EXPECT_EQ(t.shown[0].buttons, tk::Buttons::YesNo);

    EXPECT_EQ(od().TxtOpenData->text(), data);
    EXPECT_EQ(od().Txtlocations->text(), pts);
    EXPECT_EQ(od().TxtOutput->text(), path("out.mif"));
    EXPECT_EQ(od().ProjectPathTxt->text(), dir.path() + "/");
    // The third filter entry selects the MapInfo format in the editor.
    EXPECT_TRUE(ed().Option6->isChecked());
    // The preview shows the variables.
    FrmDataPrev& prev = forms::form<FrmDataPrev>();
    EXPECT_TRUE(prev.isVisible());
    EXPECT_EQ(entries(prev.List1), (QStringList{"ID", "X", "Y", "POP"}));
    EXPECT_EQ(prev.Label2->text(), data);
    prev.Command1->click();
    EXPECT_FALSE(prev.isVisible());
    EXPECT_TRUE(od().isVisible());
}

TEST_F(DataFiles, FilterEntryPresetsTheOutputFormat) {
    const QString data = write("obs.csv", "A,B\n");
    const struct {
        int index;
        QRadioButton* FrmTZM::*option;
    } cases[] = {{1, &FrmTZM::Option5}, {2, &FrmTZM::Option4}, {3, &FrmTZM::Option6}, {4, &FrmTZM::Option7}};
    for (const auto& c : cases) {
        ed().Option7->setChecked(true);
        t.choose(data);
        t.answers = {Answer::Yes};
        t.choose(path("o"), c.index);
        main().editor_kind = 1;
        main().mnuOpenDataFile_Click();
        EXPECT_TRUE((ed().*c.option)->isChecked()) << c.index;
    }
    // Without a waiting editor nothing is preset.
    ed().Option7->setChecked(true);
    t.choose(data);
    t.answers = {Answer::Yes};
    t.choose(path("o"), 2);
    main().editor_kind = -1;
    main().mnuOpenDataFile_Click();
    EXPECT_TRUE(ed().Option7->isChecked());
}

TEST_F(DataFiles, CancelledChoicesAreReportedAndTheSequenceGoesOn) {
    od().TxtOpenData->setText("stale");
    od().ProjectPathTxt->setText("stale/");
    // No data file: the sequence ends at once with everything cleared.
    main().mnuOpenDataFile_Click();
    EXPECT_EQ(t.texts(), QStringList{"You can not create a model without a data file. Please Try Again."});
    EXPECT_EQ(t.titles(), QStringList{"Termination of Procedure"});
    EXPECT_EQ(t.shown[0].icon, Icon::Critical);
    EXPECT_EQ(t.dialogs.size(), 1u);
    EXPECT_EQ(od().TxtOpenData->text(), "");
    EXPECT_EQ(od().ProjectPathTxt->text(), "");

    // "No" then no location file, then no output file: both are reported
    // and the preview still opens.
    t.clearLog();
    t.choose(write("obs.csv", "A,B\n"));
    t.answers = {Answer::No};
    t.cancelDialog();
    t.cancelDialog();
    main().mnuOpenDataFile_Click();
    EXPECT_EQ(t.dialogs.size(), 3u);
    EXPECT_EQ(t.titles(), (QStringList{"Analysis Point Selection", "Failed to specify analysis point locations file.",
                                       "Termination of Procedure"}));
    EXPECT_EQ(t.shown[1].icon, Icon::Information);
    EXPECT_EQ(t.shown[1].text,
              "You decided to analysis at a different set of locations, but you did not select any; thus the analysis "
              "will be done at the data point locations, unless you specify a different set of locations.");
    EXPECT_EQ(t.shown[2].text,
              "You can not create a model without an output file. Click on Change button of Parameter diagnostic file "
              "to specify an output file.");
    EXPECT_EQ(od().Txtlocations->text(), "");
    EXPECT_EQ(od().TxtOutput->text(), "");
    EXPECT_TRUE(forms::form<FrmDataPrev>().isVisible());
}

TEST_F(DataFiles, ChangeBesideAnEmptyFieldOpensTheDialogAndNoKeepsTheFile) {
    // An empty field: no question, the same dialog as beside a filled one,
    // and the chosen file fills it.
    t.folder = "/prog";
    t.choose("/d/points.xy");
    od().Command2->click();
    ASSERT_EQ(t.dialogs.size(), 1u);
    EXPECT_EQ(t.dialogs[0].request.title, "Open Locations' File");
    EXPECT_EQ(t.dialogs[0].request.folder, "/prog");
    EXPECT_EQ(od().Txtlocations->text(), "/d/points.xy");
    EXPECT_EQ(t.titles(), QStringList{"Starting a new model."});
    // The next dialog opens where that file was chosen.
    t.clearLog();
    od().Command1->click();
    ASSERT_EQ(t.dialogs.size(), 1u);
    EXPECT_EQ(t.dialogs[0].request.folder, "/d/");
    EXPECT_EQ(t.titles(), (QStringList{"Failed to change Data File", "Starting a new model."}));

    t.clearLog();
    od().TxtOutput->setText("/d/out.csv");
    t.answers = {Answer::No};
    od().Command3->click();
    EXPECT_EQ(t.texts(), QStringList{"Are you sure you want to change the file /d/out.csv with another file?"});
    EXPECT_EQ(t.titles(), QStringList{"Change file"});
    EXPECT_TRUE(t.dialogs.empty());
    EXPECT_EQ(od().TxtOutput->text(), "/d/out.csv");
}

TEST_F(DataFiles, ChangeWithACancelledDialogKeepsTheFile) {
    const QString done =
        "Changes will not take effect unless you save the analysis project from the Model Editor or the Descriptive "
        "Statistics Editor";
    od().TxtOpenData->setText("/d/a.csv");
    od().Txtlocations->setText("/d/p.xy");
    od().TxtOutput->setText("/d/o.csv");
    t.folder = "/prog";
    const struct {
        QPushButton* frmOpenData::*button;
        QString title, filter, text, failTitle;
        Icon icon;
    } cases[] = {
        {&frmOpenData::Command1, "Open Data File",
         "Data File (Comma Delimited - *.dat)|*.dat|CSV (Comma Delimited - *.csv)|*.csv|All Files (*.*)|*.*",
         "Data file has not changed.", "Failed to change Data File", Icon::Critical},
        {&frmOpenData::Command2, "Open Locations' File",
         "Locations' Files (Formatted Text File - *.xy)|*.xy|All Files (*.*)|*.*", "Locations file has not changed.",
         "Failed to change optional locations File", Icon::Critical},
        {&frmOpenData::Command3, "Output parameter estimate file",
         "ArcInfo Export File (*.e00)|*.e00|Comma Separated Variable File (*.csv)|*.csv|MapInfo Interchange File "
         "(*.mif)|*.mif|All Files - (*.*)|*.*",
         "Output file has not been changed.", "No new file selected", Icon::None},
    };
    for (const auto& c : cases) {
        t.clearLog();
        t.answers = {Answer::Yes};
        (od().*c.button)->click();
        ASSERT_EQ(t.dialogs.size(), 1u);
        EXPECT_EQ(t.dialogs[0].save, c.button == &frmOpenData::Command3);
        EXPECT_EQ(t.dialogs[0].request.title, c.title);
        EXPECT_EQ(t.dialogs[0].request.filter, c.filter);
        EXPECT_EQ(t.dialogs[0].request.folder, "/prog");
        ASSERT_EQ(t.shown.size(), 3u);
        EXPECT_EQ(t.shown[1].text, c.text);
        EXPECT_EQ(t.shown[1].title, c.failTitle);
        EXPECT_EQ(t.shown[1].icon, c.icon);
        EXPECT_EQ(t.shown[2].text, done);
        EXPECT_EQ(t.shown[2].title, "Starting a new model.");
    }
    EXPECT_EQ(od().TxtOpenData->text(), "/d/a.csv");
    EXPECT_EQ(od().Txtlocations->text(), "/d/p.xy");
    EXPECT_EQ(od().TxtOutput->text(), "/d/o.csv");

    // A chosen file replaces the path; the project folder stays and is
    // where the dialog starts.
    od().ProjectPathTxt->setText("/proj/");
    t.clearLog();
    t.answers = {Answer::Yes};
    t.choose("/e/b.csv");
    od().Command1->click();
    EXPECT_EQ(od().TxtOpenData->text(), "/e/b.csv");
    EXPECT_EQ(od().ProjectPathTxt->text(), "/proj/");
    EXPECT_EQ(t.dialogs[0].request.folder, "/proj/");
    EXPECT_EQ(t.texts(), (QStringList{"Are you sure you want to change the file /d/a.csv with another file?", done}));
}

TEST_F(DataFiles, ContinueOpensTheWaitingEditor) {
    const QString data = write("obs.csv", "ID,X,Y\r\n");
    // "Logistic" before any data file leads through the data sequence.
    t.choose(data);
    t.answers = {Answer::Yes};
    t.choose(path("o.csv"), 2);
    main().mnuLogist->trigger();
    EXPECT_EQ(main().editor_kind, 1);
    EXPECT_EQ(main().model_kind, 3);
    EXPECT_FALSE(forms::loaded<FrmTZM>() && ed().isVisible());
    od().cmdOK->click();
    EXPECT_EQ(main().editor_kind, -1);
    EXPECT_EQ(main().model_kind, -1);
    EXPECT_FALSE(od().isVisible());
    ASSERT_TRUE(ed().isVisible());
    EXPECT_TRUE(opt().Option3->isChecked());
    EXPECT_EQ(ed().TxtVarsNo->text(), "3");
    EXPECT_TRUE(ed().Option4->isChecked());  // csv chosen in the dialog
    ed().hide();

    // Continue without a waiting editor opens none.
    forms::unloadAll();
    od().show();
    od().cmdOK_Click();
    EXPECT_FALSE(forms::loaded<FrmTZM>());
    EXPECT_FALSE(od().isVisible());
}

}  // namespace
