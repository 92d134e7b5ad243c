// What the model editor (FrmTZM) and the descriptive statistics editor
// (FrmDescr) share: the builders of their common controls, the messages of
// their checks, and how their common controls become the fields of a
// control file (control_file.h) and are set from them again.
#pragma once

#include <QString>

#include <optional>

#include "control_file.h"
#include "frmOpenData.h"

class QAction;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMainWindow;
class QPushButton;
class QRadioButton;
class QVBoxLayout;
class QWidget;

// ---- Building ------------------------------------------------------------

QLineEdit* text_box(QWidget* parent, const char* name, bool readOnly = true);
QLabel* caption_label(QWidget* parent, const char* name, const char* caption);
// A role button, captioned "->".
QPushButton* arrow_button(QWidget* parent, const char* name);
QPushButton* command_button(QWidget* parent, const char* name, const char* caption);
QRadioButton* option_button(QWidget* frame, const char* name, const char* caption);
// The editable "Fixed"/"Adaptive" and "Cartesian"/"Spherical" boxes, showing
// their first entry.
QComboBox* kernel_box(QWidget* parent);
QComboBox* coordinates_box(QWidget* parent);

// The "File" and "Edit" menus of an editor; `noun` is "model" or
// "configuration" ("Open another model", "Save the configuration as ...").
struct EditorMenus {
    QAction* open;
    QAction* save;
    QAction* saveAs;
    QAction* run;
    QAction* exit;
    QAction* chgFiles;
};
EditorMenus editor_menus(QMainWindow* editor, const QString& noun);

// The options of the "Output Format" frame, one per result format.
struct FormatOptions {
    QRadioButton* csv = nullptr;   // Option4 "Spreadsheet (*.csv)"
    QRadioButton* e00 = nullptr;   // Option5 "ArcInfo Exp. (*.e00)"
    QRadioButton* mif = nullptr;   // Option6 "MapINFO (*.mif)"
    QRadioButton* none = nullptr;  // Option7 "None", chosen at first
    QRadioButton* gpkg = nullptr;  // OptionGpkg "GeoPackage (*.gpkg)"
};
// The frame with its options in two columns: csv, e00 and gpkg on the left,
// mif and none on the right.
QGroupBox* output_frame(QWidget* parent, FormatOptions& options);
// The "Variables" list with "# of Variables" under it.
QVBoxLayout* variables_column(QWidget* parent, QListWidget* all, QLineEdit* count);

// ---- Messages ------------------------------------------------------------

extern const char* const kPositiveBandwidth;
// A critical message, titled "Error" unless told otherwise.
void error_message(const QString& text, const QString& title = "Error");
// The warning about an empty title; the title is optional.
void no_title_warning();

// ---- Writing: the fields of a control file, in record order; each shows
// the messages of a save -------------------------------------------------

// Record 2: the location file for a model type that can be fitted at
// separate locations (the type chosen in "Model Options"); otherwise none,
// with a message when one was chosen.
QString location_record(const data_files& files, long method);
// Record 3: the result file with the extension of its format, "" for none;
// false (after the message) when no output file is chosen.
bool result_record(const data_files& files, result_format format, QString& record);
// A column number written in an index box.
bool whole_number(const QString& text, long& value);
// Record 5 from the index boxes; the weight is 0 when its box is empty.
// False when a box holds no whole number.
bool column_records(const QLineEdit* x, const QLineEdit* y, const QLineEdit* w, control_file& cf);
// Record 6: the title, or "Untitled" after the warning.
QString title_record(const QString& title);
// Record 7: T for each variable in `chosen`, F for the others.
QString flag_record(const QListWidget* all, const QListWidget* chosen);
// Record 8's kernel letter for a kernel text: f, v, or none.
QChar kernel_letter(const QString& kernel);
// Record 9 for a bandwidth typed by the user: the text as typed, which must
// be a number greater than 0; false after the message when it is not.
bool bandwidth_record(const QString& typed, QString& record);
// Record 12 of the chosen option.
result_format checked_format(const FormatOptions& options);
// Record 16; false (after the message) for a typed text that is neither
// "Cartesian" nor "Spherical", which would leave the file one record short.
bool coordinates_record(const QString& text, control_file& cf);

// ---- Reading: setting the controls from a control file read back ----------

// Records 1 to 3 into "Confirm Data Files", as far as they were read; then
// throws control_read_error unless all three were.
void show_files(const control_read& read);
// Fills `all` from the data file's header (left empty when the file cannot
// be read, so no column number is matched against another file's
// variables) and `count` with their number.  Returns the number of
// variables, 0 without a data file (the list then stays as it is).
int read_variables(const QString& dataFile, QListWidget* all, QLineEdit* count);
// Entry `i` (from 0) of a list; a column outside the list names nothing.
QString entry(const QListWidget* list, long i);
// Fills `target` with the entries of `all` whose flag is set, then selects
// the first of them.
void fill_flagged(const QListWidget* all, QListWidget* target, const QList<bool>& flags);
// "Adaptive" for the letter v, else "Fixed".
void select_kernel(QComboBox* box, QChar letter);
// The option of a format; a code without one leaves the choice alone.
void select_format(const FormatOptions& options, result_format format);
// "Cartesian" or "Spherical"; absent or other codes leave the choice alone.
void select_coordinates(QComboBox* box, std::optional<coordinate_type> type);
