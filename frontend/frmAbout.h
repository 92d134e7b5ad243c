// The about box: the program's title, its version and the credit lines.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

class frmAbout : public QDialog {
    Q_OBJECT
public:
    explicit frmAbout(QWidget* parent = nullptr);

    // The application's title and its "major.minor.revision" version, from
    // the application object (with the program's own values when unset).
    static QString applicationTitle();
    static QString versionText();

    QLabel* lblTitle;
    QLabel* lblVersion;
    QLabel* lblDisclaimer;
    QPushButton* cmdOK;
};
