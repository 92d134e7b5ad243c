#include "FrmTZM.h"

#include <QCloseEvent>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QMenuBar>
#include <QVBoxLayout>

#include <cmath>

#include "FrmRun.h"
#include "forms.h"
#include "frmMain.h"
#include "frmOpenData.h"
#include "frmOptions.h"
#include "toolkit/toolkit.h"

namespace {

const char* kPositiveBandwidth =
    "No positive bandwidth defined. Please define the positive bandwidth and try again.";
const char* kNoTitle =
    "Warning: No title entered. Note: This is optional and the program will still run without a title.";

void error(const QString& text, const QString& title = "Error") {
    tk::toolkit().message(text, tk::Buttons::OK, tk::Icon::Critical, title);
}

void no_title_warning() { tk::toolkit().message(kNoTitle, tk::Buttons::OK, tk::Icon::Exclamation, "Warning"); }

// Reads a column number or other whole number written in a text box.
bool whole(const QString& text, long& value) {
    bool ok = false;
    value = text.trimmed().toLong(&ok);
    return ok;
}

}  // namespace

UpDown::UpDown(QLineEdit* buddy, QWidget* parent) : QWidget(parent), buddy_(buddy) {
    setObjectName("UpDown1");
    auto* v = new QVBoxLayout(this);
    v->setContentsMargins(0, 0, 0, 0);
    v->setSpacing(0);
    up = new QToolButton(this);
    up->setArrowType(Qt::UpArrow);
    up->setFixedSize(18, 11);
    down = new QToolButton(this);
    down->setArrowType(Qt::DownArrow);
    down->setFixedSize(18, 11);
    v->addWidget(up);
    v->addWidget(down);
    connect(up, &QToolButton::clicked, this, [this] { step(1); });
    connect(down, &QToolButton::clicked, this, [this] { step(-1); });
}

void UpDown::step(int by) {
    double v = 0;
    long n = parse_number(buddy_->text(), v) ? std::lround(v) : 0;
    n = std::clamp(n + by, 1L, 99L);
    buddy_->setText(QString::number(n));
}

FrmTZM::FrmTZM(QWidget* parent) : QMainWindow(parent) {
    setObjectName("FrmTZM");
    setWindowTitle("Model Editor (Geographically Weighted Regression)");
    setAttribute(Qt::WA_DeleteOnClose);

    // Menus.
    QMenu* file = menuBar()->addMenu("File");
    file->setObjectName("mnuFile");
    auto action = [](QMenu* m, const char* name, const char* caption) {
        QAction* a = m->addAction(caption);
        a->setObjectName(name);
        return a;
    };
    mnuOpen = action(file, "mnuOpen", "Open another model");
    mnuSave = action(file, "mnuSave", "Save the model");
    mnuSaveAs = action(file, "mnuSaveAs", "Save the model as ...");
    mnuRun = action(file, "mnuRun", "Run open model");
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
    auto option = [](QWidget* frame, const char* name, const char* caption) {
        auto* r = new QRadioButton(caption, frame);
        r->setObjectName(name);
        return r;
    };

    lstAllVars = new QListWidget(central);
    lstAllVars->setObjectName("lstAllVars");
    TxtVarsNo = line("TxtVarsNo");
    TxtDependent = line("TxtDependent");
    TxtDindex = line("TxtDindex");
    LstIndVars = new QListWidget(central);
    LstIndVars->setObjectName("LstIndVars");
    TxtX = line("TxtX");
    TxtXindex = line("TxtXindex");
    TxtY = line("TxtY");
    TxtYindex = line("TxtYindex");
    TxtW = line("TxtW");
    TxtWindex = line("TxtWindex");
    for (QLineEdit* e : {TxtDindex, TxtXindex, TxtYindex, TxtWindex, TxtVarsNo}) e->setMaximumWidth(50);
    Command1 = arrow("Command1");
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

    FrameBandwidth = new QGroupBox("Bandwidth Selection", central);
    FrameBandwidth->setObjectName("FrameBandwidth");
    OptionAll = option(FrameBandwidth, "OptionAll", "All data");
    OptionSample = option(FrameBandwidth, "OptionSample", "Sample (%)");
    OptionBW = option(FrameBandwidth, "OptionBW", "Bandwidth");
    Text2 = new QLineEdit("1", FrameBandwidth);
    Text2->setObjectName("Text2");
    Text2->setMaximumWidth(50);
    UpDown1 = new UpDown(Text2, FrameBandwidth);
    Text1 = new QLineEdit(FrameBandwidth);
    Text1->setObjectName("Text1");
    Text1->setMaximumWidth(90);
    {
        auto* g = new QGridLayout(FrameBandwidth);
        g->addWidget(OptionAll, 0, 0);
        g->addWidget(OptionSample, 1, 0);
        auto* h = new QHBoxLayout;
        h->setSpacing(0);
        h->addWidget(Text2);
        h->addWidget(UpDown1);
        h->addStretch();
        g->addLayout(h, 1, 1);
        g->addWidget(OptionBW, 2, 0);
        g->addWidget(Text1, 2, 1);
    }
    FrameMethod = new QGroupBox("Method", central);
    FrameMethod->setObjectName("FrameMethod");
    OptionAIC = option(FrameMethod, "OptionAIC", "AICc");
    OptionCV = option(FrameMethod, "OptionCV", "CV");
    {
        auto* h = new QHBoxLayout(FrameMethod);
        h->addWidget(OptionAIC);
        h->addWidget(OptionCV);
    }
    // The bandwidth and method options deselect each other across their
    // frames, so their exclusivity is managed here, not by Qt.
    for (QRadioButton* r : {OptionAll, OptionSample, OptionBW, OptionAIC, OptionCV}) {
        r->setAutoExclusive(false);
        connect(r, &QRadioButton::clicked, this, [this, r] { select(r); });
    }
    FrameOutput = new QGroupBox("Output Format", central);
    FrameOutput->setObjectName("FrameOutput");
    Option4 = option(FrameOutput, "Option4", "Spreadsheet (*.csv)");
    Option5 = option(FrameOutput, "Option5", "ArcInfo Exp. (*.e00)");
    Option6 = option(FrameOutput, "Option6", "MapINFO (*.mif)");
    Option7 = option(FrameOutput, "Option7", "None");
    Option7->setChecked(true);
    OptionGpkg = option(FrameOutput, "OptionGpkg", "GeoPackage (*.gpkg)");
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
    auto command = [central](const char* name, const char* caption) {
        auto* b = new QPushButton(caption, central);
        b->setObjectName(name);
        return b;
    };
    Command7 = command("Command7", "Save Model");
    Command10 = command("Command10", "Run Model");
    Command6 = command("Command6", "Model Options...");
    Command9 = command("Command9", "End");

    // Layout: the title across the top; then three columns, the variables,
    // the roles with their buttons, and the options; then the file name and
    // the commands.  Side by side, the editor fits a 1366 x 768 screen at
    // 150 % scaling.
    auto* titleRow = new QHBoxLayout;
    titleRow->addWidget(label("Label7", "Title:"));
    titleRow->addWidget(TxtTitle, 1);

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

    auto pair = [&label](QLineEdit* name, QLineEdit* index, const char* axis = nullptr) {
        auto* h = new QHBoxLayout;
        if (axis) h->addWidget(label(axis[0] == 'x' ? "LabelX" : "LabelY", axis));
        h->addWidget(name, 1);
        h->addWidget(index);
        return h;
    };
    auto* roles = new QGridLayout;
    roles->addWidget(label("Label3", "Dependent Variable"), 0, 1);
    roles->addWidget(Command1, 1, 0);
    roles->addLayout(pair(TxtDependent, TxtDindex), 1, 1);
    roles->addWidget(label("Label4", "Independent Variable(s)"), 2, 1);
    roles->addWidget(Command2, 3, 0, Qt::AlignTop);
    roles->addWidget(LstIndVars, 3, 1);
    roles->addWidget(label("Label5", "Location Variables"), 4, 1);
    roles->addWidget(Command3, 5, 0);
    roles->addLayout(pair(TxtX, TxtXindex, "x:"), 5, 1);
    roles->addWidget(Command4, 6, 0);
    roles->addLayout(pair(TxtY, TxtYindex, "y:"), 6, 1);
    roles->addWidget(label("Label6", "Weight Variable"), 7, 1);
    roles->addWidget(Command5, 8, 0);
    roles->addLayout(pair(TxtW, TxtWindex), 8, 1);
    roles->setRowStretch(3, 1);

    auto* options = new QVBoxLayout;
    {
        auto* settings = new QFormLayout;
        settings->addRow(label("Label8", "Kernel Type"), kerneltype);
        settings->addRow(label("Label9", "Coordinates"), CoordsType);
        options->addLayout(settings);
        auto* h = new QHBoxLayout;
        h->addWidget(FrameBandwidth);
        auto* m = new QVBoxLayout;
        m->addWidget(FrameMethod);
        m->addStretch();
        h->addLayout(m);
        options->addLayout(h);
        options->addWidget(FrameOutput);
        options->addStretch();
    }

    auto* columns = new QHBoxLayout;
    columns->addLayout(vars, 2);
    columns->addLayout(roles, 3);
    columns->addLayout(options, 3);

    auto* file_line = new QHBoxLayout;
    file_line->addWidget(label("Label10", "File name of the model:"));
    file_line->addWidget(ldlfilename, 1);

    auto* commands = new QHBoxLayout;
    commands->addWidget(Command6);
    commands->addStretch();
    commands->addWidget(Command7);
    commands->addWidget(Command10);
    commands->addWidget(Command9);

    auto* v = new QVBoxLayout(central);
    v->addLayout(titleRow);
    v->addLayout(columns, 1);
    v->addLayout(file_line);
    v->addLayout(commands);
    resize(860, 480);

    connect(Command1, &QPushButton::clicked, this, &FrmTZM::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &FrmTZM::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &FrmTZM::Command3_Click);
    connect(Command4, &QPushButton::clicked, this, &FrmTZM::Command4_Click);
    connect(Command5, &QPushButton::clicked, this, &FrmTZM::Command5_Click);
    // A click, or a selection moved with the keyboard, tells the independent
    // button which list it works on.
    connect(lstAllVars, &QListWidget::itemClicked, this, &FrmTZM::lstAllVars_Click);
    connect(LstIndVars, &QListWidget::itemClicked, this, &FrmTZM::LstIndVars_Click);
    // A double click on a variable moves it to the independent list.
    connect(lstAllVars, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* it) {
        lstAllVars->setCurrentItem(it);
        it->setSelected(true);
        lstAllVars_Click();
        Command2_Click();
    });
    connect(lstAllVars, &QListWidget::itemSelectionChanged, this, [this] {
        if (selected_row(lstAllVars) >= 0) lstAllVars_Click();
    });
    connect(LstIndVars, &QListWidget::itemSelectionChanged, this, [this] {
        if (selected_row(LstIndVars) >= 0) LstIndVars_Click();
    });
    connect(Text2, &QLineEdit::textChanged, this, &FrmTZM::Text2_Change);
    connect(Command7, &QPushButton::clicked, this, &FrmTZM::Command7_Click);
    connect(Command10, &QPushButton::clicked, this, &FrmTZM::Command10_Click);
    connect(Command6, &QPushButton::clicked, this, &FrmTZM::Command6_Click);
    connect(Command9, &QPushButton::clicked, this, &FrmTZM::Command9_Click);
    connect(mnuOpen, &QAction::triggered, this, &FrmTZM::mnuOpen_Click);
    connect(mnuSave, &QAction::triggered, this, &FrmTZM::mnuSave_Click);
    connect(mnuSaveAs, &QAction::triggered, this, &FrmTZM::mnuSaveAs_Click);
    connect(mnuRun, &QAction::triggered, this, &FrmTZM::mnuRun_Click);
    connect(mnuExit, &QAction::triggered, this, &FrmTZM::mnuExit_Click);
    connect(mnuChgFiles, &QAction::triggered, this, &FrmTZM::mnuChgFiles_Click);
}

// ---- Role buttons ----------------------------------------------------------

bool FrmTZM::check_var_use(const QString& name, Role tag) {
    return ::check_var_use(name, tag, RoleFields{TxtDependent, TxtX, TxtY, TxtW, LstIndVars});
}

void FrmTZM::roleButton(QPushButton* b, QLineEdit* name, QLineEdit* index, Role role, const char* title) {
    if (b->text() == "->") {
        const int row = selected_row(lstAllVars);
        if (row < 0) {
            tk::toolkit().message("You should select a variable from the Variables List first.", tk::Buttons::OK,
                                  tk::Icon::Information, title);
            return;
        }
        const QString var = lstAllVars->item(row)->text();
        if (check_var_use(var, role)) return;
        name->setText(var);
        index->setText(QString::number(row + 1));
        b->setText("<-");
    } else {
        name->clear();
        index->clear();
        b->setText("->");
    }
}

void FrmTZM::Command1_Click() {
    roleButton(Command1, TxtDependent, TxtDindex, Role::Dependent, "Define The Dependent Variable");
}
void FrmTZM::Command3_Click() { roleButton(Command3, TxtX, TxtXindex, Role::X, "Define The Coordinate X"); }
void FrmTZM::Command4_Click() { roleButton(Command4, TxtY, TxtYindex, Role::Y, "Define The Coordinate Y"); }
void FrmTZM::Command5_Click() { roleButton(Command5, TxtW, TxtWindex, Role::Weight, "Define The Weight"); }

void FrmTZM::Command2_Click() {
    if (Command2->text() == "->") {
        const int row = selected_row(lstAllVars);
        if (row < 0) {
            tk::toolkit().message("You should select a variable from the Variables List first.", tk::Buttons::OK,
                                  tk::Icon::Information, "Define an Independent Variable");
            return;
        }
        const QString var = lstAllVars->item(row)->text();
        if (check_var_use(var, Role::Independent)) return;
        LstIndVars->addItem(var);
        Command2->setText("<-");
    } else {
        const int row = selected_row(LstIndVars);
        if (row < 0) {
            tk::toolkit().message("You should select a variable from the Independent Variables List first.",
                                  tk::Buttons::OK, tk::Icon::Information, "Remove an Independent  Variable");
            return;
        }
        delete LstIndVars->takeItem(row);
        // Nothing stays selected, so a second click cannot remove a
        // neighbour by accident.
        LstIndVars->clearSelection();
        LstIndVars->setCurrentRow(-1);
        if (LstIndVars->count() == 0) Command2->setText("->");
    }
}

void FrmTZM::lstAllVars_Click() { Command2->setText("->"); }
void FrmTZM::LstIndVars_Click() { Command2->setText("<-"); }

// ---- Bandwidth and calibration options -------------------------------------

void FrmTZM::select(QRadioButton* option) {
    const bool bandwidthFrame = option == OptionAll || option == OptionSample || option == OptionBW;
    const auto siblings = bandwidthFrame ? QList<QRadioButton*>{OptionAll, OptionSample, OptionBW}
                                         : QList<QRadioButton*>{OptionAIC, OptionCV};
    for (QRadioButton* r : siblings) r->setChecked(r == option);
    if (option == OptionAll || option == OptionSample) {
        Text1->clear();
    } else if (option == OptionBW) {
        OptionAIC->setChecked(false);
        OptionCV->setChecked(false);
        Text1->setFocus();
    } else {
        OptionBW->setChecked(false);
        Text1->clear();
        select(OptionAll);
    }
}

void FrmTZM::Text2_Change() {
    if (text2Busy_) return;
    const QString t = Text2->text().trimmed();
    // An empty box is left alone while the user types; it is written as it
    // stands (a lone minus sign) if saved so.
    if (t.isEmpty()) return;
    double v = 0;
    const bool number = parse_number(t, v);
    const long n = number ? std::lround(v) : 0;
    if (!number || n > 99 || n < 1) {
        tk::toolkit().message(
            "The number you have entered is invalid. Please enter a percentage in the range of 1-99, or choose "
            "another validation type",
            tk::Buttons::OK, tk::Icon::Critical, "Value Check");
        text2Busy_ = true;
        Text2->clear();
        text2Busy_ = false;
    }
}

void FrmTZM::Form_Activate() {
    const bool separate = !forms::form<frmOpenData>().Txtlocations->text().isEmpty();
    if (separate) select(OptionBW);
    frmOptions& o = forms::form<frmOptions>();
    for (QWidget* w : std::initializer_list<QWidget*>{o.cvcheck, o.predCheck, o.DiagnCheck, o.FrameTest, FrameMethod,
                                                      OptionAll, OptionSample, Text2, UpDown1})
        w->setEnabled(!separate);
}

bool FrmTZM::event(QEvent* e) {
    if (e->type() == QEvent::WindowActivate) Form_Activate();
    return QMainWindow::event(e);
}

// ---- Validation and saving -------------------------------------------------

bool FrmTZM::check_model() {
    int errors = 0;
    auto fail = [&](const char* text) {
        error(text);
        ++errors;
    };
    const frmOpenData& od = forms::form<frmOpenData>();
    if (od.TxtOpenData->text().isEmpty()) fail("No data file has been defined. Create a new model.");
    if (od.TxtOutput->text().isEmpty()) fail("No output file has been defined. Create a new model.");
    if (TxtDindex->text().isEmpty()) fail("No dependent variable has been selected. Please select one.");
    if (TxtXindex->text().isEmpty()) fail("No x (x-coord) variable has been selected. Please select one.");
    if (TxtYindex->text().isEmpty()) fail("No y (y-coord) variable has been selected. Please select one.");
    if (TxtTitle->text().isEmpty()) no_title_warning();
    if (LstIndVars->count() == 0) fail("No independent variables have been selected. Please select one.");
    if (kerneltype->currentText().isEmpty()) fail("No kernel type selected. Please select a kernel type and try again.");
    if (!OptionAll->isChecked() && !OptionSample->isChecked() && !OptionBW->isChecked())
        fail("No bandwidth selected. Please select a bandwidth and try again.");
    double bw = 0;
    if (!Text1->text().isEmpty() && !(parse_number(Text1->text(), bw) && bw > 0)) fail(kPositiveBandwidth);
    if (!forms::form<frmOptions>().check_keywords(kerneltype->currentText() == "Adaptive")) ++errors;
    return errors == 0;
}

bool FrmTZM::build_records(QStringList& r) {
    const frmOpenData& od = forms::form<frmOpenData>();
    const frmOptions& o = forms::form<frmOptions>();
    tk::Toolkit& t = tk::toolkit();
    r.clear();

    // 1, 2: the data file; the location file for Gaussian models only.
    r << od.TxtOpenData->text();
    const int type = o.model_type();
    if (type == 2) {
        r << od.Txtlocations->text();
    } else {
        r << QString();
        if (!od.Txtlocations->text().isEmpty())
            t.message("This model type can only be fitted at the data points. The calibration locations file selected "
                      "will be ignored.",
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
    // 4, 5: column numbers of the dependent, x, y and weight variables.
    long dep = 0, x = 0, y = 0, w = 0;
    if (!whole(TxtDindex->text(), dep) || !whole(TxtXindex->text(), x) || !whole(TxtYindex->text(), y) ||
        (!TxtWindex->text().isEmpty() && !whole(TxtWindex->text(), w))) {
        show_unexpected_error();
        return false;
    }
    r << QString::number(dep);
    r << QString("%1,%2,%3").arg(x).arg(y).arg(w);
    // 6: the title.
    if (TxtTitle->text().isEmpty()) {
        no_title_warning();
        r << "Untitled";
    } else {
        r << TxtTitle->text();
    }
    // 7: one flag per variable.
    QString flags;
    for (int i = 0; i < lstAllVars->count(); ++i) flags += item_in_list(lstAllVars->item(i)->text(), LstIndVars) ? 'T' : 'F';
    r << flags;
    // 8: kernel, calibration and sample letters.
    QString codes;
    if (kerneltype->currentText() == "Fixed") codes += 'f';
    else if (kerneltype->currentText() == "Adaptive") codes += 'v';
    codes += OptionCV->isChecked() ? 'c' : OptionAIC->isChecked() ? 'a' : 'n';
    codes += OptionAll->isChecked() ? 'a' : OptionSample->isChecked() ? 's' : 'n';
    r << codes;
    // 9: the sample percentage (negative), 0 for all data, or the bandwidth.
    if (OptionSample->isChecked()) {
        double v = 0;
        if (!Text2->text().isEmpty() && !parse_number(Text2->text(), v)) {
            show_unexpected_error();
            return false;
        }
        r << "-" + Text2->text();
    } else if (OptionAll->isChecked()) {
        r << "0";
    } else {
        double v = 0;
        if (Text1->text().trimmed().isEmpty()) {
            error(kPositiveBandwidth);
            return false;
        }
        if (!parse_number(Text1->text(), v)) {
            show_unexpected_error();
            return false;
        }
        if (!(v > 0)) {
            error(kPositiveBandwidth);
            return false;
        }
        r << Text1->text();
    }
    // 10 to 16.
    r << (o.cvcheck->isChecked() ? "1" : "0");
    r << (o.predCheck->isChecked() ? "1" : "0");
    r << (Option4->isChecked()      ? "1"
          : Option5->isChecked()    ? "2"
          : Option6->isChecked()    ? "3"
          : OptionGpkg->isChecked() ? "4"
                                    : "0");
    r << (o.Option8->isChecked() ? "1" : o.Option9->isChecked() ? "2" : "0");
    r << (o.DiagnCheck->isChecked() ? "1" : "0");
    r << QString::number(type);
    // A typed coordinate text that is neither would leave the file one
    // record short, which the engine cannot read: the save stops instead.
    if (CoordsType->currentText() == "Cartesian") {
        r << "1";
    } else if (CoordsType->currentText() == "Spherical") {
        r << "2";
    } else {
        error("No coordinate type selected. Please select Cartesian or Spherical and try again.");
        return false;
    }
    // Keyword records: the search limits and the coordinate system when
    // given, then the others as they were read.
    r << o.keyword_lines() << keyword_records;
    return true;
}

bool FrmTZM::save_model(int mode, const QString& given) {
    tk::Toolkit& t = tk::toolkit();
    if (!check_model()) {
        error("Fail to save the model");
        return false;
    }
    QString path = given;
    if (mode == 0) {
        const QString project = forms::form<frmOpenData>().ProjectPathTxt->text();
        const tk::FileChoice c = save_dialog({"Save Model to File", "Model File (Model Files - *.tzm)|*.tzm",
                                             project.isEmpty() ? t.programFolder() : project, ""});
        path = c.path;
        ldlfilename->setText(path);
        if (path.isEmpty()) {
            error("The model was not saved.", "Fail to Save the Model");
            ldlfilename->setText(kNoFile);
            return false;
        }
    } else if (t.message("Are you sure you wish to overwrite the existing Model Control File?", tk::Buttons::YesNo,
                         tk::Icon::Question, "Update Model Control File") != tk::Answer::Yes) {
        return false;
    }
    if (path.isEmpty()) return false;

    // Every record is checked before anything is written, and the file is
    // replaced as a whole, so a stopped or failed save leaves the previous
    // file intact.
    QStringList records;
    if (!build_records(records)) return false;
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
        if (t.message("An error occurred trying saving the file. Press OK to try again. If the problem persists, "
                      "press CANCEL and try to save the model as ... option",
                      tk::Buttons::OKCancel, tk::Icon::Exclamation, "Open File Error") != tk::Answer::OK)
            return false;
    }
}

bool FrmTZM::ask_save_model() {
    if (tk::toolkit().message("Do you wish to save the Model Control File?", tk::Buttons::YesNo, tk::Icon::Question,
                              "Update Model Control File") != tk::Answer::Yes)
        return true;
    return save();
}

// ---- Commands --------------------------------------------------------------

bool FrmTZM::has_file_name() const { return !ldlfilename->text().isEmpty() && ldlfilename->text() != kNoFile; }

bool FrmTZM::save() { return has_file_name() ? save_model(1, ldlfilename->text()) : save_model(0, QString()); }

void FrmTZM::mnuSave_Click() { save(); }

void FrmTZM::Command7_Click() { mnuSave_Click(); }

void FrmTZM::mnuSaveAs_Click() { save_model(0, QString()); }

void FrmTZM::Command10_Click() {
    if (check_model())
        mnuRun_Click();
    else
        error("Fail to run the model");
}

void FrmTZM::mnuRun_Click() {
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

void FrmTZM::Command6_Click() {
    frmOptions& o = forms::form<frmOptions>();
    o.show();
    o.raise();
    o.activateWindow();
}

void FrmTZM::mnuChgFiles_Click() {
    frmOpenData& od = forms::form<frmOpenData>();
    od.show();
    od.raise();
    od.activateWindow();
}

void FrmTZM::mnuOpen_Click() { forms::form<frmMain>().mnuOpenModel->trigger(); }

void FrmTZM::Command9_Click() { close(); }
void FrmTZM::mnuExit_Click() { close(); }

void FrmTZM::closeEvent(QCloseEvent* e) {
    if (!ask_save_model()) {
        e->ignore();
        return;
    }
    frmOpenData& od = forms::form<frmOpenData>();
    od.TxtOpenData->clear();
    od.Txtlocations->clear();
    od.TxtOutput->clear();
    e->accept();
}
