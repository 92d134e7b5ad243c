#include "frmMain.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QMenuBar>

#include "FrmDataPrev.h"
#include "FrmDescr.h"
#include "FrmManual.h"
#include "FrmRun.h"
#include "FrmTZM.h"
#include "control_file.h"
#include "forms.h"
#include "frmOpenData.h"
#include "frmOptions.h"
#include "shared.h"
#include "toolkit/toolkit.h"

namespace {

QAction* item(QMenu* menu, const char* name, const QString& caption) {
    QAction* a = menu->addAction(caption);
    a->setObjectName(name);
    return a;
}

QMenu* submenu(QMenu* parent, const char* name, const QString& caption) {
    QMenu* m = parent->addMenu(caption);
    m->setObjectName(name);
    return m;
}

}  // namespace

frmMain::frmMain(QWidget* parent) : QMainWindow(parent) {
    setObjectName("frmMain");
    setWindowTitle("TZM30 - Geographically Weighted Regression");
    resize(800, 560);

    auto* hint = new QLabel(
        "Geographically weighted regression\n\n"
        "Analysis \u25B8 Regression builds a new model from a data file;\n"
        "File \u25B8 Open reopens a saved model or a listing;\n"
        "Tools \u25B8 Analysis Wizard guides you through the tasks.",
        this);
    hint->setObjectName("lblHint");
    hint->setAlignment(Qt::AlignCenter);
    hint->setEnabled(false);
    setCentralWidget(hint);

    QMenuBar* bar = menuBar();
    mnuFile = bar->addMenu("File");
    mnuFile->setObjectName("mnuFile");
    mnuOpen = submenu(mnuFile, "mnuOpen", "Open");
    mnuOpenDataFile = item(mnuOpen, "mnuOpenDataFile", "Data...");
    mnuOpenModel = item(mnuOpen, "mnuOpenModel", "Model...");
    mnuOpenDescr = item(mnuOpen, "mnuOpenDescr", "Descriptives...");
    mnuOpenLinstingFile = item(mnuOpen, "mnuOpenLinstingFile", "Listing...");
    mnuOpenResults = item(mnuOpen, "mnuOpenResults", "Results...");
    mnuFile->addSeparator();
    for (int i = 1; i <= kRecentFiles; ++i) {
        QAction* a = item(mnuFile, qPrintable(QString("mnuRecent%1").arg(i)), QString());
        a->setVisible(false);
        connect(a, &QAction::triggered, this, [this, a] { open_recent(a->data().toString()); });
        mnuRecent << a;
    }
    mnuFile->addSeparator();
    mnuExit = item(mnuFile, "mnuExit", "Exit");
    connect(mnuFile, &QMenu::aboutToShow, this, &frmMain::update_recent_menu);

    mnuTZM = bar->addMenu("Analysis");
    mnuTZM->setObjectName("mnuTZM");
    mnuDescr = submenu(mnuTZM, "mnuDescr", "Descriptives");
    mnuDescrStatsEditor = item(mnuDescr, "mnuDescrStatsEditor", "Descriptive Statistics");
    mnuRegression = submenu(mnuTZM, "mnuRegression", "Regression");
    // One item per model type, opening the model editor for it.
    for (const model_type& m : kModelTypes) {
        QAction* a = item(mnuRegression, m.menu_item, m.caption);
        connect(a, &QAction::triggered, this, [this, method = m.method] { openModelEditor(int(method)); });
        if (m.method == 2) mnuGauss = a;
        if (m.method == 3) mnuLogist = a;
        if (m.method == 4) mnuBi = a;
    }

    mnuTools = bar->addMenu("Tools");
    mnuTools->setObjectName("mnuTools");
    mnuWiz = item(mnuTools, "mnuWiz", "Analysis Wizard");

    mnuHelp = bar->addMenu("Help");
    mnuHelp->setObjectName("mnuHelp");
    mnuHelpTopics = item(mnuHelp, "mnuHelpTopics", "Help Topics");
    mnuContact = item(mnuHelp, "mnuContact", "Contact Information");
    mnuAbout = item(mnuHelp, "mnuAbout", "About");

    mnuOpenModel->setShortcut(QKeySequence("Ctrl+O"));
    // F1 works from every window of the program.
    mnuHelpTopics->setShortcut(QKeySequence("F1"));
    mnuHelpTopics->setShortcutContext(Qt::ApplicationShortcut);
    connect(mnuHelpTopics, &QAction::triggered, this, &frmMain::mnuHelpTopics_Click);
    update_recent_menu();

    connect(mnuOpenDataFile, &QAction::triggered, this, &frmMain::mnuOpenDataFile_Click);
    connect(mnuExit, &QAction::triggered, this, &frmMain::mnuExit_Click);
    connect_menus();
}

void frmMain::mnuOpenDataFile_Click() {
    tk::Toolkit& t = tk::toolkit();
    frmOpenData& od = forms::form<frmOpenData>();
    od.TxtOpenData->clear();
    od.Txtlocations->clear();
    od.TxtOutput->clear();
    od.ProjectPathTxt->clear();

    const tk::FileChoice data = open_dialog({"Open Data File", kDataFilter, t.programFolder(), ""});
    od.ProjectPathTxt->setText(data.path.left(data.path.size() - file_title(data.path).size()));
    if (!data.chosen()) {
        t.message("You can not create a model without a data file. Please Try Again.", tk::Buttons::OK,
                  tk::Icon::Critical, "Termination of Procedure");
        return;
    }
    od.TxtOpenData->setText(data.path);

    if (t.message("To undertake analysis at the data point locations click on 'YES' otherwise select 'NO'",
                  tk::Buttons::YesNo, tk::Icon::Question, "Analysis Point Selection") == tk::Answer::No) {
        const tk::FileChoice loc = open_dialog({"Open Locations' File", kLocationsFilter, od.ProjectPathTxt->text(), ""});
        if (loc.chosen())
            od.Txtlocations->setText(loc.path);
        else
            t.message("You decided to analysis at a different set of locations, but you did not select any; thus the "
                      "analysis will be done at the data point locations, unless you specify a different set of "
                      "locations.",
                      tk::Buttons::OK, tk::Icon::Information, "Failed to specify analysis point locations file.");
    }

    const tk::FileChoice out = save_dialog(
        {"Output File",
         "ArcInfo Export File (*.e00)|*.e00|Comma Separated File (*.csv)|*.csv|MapInfo Interchange File "
         "(*.mif)|*.mif|All Files - (*.*)|*.*",
         od.ProjectPathTxt->text(), ""});
    if (out.chosen()) {
        od.TxtOutput->setText(out.path);
        preset_output_format(out.filterIndex);
    } else {
        t.message("You can not create a model without an output file. Click on Change button of Parameter "
                  "diagnostic file to specify an output file.",
                  tk::Buttons::OK, tk::Icon::Critical, "Termination of Procedure");
    }

    if (!od.TxtOpenData->text().isEmpty()) {
        FrmDataPrev& prev = forms::form<FrmDataPrev>();
        file_header_to_list(od.TxtOpenData->text(), prev.List1);
        prev.Label2->setText(od.TxtOpenData->text());
        prev.show();
        prev.raise();
    }
}

void frmMain::preset_output_format(int filterIndex) {
    // The filter entries are e00, csv, mif, all files; the last one leaves
    // the editor's choice alone.
    static const char* const names[] = {"Option5", "Option4", "Option6"};
    if (filterIndex < 1 || filterIndex > 3) return;
    QWidget* editor = nullptr;
    if (editor_kind == 1) editor = &forms::form<FrmTZM>();
    else if (editor_kind == 2 && descriptive_editor) editor = descriptive_editor();
    if (!editor) return;
    if (auto* r = editor->findChild<QRadioButton*>(names[filterIndex - 1])) r->setChecked(true);
}

void frmMain::mnuGauss_Click() { openModelEditor(2); }
void frmMain::mnuLogist_Click() { openModelEditor(3); }
void frmMain::mnuBi_Click() { openModelEditor(4); }

void frmMain::mnuExit_Click() {
    if (confirm_exit()) QApplication::exit(0);
}

bool frmMain::confirm_exit() {
    // Each open editor asks as it does when it is closed, with Cancel to go
    // on working; a save that fails keeps the program open.
    if (forms::loaded<FrmTZM>() && forms::form<FrmTZM>().isVisible()) {
        switch (tk::toolkit().message("Do you wish to save the Model Control File?", tk::Buttons::YesNoCancel,
                                      tk::Icon::Question, "Update Model Control File")) {
        case tk::Answer::Yes:
            if (!forms::form<FrmTZM>().save()) return false;
            break;
        case tk::Answer::No: break;
        default: return false;
        }
    }
    if (forms::loaded<FrmDescr>() && forms::form<FrmDescr>().isVisible()) {
        switch (tk::toolkit().message("Do you wish to save the Descriptives Configuration File?",
                                      tk::Buttons::YesNoCancel, tk::Icon::Question, "Update Model Control File")) {
        case tk::Answer::Yes:
            if (!forms::form<FrmDescr>().save()) return false;
            break;
        case tk::Answer::No: break;
        default: return false;
        }
    }
    if (forms::loaded<FrmRun>() && !forms::form<FrmRun>().stop_run()) return false;
    return true;
}

void frmMain::update_recent_menu() {
    const QStringList files = recent_files();
    for (int i = 0; i < mnuRecent.size(); ++i) {
        QAction* a = mnuRecent[i];
        a->setVisible(i < files.size());
        if (i < files.size()) {
            a->setText(QString("&%1 %2").arg(i + 1).arg(file_title(files[i])));
            a->setToolTip(files[i]);
            a->setData(files[i]);
        }
    }
}

void frmMain::mnuHelpTopics_Click() {
    // The manual, on the page for the window in front.
    FrmManual::openFor(QApplication::activeWindow());
}

void frmMain::mnuNewTZM_Click() {
    FrmTZM& ed = forms::form<FrmTZM>();
    ed.show();
    ed.raise();
}

void frmMain::initialise_model_options() {
    FrmTZM& ed = forms::form<FrmTZM>();
    ed.select(ed.OptionAIC);
    ed.kerneltype->setCurrentText("Fixed");
    ed.CoordsType->setCurrentText("Cartesian");
    ed.select(ed.OptionAll);
    frmOptions& o = forms::form<frmOptions>();
    o.cvcheck->setChecked(false);
    o.predCheck->setChecked(false);
    o.DiagnCheck->setChecked(false);
    o.Option10->setChecked(true);
    o.clear_keywords();
}

void frmMain::openModelEditor(int kind) {
    const QString data = forms::form<frmOpenData>().files().data;
    if (data.isEmpty()) {
        editor_kind = 1;
        model_kind = kind;
        mnuOpenDataFile_Click();
        return;
    }
    initialise_model_options();
    forms::form<frmOptions>().select_model_type(kind);
    FrmTZM& ed = forms::form<FrmTZM>();
    file_header_to_list(data, ed.lstAllVars);
    ed.TxtVarsNo->setText(QString::number(ed.lstAllVars->count()));
    ed.show();
    ed.raise();
    ed.activateWindow();
}

void frmMain::closeEvent(QCloseEvent* e) {
    // Closing the main window ends the program, like "Exit".
    if (!confirm_exit()) {
        e->ignore();
        return;
    }
    e->accept();
    // exit(), not quit(): quit() would close the editors, which would ask
    // once more.
    QApplication::exit(0);
}
