// The run dialog: starts the engine on a saved control file with the listing
// file as its standard output, and watches it once a second until it ends.
#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

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
    QPushButton* Command2 = nullptr;  // "End"
    QLabel* Label2 = nullptr;         // time of day
    QLabel* lbltime = nullptr;        // duration in seconds
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

    // The engine program beside the front end.
    static QString engine_path();
    // Text of the script the alternative start writes: it runs the engine in
    // the program's folder with the control file on standard input and the
    // listing on standard output, every path quoted for the shell.
    static QByteArray run_script(const QString& input, const QString& listing);

public slots:
    void CmdInput_Click();
    void CmdOutput_Click();
    void Command1_Click();  // "Run"
    void Command2_Click();  // "End"
    void Timer1_Timer();

private:
    void alternative_start();
    void watching();
    std::unique_ptr<tk::Process> process_;
};
