// "Data Preview": the variable names of the chosen data file, shown before
// the files are confirmed.
#pragma once

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QWidget>

class FrmDataPrev : public QWidget {
    Q_OBJECT
public:
    explicit FrmDataPrev(QWidget* parent = nullptr);

    QListWidget* List1 = nullptr;
    QLabel* Label1 = nullptr;  // "Variable list in"
    QLabel* Label2 = nullptr;  // the data file's path
    QPushButton* Command1 = nullptr;  // "Continue"

public slots:
    // Hides the preview and shows "Confirm Data Files".
    void Command1_Click();
};
