// The model editor: variables and their roles, kernel, bandwidth or its
// calibration, coordinates and result format; validates the choices and
// writes them as a 16-record model control file (control_file.h).
#pragma once

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>

#include "editors.h"
#include "shared.h"

// The spinner beside the sample percentage: steps the percentage by one
// within 1..99.
class UpDown : public QWidget {
    Q_OBJECT
public:
    explicit UpDown(QLineEdit* buddy, QWidget* parent = nullptr);
    QToolButton* up = nullptr;
    QToolButton* down = nullptr;
    void step(int by);

private:
    QLineEdit* buddy_;
};

class FrmTZM : public QMainWindow {
    Q_OBJECT
public:
    explicit FrmTZM(QWidget* parent = nullptr);

    static constexpr const char* kNoFile = "No selected file name";

    // Variables and roles.
    QListWidget* lstAllVars = nullptr;
    QLineEdit* TxtVarsNo = nullptr;
    QLineEdit* TxtDependent = nullptr;
    QLineEdit* TxtDindex = nullptr;
    QListWidget* LstIndVars = nullptr;
    QLineEdit* TxtX = nullptr;
    QLineEdit* TxtXindex = nullptr;
    QLineEdit* TxtY = nullptr;
    QLineEdit* TxtYindex = nullptr;
    QLineEdit* TxtW = nullptr;
    QLineEdit* TxtWindex = nullptr;
    QPushButton* Command1 = nullptr;  // dependent
    QPushButton* Command2 = nullptr;  // independent
    QPushButton* Command3 = nullptr;  // x
    QPushButton* Command4 = nullptr;  // y
    QPushButton* Command5 = nullptr;  // weight

    QLineEdit* TxtTitle = nullptr;
    QComboBox* kerneltype = nullptr;
    QComboBox* CoordsType = nullptr;

    QGroupBox* FrameBandwidth = nullptr;  // "Bandwidth Selection"
    QRadioButton* OptionAll = nullptr;
    QRadioButton* OptionSample = nullptr;
    QLineEdit* Text2 = nullptr;
    UpDown* UpDown1 = nullptr;
    QRadioButton* OptionBW = nullptr;
    QLineEdit* Text1 = nullptr;
    QGroupBox* FrameMethod = nullptr;  // "Method"
    QRadioButton* OptionAIC = nullptr;
    QRadioButton* OptionCV = nullptr;
    QGroupBox* FrameOutput = nullptr;  // "Output Format"
    QRadioButton* Option4 = nullptr;   // Spreadsheet (*.csv)
    QRadioButton* Option5 = nullptr;   // ArcInfo Exp. (*.e00)
    QRadioButton* Option6 = nullptr;   // MapINFO (*.mif)
    QRadioButton* Option7 = nullptr;   // None
    QRadioButton* OptionGpkg = nullptr;  // GeoPackage (*.gpkg): record 12 code 4

    QLabel* ldlfilename = nullptr;
    QPushButton* Command7 = nullptr;   // "Save Model"
    QPushButton* Command10 = nullptr;  // "Run Model"
    QPushButton* Command6 = nullptr;   // "Model Options..."
    QPushButton* Command9 = nullptr;   // "End"

    QAction* mnuOpen = nullptr;
    QAction* mnuSave = nullptr;
    QAction* mnuSaveAs = nullptr;
    QAction* mnuRun = nullptr;
    QAction* mnuExit = nullptr;
    QAction* mnuChgFiles = nullptr;

    // The role check: true when `name` is refused for the role `tag`.
    bool check_var_use(const QString& name, Role tag);
    // Validation before saving or running; true when the model is valid.
    bool check_model();
    // Mode 0 asks for a file name; mode 1 overwrites `path` after asking.
    // True when the file was written.
    bool save_model(int mode, const QString& path);
    // The offer to save when the editor closes.  True when the editor may
    // close: the user declined, or accepted and the model was saved.  A save
    // that was asked for and did not happen keeps the editor open, so the
    // model is not lost.
    bool ask_save_model();

    // Selects a bandwidth or calibration option with its click effect, as a
    // click on it does.
    void select(QRadioButton* option);

    // The control file of the editor's choices, with those of "Model
    // Options" and "Confirm Data Files": every value checked, with the
    // messages a save shows; false when a check stopped the save.
    bool fill_control_file(control_file& cf);
    // Sets the editor, "Model Options" and "Confirm Data Files" from a
    // control file read back, record by record in their order.  False when
    // the file is no model control file (record 4 is 0, or record 15 names
    // no model type); throws control_read_error at a record that could not
    // be read or does not fit the data file.
    bool load_control_file(const control_read& read);

    // Keyword records of the control file that "Model Options" does not
    // show (scale, inference, any keyword this program does not know),
    // written back unchanged after record 16.
    QStringList keyword_records;

    // "Save": over the current file (after asking), or under a name asked
    // for when there is none.  True when the file was written.
    bool save();

public slots:
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void Command4_Click();
    void Command5_Click();
    void lstAllVars_Click();
    void LstIndVars_Click();
    void Text2_Change();
    // Applies the separate-estimation-points rule; runs whenever the editor
    // becomes the active window.
    void Form_Activate();

    void Command7_Click();   // "Save Model"
    void Command10_Click();  // "Run Model"
    void Command6_Click();   // "Model Options..."
    void Command9_Click();   // "End"
    void mnuOpen_Click();
    void mnuSave_Click();
    void mnuSaveAs_Click();
    void mnuRun_Click();
    void mnuExit_Click();
    void mnuChgFiles_Click();

protected:
    void closeEvent(QCloseEvent* e) override;
    bool event(QEvent* e) override;

private:
    // The steps of building the window.
    void create_menus();
    void create_role_controls(QWidget* central);
    void create_settings(QWidget* central);
    void create_commands(QWidget* central);
    void lay_out(QWidget* central);
    void connect_controls();

    void roleButton(QPushButton* b, QLineEdit* name, QLineEdit* index, Role role, const char* title);
    FormatOptions formats() const { return {Option4, Option5, Option6, Option7, OptionGpkg}; }
    bool has_file_name() const;
    bool text2Busy_ = false;
};
