// "Confirm Data Files": the three chosen paths (data, calibration locations,
// parameter estimates) and the project folder, read and written by every
// other window.
#pragma once

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QWidget>

// The three chosen paths as a value, handed to the editors and set from a
// control file read back.
struct data_files {
    QString data;       // the data file; "" = none chosen
    QString locations;  // the calibration location file; "" = the data points
    QString output;     // the parameter estimate file as chosen
};

class frmOpenData : public QWidget {
    Q_OBJECT
public:
    explicit frmOpenData(QWidget* parent = nullptr);

    QLineEdit* TxtOpenData = nullptr;
    QLineEdit* Txtlocations = nullptr;
    QLineEdit* TxtOutput = nullptr;
    QLineEdit* ProjectPathTxt = nullptr;  // not shown
    QPushButton* Command1 = nullptr;      // "Change" data file
    QPushButton* Command2 = nullptr;      // "Change" location file
    QPushButton* Command3 = nullptr;      // "Change" parameter file
    QPushButton* cmdOK = nullptr;         // "Continue"
    QMenu* mnuFile = nullptr;
    QAction* mnuClose = nullptr;

    // The three paths; setting them leaves the project folder alone.
    data_files files() const;
    void set_files(const data_files& f);
    // Empties the three paths, as closing an editor does.
    void clear_files();

public slots:
    // Opens the editor that was waiting for the data files, then forgets it.
    void cmdOK_Click();
    void mnuClose_Click() { hide(); }
};
