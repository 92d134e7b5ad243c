#include "FrmRun.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "forms.h"
#include "shared.h"

std::function<void()> FrmRun::show_listing;
std::function<void(const QString&, const QString&)> FrmRun::show_results;
std::function<void(const QString&)> FrmRun::show_partial_listing;

namespace {

// Quotes a word for the POSIX shell: inside single quotes nothing is
// special, and a single quote itself is written as '\''.
QByteArray shell_quote(const QString& s) {
    QByteArray out = "'";
    for (char c : s.toUtf8()) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

}  // namespace

FrmRun::FrmRun(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName("FrmRun");
    setWindowTitle("Run");

    auto label = [this](const char* name, const char* caption) {
        auto* l = new QLabel(caption, this);
        l->setObjectName(name);
        return l;
    };
    auto button = [this](const char* name, const char* caption) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(name);
        return b;
    };
    TxtInput = new QLineEdit(this);
    TxtInput->setObjectName("TxtInput");
    TxtInput->setMinimumWidth(380);
    TxtOutput = new QLineEdit(this);
    TxtOutput->setObjectName("TxtOutput");
    CmdInput = button("CmdInput", "...");
    CmdOutput = button("CmdOutput", "...");
    CmdInput->setFixedWidth(32);
    CmdOutput->setFixedWidth(32);
    Command1 = button("Command1", "Run");
    CmdStop = button("CmdStop", "Stop");
    CmdStop->setEnabled(false);
    Command2 = button("Command2", "End");
    Label2 = label("Label2", "0");
    lbltime = label("lbltime", "0");
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName("ProgressBar1");
    ProgressBar1->setRange(0, 1000);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);
    lblPhase = label("lblPhase", "");
    lblLeft = label("lblLeft", "-");
    Timer1 = new QTimer(this);
    Timer1->setObjectName("Timer1");
    Timer1->setInterval(1000);

    auto* g = new QGridLayout;
    g->addWidget(label("Label1", "Control File (.tzm)"), 0, 0, 1, 2);
    g->addWidget(TxtInput, 1, 0);
    g->addWidget(CmdInput, 1, 1);
    g->addWidget(label("Label3", "Listing File (.txt)"), 2, 0, 1, 2);
    g->addWidget(TxtOutput, 3, 0);
    g->addWidget(CmdOutput, 3, 1);
    auto* clock = new QHBoxLayout;
    clock->addWidget(label("Label4", "Time:"));
    clock->addWidget(Label2);
    clock->addSpacing(24);
    clock->addWidget(label("Label5", "Duration:"));
    clock->addWidget(lbltime);
    clock->addSpacing(24);
    clock->addWidget(label("Label6", "Time left:"));
    clock->addWidget(lblLeft);
    clock->addStretch();
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Command1);
    buttons->addWidget(CmdStop);
    buttons->addWidget(Command2);
    auto* v = new QVBoxLayout(this);
    v->addLayout(g);
    v->addWidget(lblPhase);
    v->addWidget(ProgressBar1);
    v->addLayout(clock);
    v->addLayout(buttons);

    Label2->setText(tk::toolkit().timeOfDay());

    connect(CmdInput, &QPushButton::clicked, this, &FrmRun::CmdInput_Click);
    connect(CmdOutput, &QPushButton::clicked, this, &FrmRun::CmdOutput_Click);
    connect(Command1, &QPushButton::clicked, this, &FrmRun::Command1_Click);
    connect(CmdStop, &QPushButton::clicked, this, &FrmRun::CmdStop_Click);
    connect(Command2, &QPushButton::clicked, this, &FrmRun::Command2_Click);
    connect(Timer1, &QTimer::timeout, this, &FrmRun::Timer1_Timer);
}

QString FrmRun::engine_path() { return tk::toolkit().programFolder() + tk::separator() + "tzm"; }

void FrmRun::prepare(const QString& control) {
    TxtInput->setText(control);
    TxtOutput->setText(listing_for(control));
    show();
    raise();
    activateWindow();
}

QString FrmRun::listing_for(const QString& control) {
    const QString name = file_title(control);
    const qsizetype dot = name.lastIndexOf('.');
    QString listing = dot > 0 ? control.left(control.size() - (name.size() - dot)) + ".txt" : control + ".txt";
    // A control file that is itself named .txt keeps its name whole.
    if (listing == control) listing = control + ".txt";
    return listing;
}

QString FrmRun::run_folder(const QString& control) { return QFileInfo(control).absolutePath(); }

QByteArray FrmRun::run_script(const QString& input, const QString& listing) {
    // Line ends are LF: a carriage return would become part of the last
    // path and of the interpreter's name.
    return "#!/bin/sh\ncd " + shell_quote(run_folder(input)) + " || exit 1\nexec " + shell_quote(engine_path()) +
           " --progress <" + shell_quote(input) + " >" + shell_quote(listing) + "\n";
}

void FrmRun::CmdInput_Click() {
    const tk::FileChoice c =
        open_dialog({"Open Control File", "Control Files (Text File - *.tzm)|*.tzm", start_folder(), ""});
    if (!c.chosen()) return;
    TxtInput->setText(c.path);
    TxtOutput->setText(listing_for(c.path));
}

void FrmRun::CmdOutput_Click() {
    const tk::FileChoice c =
        save_dialog({"Open Output File", "Output Files (Text File - *.txt)|*.txt", start_folder(), ""});
    if (c.chosen()) TxtOutput->setText(c.path);
}

void FrmRun::Command1_Click() {
    tk::Toolkit& t = tk::toolkit();
    if (running) return;
    if (TxtInput->text().isEmpty() || TxtOutput->text().isEmpty()) {
        Timer1->stop();
        return;
    }
    if (!TxtOutput->text().endsWith(".txt")) TxtOutput->setText(TxtOutput->text() + ".txt");
    const QString control = TxtInput->text();
    const QString listing = TxtOutput->text();
    // The listing replaces its file: never the control file the engine is
    // about to read.
    if (QFileInfo(listing).absoluteFilePath() == QFileInfo(control).absoluteFilePath()) {
        t.message("The listing file cannot be the control file. Please choose another listing file.",
                  tk::Buttons::OK, tk::Icon::Critical, "Unable to run model");
        return;
    }
    t.setBusy(true);
    // An old listing of the same name must go first, so it is never taken
    // for the new one.
    if (t.fileExists(listing) && t.deleteFile(listing) != tk::FileError::None) {
        t.setBusy(false);
        alternative_start();
        return;
    }
    // The engine is started directly, never through a command interpreter,
    // so no character of the paths can be taken for shell syntax.
    tk::ProcessSpec spec{engine_path(), {"--progress"}, run_folder(control), control, listing};
    spec.captureStderr = true;
    process_ = t.start(spec);
    if (!process_) {
        t.setBusy(false);
        alternative_start();
        return;
    }
    watching();
}

void FrmRun::alternative_start() {
    tk::Toolkit& t = tk::toolkit();
    t.message("An error has occurred while trying to run the model. Please select a Command Filename for the "
              "alternative procedure.",
              tk::Buttons::OK, tk::Icon::Exclamation, "Alternative Run");
    const QByteArray script = run_script(TxtInput->text(), TxtOutput->text());
    QString name = t.saveFile({"Save Command to File", "Model File (Command Files - *.sh)|*.sh", t.programFolder(),
                               "run_TZM"})
                       .path;
    if (name.isEmpty()) {
        t.message("Default Command Filename selected.", tk::Buttons::OK, tk::Icon::Critical, "No Command File set");
        name = t.programFolder() + tk::separator() + "run_TZM.sh";
    }
    if (t.writeFile(name, script) == tk::FileError::None && t.makeExecutable(name) == tk::FileError::None) {
        tk::ProcessSpec spec{name, {}, run_folder(TxtInput->text()), QString(), QString()};
        spec.captureStderr = true;
        process_ = t.start(spec);
    } else {
        process_.reset();
    }
    if (!process_) {
        // Neither start worked: say so and leave the dialog ready for
        // another try.
        t.setBusy(false);
        idle();
        lbltime->setText("-");
        t.message("The model failed to run", tk::Buttons::OK, tk::Icon::Information, "Run Completed");
        return;
    }
    watching();
}

void FrmRun::watching() {
    Timer1->start();
    running = true;
    stopped_ = false;
    seconds = 0;
    progress_ = RunProgress();
    lbltime->setText("0");
    lblPhase->setText("Starting the engine");
    lblLeft->setText("-");
    ProgressBar1->setValue(0);
    Command1->setEnabled(false);
    CmdStop->setEnabled(true);
    tk::toolkit().setBusy(false);
}

void FrmRun::idle() {
    running = false;
    Command1->setEnabled(true);
    CmdStop->setEnabled(false);
}

void FrmRun::show_progress() {
    if (!progress_.started()) return;
    lblPhase->setText(progress_.phaseText());
    ProgressBar1->setValue(int(progress_.fraction() * 1000.0 + 0.5));
    lblLeft->setText(RunProgress::leftText(progress_.secondsLeft(seconds)));
}

void FrmRun::Timer1_Timer() {
    tk::Toolkit& t = tk::toolkit();
    if (running) {
        ++seconds;
        lbltime->setText(QString::number(seconds));
        // The run is judged only once the engine has ended, so the viewer
        // never opens a listing that is still being written.
        const bool over = !process_ || process_->finished();
        if (process_) progress_.feed(process_->readStandardError(), seconds);
        show_progress();
        if (over) ended();
    }
    Label2->setText(t.timeOfDay());
}

void FrmRun::ended() {
    tk::Toolkit& t = tk::toolkit();
    const QString listing = TxtOutput->text();
    const bool crashed = process_ && process_->crashed();
    const int status = process_ ? process_->exitCode() : 0;
    process_.reset();
    idle();
    lblLeft->setText("-");
    const bool hasListing = t.fileSize(listing) > 0;
    if (stopped_) {
        lblPhase->setText("Stopped");
        if (!hasListing) {
            t.message("The run was stopped before the engine wrote a listing.", tk::Buttons::OK,
                      tk::Icon::Information, "Run Stopped");
            return;
        }
        if (t.message("The run was stopped. Do you want to view the partial listing?", tk::Buttons::YesNo,
                      tk::Icon::Question, "Run Stopped") == tk::Answer::Yes) {
            if (show_partial_listing)
                show_partial_listing(listing);
            else if (show_listing)
                show_listing();
        }
        return;
    }
    if (crashed || status != 0) {
        // An error stop or any other failure: the engine's own words, and
        // the listing, which tells where the run stopped.
        lblPhase->setText("Stopped with an error");
        QString text = "The model stopped with an error";
        text += crashed ? " (the engine ended abnormally)." : QString(" (exit status %1).").arg(status);
        const QString said = progress_.messages().trimmed();
        if (!said.isEmpty()) text += "\n\n" + said;
        if (!hasListing) {
            t.message(text, tk::Buttons::OK, tk::Icon::Critical, "Run Failed");
            return;
        }
        text += "\n\nDo you want to view the listing? It tells where the run stopped.";
        if (t.message(text, tk::Buttons::YesNo, tk::Icon::Critical, "Run Failed") == tk::Answer::Yes &&
            show_listing)
            show_listing();
        return;
    }
    if (hasListing) {
        lblPhase->setText("Completed");
        ProgressBar1->setValue(1000);
        lblLeft->setText("-");
        if (t.message("View Listing File?", tk::Buttons::YesNo, tk::Icon::Question, "Run Completed") ==
                tk::Answer::Yes &&
            show_listing)
            show_listing();
        if (show_results) show_results(TxtInput->text(), listing);
    } else {
        t.message("The model failed to run", tk::Buttons::OK, tk::Icon::Information, "Run Completed");
        lbltime->setText("-");
    }
}

void FrmRun::CmdStop_Click() {
    if (!running || !process_) return;
    stopped_ = true;
    process_->kill();
    // The report follows at once, not at the next tick.
    process_->waitForFinished(2000);
    Timer1_Timer();
}

bool FrmRun::stop_run() {
    if (!running) return true;
    if (tk::toolkit().message("A model is running. Do you want to stop the run?", tk::Buttons::YesNo,
                              tk::Icon::Question, "Run in Progress") != tk::Answer::Yes)
        return false;
    if (process_) {
        process_->kill();
        process_->waitForFinished(2000);
    }
    process_.reset();
    stopped_ = true;
    idle();
    lblPhase->setText("Stopped");
    return true;
}

void FrmRun::Command2_Click() {
    if (stop_run()) close();
}

void FrmRun::closeEvent(QCloseEvent* e) {
    if (!stop_run()) {
        e->ignore();
        return;
    }
    e->accept();
}
