// The contact window: who to ask for help.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

class FrmCon : public QDialog {
    Q_OBJECT
public:
    explicit FrmCon(QWidget* parent = nullptr);

    QLabel* Label1;
    QLabel* Label2;
    QLabel* Label3;
    QPushButton* Command1;  // "Close"
};
