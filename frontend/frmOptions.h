// "Model Options": model type, optional listings and significance test.  One
// instance for the whole program, only ever hidden, so its choices outlive
// the model editor.
#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStringList>

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

    // Optional settings, written as keyword records after record 16 only
    // when filled: the bandwidth search range (limits LO HI) and the
    // coordinate system of Cartesian coordinates (epsg CODE).
    QGroupBox* FrameKeys = nullptr;  // "Optional settings"
    QLineEdit* TxtLimitLo = nullptr;
    QLineEdit* TxtLimitHi = nullptr;
    QLineEdit* TxtEpsg = nullptr;

    // The model-type code of the control file: 2, 3 or 4.
    int model_type() const;
    // Selects the model type by its code (2, 3 or 4; others are ignored).
    void select_model_type(int code);

    // Checks the optional settings, one "Error" message per fault; the
    // limits of the adaptive kernel are numbers of neighbours.  True when
    // they may be saved.
    bool check_keywords(bool adaptive);
    // The keyword records of the filled settings.
    QStringList keyword_lines() const;
    // Fills the settings from the keyword records of a control file (empty
    // when absent) and returns the records they do not take, unchanged.
    QStringList take_keywords(const QStringList& records);
    // Empties the settings.
    void clear_keywords();
};
