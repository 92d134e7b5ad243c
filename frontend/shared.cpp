#include "shared.h"

#include <QFileInfo>

#include <cmath>

#include "engine_numbers.h"
#include "forms.h"
#include "frmOpenData.h"
#include "toolkit/toolkit.h"

const char* const kUnexpectedError =
    "An unexpected error occurred. Please try this operation again. If the problem persists, contact the "
    "support team.";
const char* const kUnexpectedErrorTitle = "Unable to complete operation";

const char* const kDataFilter =
    "Data File (Comma Delimited - *.dat)|*.dat|CSV (Comma Delimited - *.csv)|*.csv|All Files (*.*)|*.*";
const char* const kLocationsFilter = "Locations' Files (Formatted Text File - *.xy)|*.xy|All Files (*.*)|*.*";

void show_unexpected_error() {
    tk::toolkit().message(kUnexpectedError, tk::Buttons::OK, tk::Icon::Critical, kUnexpectedErrorTitle);
}

QStringList split_header(const QString& line) {
    QStringList names;
    qsizetype last = line.size() - 1;
    while (last >= 0 && line[last] == QChar(' ')) --last;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= last; ++i) {
        if (line[i] == QChar(',')) {
            names << line.mid(start, i - start);
            start = i + 1;
        } else if (i == last) {
            names << line.mid(start, last + 1 - start);
        }
    }
    return names;
}

bool file_header_to_list(const QString& path, QListWidget* list) {
    for (;;) {
        QString line;
        const tk::FileError e = tk::toolkit().readFirstLine(path, line);
        if (e == tk::FileError::None) {
            list->clear();
            list->addItems(split_header(line));
            return true;
        }
        if (e != tk::FileError::NotFound) {
            show_unexpected_error();
            return false;
        }
        const tk::Answer a = tk::toolkit().message(
            "Check if the file: " + path +
                " exists. If you can find it then press OK to try again. If not, press CANCEL and try with an "
                "existing file.",
            tk::Buttons::OKCancel, tk::Icon::Exclamation, "Open File Error");
        if (a != tk::Answer::OK) return false;
    }
}

void change_file(const QString& current, int kind, const QString&) {
    tk::Toolkit& t = tk::toolkit();
    if (!current.isEmpty() &&
        t.message("Are you sure you want to change the file " + current + " with another file?",
                  tk::Buttons::YesNo, tk::Icon::Question, "Change file") != tk::Answer::Yes)
        return;
    frmOpenData& od = forms::form<frmOpenData>();
    const QString folder = start_folder();
    switch (kind) {
    case 1: {
        const tk::FileChoice c = open_dialog({"Open Data File", kDataFilter, folder, ""});
        if (c.chosen())
            od.TxtOpenData->setText(c.path);
        else
            t.message("Data file has not changed.", tk::Buttons::OK, tk::Icon::Critical, "Failed to change Data File");
        break;
    }
    case 2: {
        const tk::FileChoice c = open_dialog({"Open Locations' File", kLocationsFilter, folder, ""});
        if (c.chosen())
            od.Txtlocations->setText(c.path);
        else
            t.message("Locations file has not changed.", tk::Buttons::OK, tk::Icon::Critical,
                      "Failed to change optional locations File");
        break;
    }
    case 3: {
        const tk::FileChoice c = save_dialog({"Output parameter estimate file",
                                             "ArcInfo Export File (*.e00)|*.e00|Comma Separated Variable File "
                                             "(*.csv)|*.csv|MapInfo Interchange File (*.mif)|*.mif|All Files - "
                                             "(*.*)|*.*",
                                             folder, ""});
        if (c.chosen())
            od.TxtOutput->setText(c.path);
        else
            t.message("Output file has not been changed.", tk::Buttons::OK, tk::Icon::None, "No new file selected");
        break;
    }
    default:
        return;
    }
    t.message("Changes will not take effect unless you save the analysis project from the Model Editor or the "
              "Descriptive Statistics Editor",
              tk::Buttons::OK, tk::Icon::Information, "Starting a new model.");
}

bool item_in_list(const QString& item, const QListWidget* list) {
    for (int i = 0; i < list->count(); ++i)
        if (list->item(i)->text() == item) return true;
    return false;
}

bool check_var_use(const QString& name, Role tag, const RoleFields& f) {
    if (name.isEmpty()) return false;
    bool refused = false;
    auto wrong = [&](const char* text) {
        tk::toolkit().message(text, tk::Buttons::OK, tk::Icon::Exclamation, "Wrong Selection");
        refused = true;
    };
    auto holds = [&](const QLineEdit* box) { return box && !box->text().isEmpty() && box->text() == name; };
    if (tag != Role::Dependent && holds(f.dependent)) wrong("This variable is already used as the dependent variable");
    if (tag != Role::X && holds(f.x)) wrong("This variable is already used as the Coordinate X");
    if (holds(f.y)) wrong("This variable is already used as the Coordinate Y");
    if (tag != Role::Weight && holds(f.weight)) wrong("This variable is already used as the Weight");
    if (f.independent && item_in_list(name, f.independent))
        wrong("This variable is already used as an Independent Variable");
    // The weight is looked at once more whatever the role asked for, so a
    // weight offered as an independent variable is reported twice.
    if (holds(f.weight)) wrong("This variable is already used as the Weight");
    return refused;
}

QString folder_of(const QString& path) {
    const int p = path.lastIndexOf(tk::separator());
    return p < 0 ? QString() : path.left(p + 1);
}

QString file_title(const QString& path) { return path.mid(path.lastIndexOf(tk::separator()) + 1); }

QString start_folder() {
    const QString project = forms::form<frmOpenData>().ProjectPathTxt->text();
    return project.isEmpty() ? tk::toolkit().programFolder() : project;
}

namespace {

const char* const kLastFolder = "lastFolder";
const char* const kRecent = "recentFiles";

tk::FileChoice file_dialog(tk::FileRequest r, bool save) {
    tk::Toolkit& t = tk::toolkit();
    const QString last = last_folder();
    if (!last.isEmpty() &&
        (r.folder.isEmpty() || r.folder == t.programFolder() || !QFileInfo(r.folder).isDir()))
        r.folder = last;
    const tk::FileChoice c = save ? t.saveFile(r) : t.openFile(r);
    if (c.chosen()) t.setSetting(kLastFolder, folder_of(c.path));
    return c;
}

}  // namespace

tk::FileChoice open_dialog(tk::FileRequest request) { return file_dialog(std::move(request), false); }
tk::FileChoice save_dialog(tk::FileRequest request) { return file_dialog(std::move(request), true); }
QString last_folder() { return tk::toolkit().setting(kLastFolder); }

QStringList recent_files() {
    QStringList files = tk::toolkit().setting(kRecent).split('\n', Qt::SkipEmptyParts);
    while (files.size() > kRecentFiles) files.removeLast();
    return files;
}

void remove_recent_file(const QString& path) {
    QStringList files = recent_files();
    files.removeAll(path);
    tk::toolkit().setSetting(kRecent, files.join('\n'));
}

void add_recent_file(const QString& path) {
    if (path.isEmpty()) return;
    QStringList files = recent_files();
    files.removeAll(path);
    files.prepend(path);
    while (files.size() > kRecentFiles) files.removeLast();
    tk::toolkit().setSetting(kRecent, files.join('\n'));
}

int selected_row(const QListWidget* list) {
    const QListWidgetItem* it = list->currentItem();
    return it && it->isSelected() ? list->row(it) : -1;
}

bool parse_number(const QString& text, double& value) { return engine_real(text.trimmed(), value); }

QString output_path_for(const QString& output, const QString& extension) {
    const QString name = file_title(output);
    if (name.size() > 4 && name.at(name.size() - 4) == '.') return output.left(output.size() - 4) + extension;
    // A GeoPackage chosen as the result file keeps its name in that format.
    if (name.size() > 5 && name.endsWith(".gpkg")) return output.left(output.size() - 5) + extension;
    return output + extension;
}
