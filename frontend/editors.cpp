#include "editors.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "forms.h"
#include "open_control.h"
#include "shared.h"
#include "toolkit/toolkit.h"

namespace {

const char* const kNoTitle =
    "Warning: No title entered. Note: This is optional and the program will still run without a title.";

QComboBox* choice_box(QWidget* parent, const char* name, const QStringList& entries) {
    auto* b = new QComboBox(parent);
    b->setObjectName(name);
    b->setEditable(true);
    b->addItems(entries);
    b->setCurrentText(entries.front());
    return b;
}

// Selects entry `i` of a combo box whose text the user may also type, so
// its text becomes that entry's even when the index was already `i`.
void choose_entry(QComboBox* box, int i) {
    box->setCurrentIndex(i);
    box->setCurrentText(box->itemText(i));
}

}  // namespace

// ---- Building ------------------------------------------------------------

QLineEdit* text_box(QWidget* parent, const char* name, bool readOnly) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(name);
    e->setReadOnly(readOnly);
    return e;
}

QLabel* caption_label(QWidget* parent, const char* name, const char* caption) {
    auto* l = new QLabel(caption, parent);
    l->setObjectName(name);
    return l;
}

QPushButton* arrow_button(QWidget* parent, const char* name) {
    auto* b = new QPushButton("->", parent);
    b->setObjectName(name);
    b->setFixedWidth(40);
    return b;
}

QPushButton* command_button(QWidget* parent, const char* name, const char* caption) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(name);
    return b;
}

QRadioButton* option_button(QWidget* frame, const char* name, const char* caption) {
    auto* r = new QRadioButton(caption, frame);
    r->setObjectName(name);
    return r;
}

QComboBox* kernel_box(QWidget* parent) { return choice_box(parent, "kerneltype", {"Fixed", "Adaptive"}); }

QComboBox* coordinates_box(QWidget* parent) { return choice_box(parent, "CoordsType", {"Cartesian", "Spherical"}); }

EditorMenus editor_menus(QMainWindow* editor, const QString& noun) {
    QMenu* file = editor->menuBar()->addMenu("File");
    file->setObjectName("mnuFile");
    auto action = [](QMenu* m, const char* name, const QString& caption) {
        QAction* a = m->addAction(caption);
        a->setObjectName(name);
        return a;
    };
    EditorMenus menus{};
    menus.open = action(file, "mnuOpen", "Open another " + noun);
    menus.save = action(file, "mnuSave", "Save the " + noun);
    menus.saveAs = action(file, "mnuSaveAs", "Save the " + noun + " as ...");
    menus.run = action(file, "mnuRun", "Run open " + noun);
    file->addSeparator();
    menus.exit = action(file, "mnuExit", "Exit");
    QMenu* edit = editor->menuBar()->addMenu("Edit");
    edit->setObjectName("mnuEdit");
    menus.chgFiles = action(edit, "mnuChgFiles", "File Locations");
    menus.open->setShortcut(QKeySequence("Ctrl+O"));
    menus.save->setShortcut(QKeySequence("Ctrl+S"));
    menus.run->setShortcut(QKeySequence("Ctrl+R"));
    return menus;
}

QGroupBox* output_frame(QWidget* parent, FormatOptions& o) {
    auto* frame = new QGroupBox("Output Format", parent);
    frame->setObjectName("FrameOutput");
    o.csv = option_button(frame, "Option4", "Spreadsheet (*.csv)");
    o.e00 = option_button(frame, "Option5", "ArcInfo Exp. (*.e00)");
    o.mif = option_button(frame, "Option6", "MapINFO (*.mif)");
    o.none = option_button(frame, "Option7", "None");
    o.none->setChecked(true);
    o.gpkg = option_button(frame, "OptionGpkg", "GeoPackage (*.gpkg)");
    auto* g = new QGridLayout(frame);
    g->addWidget(o.csv, 0, 0);
    g->addWidget(o.e00, 1, 0);
    g->addWidget(o.gpkg, 2, 0);
    g->addWidget(o.mif, 0, 1);
    g->addWidget(o.none, 1, 1);
    return frame;
}

QVBoxLayout* variables_column(QWidget* parent, QListWidget* all, QLineEdit* count) {
    auto* vars = new QVBoxLayout;
    vars->addWidget(caption_label(parent, "Label1", "Variables"));
    vars->addWidget(all, 1);
    auto* h = new QHBoxLayout;
    h->addWidget(caption_label(parent, "Label2", "# of Variables"));
    h->addWidget(count);
    h->addStretch();
    vars->addLayout(h);
    return vars;
}

// ---- Messages ------------------------------------------------------------

const char* const kPositiveBandwidth =
    "No positive bandwidth defined. Please define the positive bandwidth and try again.";

void error_message(const QString& text, const QString& title) {
    tk::toolkit().message(text, tk::Buttons::OK, tk::Icon::Critical, title);
}

void no_title_warning() { tk::toolkit().message(kNoTitle, tk::Buttons::OK, tk::Icon::Exclamation, "Warning"); }

// ---- Writing -------------------------------------------------------------

QString location_record(const data_files& files, long method) {
    const model_type* m = find_model_type(method);
    if (m && m->separate_locations) return files.locations;
    if (!files.locations.isEmpty())
        tk::toolkit().message("This model type can only be fitted at the data points. The calibration locations "
                              "file selected will be ignored.",
                              tk::Buttons::OK, tk::Icon::Information, "Gaussian Regression");
    return QString();
}

bool result_record(const data_files& files, result_format format, QString& record) {
    if (format == result_format::none) {
        record = QString();
        return true;
    }
    if (files.output.isEmpty()) {
        error_message("No output file has been defined. Open Data Files screen to define one");
        return false;
    }
    const char* ext = format == result_format::csv    ? ".csv"
                      : format == result_format::e00  ? ".e00"
                      : format == result_format::gpkg ? ".gpkg"
                                                      : ".mif";
    record = output_path_for(files.output, ext);
    return true;
}

bool whole_number(const QString& text, long& value) {
    bool ok = false;
    value = text.trimmed().toLong(&ok);
    return ok;
}

bool column_records(const QLineEdit* x, const QLineEdit* y, const QLineEdit* w, control_file& cf) {
    cf.weight = 0;
    return whole_number(x->text(), cf.x) && whole_number(y->text(), cf.y) &&
           (w->text().isEmpty() || whole_number(w->text(), cf.weight));
}

bool bandwidth_record(const QString& typed, QString& record) {
    double v = 0;
    if (typed.trimmed().isEmpty()) {
        error_message(kPositiveBandwidth);
        return false;
    }
    if (!parse_number(typed, v)) {
        show_unexpected_error();
        return false;
    }
    if (!(v > 0)) {
        error_message(kPositiveBandwidth);
        return false;
    }
    record = typed;
    return true;
}

QString title_record(const QString& title) {
    if (!title.isEmpty()) return title;
    no_title_warning();
    return "Untitled";
}

QString flag_record(const QListWidget* all, const QListWidget* chosen) {
    QString flags;
    for (int i = 0; i < all->count(); ++i) flags += item_in_list(all->item(i)->text(), chosen) ? 'T' : 'F';
    return flags;
}

QChar kernel_letter(const QString& kernel) {
    if (kernel == "Fixed") return 'f';
    if (kernel == "Adaptive") return 'v';
    return QChar();
}

result_format checked_format(const FormatOptions& o) {
    return o.csv->isChecked()    ? result_format::csv
           : o.e00->isChecked()  ? result_format::e00
           : o.mif->isChecked()  ? result_format::mif
           : o.gpkg->isChecked() ? result_format::gpkg
                                 : result_format::none;
}

bool coordinates_record(const QString& text, control_file& cf) {
    if (text == "Cartesian") {
        cf.coordinates = coordinate_type::cartesian;
    } else if (text == "Spherical") {
        cf.coordinates = coordinate_type::spherical;
    } else {
        error_message("No coordinate type selected. Please select Cartesian or Spherical and try again.");
        return false;
    }
    return true;
}

// ---- Reading -------------------------------------------------------------

void show_files(const control_read& read) {
    frmOpenData& od = forms::form<frmOpenData>();
    data_files f = od.files();
    if (read.complete >= 1) f.data = read.file.data_file;
    if (read.complete >= 2) f.locations = read.file.location_file;
    if (read.complete >= 3) f.output = read.file.result_file;
    od.set_files(f);
    read.need(3);
}

int read_variables(const QString& dataFile, QListWidget* all, QLineEdit* count) {
    if (dataFile.isEmpty()) return 0;
    if (!file_header_to_list(dataFile, all)) all->clear();
    count->setText(QString::number(all->count()));
    return all->count();
}

QString entry(const QListWidget* list, long i) {
    return i >= 0 && i < list->count() ? list->item(int(i))->text() : QString();
}

void fill_flagged(const QListWidget* all, QListWidget* target, const QList<bool>& flags) {
    target->clear();
    for (int i = 0; i < flags.size(); ++i)
        if (flags[i]) target->addItem(all->item(i)->text());
    if (target->count() > 0) {
        target->setCurrentRow(0);
        target->item(0)->setSelected(true);
    }
}

void select_kernel(QComboBox* box, QChar letter) { choose_entry(box, letter == QChar('v') ? 1 : 0); }

void select_format(const FormatOptions& o, result_format format) {
    switch (format) {
    case result_format::none: o.none->setChecked(true); break;
    case result_format::csv: o.csv->setChecked(true); break;
    case result_format::e00: o.e00->setChecked(true); break;
    case result_format::mif: o.mif->setChecked(true); break;
    case result_format::gpkg: o.gpkg->setChecked(true); break;
    default: break;
    }
}

void select_coordinates(QComboBox* box, std::optional<coordinate_type> type) {
    if (type == coordinate_type::cartesian) choose_entry(box, 0);
    else if (type == coordinate_type::spherical) choose_entry(box, 1);
}
