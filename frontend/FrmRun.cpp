#include "FrmRun.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "forms.h"
#include "shared.h"

std::function<void()> FrmRun::show_listing;
std::function<void(const QString&, const QString&)> FrmRun::show_results;

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
    Command2 = button("Command2", "End");
    Label2 = label("Label2", "0");
    lbltime = label("lbltime", "0");
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
    clock->addStretch();
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Command1);
    buttons->addWidget(Command2);
    auto* v = new QVBoxLayout(this);
    v->addLayout(g);
    v->addLayout(clock);
    v->addLayout(buttons);

    Label2->setText(tk::toolkit().timeOfDay());

    connect(CmdInput, &QPushButton::clicked, this, &FrmRun::CmdInput_Click);
    connect(CmdOutput, &QPushButton::clicked, this, &FrmRun::CmdOutput_Click);
    connect(Command1, &QPushButton::clicked, this, &FrmRun::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &FrmRun::Command2_Click);
    connect(Timer1, &QTimer::timeout, this, &FrmRun::Timer1_Timer);
}

QString FrmRun::engine_path() { return tk::toolkit().programFolder() + tk::separator() + "tzm"; }

QByteArray FrmRun::run_script(const QString& input, const QString& listing) {
    // Line ends are LF: a carriage return would become part of the last
    // path and of the interpreter's name.
    return "#!/bin/sh\ncd " + shell_quote(tk::toolkit().programFolder()) + " || exit 1\nexec " +
           shell_quote(engine_path()) + " <" + shell_quote(input) + " >" + shell_quote(listing) + "\n";
}

void FrmRun::CmdInput_Click() {
    const tk::FileChoice c =
        tk::toolkit().openFile({"Open Control File", "Control Files (Text File - *.tzm)|*.tzm", start_folder(), ""});
    if (!c.chosen()) return;
    TxtInput->setText(c.path);
    TxtOutput->setText(folder_of(c.path));
}

void FrmRun::CmdOutput_Click() {
    const tk::FileChoice c =
        tk::toolkit().saveFile({"Open Output File", "Output Files (Text File - *.txt)|*.txt", start_folder(), ""});
    if (c.chosen()) TxtOutput->setText(c.path);
}

void FrmRun::Command1_Click() {
    tk::Toolkit& t = tk::toolkit();
    if (TxtInput->text().isEmpty() || TxtOutput->text().isEmpty()) {
        Timer1->stop();
        return;
    }
    if (!TxtOutput->text().endsWith(".txt")) TxtOutput->setText(TxtOutput->text() + ".txt");
    t.setBusy(true);
    const QString listing = TxtOutput->text();
    // An old listing of the same name must go first, so it is never taken
    // for the new one.
    if (t.fileExists(listing) && t.deleteFile(listing) != tk::FileError::None) {
        t.setBusy(false);
        alternative_start();
        return;
    }
    t.setCurrentDirectory(t.programFolder());
    // The engine is started directly, never through a command interpreter,
    // so no character of the paths can be taken for shell syntax.
    process_ = t.start({engine_path(), {}, t.programFolder(), TxtInput->text(), listing});
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
    if (t.writeFile(name, script) == tk::FileError::None && t.makeExecutable(name) == tk::FileError::None)
        process_ = t.start({name, {}, t.programFolder(), QString(), QString()});
    else
        process_.reset();
    if (!process_) {
        // Neither start worked: say so and leave the dialog ready for
        // another try.
        t.setBusy(false);
        running = false;
        lbltime->setText("-");
        t.message("The model failed to run", tk::Buttons::OK, tk::Icon::Information, "Run Completed");
        return;
    }
    watching();
}

void FrmRun::watching() {
    Timer1->start();
    running = true;
    seconds = 0;
    lbltime->setText("0");
    tk::toolkit().setBusy(false);
}

void FrmRun::Timer1_Timer() {
    tk::Toolkit& t = tk::toolkit();
    if (running) {
        ++seconds;
        lbltime->setText(QString::number(seconds));
        // The run is judged only once the engine has ended, so the viewer
        // never opens a listing that is still being written.
        if (!process_ || process_->finished()) {
            const QString listing = TxtOutput->text();
            running = false;
            process_.reset();
            if (t.fileSize(listing) > 0) {
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
    }
    Label2->setText(t.timeOfDay());
}

void FrmRun::Command2_Click() { close(); }
