// The wizard's second page: the model type of a new model.
#pragma once

#include <QDialog>
#include <QList>

class QGroupBox;
class QPushButton;
class QRadioButton;

class FrmWiz2 : public QDialog {
    Q_OBJECT
public:
    explicit FrmWiz2(QWidget* parent = nullptr);

    QGroupBox* Frame1;      // "Model Type": one option per model type
    QRadioButton* Option1;  // "Gaussian"
    QRadioButton* Option2;  // "Logistic"
    QRadioButton* Option3;  // "Poisson"
    QPushButton* Command1;  // "Help"
    QPushButton* Command2;  // "Go"
    QPushButton* Command3;  // "Cancel"

    // The text "Help" shows.
    static const QString& helpText();

public slots:
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();

private:
    QList<QRadioButton*> options_;  // in the order of kModelTypes
};
