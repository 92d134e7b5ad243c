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
#include "control_file.h"
#include "open_control.h"
#include "shared.h"
#include "toolkit/toolkit.h"

#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>

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

// One attempt at reading a control file into the editor of class Editor;
// `refusal` asks for another file when the file is of the other kind.
template <class Editor>
Outcome read_into(const QString& path, const char* refusal)
{
    Editor& ed = forms::form<Editor>();
    ed.ldlfilename->setText(path);
    QString text;
    if (!read_control(path, text))
        return Outcome::Stopped;
    if (!ed.load_control_file(parse_control_file(text)))
        return wrong_type_again(refusal) ? Outcome::Again : Outcome::Stopped;
    raise_window(ed);
    return Outcome::Shown;
}

Outcome read_model(const QString& path)
{
    return read_into<FrmTZM>(path, "This is not a model control file. Would you like to select another file?");
}

Outcome read_descriptives(const QString& path)
{
    return read_into<FrmDescr>(path, "This is not a descriptive statistics configuration file. Would you like "
                                     "to select another file?");
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
        const control_read r = parse_control_file(text);
        r.need(4);
        descriptive = r.file.dependent == 0;
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
    const QString data = forms::form<frmOpenData>().files().data;
    editor_kind = 2;
    if (data.isEmpty()) {
        mnuOpenDataFile_Click();
        return;
    }
    FrmDescr& ed = forms::form<FrmDescr>();
    file_header_to_list(data, ed.lstAllVars);
    ed.TxtVarsNo->setText(QString::number(ed.lstAllVars->count()));
    raise_window(ed);
}

void frmMain::mnuWiz_Click() { FrmWiz::open_wizard(); }

void frmMain::mnuContact_Click() { raise_window(forms::form<FrmCon>()); }

void frmMain::mnuAbout_Click() { raise_window(forms::form<frmAbout>()); }
