#include "FrmDescr.h"

#include "FrmRun.h"
#include "forms.h"
#include "frmMain.h"
#include "frmOpenData.h"
#include "frmOptions.h"
#include "open_control.h"
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
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

FrmDescr::FrmDescr(QWidget* parent) : QMainWindow(parent)
{
    setObjectName("FrmDescr");
    setWindowTitle("Descriptive Statistics Editor (Geographically Weighted Statistics)");
    // Closing discards the editor; the next opening starts from scratch.
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

void FrmDescr::create_menus()
{
    const EditorMenus m = editor_menus(this, "configuration");
    mnuOpen = m.open;
    mnuSave = m.save;
    mnuSaveAs = m.saveAs;
    mnuRun = m.run;
    mnuExit = m.exit;
    mnuChgFiles = m.chgFiles;
}

// The variables, and the role boxes with their buttons.
void FrmDescr::create_role_controls(QWidget* central)
{
    lstAllVars = new QListWidget(central);
    lstAllVars->setObjectName("lstAllVars");
    TxtVarsNo = text_box(central, "TxtVarsNo");
    LstIndVars = new QListWidget(central);
    LstIndVars->setObjectName("LstIndVars");
    TxtX = text_box(central, "TxtX");
    TxtXindex = text_box(central, "TxtXindex");
    TxtY = text_box(central, "TxtY");
    TxtYindex = text_box(central, "TxtYindex");
    TxtW = text_box(central, "TxtW");
    TxtWindex = text_box(central, "TxtWindex");
    for (QLineEdit* e : {TxtXindex, TxtYindex, TxtWindex, TxtVarsNo})
        e->setMaximumWidth(50);
    Command2 = arrow_button(central, "Command2");
    Command3 = arrow_button(central, "Command3");
    Command4 = arrow_button(central, "Command4");
    Command5 = arrow_button(central, "Command5");
}

// The title, kernel, coordinates, bandwidth and result format.
void FrmDescr::create_settings(QWidget* central)
{
    TxtTitle = text_box(central, "TxtTitle", false);
    kerneltype = kernel_box(central);
    CoordsType = coordinates_box(central);
    BandwidthTxt = text_box(central, "BandwidthTxt", false);
    FormatOptions o;
    FrameOutput = output_frame(central, o);
    Option4 = o.csv;
    Option5 = o.e00;
    Option6 = o.mif;
    Option7 = o.none;
    OptionGpkg = o.gpkg;
}

void FrmDescr::create_commands(QWidget* central)
{
    ldlfilename = new QLabel(kNoFile, central);
    ldlfilename->setObjectName("ldlfilename");
    ldlfilename->setTextInteractionFlags(Qt::TextSelectableByMouse);
    Command6 = command_button(central, "Command6", "Open...");
    Command7 = command_button(central, "Command7", "View/Edit Files");
    Command8 = command_button(central, "Command8", "Save");
    Command10 = command_button(central, "Command10", "Run");
    Command9 = command_button(central, "Command9", "End");
}

// Three columns, the variables, the roles with their buttons, and the
// settings; then the file name and the commands.  Side by side, the editor
// fits a 1366 x 768 screen at 150 % scaling.
void FrmDescr::lay_out(QWidget* central)
{
    auto label = [central](const char* name, const char* caption) {
        return caption_label(central, name, caption);
    };
    QVBoxLayout* vars = variables_column(central, lstAllVars, TxtVarsNo);
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
}

void FrmDescr::connect_controls()
{
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
        error_message(text);
        ++errors;
    };
    const data_files files = forms::form<frmOpenData>().files();
    if (files.data.isEmpty())
        fail("No data file has been defined. Create a new model.");
    if (files.output.isEmpty())
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

bool FrmDescr::fill_control_file(control_file& cf)
{
    cf = control_file{};
    const data_files files = forms::form<frmOpenData>().files();
    cf.data_file = files.data;
    // The location file is kept while "Model Options" names a model type
    // that can be fitted at separate locations.
    cf.location_file = location_record(files, forms::form<frmOptions>().model_type());
    cf.format = checked_format(formats());
    if (!result_record(files, cf.format, cf.result_file))
        return false;
    // No dependent variable; the x, y and weight columns.
    if (!column_records(TxtXindex, TxtYindex, TxtWindex, cf)) {
        show_unexpected_error();
        return false;
    }
    cf.title = title_record(TxtTitle->text());
    // T for the variables to summarise.
    cf.flags = flag_record(lstAllVars, LstIndVars);
    // The kernel letter alone: a user-given bandwidth on all points.
    cf.kernel = kernel_letter(kerneltype->currentText());
    // The bandwidth as typed, a number greater than 0.
    if (!bandwidth_record(BandwidthTxt->text(), cf.bandwidth))
        return false;
    // No listings, no test, no diagnostics: descriptive statistics.
    cf.method = kDescriptiveMethod;
    if (!coordinates_record(CoordsType->currentText(), cf))
        return false;
    cf.keywords = keyword_records;
    return true;
}

bool FrmDescr::load_control_file(const control_read& read)
{
    const control_file& cf = read.file;
    show_files(read);
    read.need(5);  // record 4, the dependent variable, is not used
    const int n = read_variables(cf.data_file, lstAllVars, TxtVarsNo);
    TxtXindex->setText(QString::number(cf.x));
    TxtYindex->setText(QString::number(cf.y));
    TxtWindex->setText(QString::number(cf.weight));
    // The names come from the data file's variables, when there is one.
    if (!cf.data_file.isEmpty()) {
        TxtX->setText(entry(lstAllVars, cf.x - 1));
        Command3->setText("<-");
        TxtY->setText(entry(lstAllVars, cf.y - 1));
        Command4->setText("<-");
        if (cf.weight != 0)
            TxtW->setText(entry(lstAllVars, cf.weight - 1));
    }

    read.need(6);
    TxtTitle->setText(cf.title);
    read.need(7);
    fill_flagged(lstAllVars, LstIndVars, model_flags(cf.flags, n));
    Command2->setText("<-");
    read.need(8);
    select_kernel(kerneltype, cf.kernel);

    // The bandwidth as written, whatever its sign; it must be a number.
    read.need(9);
    item_value(cf.bandwidth);
    BandwidthTxt->setText(cf.bandwidth);

    // Listings, test and diagnostics are not used.
    if (read.complete >= 12)
        select_format(formats(), cf.format);
    read.need(15);
    if (cf.method != kDescriptiveMethod)
        return false;
    read.need(16);
    select_coordinates(CoordsType, cf.coordinates);
    // Keyword records are kept as they are and written back after record 16.
    keyword_records = cf.keywords;
    return true;
}

bool FrmDescr::save_configuration(int mode, const QString& given)
{
    tk::Toolkit& t = tk::toolkit();
    if (!check_configuration()) {
        error_message("Fail to save the configuration");
        return false;
    }
    QString path = given;
    if (mode == 0) {
        const tk::FileChoice c = save_dialog(
            {"Save Model to File", "Model File (Model Files - *.tzm)|*.tzm", start_folder(), ""});
        path = c.path;
        ldlfilename->setText(path);
        if (path.isEmpty()) {
            error_message("The model was not saved.", "Fail to Save the Model");
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
    control_file cf;
    if (!fill_control_file(cf))
        return false;
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
        error_message("Fail to run the model");
}

void FrmDescr::mnuRun_Click()
{
    if (!has_file_name()) {
        error_message("You need to create and/or save the model before run it.", "Unable to run model");
        return;
    }
    forms::form<FrmRun>().prepare(ldlfilename->text());
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
    forms::form<frmOpenData>().clear_files();
    e->accept();
}
