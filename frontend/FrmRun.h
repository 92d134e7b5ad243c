// The run dialog: starts the engine on a saved control file, in the control
// file's folder, with the listing file as its standard output; shows its
// progress and watches it once a second until it ends; reports how it
// ended (completed, stopped with an error, stopped by the user).
#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

#include "run_progress.h"
#include "toolkit/toolkit.h"

class FrmRun : public QWidget {
    Q_OBJECT
public:
    explicit FrmRun(QWidget* parent = nullptr);

    QLineEdit* TxtInput = nullptr;   // "Control File (.tzm)"
    QPushButton* CmdInput = nullptr;
    QLineEdit* TxtOutput = nullptr;  // "Listing File (.txt)"
    QPushButton* CmdOutput = nullptr;
    QPushButton* Command1 = nullptr;  // "Run"
    QPushButton* CmdStop = nullptr;   // "Stop"
    QPushButton* Command2 = nullptr;  // "End"
    QLabel* Label2 = nullptr;         // time of day
    QLabel* lbltime = nullptr;        // duration in seconds
    QProgressBar* ProgressBar1 = nullptr;
    QLabel* lblPhase = nullptr;  // the engine's current phase
    QLabel* lblLeft = nullptr;   // estimate of the time left
    QTimer* Timer1 = nullptr;

    // True while a run is being watched.
    bool running = false;
    // Ticks since the start of the run.
    long seconds = 0;

    // Opens the listing viewer once a run has completed and the user asked
    // to see it.  Set by the window that provides the viewer; when unset,
    // nothing is shown.
    static std::function<void()> show_listing;
    // Shows the results of a completed run, given the control file and the
    // listing.  Set by the window that provides the results window; when
    // unset, nothing is shown.
    static std::function<void(const QString& control, const QString& listing)> show_results;
    // Opens the viewer on the partial listing of a run the user stopped
    // (labelled as partial).  When unset, show_listing is used.
    static std::function<void(const QString& path)> show_partial_listing;

    // The engine program beside the front end.
    static QString engine_path();
    // The listing a control file gets by default: its name with ".txt",
    // beside it (model.tzm -> model.txt).
    static QString listing_for(const QString& control);
    // The folder the engine runs in: the control file's, so that the file
    // names it holds are taken from where the control file is.
    static QString run_folder(const QString& control);
    // Text of the script the alternative start writes: it runs the engine in
    // the control file's folder with the control file on standard input and
    // the listing on standard output, every path quoted for the shell.
    static QByteArray run_script(const QString& input, const QString& listing);

    // Shows the dialog ready to run the control file `control`, its listing
    // beside it, named after it.
    void prepare(const QString& control);

    // Asks whether to stop a run in progress and stops it on "Yes"; true
    // when no run is left going.
    bool stop_run();

public slots:
    void CmdInput_Click();
    void CmdOutput_Click();
    void Command1_Click();  // "Run"
    void CmdStop_Click();   // "Stop"
    void Command2_Click();  // "End"
    void Timer1_Timer();

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    void alternative_start();
    void watching();
    void idle();
    void ended();
    void show_progress();
    std::unique_ptr<tk::Process> process_;
    RunProgress progress_;
    bool stopped_ = false;  // the user stopped this run
};
