// The help window: one help text and a picture.
#pragma once

#include <QDialog>

class QLabel;

class FrmHelp : public QDialog {
    Q_OBJECT
public:
    explicit FrmHelp(QWidget* parent = nullptr);

    // Puts `text` into the label and shows the window in front.
    void showText(const QString& text);

    QLabel* Label1;
    QLabel* Picture1;
};
