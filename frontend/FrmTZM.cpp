#include "FrmTZM.h"

#include <QCloseEvent>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include <cmath>

#include "FrmRun.h"
#include "forms.h"
#include "frmMain.h"
#include "frmOpenData.h"
#include "frmOptions.h"
#include "open_control.h"
#include "toolkit/toolkit.h"

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
    create_menus();
    auto* central = new QWidget(this);
    setCentralWidget(central);
    create_role_controls(central);
    create_settings(central);
    create_commands(central);
    lay_out(central);
    connect_controls();
}

void FrmTZM::create_menus() {
    const EditorMenus m = editor_menus(this, "model");
    mnuOpen = m.open;
    mnuSave = m.save;
    mnuSaveAs = m.saveAs;
    mnuRun = m.run;
    mnuExit = m.exit;
    mnuChgFiles = m.chgFiles;
}

// The variables, and the role boxes with their buttons.
void FrmTZM::create_role_controls(QWidget* central) {
    lstAllVars = new QListWidget(central);
    lstAllVars->setObjectName("lstAllVars");
    TxtVarsNo = text_box(central, "TxtVarsNo");
    TxtDependent = text_box(central, "TxtDependent");
    TxtDindex = text_box(central, "TxtDindex");
    LstIndVars = new QListWidget(central);
    LstIndVars->setObjectName("LstIndVars");
    TxtX = text_box(central, "TxtX");
    TxtXindex = text_box(central, "TxtXindex");
    TxtY = text_box(central, "TxtY");
    TxtYindex = text_box(central, "TxtYindex");
    TxtW = text_box(central, "TxtW");
    TxtWindex = text_box(central, "TxtWindex");
    for (QLineEdit* e : {TxtDindex, TxtXindex, TxtYindex, TxtWindex, TxtVarsNo}) e->setMaximumWidth(50);
    Command1 = arrow_button(central, "Command1");
    Command2 = arrow_button(central, "Command2");
    Command3 = arrow_button(central, "Command3");
    Command4 = arrow_button(central, "Command4");
    Command5 = arrow_button(central, "Command5");
}

// The title, kernel, coordinates, bandwidth, calibration and result format.
void FrmTZM::create_settings(QWidget* central) {
    TxtTitle = text_box(central, "TxtTitle", false);
    kerneltype = kernel_box(central);
    CoordsType = coordinates_box(central);

    FrameBandwidth = new QGroupBox("Bandwidth Selection", central);
    FrameBandwidth->setObjectName("FrameBandwidth");
    OptionAll = option_button(FrameBandwidth, "OptionAll", "All data");
    OptionSample = option_button(FrameBandwidth, "OptionSample", "Sample (%)");
    OptionBW = option_button(FrameBandwidth, "OptionBW", "Bandwidth");
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
    OptionAIC = option_button(FrameMethod, "OptionAIC", "AICc");
    OptionCV = option_button(FrameMethod, "OptionCV", "CV");
    {
        auto* h = new QHBoxLayout(FrameMethod);
        h->addWidget(OptionAIC);
        h->addWidget(OptionCV);
    }
    FormatOptions o;
    FrameOutput = output_frame(central, o);
    Option4 = o.csv;
    Option5 = o.e00;
    Option6 = o.mif;
    Option7 = o.none;
    OptionGpkg = o.gpkg;
}

void FrmTZM::create_commands(QWidget* central) {
    ldlfilename = new QLabel(kNoFile, central);
    ldlfilename->setObjectName("ldlfilename");
    ldlfilename->setTextInteractionFlags(Qt::TextSelectableByMouse);
    Command7 = command_button(central, "Command7", "Save Model");
    Command10 = command_button(central, "Command10", "Run Model");
    Command6 = command_button(central, "Command6", "Model Options...");
    Command9 = command_button(central, "Command9", "End");
}

// The title across the top; then three columns, the variables, the roles
// with their buttons, and the options; then the file name and the
// commands.  Side by side, the editor fits a 1366 x 768 screen at 150 %
// scaling.
void FrmTZM::lay_out(QWidget* central) {
    auto label = [central](const char* name, const char* caption) { return caption_label(central, name, caption); };
    auto* titleRow = new QHBoxLayout;
    titleRow->addWidget(label("Label7", "Title:"));
    titleRow->addWidget(TxtTitle, 1);

    QVBoxLayout* vars = variables_column(central, lstAllVars, TxtVarsNo);

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
}

void FrmTZM::connect_controls() {
    // The bandwidth and method options deselect each other across their
    // frames, so their exclusivity is managed here, not by Qt.
    for (QRadioButton* r : {OptionAll, OptionSample, OptionBW, OptionAIC, OptionCV}) {
        r->setAutoExclusive(false);
        connect(r, &QRadioButton::clicked, this, [this, r] { select(r); });
    }
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
    const bool separate = !forms::form<frmOpenData>().files().locations.isEmpty();
    if (separate) select(OptionBW);
    forms::form<frmOptions>().enable_reports(!separate);
    for (QWidget* w : std::initializer_list<QWidget*>{FrameMethod, OptionAll, OptionSample, Text2, UpDown1})
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
        error_message(text);
        ++errors;
    };
    const data_files files = forms::form<frmOpenData>().files();
    if (files.data.isEmpty()) fail("No data file has been defined. Create a new model.");
    if (files.output.isEmpty()) fail("No output file has been defined. Create a new model.");
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

bool FrmTZM::fill_control_file(control_file& cf) {
    cf = control_file{};
    const data_files files = forms::form<frmOpenData>().files();
    // Listings, test, model type and the keyword records "Model Options"
    // shows, then the others as they were read.
    forms::form<frmOptions>().fill_control_file(cf);
    cf.keywords << keyword_records;

    cf.data_file = files.data;
    cf.location_file = location_record(files, cf.method);
    cf.format = checked_format(formats());
    if (!result_record(files, cf.format, cf.result_file)) return false;
    if (!whole_number(TxtDindex->text(), cf.dependent) || !column_records(TxtXindex, TxtYindex, TxtWindex, cf)) {
        show_unexpected_error();
        return false;
    }
    cf.title = title_record(TxtTitle->text());
    cf.flags = flag_record(lstAllVars, LstIndVars);
    cf.kernel = kernel_letter(kerneltype->currentText());
    cf.calibration = OptionCV->isChecked() ? 'c' : OptionAIC->isChecked() ? 'a' : 'n';
    cf.sample = OptionAll->isChecked() ? 'a' : OptionSample->isChecked() ? 's' : 'n';

    // The sample percentage after a minus sign, 0 for all data, or the
    // bandwidth as typed.
    if (OptionSample->isChecked()) {
        double v = 0;
        if (!Text2->text().isEmpty() && !parse_number(Text2->text(), v)) {
            show_unexpected_error();
            return false;
        }
        cf.bandwidth = "-" + Text2->text();
    } else if (OptionAll->isChecked()) {
        cf.bandwidth = "0";
    } else if (!bandwidth_record(Text1->text(), cf.bandwidth)) {
        return false;
    }
    return coordinates_record(CoordsType->currentText(), cf);
}

bool FrmTZM::load_control_file(const control_read& read) {
    const control_file& cf = read.file;
    show_files(read);
    read.need(4);
    if (cf.dependent == 0) return false;  // a descriptive statistics file
    TxtDindex->setText(QString::number(cf.dependent));

    read.need(5);
    const int n = read_variables(cf.data_file, lstAllVars, TxtVarsNo);
    TxtXindex->setText(QString::number(cf.x));
    TxtYindex->setText(QString::number(cf.y));
    TxtWindex->setText(QString::number(cf.weight));
    TxtDependent->setText(entry(lstAllVars, cf.dependent - 1));
    Command1->setText("<-");
    TxtX->setText(entry(lstAllVars, cf.x - 1));
    Command3->setText("<-");
    TxtY->setText(entry(lstAllVars, cf.y - 1));
    Command4->setText("<-");
    if (cf.weight != 0) TxtW->setText(entry(lstAllVars, cf.weight - 1));

    read.need(6);
    TxtTitle->setText(cf.title);
    read.need(7);
    fill_flagged(lstAllVars, LstIndVars, model_flags(cf.flags, n));
    Command2->setText("<-");

    read.need(8);
    select_kernel(kerneltype, cf.kernel);
    if (cf.calibration == QChar('n')) select(OptionBW);
    else if (cf.calibration == QChar('c')) select(OptionCV);
    else if (cf.calibration == QChar('a')) select(OptionAIC);

    // The bandwidth option follows record 9, not the sample letter.
    read.need(9);
    const BandwidthField b = bandwidth_field(cf.bandwidth);
    if (b.negative) {
        select(OptionSample);
        Text2->setText(b.magnitude);
    } else if (b.value > 0) {
        select(OptionBW);
        Text1->setText(b.magnitude);
    } else {
        select(OptionAll);
    }

    frmOptions& o = forms::form<frmOptions>();
    o.show_reports(cf, read.complete);
    if (read.complete >= 12) select_format(formats(), cf.format);
    read.need(15);
    if (!find_model_type(cf.method)) return false;
    o.select_model_type(int(cf.method));
    read.need(16);
    select_coordinates(CoordsType, cf.coordinates);
    keyword_records = o.take_keywords(cf.keywords);
    return true;
}

bool FrmTZM::save_model(int mode, const QString& given) {
    tk::Toolkit& t = tk::toolkit();
    if (!check_model()) {
        error_message("Fail to save the model");
        return false;
    }
    QString path = given;
    if (mode == 0) {
        const tk::FileChoice c =
            save_dialog({"Save Model to File", "Model File (Model Files - *.tzm)|*.tzm", start_folder(), ""});
        path = c.path;
        ldlfilename->setText(path);
        if (path.isEmpty()) {
            error_message("The model was not saved.", "Fail to Save the Model");
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
    control_file cf;
    if (!fill_control_file(cf)) return false;
    const QStringList records = control_records(cf);
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
        error_message("Fail to run the model");
}

void FrmTZM::mnuRun_Click() {
    if (!has_file_name()) {
        error_message("You need to create and/or save the model before run it.", "Unable to run model");
        return;
    }
    forms::form<FrmRun>().prepare(ldlfilename->text());
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
    forms::form<frmOpenData>().clear_files();
    e->accept();
}
