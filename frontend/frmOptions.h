// "Model Options": model type, optional listings and significance test.  One
// instance for the whole program, only ever hidden, so its choices outlive
// the model editor.
#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QGroupBox>
#include <QLineEdit>
#include <QList>
#include <QPushButton>
#include <QRadioButton>
#include <QStringList>

struct control_file;

class frmOptions : public QDialog {
    Q_OBJECT
public:
    explicit frmOptions(QWidget* parent = nullptr);

    QGroupBox* FrameListings = nullptr;  // "Optional listings"
    QCheckBox* cvcheck = nullptr;
    QCheckBox* predCheck = nullptr;
    QCheckBox* DiagnCheck = nullptr;
    QGroupBox* FrameModel = nullptr;  // "Model Type": one option per model type, "Option<method>"
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
    // Switches whose default is on, written as "KEYWORD 0" only when off:
    // the bandwidth interval after a search by AICc (interval), the
    // multiscale model's scaling of the predictors (scale) and its
    // inference (inference).
    QGroupBox* FrameParts = nullptr;  // "Optional computations"
    QCheckBox* ChkInterval = nullptr;
    QCheckBox* ChkScale = nullptr;
    QCheckBox* ChkInference = nullptr;

    // The model-type code of the control file (record 15) of the selected
    // model type.
    int model_type() const;
    // Selects the model type by its code (codes of no model type are
    // ignored).
    void select_model_type(int code);
    // The option of a model type, or null.
    QRadioButton* model_option(long method) const;

    // Writes the dialog's part of a control file: records 10, 11, 13, 14 and
    // 15, and the keyword records of the filled settings.
    void fill_control_file(control_file& cf) const;
    // Sets the listings and the test from records 10, 11, 13 and 14 of a
    // control file read back, those among its first `records`; a test code
    // without an option leaves the choice alone.
    void show_reports(const control_file& cf, int records);
    // Enables or disables the listings and the test, which need the fit
    // locations to be the data points.
    void enable_reports(bool enabled);

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

private:
    void create_model_frames();
    void create_keyword_frame();
    void lay_out();

    // A keyword record the dialog shows: its keyword, one box per value,
    // whether values read from a file may go into the boxes, and the check
    // of filled boxes (trimmed) with its messages.
    struct ShownKeyword {
        const char* keyword;
        QList<QLineEdit*> boxes;
        bool (*readable)(const QStringList& values);
        bool (*check)(const QStringList& values, bool adaptive);
    };
    QList<ShownKeyword> keywords_;
    // An on/off keyword record the dialog shows as a check box.
    struct ShownSwitch {
        const char* keyword;
        QCheckBox* box;
    };
    QList<ShownSwitch> switches_;
    QList<QRadioButton*> modelOptions_;  // in the order of kModelTypes
};
