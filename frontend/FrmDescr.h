// The descriptive statistics editor: the variables to summarise, the
// coordinate and weight variables, kernel and bandwidth, coordinates and
// result format; validates them and writes a 16-record control file
// (control_file.h) whose analysis fields ask for local descriptive
// statistics.
#pragma once

#include <QMainWindow>

#include "editors.h"
#include "shared.h"

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;

class FrmDescr : public QMainWindow {
    Q_OBJECT
public:
    explicit FrmDescr(QWidget* parent = nullptr);

    static constexpr const char* kNoFile = "No selected file name";

    QListWidget* lstAllVars = nullptr;
    QLineEdit* TxtVarsNo = nullptr;
    QListWidget* LstIndVars = nullptr;
    QLineEdit* TxtX = nullptr;
    QLineEdit* TxtXindex = nullptr;
    QLineEdit* TxtY = nullptr;
    QLineEdit* TxtYindex = nullptr;
    QLineEdit* TxtW = nullptr;
    QLineEdit* TxtWindex = nullptr;
    QPushButton* Command2 = nullptr;  // variable list
    QPushButton* Command3 = nullptr;  // x
    QPushButton* Command4 = nullptr;  // y
    QPushButton* Command5 = nullptr;  // weight

    QLineEdit* TxtTitle = nullptr;
    QComboBox* kerneltype = nullptr;
    QComboBox* CoordsType = nullptr;
    QLineEdit* BandwidthTxt = nullptr;
    QGroupBox* FrameOutput = nullptr;  // "Output Format"
    QRadioButton* Option4 = nullptr;   // Spreadsheet (*.csv)
    QRadioButton* Option5 = nullptr;   // ArcInfo Exp. (*.e00)
    QRadioButton* Option6 = nullptr;   // MapINFO (*.mif)
    QRadioButton* Option7 = nullptr;   // None
    QRadioButton* OptionGpkg = nullptr;  // GeoPackage (*.gpkg): record 12 code 4

    QLabel* ldlfilename = nullptr;
    QPushButton* Command6 = nullptr;   // "Open..."
    QPushButton* Command7 = nullptr;   // "View/Edit Files"
    QPushButton* Command8 = nullptr;   // "Save"
    QPushButton* Command10 = nullptr;  // "Run"
    QPushButton* Command9 = nullptr;   // "End"

    QAction* mnuOpen = nullptr;
    QAction* mnuSave = nullptr;
    QAction* mnuSaveAs = nullptr;
    QAction* mnuRun = nullptr;
    QAction* mnuExit = nullptr;
    QAction* mnuChgFiles = nullptr;

    // The role check: true when `name` is refused for the role `tag`.
    bool check_var_use(const QString& name, Role tag);
    // Validation before saving or running; true when the configuration is
    // valid.
    bool check_configuration();
    // Mode 0 asks for a file name; mode 1 overwrites `path` after asking.
    // True when the file was written.
    bool save_configuration(int mode, const QString& path);
    // The offer to save when the editor closes; true when the editor may
    // close: the offer was declined, or accepted and the file written.
    bool ask_save_configuration();

    // The control file of the editor's choices and the chosen files: every
    // value checked, with the messages a save shows; false when a check
    // stopped the save.
    bool fill_control_file(control_file& cf);
    // Sets the editor and "Confirm Data Files" from a control file read
    // back, record by record in their order.  False when the file is no
    // descriptive statistics file (record 15 is not 1); throws
    // control_read_error at a record that could not be read.
    bool load_control_file(const control_read& read);

    // Keyword records read from the control file, written back unchanged
    // after record 16.
    QStringList keyword_records;

    // "Save": over the current file (after asking), or under a name asked
    // for when there is none.  True when the file was written.
    bool save();

public slots:
    void Command2_Click();
    void Command3_Click();
    void Command4_Click();
    void Command5_Click();
    void lstAllVars_Click();
    void LstIndVars_Click();

    void Command6_Click();   // "Open..."
    void Command7_Click();   // "View/Edit Files"
    void Command8_Click();   // "Save"
    void Command10_Click();  // "Run"
    void Command9_Click();   // "End"
    void mnuOpen_Click();
    void mnuSave_Click();
    void mnuSaveAs_Click();
    void mnuRun_Click();
    void mnuExit_Click();
    void mnuChgFiles_Click();

protected:
    void closeEvent(QCloseEvent* e) override;

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
};
