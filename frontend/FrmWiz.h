// The start-up wizard: asks the user what to do.
#pragma once

#include <QDialog>

class QGroupBox;
class QPushButton;
class QRadioButton;

class FrmWiz : public QDialog {
    Q_OBJECT
public:
    explicit FrmWiz(QWidget* parent = nullptr);

    // Loads the wizard (which forgets any editor waiting for a data file)
    // and shows it.
    static FrmWiz& open_wizard();

    // The help text of each task, in the order of the options.
    static const QStringList& helpTexts();

    QGroupBox* Frame1;
    QRadioButton* Option1;  // "Create a new model."
    QRadioButton* Option2;  // "Open an existing model using the TZM Model Editor"
    QRadioButton* Option3;  // "Run a task"
    QRadioButton* Option4;  // "Create new descriptive statistics"
    QRadioButton* Option5;  // "Open an existing descriptive statistics configuration"
    QPushButton* Command1;  // "Help"
    QPushButton* Command2;  // "Go"
    QPushButton* Command3;  // "Cancel"

public slots:
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
};
