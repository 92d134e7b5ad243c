// Procedures shared by the windows: reading a data file's variable names,
// changing one of the chosen files, list and role checks, path helpers and
// the texts of the front end's common messages.
#pragma once

#include <QLineEdit>
#include <QListWidget>
#include <QString>

#include "toolkit/toolkit.h"

// The message for every failure without a message of its own.
extern const char* const kUnexpectedError;
extern const char* const kUnexpectedErrorTitle;
void show_unexpected_error();

// Dialog filters in the front end's "description|pattern" form.
extern const char* const kDataFilter;
extern const char* const kLocationsFilter;

// Clears `list` and fills it with the variable names of the data file at
// `path`: the fields of its first line as the engine reads them (see
// split_header).  A missing file may be retried; on giving up or on another
// error the list is left as it was.  Returns true when the list was filled.
bool file_header_to_list(const QString& path, QListWidget* list);

// Splits a header line into the variable names exactly as the engine does:
// only commas separate names, blanks belong to them; the line ends at its
// last non-blank character, so a trailing comma, or a trailing comma with
// blanks after it, adds no name; a blank line has none.
QStringList split_header(const QString& line);

// Behind the "Change" buttons of "Confirm Data Files": kind 1 data file,
// 2 calibration location file, 3 parameter estimate file.  A filled field
// asks first whether to change it; an empty one goes straight to the file
// dialog.  `caption` is the caller's control-file caption and is not used.
void change_file(const QString& current, int kind, const QString& caption = QString());

// File dialogs through the toolkit.  A dialog offered only the program's
// folder (or no folder, or one that does not exist) opens in the last
// folder used instead, and the folder of a chosen file is remembered
// between sessions.
tk::FileChoice open_dialog(tk::FileRequest request);
tk::FileChoice save_dialog(tk::FileRequest request);
// The last folder a file was chosen in ("" before any).
QString last_folder();

// The control files used last, newest first, at most kRecentFiles; and
// putting one at their head (when opened or saved).
constexpr int kRecentFiles = 5;
QStringList recent_files();
void add_recent_file(const QString& path);
void remove_recent_file(const QString& path);

// True when some entry of `list` equals `item` exactly.
bool item_in_list(const QString& item, const QListWidget* list);

// The role a variable is offered for.
enum class Role { Dependent, Independent, X, Y, Weight };

// The role fields of an editor; `dependent` is null in editors without a
// dependent variable.
struct RoleFields {
    QLineEdit* dependent = nullptr;
    QLineEdit* x = nullptr;
    QLineEdit* y = nullptr;
    QLineEdit* weight = nullptr;
    QListWidget* independent = nullptr;
};

// True (refused) when `name` already has a role that conflicts with `tag`;
// shows one "Wrong Selection" message per conflict found.  An empty name
// passes.
bool check_var_use(const QString& name, Role tag, const RoleFields& f);

// The folder part of a path, with its trailing separator ("" when the path
// has no folder).
QString folder_of(const QString& path);
// The file-name part of a path.
QString file_title(const QString& path);
// The folder dialogs start in: the project folder when set, else the
// program's folder.
QString start_folder();
// The selected entry of a list, or -1 when none is selected.
int selected_row(const QListWidget* list);

// Reads `text` (blanks around it allowed) as a finite decimal number, by
// the engine's rule for reals whatever the locale: digits with an optional
// point, an optional sign and exponent ("4.5", "-25", "1e3", "2.5D0").
bool parse_number(const QString& text, double& value);

// The result file name written to a control file: the chosen output path
// with its extension replaced by `extension` (".csv", ".e00", ".mif",
// ".gpkg"; a ".gpkg" extension is replaced as well).  A
// name without a three-letter extension keeps its whole name and gets the
// extension appended, so the result never lands beside the chosen folder.
QString output_path_for(const QString& output, const QString& extension);
