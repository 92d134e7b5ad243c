// "Model Options": model type, optional listings and significance test.  One
// instance for the whole program, only ever hidden, so its choices outlive
// the model editor.
#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>

class frmOptions : public QDialog {
    Q_OBJECT
public:
    explicit frmOptions(QWidget* parent = nullptr);

    QGroupBox* FrameListings = nullptr;  // "Optional listings"
    QCheckBox* cvcheck = nullptr;
    QCheckBox* predCheck = nullptr;
    QCheckBox* DiagnCheck = nullptr;
    QGroupBox* FrameModel = nullptr;  // "Model Type"
    QRadioButton* Option2 = nullptr;  // Gaussian
    QRadioButton* Option3 = nullptr;  // Logistic
    QRadioButton* Option4 = nullptr;  // Poisson
    QGroupBox* FrameTest = nullptr;    // "Significance Test"
    QRadioButton* Option10 = nullptr;  // None
    QRadioButton* Option9 = nullptr;   // Leung
    QRadioButton* Option8 = nullptr;   // Monte Carlo
    QPushButton* cmdOK = nullptr;      // "Continue"

    // The model-type code of the control file: 2, 3 or 4.
    int model_type() const;
    // Selects the model type by its code (2, 3 or 4; others are ignored).
    void select_model_type(int code);
};
