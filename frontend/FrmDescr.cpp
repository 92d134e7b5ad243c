#include "FrmDescr.h"

#include "FrmRun.h"
#include "forms.h"
#include "frmMain.h"
#include "frmOpenData.h"
#include "frmOptions.h"
#include "toolkit/toolkit.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {

const char* const kPositiveBandwidth =
    "No positive bandwidth defined. Please define the positive bandwidth and try again.";
const char* const kNoTitle =
    "Warning: No title entered. Note: This is optional and the program will still run without a title.";

void error(const QString& text, const QString& title = "Error")
{
    tk::toolkit().message(text, tk::Buttons::OK, tk::Icon::Critical, title);
}

void no_title_warning()
{
    tk::toolkit().message(kNoTitle, tk::Buttons::OK, tk::Icon::Exclamation, "Warning");
}

// A column number held in an index box.
bool whole(const QString& text, long& value)
{
    bool ok = false;
    value = text.trimmed().toLong(&ok);
    return ok;
}

}  // namespace

FrmDescr::FrmDescr(QWidget* parent) : QMainWindow(parent)
{
    setObjectName("FrmDescr");
    setWindowTitle("Descriptive Statistics Editor (Geographically Weighted Statistics)");
    // Closing discards the editor; the next opening starts from scratch.
    setAttribute(Qt::WA_DeleteOnClose);

    QMenu* file = menuBar()->addMenu("File");
    file->setObjectName("mnuFile");
    auto action = [](QMenu* m, const char* name, const char* caption) {
        QAction* a = m->addAction(caption);
        a->setObjectName(name);
        return a;
    };
    mnuOpen = action(file, "mnuOpen", "Open another configuration");
    mnuSave = action(file, "mnuSave", "Save the configuration");
    mnuSaveAs = action(file, "mnuSaveAs", "Save the configuration as ...");
    mnuRun = action(file, "mnuRun", "Run open configuration");
    file->addSeparator();
    mnuExit = action(file, "mnuExit", "Exit");
    QMenu* edit = menuBar()->addMenu("Edit");
    edit->setObjectName("mnuEdit");
    mnuChgFiles = action(edit, "mnuChgFiles", "File Locations");
    mnuOpen->setShortcut(QKeySequence("Ctrl+O"));
    mnuSave->setShortcut(QKeySequence("Ctrl+S"));
    mnuRun->setShortcut(QKeySequence("Ctrl+R"));

    auto* central = new QWidget(this);
    setCentralWidget(central);
    auto line = [central](const char* name, bool readOnly = true) {
        auto* e = new QLineEdit(central);
        e->setObjectName(name);
        e->setReadOnly(readOnly);
        return e;
    };
    auto label = [central](const char* name, const char* caption) {
        auto* l = new QLabel(caption, central);
        l->setObjectName(name);
        return l;
    };
    auto arrow = [central](const char* name) {
        auto* b = new QPushButton("->", central);
        b->setObjectName(name);
        b->setFixedWidth(40);
        return b;
    };
    auto command = [central](const char* name, const char* caption) {
        auto* b = new QPushButton(caption, central);
        b->setObjectName(name);
        return b;
    };

    lstAllVars = new QListWidget(central);
    lstAllVars->setObjectName("lstAllVars");
    TxtVarsNo = line("TxtVarsNo");
    LstIndVars = new QListWidget(central);
    LstIndVars->setObjectName("LstIndVars");
    TxtX = line("TxtX");
    TxtXindex = line("TxtXindex");
    TxtY = line("TxtY");
    TxtYindex = line("TxtYindex");
    TxtW = line("TxtW");
    TxtWindex = line("TxtWindex");
    for (QLineEdit* e : {TxtXindex, TxtYindex, TxtWindex, TxtVarsNo})
        e->setMaximumWidth(50);
    Command2 = arrow("Command2");
    Command3 = arrow("Command3");
    Command4 = arrow("Command4");
    Command5 = arrow("Command5");

    TxtTitle = line("TxtTitle", false);
    kerneltype = new QComboBox(central);
    kerneltype->setObjectName("kerneltype");
    kerneltype->setEditable(true);
    kerneltype->addItems({"Fixed", "Adaptive"});
    kerneltype->setCurrentText("Fixed");
    CoordsType = new QComboBox(central);
    CoordsType->setObjectName("CoordsType");
    CoordsType->setEditable(true);
    CoordsType->addItems({"Cartesian", "Spherical"});
    CoordsType->setCurrentText("Cartesian");
    BandwidthTxt = line("BandwidthTxt", false);

    FrameOutput = new QGroupBox("Output Format", central);
    FrameOutput->setObjectName("FrameOutput");
    auto option = [this](const char* name, const char* caption) {
        auto* r = new QRadioButton(caption, FrameOutput);
        r->setObjectName(name);
        return r;
    };
    Option4 = option("Option4", "Spreadsheet (*.csv)");
    Option5 = option("Option5", "ArcInfo Exp. (*.e00)");
    Option6 = option("Option6", "MapINFO (*.mif)");
    Option7 = option("Option7", "None");
    Option7->setChecked(true);
    OptionGpkg = option("OptionGpkg", "GeoPackage (*.gpkg)");
    {
        // Two columns: csv, e00 and gpkg on the left, mif and none on the right.
        auto* g = new QGridLayout(FrameOutput);
        g->addWidget(Option4, 0, 0);
        g->addWidget(Option5, 1, 0);
        g->addWidget(OptionGpkg, 2, 0);
        g->addWidget(Option6, 0, 1);
        g->addWidget(Option7, 1, 1);
    }

    ldlfilename = new QLabel(kNoFile, central);
    ldlfilename->setObjectName("ldlfilename");
    ldlfilename->setTextInteractionFlags(Qt::TextSelectableByMouse);
    Command6 = command("Command6", "Open...");
    Command7 = command("Command7", "View/Edit Files");
    Command8 = command("Command8", "Save");
    Command10 = command("Command10", "Run");
    Command9 = command("Command9", "End");

    // Three columns, the variables, the roles with their buttons, and the
    // settings; then the file name and the commands.  Side by side, the
    // editor fits a 1366 x 768 screen at 150 % scaling.
    auto* vars = new QVBoxLayout;
    vars->addWidget(label("Label1", "Variables"));
    vars->addWidget(lstAllVars, 1);
    {
        auto* h = new QHBoxLayout;
        h->addWidget(label("Label2", "# of Variables"));
        h->addWidget(TxtVarsNo);
        h->addStretch();
        vars->addLayout(h);
    }
    auto pair = [](QLineEdit* name, QLineEdit* index) {
        auto* h = new QHBoxLayout;
        h->addWidget(name, 1);
        h->addWidget(index);
        return h;
    };
    auto* roles = new QGridLayout;
    roles->addWidget(label("Label3", "Variable(s)"), 0, 1);
    roles->addWidget(Command2, 1, 0, Qt::AlignTop);
    roles->addWidget(LstIndVars, 1, 1);
    roles->addWidget(label("Label4", "Location Variables"), 2, 1);
    roles->addWidget(Command3, 3, 0);
    roles->addLayout(pair(TxtX, TxtXindex), 3, 1);
    roles->addWidget(Command4, 4, 0);
    roles->addLayout(pair(TxtY, TxtYindex), 4, 1);
    roles->addWidget(label("Label5", "Weight Variable"), 5, 1);
    roles->addWidget(Command5, 6, 0);
    roles->addLayout(pair(TxtW, TxtWindex), 6, 1);
    roles->setRowStretch(1, 1);

    auto* settings = new QVBoxLayout;
    {
        auto* form = new QFormLayout;
        form->addRow(label("Label6", "Title:"), TxtTitle);
        form->addRow(label("Label7", "Kernel Type"), kerneltype);
        form->addRow(label("Label8", "Bandwidth"), BandwidthTxt);
        form->addRow(label("Label9", "Coordinates"), CoordsType);
        settings->addLayout(form);
        settings->addWidget(FrameOutput);
        settings->addStretch();
    }

    auto* columns = new QHBoxLayout;
    columns->addLayout(vars, 2);
    columns->addLayout(roles, 3);
    columns->addLayout(settings, 3);

    auto* fileLine = new QHBoxLayout;
    fileLine->addWidget(label("Label10", "File name of the model:"));
    fileLine->addWidget(ldlfilename, 1);

    auto* commands = new QHBoxLayout;
    commands->addWidget(Command6);
    commands->addWidget(Command7);
    commands->addStretch();
    commands->addWidget(Command8);
    commands->addWidget(Command10);
    commands->addWidget(Command9);

    auto* v = new QVBoxLayout(central);
    v->addLayout(columns, 1);
    v->addLayout(fileLine);
    v->addLayout(commands);
    resize(820, 440);

    connect(Command2, &QPushButton::clicked, this, &FrmDescr::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &FrmDescr::Command3_Click);
    connect(Command4, &QPushButton::clicked, this, &FrmDescr::Command4_Click);
    connect(Command5, &QPushButton::clicked, this, &FrmDescr::Command5_Click);
    // A click, or a selection moved with the keyboard, tells the list
    // button which list it works on.
    connect(lstAllVars, &QListWidget::itemClicked, this, &FrmDescr::lstAllVars_Click);
    connect(LstIndVars, &QListWidget::itemClicked, this, &FrmDescr::LstIndVars_Click);
    // A double click on a variable moves it to the independent list.
    connect(lstAllVars, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* it) {
        lstAllVars->setCurrentItem(it);
        it->setSelected(true);
        lstAllVars_Click();
        Command2_Click();
    });
    connect(lstAllVars, &QListWidget::itemSelectionChanged, this, [this] {
        if (selected_row(lstAllVars) >= 0)
            lstAllVars_Click();
    });
    connect(LstIndVars, &QListWidget::itemSelectionChanged, this, [this] {
        if (selected_row(LstIndVars) >= 0)
            LstIndVars_Click();
    });
    connect(Command6, &QPushButton::clicked, this, &FrmDescr::Command6_Click);
    connect(Command7, &QPushButton::clicked, this, &FrmDescr::Command7_Click);
    connect(Command8, &QPushButton::clicked, this, &FrmDescr::Command8_Click);
    connect(Command10, &QPushButton::clicked, this, &FrmDescr::Command10_Click);
    connect(Command9, &QPushButton::clicked, this, &FrmDescr::Command9_Click);
    connect(mnuOpen, &QAction::triggered, this, &FrmDescr::mnuOpen_Click);
    connect(mnuSave, &QAction::triggered, this, &FrmDescr::mnuSave_Click);
    connect(mnuSaveAs, &QAction::triggered, this, &FrmDescr::mnuSaveAs_Click);
    connect(mnuRun, &QAction::triggered, this, &FrmDescr::mnuRun_Click);
    connect(mnuExit, &QAction::triggered, this, &FrmDescr::mnuExit_Click);
    connect(mnuChgFiles, &QAction::triggered, this, &FrmDescr::mnuChgFiles_Click);
}

// ---- Role buttons ----------------------------------------------------------

bool FrmDescr::check_var_use(const QString& name, Role tag)
{
    // There is no dependent variable in this editor.
    return ::check_var_use(name, tag, RoleFields{nullptr, TxtX, TxtY, TxtW, LstIndVars});
}

void FrmDescr::roleButton(QPushButton* b, QLineEdit* name, QLineEdit* index, Role role,
                          const char* title)
{
    if (b->text() == "->") {
        const int row = selected_row(lstAllVars);
        if (row < 0) {
            tk::toolkit().message("You should select a variable from the Variables List first.",
                                  tk::Buttons::OK, tk::Icon::Information, title);
            return;
        }
        const QString var = lstAllVars->item(row)->text();
        if (check_var_use(var, role))
            return;
        name->setText(var);
        index->setText(QString::number(row + 1));
        b->setText("<-");
    } else {
        name->clear();
        index->clear();
        b->setText("->");
    }
}

void FrmDescr::Command3_Click() { roleButton(Command3, TxtX, TxtXindex, Role::X, "Define The Coordinate X"); }
void FrmDescr::Command4_Click() { roleButton(Command4, TxtY, TxtYindex, Role::Y, "Define The Coordinate Y"); }
void FrmDescr::Command5_Click() { roleButton(Command5, TxtW, TxtWindex, Role::Weight, "Define The Weight"); }

void FrmDescr::Command2_Click()
{
    if (Command2->text() == "->") {
        const int row = selected_row(lstAllVars);
        if (row < 0) {
            tk::toolkit().message("You should select a variable from the Variables List first.",
                                  tk::Buttons::OK, tk::Icon::Information,
                                  "Define an Independent Variable");
            return;
        }
        const QString var = lstAllVars->item(row)->text();
        if (check_var_use(var, Role::Independent))
            return;
        LstIndVars->addItem(var);
        Command2->setText("<-");
    } else {
        const int row = selected_row(LstIndVars);
        if (row < 0) {
            tk::toolkit().message("You should select a variable from the Independent Variables List first.",
                                  tk::Buttons::OK, tk::Icon::Information,
                                  "Remove an Independent  Variable");
            return;
        }
        delete LstIndVars->takeItem(row);
        // Nothing stays selected, so a second click cannot remove a
        // neighbour by accident.
        LstIndVars->clearSelection();
        LstIndVars->setCurrentRow(-1);
        if (LstIndVars->count() == 0)
            Command2->setText("->");
    }
}

void FrmDescr::lstAllVars_Click() { Command2->setText("->"); }
void FrmDescr::LstIndVars_Click() { Command2->setText("<-"); }

// ---- Validation and saving -------------------------------------------------

bool FrmDescr::check_configuration()
{
    int errors = 0;
    auto fail = [&](const char* text) {
        error(text);
        ++errors;
    };
    const frmOpenData& od = forms::form<frmOpenData>();
    if (od.TxtOpenData->text().isEmpty())
        fail("No data file has been defined. Create a new model.");
    if (od.TxtOutput->text().isEmpty())
        fail("No output file has been defined. Create a new model.");
    if (TxtXindex->text().isEmpty())
        fail("No x (x-coord) variable has been selected. Please select one.");
    if (TxtYindex->text().isEmpty())
        fail("No y (y-coord) variable has been selected. Please select one.");
    if (TxtTitle->text().isEmpty())
        no_title_warning();
    if (LstIndVars->count() == 0)
        fail("No independent variables have been selected. Please select one.");
    if (kerneltype->currentText().isEmpty())
        fail("No kernel type selected. Please select a kernel type and try again.");
    double bw = 0;
    if (!BandwidthTxt->text().isEmpty() && !(parse_number(BandwidthTxt->text(), bw) && bw > 0))
        fail(kPositiveBandwidth);
    return errors == 0;
}

bool FrmDescr::build_records(QStringList& r)
{
    const frmOpenData& od = forms::form<frmOpenData>();
    tk::Toolkit& t = tk::toolkit();
    r.clear();

    // 1, 2: the data file; the location file only while "Model Options"
    // names the Gaussian model.
    r << od.TxtOpenData->text();
    if (forms::form<frmOptions>().model_type() == 2) {
        r << od.Txtlocations->text();
    } else {
        r << QString();
        if (!od.Txtlocations->text().isEmpty())
            t.message("This model type can only be fitted at the data points. The calibration locations "
                      "file selected will be ignored.",
                      tk::Buttons::OK, tk::Icon::Information, "Gaussian Regression");
    }
    // 3: the result file with the extension of its format.
    if (Option7->isChecked()) {
        r << QString();
    } else {
        if (od.TxtOutput->text().isEmpty()) {
            error("No output file has been defined. Open Data Files screen to define one");
            return false;
        }
        const char* ext = Option4->isChecked()      ? ".csv"
                          : Option5->isChecked()    ? ".e00"
                          : OptionGpkg->isChecked() ? ".gpkg"
                                                    : ".mif";
        r << output_path_for(od.TxtOutput->text(), ext);
    }
    // 4, 5: no dependent variable; the x, y and weight columns.
    long x = 0, y = 0, w = 0;
    if (!whole(TxtXindex->text(), x) || !whole(TxtYindex->text(), y) ||
        (!TxtWindex->text().isEmpty() && !whole(TxtWindex->text(), w))) {
        show_unexpected_error();
        return false;
    }
    r << "0";
    r << QString("%1,%2,%3").arg(x).arg(y).arg(w);
    // 6: the title.
    if (TxtTitle->text().isEmpty()) {
        no_title_warning();
        r << "Untitled";
    } else {
        r << TxtTitle->text();
    }
    // 7: one flag per variable, T for the variables to summarise.
    QString flags;
    for (int i = 0; i < lstAllVars->count(); ++i)
        flags += item_in_list(lstAllVars->item(i)->text(), LstIndVars) ? 'T' : 'F';
    r << flags;
    // 8: the kernel letter alone: a user-given bandwidth on all points.
    if (kerneltype->currentText() == "Fixed")
        r << "f";
    else if (kerneltype->currentText() == "Adaptive")
        r << "v";
    else
        r << QString();
    // 9: the bandwidth as typed, a number greater than 0.
    double bw = 0;
    if (BandwidthTxt->text().trimmed().isEmpty()) {
        error(kPositiveBandwidth);
        return false;
    }
    if (!parse_number(BandwidthTxt->text(), bw)) {
        show_unexpected_error();
        return false;
    }
    if (!(bw > 0)) {
        error(kPositiveBandwidth);
        return false;
    }
    r << BandwidthTxt->text();
    // 10 to 16: no listings, the result format, no test, no diagnostics,
    // descriptive statistics, the coordinates.
    r << "0" << "0";
    r << (Option4->isChecked()      ? "1"
          : Option5->isChecked()    ? "2"
          : Option6->isChecked()    ? "3"
          : OptionGpkg->isChecked() ? "4"
                                    : "0");
    r << "0" << "0" << "1";
    // A typed coordinates text that is neither would leave the file one
    // record short, which the engine cannot read: the save stops instead.
    if (CoordsType->currentText() == "Cartesian") {
        r << "1";
    } else if (CoordsType->currentText() == "Spherical") {
        r << "2";
    } else {
        error("No coordinate type selected. Please select Cartesian or Spherical and try again.");
        return false;
    }
    r << keyword_records;
    return true;
}

bool FrmDescr::save_configuration(int mode, const QString& given)
{
    tk::Toolkit& t = tk::toolkit();
    if (!check_configuration()) {
        error("Fail to save the configuration");
        return false;
    }
    QString path = given;
    if (mode == 0) {
        const tk::FileChoice c = save_dialog(
            {"Save Model to File", "Model File (Model Files - *.tzm)|*.tzm", start_folder(), ""});
        path = c.path;
        ldlfilename->setText(path);
        if (path.isEmpty()) {
            error("The model was not saved.", "Fail to Save the Model");
            ldlfilename->setText(kNoFile);
            return false;
        }
    } else if (t.message("Are you sure you wish to overwrite the existing Model Control File?",
                         tk::Buttons::YesNo, tk::Icon::Question,
                         "Update Model Control File") != tk::Answer::Yes) {
        return false;
    }
    if (path.isEmpty())
        return false;

    // Every record is checked before anything is written, and the file is
    // replaced as a whole, so a stopped or failed save leaves the previous
    // file intact.
    QStringList records;
    if (!build_records(records))
        return false;
    for (;;) {
        const tk::FileError e = t.writeTextFile(path, records);
        if (e == tk::FileError::None) {
            add_recent_file(path);
            return true;
        }
        if (e != tk::FileError::InUse) {
            show_unexpected_error();
            return false;
        }
        if (t.message("An error occurred trying saving the file. Press OK to try again. If the problem "
                      "persists, press CANCEL and try to save the configuration as ... option",
                      tk::Buttons::OKCancel, tk::Icon::Exclamation, "Open File Error") != tk::Answer::OK)
            return false;
    }
}

bool FrmDescr::ask_save_configuration()
{
    if (tk::toolkit().message("Do you wish to save the Descriptives Configuration File?",
                              tk::Buttons::YesNo, tk::Icon::Question,
                              "Update Model Control File") != tk::Answer::Yes)
        return true;
    // A save that was asked for and did not happen keeps the editor open, so
    // the work is not lost.
    return save();
}

// ---- Commands --------------------------------------------------------------

bool FrmDescr::has_file_name() const
{
    return !ldlfilename->text().isEmpty() && ldlfilename->text() != kNoFile;
}

bool FrmDescr::save()
{
    return has_file_name() ? save_configuration(1, ldlfilename->text()) : save_configuration(0, QString());
}

void FrmDescr::mnuSave_Click() { save(); }

void FrmDescr::Command8_Click() { mnuSave_Click(); }

void FrmDescr::mnuSaveAs_Click() { save_configuration(0, QString()); }

void FrmDescr::Command10_Click()
{
    if (check_configuration())
        mnuRun_Click();
    else
        error("Fail to run the model");
}

void FrmDescr::mnuRun_Click()
{
    if (!has_file_name()) {
        error("You need to create and/or save the model before run it.", "Unable to run model");
        return;
    }
    const QString path = ldlfilename->text();
    FrmRun& run = forms::form<FrmRun>();
    run.TxtInput->setText(path);
    // The listing goes beside the control file, named after it.
    run.TxtOutput->setText(FrmRun::listing_for(path));
    run.show();
    run.raise();
    run.activateWindow();
}

void FrmDescr::Command6_Click() { mnuOpen_Click(); }
void FrmDescr::mnuOpen_Click() { forms::form<frmMain>().mnuOpenDescr_Click(); }

void FrmDescr::Command7_Click() { mnuChgFiles_Click(); }
void FrmDescr::mnuChgFiles_Click()
{
    frmOpenData& od = forms::form<frmOpenData>();
    od.show();
    od.raise();
    od.activateWindow();
}

void FrmDescr::Command9_Click() { close(); }
void FrmDescr::mnuExit_Click() { close(); }

void FrmDescr::closeEvent(QCloseEvent* e)
{
    if (!ask_save_configuration()) {
        e->ignore();
        return;
    }
    frmOpenData& od = forms::form<frmOpenData>();
    od.TxtOpenData->clear();
    od.Txtlocations->clear();
    od.TxtOutput->clear();
    e->accept();
}
