// The main window's commands that open control files, the descriptive
// statistics editor, the listing viewer, the wizard and the small windows.
#include "frmMain.h"

#include "FrmCon.h"
#include "FrmDescr.h"
#include "FrmMap.h"
#include "FrmResults.h"
#include "FrmRun.h"
#include "FrmTZM.h"
#include "FrmWiz.h"
#include "forms.h"
#include "frmAbout.h"
#include "frmOpenData.h"
#include "frmOptions.h"
#include "open_control.h"
#include "shared.h"
#include "toolkit/toolkit.h"

#include <QComboBox>
#include <QEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>

namespace {

// Shows the start-up wizard the first time the main window appears.
class StartWizard : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* e) override
    {
        if (e->type() == QEvent::Show) {
            watched->removeEventFilter(this);
            deleteLater();
            FrmWiz::open_wizard();
        }
        return false;
    }
};

void raise_window(QWidget& w)
{
    w.show();
    w.raise();
    w.activateWindow();
}

// Entry `i` (from 0) of a list box; a column number outside the list names
// no variable.
QString entry(const QListWidget* list, long i)
{
    return i >= 0 && i < list->count() ? list->item(int(i))->text() : QString();
}

// Fills `target` with the entries of `all` whose flag letter is "T", then
// selects the first of them.
void fill_flagged(const QListWidget* all, QListWidget* target, const QList<bool>& flags)
{
    target->clear();
    for (int i = 0; i < flags.size(); ++i)
        if (flags[i])
            target->addItem(all->item(i)->text());
    if (target->count() > 0) {
        target->setCurrentRow(0);
        target->item(0)->setSelected(true);
    }
}

// Selects entry `i` of a combo box whose text the user may also type, so
// its text becomes that entry's even when the index was already `i`.
void choose_entry(QComboBox* box, int i)
{
    box->setCurrentIndex(i);
    box->setCurrentText(box->itemText(i));
}

// What became of an attempt to read a control file.
enum class Outcome { Shown, Stopped, Again };

bool wrong_type_again(const char* text)
{
    return tk::toolkit().message(text, tk::Buttons::YesNo, tk::Icon::Question, "Wrong file type") ==
           tk::Answer::Yes;
}

// Reads the file: false when it could not be read.  A file that has gone
// missing ends the command silently; any other failure is reported.
bool read_control(const QString& path, QString& text)
{
    const tk::FileError e = tk::toolkit().readTextFile(path, text);
    if (e == tk::FileError::None)
        return true;
    if (e != tk::FileError::NotFound)
        show_unexpected_error();
    return false;
}

// The column numbers of record 5, and the variable list refilled from the
// data file when there is one.  Returns the number of variables the flags of
// record 7 describe: 0 without a data file.
int read_columns(ControlRecords& r, QListWidget* all, QLineEdit* varsNo, long& x, long& y, long& w)
{
    r.three(x, y, w);
    frmOpenData& od = forms::form<frmOpenData>();
    if (od.TxtOpenData->text().isEmpty())
        return 0;
    if (!file_header_to_list(od.TxtOpenData->text(), all)) {
        // The data file this control file names cannot be read: its column
        // numbers must not be matched against the variables of whatever
        // file the editor showed before.
        all->clear();
    }
    varsNo->setText(QString::number(all->count()));
    return all->count();
}

// Records 1 to 3: the data, location and result files.
void read_paths(ControlRecords& r)
{
    frmOpenData& od = forms::form<frmOpenData>();
    od.TxtOpenData->setText(r.text());
    od.Txtlocations->setText(r.text());
    od.TxtOutput->setText(r.text());
}

void select_output(double code, QRadioButton* csv, QRadioButton* e00, QRadioButton* mif,
                   QRadioButton* none, QRadioButton* gpkg)
{
    if (code == 4)
        gpkg->setChecked(true);
    else if (code == 0)
        none->setChecked(true);
    else if (code == 1)
        csv->setChecked(true);
    else if (code == 2)
        e00->setChecked(true);
    else if (code == 3)
        mif->setChecked(true);
}

void select_coordinates(ControlRecords& r, QComboBox* coords)
{
    // An editor writes no coordinates record for a typed coordinates text:
    // the choice then stays as it is.
    if (r.atEnd())
        return;
    const long code = r.whole();
    if (code == 1)
        choose_entry(coords, 0);
    else if (code == 2)
        choose_entry(coords, 1);
}

// One attempt at reading a model control file into the model editor.
Outcome read_model(const QString& path)
{
    FrmTZM& ed = forms::form<FrmTZM>();
    ed.ldlfilename->setText(path);
    QString text;
    if (!read_control(path, text))
        return Outcome::Stopped;
    ControlRecords r(text);

    read_paths(r);
    const long dep = r.whole();
    if (dep == 0) {
        // A descriptive statistics file.
        return wrong_type_again("This is not a model control file. Would you like to select another file?")
                   ? Outcome::Again
                   : Outcome::Stopped;
    }
    ed.TxtDindex->setText(QString::number(dep));
    long x, y, w;
    const int n = read_columns(r, ed.lstAllVars, ed.TxtVarsNo, x, y, w);
    ed.TxtXindex->setText(QString::number(x));
    ed.TxtYindex->setText(QString::number(y));
    ed.TxtWindex->setText(QString::number(w));
    ed.TxtDependent->setText(entry(ed.lstAllVars, dep - 1));
    ed.Command1->setText("<-");
    ed.TxtX->setText(entry(ed.lstAllVars, x - 1));
    ed.Command3->setText("<-");
    ed.TxtY->setText(entry(ed.lstAllVars, y - 1));
    ed.Command4->setText("<-");
    if (w != 0)
        ed.TxtW->setText(entry(ed.lstAllVars, w - 1));

    ed.TxtTitle->setText(r.text());
    fill_flagged(ed.lstAllVars, ed.LstIndVars, model_flags(r.text(), n));
    ed.Command2->setText("<-");

    const QString codes = r.text();
    choose_entry(ed.kerneltype, codes.startsWith(QChar('v')) ? 1 : 0);
    const QChar calibration = codes.size() > 1 ? codes[1] : QChar();
    if (calibration == QChar('n'))
        ed.select(ed.OptionBW);
    else if (calibration == QChar('c'))
        ed.select(ed.OptionCV);
    else if (calibration == QChar('a'))
        ed.select(ed.OptionAIC);

    const BandwidthField b = bandwidth_field(r.item());
    if (b.negative) {
        ed.select(ed.OptionSample);
        ed.Text2->setText(b.magnitude);
    } else if (b.value > 0) {
        ed.select(ed.OptionBW);
        ed.Text1->setText(b.magnitude);
    } else {
        ed.select(ed.OptionAll);
    }

    frmOptions& o = forms::form<frmOptions>();
    o.cvcheck->setChecked(r.whole() == 1);
    o.predCheck->setChecked(r.whole() == 1);
    select_output(r.whole(), ed.Option4, ed.Option5, ed.Option6, ed.Option7, ed.OptionGpkg);
    const long test = r.whole();
    if (test == 0)
        o.Option10->setChecked(true);
    else if (test == 1)
        o.Option8->setChecked(true);
    else if (test == 2)
        o.Option9->setChecked(true);
    o.DiagnCheck->setChecked(r.whole() == 1);
    const long method = r.whole();
    if (method != 2 && method != 3 && method != 4) {
        return wrong_type_again("This is not a model control file. Would you like to select another file?")
                   ? Outcome::Again
                   : Outcome::Stopped;
    }
    o.select_model_type(int(method));
    select_coordinates(r, ed.CoordsType);
    ed.keyword_records = o.take_keywords(r.rest());

    raise_window(ed);
    return Outcome::Shown;
}

// One attempt at reading a descriptive statistics control file into its
// editor.
Outcome read_descriptives(const QString& path)
{
    FrmDescr& ed = forms::form<FrmDescr>();
    ed.ldlfilename->setText(path);
    QString text;
    if (!read_control(path, text))
        return Outcome::Stopped;
    ControlRecords r(text);

    read_paths(r);
    r.whole();  // no dependent variable
    long x, y, w;
    const int n = read_columns(r, ed.lstAllVars, ed.TxtVarsNo, x, y, w);
    ed.TxtXindex->setText(QString::number(x));
    ed.TxtYindex->setText(QString::number(y));
    ed.TxtWindex->setText(QString::number(w));
    // The names come from the data file's variables, when there is one.
    if (!forms::form<frmOpenData>().TxtOpenData->text().isEmpty()) {
        ed.TxtX->setText(entry(ed.lstAllVars, x - 1));
        ed.Command3->setText("<-");
        ed.TxtY->setText(entry(ed.lstAllVars, y - 1));
        ed.Command4->setText("<-");
        if (w != 0)
            ed.TxtW->setText(entry(ed.lstAllVars, w - 1));
    }

    ed.TxtTitle->setText(r.text());
    fill_flagged(ed.lstAllVars, ed.LstIndVars, model_flags(r.text(), n));
    ed.Command2->setText("<-");
    choose_entry(ed.kerneltype, r.text().startsWith(QChar('v')) ? 1 : 0);

    // The bandwidth as written, whatever its sign; it must be a number.
    const QString bandwidth = r.item();
    item_value(bandwidth);
    ed.BandwidthTxt->setText(bandwidth);

    r.whole();  // calibration history
    r.whole();  // predictions
    select_output(r.whole(), ed.Option4, ed.Option5, ed.Option6, ed.Option7, ed.OptionGpkg);
    r.whole();  // significance test
    r.whole();  // casewise diagnostics
    if (r.whole() != 1) {
        return wrong_type_again("This is not a descriptive statistics configuration file. Would you like "
                                "to select another file?")
                   ? Outcome::Again
                   : Outcome::Stopped;
    }
    select_coordinates(r, ed.CoordsType);
    // Keyword records are kept as they are and written back after record 16.
    ed.keyword_records = r.rest();

    raise_window(ed);
    return Outcome::Shown;
}

// Reads the control file at `path` with `read`, reporting a record that
// cannot be read; a file shown in its editor joins the recent files.
Outcome read_control_file(const QString& path, Outcome (*read)(const QString&))
{
    Outcome outcome;
    try {
        outcome = read(path);
    } catch (const control_read_error&) {
        show_unexpected_error();
        return Outcome::Stopped;
    }
    if (outcome == Outcome::Shown)
        add_recent_file(path);
    return outcome;
}

// The open-file dialog and the reading, repeated while the user asks for
// another file after a refusal.
void open_control_file(const char* title, const char* filter, const char* noFileTitle,
                       Outcome (*read)(const QString&))
{
    tk::Toolkit& t = tk::toolkit();
    for (;;) {
        const tk::FileChoice c = open_dialog({title, filter, start_folder(), ""});
        if (!c.chosen()) {
            t.message("No File Selected. Try Again.", tk::Buttons::OK, tk::Icon::Critical, noFileTitle);
            return;
        }
        if (read_control_file(c.path, read) != Outcome::Again)
            return;
    }
}

}  // namespace

void frmMain::connect_menus()
{
    connect(mnuOpenModel, &QAction::triggered, this, &frmMain::mnuOpenModel_Click);
    connect(mnuOpenDescr, &QAction::triggered, this, &frmMain::mnuOpenDescr_Click);
    connect(mnuOpenLinstingFile, &QAction::triggered, this, &frmMain::mnuOpenLinstingFile_Click);
    connect(mnuOpenResults, &QAction::triggered, this, &frmMain::mnuOpenResults_Click);
    connect(mnuDescrStatsEditor, &QAction::triggered, this, &frmMain::mnuDescrStatsEditor_Click);
    connect(mnuWiz, &QAction::triggered, this, &frmMain::mnuWiz_Click);
    connect(mnuContact, &QAction::triggered, this, &frmMain::mnuContact_Click);
    connect(mnuAbout, &QAction::triggered, this, &frmMain::mnuAbout_Click);
    // Tests may have put their own stand-ins here.
    if (!descriptive_editor)
        descriptive_editor = []() -> QWidget* { return &forms::form<FrmDescr>(); };
    if (!FrmRun::show_listing)
        FrmRun::show_listing = [] { FrmResults::open_viewer(); };
    if (!FrmRun::show_results)
        FrmRun::show_results = FrmMap::after_run;
    if (!FrmRun::show_partial_listing)
        FrmRun::show_partial_listing = [](const QString& path) { FrmResults::open_partial(path); };
    installEventFilter(new StartWizard(this));
}

void frmMain::mnuOpenModel_Click()
{
    open_control_file("Open Model File", "Model Files (Existing Model File - *.tzm)|*.tzm",
                      "Fail to open model.", read_model);
}

void frmMain::open_recent(const QString& path)
{
    // Record 4, the dependent variable, is 0 in a descriptive statistics
    // file and a column number in a model file.
    if (!tk::toolkit().fileExists(path)) {
        // Gone since it was used: say so and take it off the list.
        remove_recent_file(path);
        update_recent_menu();
        tk::toolkit().message("The file " + path + " no longer exists.", tk::Buttons::OK, tk::Icon::Exclamation,
                              "Open Recent File");
        return;
    }
    QString text;
    if (!read_control(path, text))
        return;
    bool descriptive = false;
    try {
        ControlRecords r(text);
        r.text();
        r.text();
        r.text();
        descriptive = r.whole() == 0;
    } catch (const control_read_error&) {
        show_unexpected_error();
        return;
    }
    if (read_control_file(path, descriptive ? read_descriptives : read_model) == Outcome::Again) {
        if (descriptive)
            mnuOpenDescr_Click();
        else
            mnuOpenModel_Click();
    }
}

void frmMain::mnuOpenDescr_Click()
{
    open_control_file("Open Descriptives Configuration File", "Configuration Files (*.tzm)|*.tzm",
                      "Fail to open descriptives configuration.", read_descriptives);
}

void frmMain::mnuOpenLinstingFile_Click()
{
    // The run dialog's listing box names a listing only once a run has been
    // started; before that it may hold a folder or an old name, and the
    // viewer shows an empty text instead of asking to retry.
    bool ran = false;
    if (forms::loaded<FrmRun>()) {
        const FrmRun& run = forms::form<FrmRun>();
        ran = run.running || run.seconds > 0;
    }
    FrmResults& viewer = FrmResults::open_viewer(ran);
    viewer.Command1_Click();
}

void frmMain::mnuOpenResults_Click()
{
    const tk::FileChoice c = tk::toolkit().openFile({"Open Results", kResultFilter, start_folder(), ""});
    if (c.chosen())
        FrmMap::open_results(c.path);
}

void frmMain::mnuDescrStatsEditor_Click()
{
    frmOpenData& od = forms::form<frmOpenData>();
    editor_kind = 2;
    if (od.TxtOpenData->text().isEmpty()) {
        mnuOpenDataFile_Click();
        return;
    }
    FrmDescr& ed = forms::form<FrmDescr>();
    file_header_to_list(od.TxtOpenData->text(), ed.lstAllVars);
    ed.TxtVarsNo->setText(QString::number(ed.lstAllVars->count()));
    raise_window(ed);
}

void frmMain::mnuWiz_Click() { FrmWiz::open_wizard(); }

void frmMain::mnuContact_Click() { raise_window(forms::form<FrmCon>()); }

void frmMain::mnuAbout_Click() { raise_window(forms::form<frmAbout>()); }
