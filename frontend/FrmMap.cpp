#include "FrmMap.h"
#include "FrmRun.h"

#include <QAbstractTableModel>
#include <QBuffer>
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableView>
#include <QToolTip>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <cmath>

#include "forms.h"
#include "control_file.h"
#include "open_control.h"
#include "shared.h"
#include "toolkit/toolkit.h"

// ---- The map on screen ------------------------------------------------------------

MapView::MapView(QWidget* parent) : QWidget(parent) {
    setObjectName("mapView");
    setMouseTracking(true);
    setMinimumSize(320, 240);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void MapView::display(const MapModel* model, const QString& title, double aspect) {
    model_ = model;
    title_ = title;
    aspect_ = aspect;
    refresh();
}

void MapView::refresh() {
    cache_ = QImage();
    update();
}

void MapView::renderTo(Canvas& c, const QSizeF& size) {
    if (!model_) {
        c.rect(QRectF(QPointF(0, 0), size), Qt::white, QColor());
        return;
    }
    layout_ = render_map(c, *model_, frame_, size, title_, aspect_);
}

void MapView::paintEvent(QPaintEvent*) {
    const qreal dpr = devicePixelRatioF();
    if (cache_.isNull() || cache_.size() != size() * dpr) {
        cache_ = QImage(size() * dpr, QImage::Format_ARGB32_Premultiplied);
        cache_.setDevicePixelRatio(dpr);
        QPainter p(&cache_);
        PainterCanvas c(p);
        renderTo(c, QSizeF(size()));
    }
    QPainter p(this);
    p.drawImage(0, 0, cache_);
    if (dragging_ && model_) {
        // While the button is down the picture of the points moves as it
        // is; the map is drawn afresh when it is released.
        p.save();
        p.setClipRect(layout_.plot.adjusted(1, 1, 0, 0));
        p.fillRect(layout_.plot, Qt::white);
        p.drawImage(dragOffset_, cache_);
        p.restore();
    }
}

void MapView::resizeEvent(QResizeEvent*) { cache_ = QImage(); }

void MapView::wheelEvent(QWheelEvent* e) {
    const double steps = e->angleDelta().y() / 120.0;
    if (steps == 0) return;
    frame_.zoomAt(e->position(), std::pow(1.25, steps));
    refresh();
    e->accept();
}

void MapView::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return;
    dragging_ = true;
    dragStart_ = e->position();
    dragOffset_ = QPointF();
}

void MapView::mouseMoveEvent(QMouseEvent* e) {
    if (dragging_) {
        dragOffset_ = e->position() - dragStart_;
        update();
        return;
    }
    const int i = pointAt(e->position());
    emit hovered(i);
}

void MapView::mouseReleaseEvent(QMouseEvent* e) {
    if (!dragging_ || e->button() != Qt::LeftButton) return;
    dragging_ = false;
    frame_.panBy(e->position() - dragStart_);
    dragOffset_ = QPointF();
    refresh();
}

void MapView::mouseDoubleClickEvent(QMouseEvent*) {
    frame_.reset();
    refresh();
}

int MapView::pointAt(const QPointF& at) const {
    if (!model_ || !layout_.plot.contains(at)) return -1;
    const double reach = (layout_.radius + 3) * (layout_.radius + 3);
    int best = -1;
    double bestD = reach;
    for (int i = 0; i < model_->count(); ++i) {
        if (!std::isfinite(model_->x(i)) || !std::isfinite(model_->y(i))) continue;
        const QPointF d = frame_.toScreen(model_->x(i), model_->y(i)) - at;
        const double dd = d.x() * d.x() + d.y() * d.y();
        if (dd <= bestD) {
            bestD = dd;
            best = i;
        }
    }
    return best;
}

// ---- The histogram on screen ---------------------------------------------------------

HistogramView::HistogramView(QWidget* parent) : QWidget(parent) {
    setObjectName("histView");
    setMinimumSize(320, 240);
}

void HistogramView::display(const Histogram& h, const QString& title, double marker, const QString& markerLabel) {
    h_ = h;
    title_ = title;
    marker_ = marker;
    markerLabel_ = markerLabel;
    update();
}

void HistogramView::renderTo(Canvas& c, const QSizeF& size) const {
    render_histogram(c, h_, size, title_, marker_, markerLabel_);
}

void HistogramView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    PainterCanvas c(p);
    renderTo(c, QSizeF(size()));
}

// ---- The table -------------------------------------------------------------------------

// The result table as the view's model: the numbers as text for display,
// the numbers themselves for sorting.
class FrmMap::ResultModel : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;
    void reset(const ResultTable* t) {
        beginResetModel();
        t_ = t;
        endResetModel();
    }
    int rowCount(const QModelIndex& parent = {}) const override { return parent.isValid() || !t_ ? 0 : t_->rows(); }
    int columnCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() || !t_ ? 0 : int(t_->names.size());
    }
    QVariant data(const QModelIndex& i, int role) const override {
        if (!t_ || !i.isValid()) return {};
        const double v = t_->cols[i.column()][i.row()];
        if (role == Qt::UserRole) return std::isnan(v) ? -HUGE_VAL : v;  // rows without a value sort first
        if (role == Qt::DisplayRole) return std::isnan(v) ? QString() : QString::number(v, 'g', 10);
        if (role == Qt::TextAlignmentRole) return int(Qt::AlignRight | Qt::AlignVCenter);
        return {};
    }
    QVariant headerData(int section, Qt::Orientation o, int role) const override {
        if (role != Qt::DisplayRole || !t_) return {};
        if (o == Qt::Horizontal) return t_->names.value(section);
        return section + 1;
    }

private:
    const ResultTable* t_ = nullptr;
};

// ---- The window ---------------------------------------------------------------------------

const char* const kResultFilter =
    "Result Files (*.csv;*.gpkg;*.mif;*.txt)|*.csv;*.gpkg;*.mif;*.txt|GeoPackage (*.gpkg)|*.gpkg|All Files (*.*)|*.*";

FrmMap::FrmMap(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName("FrmMap");
    setWindowTitle("Results");
    setAttribute(Qt::WA_DeleteOnClose);

    auto button = [this](const char* name, const char* caption) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(name);
        return b;
    };
    cmbColumn = new QComboBox(this);
    cmbColumn->setObjectName("cmbColumn");
    cmbColumn->setMinimumContentsLength(24);
    cmbClassing = new QComboBox(this);
    cmbClassing->setObjectName("cmbClassing");
    cmbClassing->addItems({"Quantiles", "Equal intervals"});
    spnClasses = new QSpinBox(this);
    spnClasses->setObjectName("spnClasses");
    spnClasses->setRange(2, 9);
    spnClasses->setValue(5);
    spnClasses->setSuffix(" classes");
    chkMask = new QCheckBox(QString("Grey out |t| < %1").arg(critical), this);
    chkMask->setObjectName("chkMask");
    chkLonLat = new QCheckBox("Longitude/latitude", this);
    chkLonLat->setObjectName("chkLonLat");
    cmdExportPng = button("cmdExportPng", "Export PNG...");
    cmdExportSvg = button("cmdExportSvg", "Export SVG...");
    cmdOpen = button("cmdOpen", "Open...");
    cmdClose = button("cmdClose", "Close");
    lblPoint = new QLabel(" ", this);
    lblPoint->setObjectName("lblPoint");
    lblPoint->setTextInteractionFlags(Qt::TextSelectableByMouse);

    mapView = new MapView(this);
    histView = new HistogramView(this);
    tblResults = new QTableView(this);
    tblResults->setObjectName("tblResults");
    tableModel_ = new ResultModel(this);
    auto* sorter = new QSortFilterProxyModel(this);
    sorter->setSourceModel(tableModel_);
    sorter->setSortRole(Qt::UserRole);
    tblResults->setModel(sorter);
    tblResults->setSortingEnabled(true);
    tblResults->sortByColumn(-1, Qt::AscendingOrder);  // file order until a header is clicked
    tblResults->setSelectionBehavior(QAbstractItemView::SelectRows);
    tblResults->verticalHeader()->setDefaultSectionSize(20);

    tabResults = new QTabWidget(this);
    tabResults->setObjectName("tabResults");
    tabResults->addTab(mapView, "Map");
    tabResults->addTab(tblResults, "Table");
    tabResults->addTab(histView, "Histogram");

    auto* picks = new QHBoxLayout;
    auto* label = new QLabel("Column:", this);
    label->setObjectName("lblColumn");
    picks->addWidget(label);
    picks->addWidget(cmbColumn, 1);
    picks->addWidget(cmbClassing);
    picks->addWidget(spnClasses);
    picks->addWidget(chkMask);
    picks->addWidget(chkLonLat);
    auto* commands = new QHBoxLayout;
    commands->addWidget(lblPoint, 1);
    commands->addWidget(cmdOpen);
    commands->addWidget(cmdExportPng);
    commands->addWidget(cmdExportSvg);
    commands->addWidget(cmdClose);
    auto* v = new QVBoxLayout(this);
    v->addLayout(picks);
    v->addWidget(tabResults, 1);
    v->addLayout(commands);
    resize(980, 680);

    connect(cmbColumn, &QComboBox::currentIndexChanged, this, [this] { columnChanged(); });
    connect(cmbClassing, &QComboBox::currentIndexChanged, this, [this] { classesChanged(); });
    connect(spnClasses, &QSpinBox::valueChanged, this, [this] { classesChanged(); });
    connect(chkMask, &QCheckBox::toggled, this, [this] { classesChanged(); });
    connect(chkLonLat, &QCheckBox::toggled, this, [this] {
        mapView->frame().reset();
        mapView->display(&model_, pickedLabel(), aspect());
    });
    connect(mapView, &MapView::hovered, this, &FrmMap::showPoint);
    connect(cmdOpen, &QPushButton::clicked, this, &FrmMap::cmdOpen_Click);
    connect(cmdExportPng, &QPushButton::clicked, this, &FrmMap::cmdExportPng_Click);
    connect(cmdExportSvg, &QPushButton::clicked, this, &FrmMap::cmdExportSvg_Click);
    connect(cmdClose, &QPushButton::clicked, this, &FrmMap::cmdClose_Click);
}

FrmMap::~FrmMap() = default;

bool FrmMap::load(const QString& path, const Hints& hints) {
    ResultTable t;
    QString error;
    tk::Toolkit& kit = tk::toolkit();
    kit.setBusy(true);
    const bool ok = read_results(path, t, error);
    kit.setBusy(false);
    if (!ok) {
        kit.message(error, tk::Buttons::OK, tk::Icon::Exclamation, "Open Results");
        return false;
    }
    tableModel_->reset(nullptr);
    table_ = std::move(t);
    if (hints.geographic >= 0) table_.geographic = hints.geographic == 1;
    if (table_.global.empty()) table_.global = hints.global;
    critical = table_.critical > 0 ? table_.critical : hints.critical > 0 ? hints.critical : 1.96;
    info_ = classify_columns(table_.names, hints.variables);
    tableModel_->reset(&table_);
    tblResults->horizontalHeader()->setResizeContentsPrecision(200);
    tblResults->resizeColumnsToContents();
    setWindowTitle("Results - " + QFileInfo(path).fileName());
    {
        const QSignalBlocker block(chkLonLat);
        chkLonLat->setChecked(table_.geographic);
    }
    mapView->frame().reset();
    fillPicker();
    return true;
}

FrmMap* FrmMap::open_results(const QString& path, const Hints& hints) {
    const bool fresh = !forms::loaded<FrmMap>();
    FrmMap& w = forms::form<FrmMap>();
    if (!w.load(path, hints)) {
        if (fresh) w.close();
        return nullptr;
    }
    w.show();
    w.raise();
    w.activateWindow();
    return &w;
}

QString FrmMap::result_path(const QString& outfil, int code, const QString& folder) {
    if (code == 0 || code == 2) return QString();
    QString name = outfil.trimmed().isEmpty() ? QString() : outfil;
    if (code != 1) {
        // The engine replaces the extension (or appends one): .gpkg, .mif.
        const QString ext = code == 4 ? ".gpkg" : ".mif";
        if (name.isEmpty()) {
            name = code == 4 ? "results.gpkg" : "mapinfo.mif";
        } else {
            const QString file = QFileInfo(name).fileName();
            const qsizetype dot = file.lastIndexOf('.');
            if (dot > 0) name.chop(file.size() - dot);
            name += ext;
        }
    }
    if (name.isEmpty()) return QString();
    if (QFileInfo(name).isRelative()) name = folder + tk::separator() + name;
    return name;
}

std::vector<double> FrmMap::global_estimates(const QString& listing, int count) {
    // The table follows its heading "Parameter ..." and a rule of dashes;
    // each line holds a name in its first nine columns, then the estimate.
    const QStringList ls = listing.split('\n');
    for (int i = 0; i + 1 < ls.size(); ++i) {
        if (!ls[i].startsWith("Parameter") || !ls[i + 1].startsWith("---------")) continue;
        std::vector<double> out;
        for (int k = 0; k < count && i + 2 + k < ls.size(); ++k) {
            bool ok = false;
            const double v = ls[i + 2 + k].mid(9).simplified().section(' ', 0, 0).toDouble(&ok);
            if (!ok) return {};
            out.push_back(v);
        }
        return int(out.size()) == count ? out : std::vector<double>();
    }
    return {};
}

double FrmMap::adjusted_critical(const QString& listing) {
    for (const QString& l : listing.split('\n')) {
        if (!l.startsWith("Critical |t|")) continue;
        const QStringList v = l.mid(12).simplified().split(' ');
        bool ok = false;
        const double c = v.size() == 3 ? v[1].toDouble(&ok) : 0.0;
        return ok && c > 0 ? c : 0.0;
    }
    return 0.0;
}

void FrmMap::after_run(const QString& control, const QString& listing) {
    tk::Toolkit& t = tk::toolkit();
    QString ctl, lst;
    if (t.readTextFile(listing, lst) != tk::FileError::None || !lst.contains("** Results written to")) return;
    if (t.readTextFile(control, ctl) != tk::FileError::None) return;
    Hints hints;
    QString path;
    try {
        const control_read r = parse_control_file(ctl);
        r.need(16);
        const control_file& cf = r.file;
        // Names without a folder are the engine's, which runs in the
        // control file's folder.
        const QString folder = FrmRun::run_folder(control);
        path = result_path(cf.result_file, int(cf.format), folder);
        hints.geographic = cf.coordinates == coordinate_type::spherical ? 1 : 0;
        // The parameters: the intercept, then the flagged columns that play
        // no other role, in the data file's order.
        QString header;
        QString dataPath = cf.data_file;
        if (QFileInfo(dataPath).isRelative()) dataPath = folder + tk::separator() + dataPath;
        if (t.readFirstLine(dataPath, header) == tk::FileError::None) {
            const QStringList names = split_header(header);
            if (cf.method != kDescriptiveMethod) hints.variables << "Intercept";
            for (int c = 1; c <= names.size() && c <= cf.flags.size(); ++c) {
                if (c == cf.dependent || c == cf.x || c == cf.y || c == cf.weight) continue;
                const QChar flag = cf.flags[c - 1];
                if (flag == QChar('T') || flag == QChar('t')) hints.variables << names[c - 1].trimmed();
            }
        }
    } catch (const control_read_error&) {
        return;
    }
    if (!hints.variables.isEmpty() && hints.variables.front() == "Intercept")
        hints.global = global_estimates(lst, int(hints.variables.size()));
    hints.critical = adjusted_critical(lst);
    if (path.isEmpty() || !t.fileExists(path)) return;
    open_results(path, hints);
}

void FrmMap::fillPicker() {
    const QSignalBlocker block(cmbColumn);
    cmbColumn->clear();
    int preferred = -1;
    for (int c = 0; c < int(info_.size()); ++c) {
        const ColumnKind k = info_[c].kind;
        if (k == ColumnKind::Id || k == ColumnKind::Coordinate) continue;
        cmbColumn->addItem(column_label(info_[c], table_.names[c]), c);
        // The first estimate of a variable, else the first column.
        if (preferred < 0 && k == ColumnKind::Estimate && info_[c].parameter > 0) preferred = cmbColumn->count() - 1;
        if (preferred < 0 && k == ColumnKind::Mean) preferred = cmbColumn->count() - 1;
    }
    cmbColumn->setCurrentIndex(preferred >= 0 ? preferred : 0);
    columnChanged();
}

bool FrmMap::pick(const QString& name) {
    const int c = table_.column(name);
    const int i = cmbColumn->findData(c);
    if (c < 0 || i < 0) return false;
    cmbColumn->setCurrentIndex(i);
    return true;
}

int FrmMap::pickedColumn() const { return cmbColumn->currentIndex() < 0 ? -1 : cmbColumn->currentData().toInt(); }

QString FrmMap::pickedLabel() const { return cmbColumn->currentText(); }

double FrmMap::aspect() const {
    return map_aspect(model_.meanY(), chkLonLat->isChecked());
}

void FrmMap::columnChanged() {
    const int c = pickedColumn();
    if (c < 0) {
        model_.setData({}, {}, {}, {}, false);
        mapView->display(&model_, QString(), 1.0);
        return;
    }
    const ColumnInfo& info = info_[c];
    std::vector<double> t;
    if (info.tcol >= 0) t = table_.cols[info.tcol];
    chkMask->setEnabled(info.tcol >= 0);
    model_.setData(table_.x, table_.y, mapped_values(table_, c, info), std::move(t), diverges(info.kind));
    classesChanged();
}

void FrmMap::classesChanged() {
    const int c = pickedColumn();
    model_.setClassing(cmbClassing->currentIndex() == 1 ? Classing::EqualIntervals : Classing::Quantiles,
                       spnClasses->value());
    model_.setMask(chkMask->isChecked() && chkMask->isEnabled(), critical);
    chkMask->setText("Grey out |t| < " + short_number(critical));
    mapView->display(&model_, pickedLabel(), aspect());

    // The histogram of the same values; an estimate shows the global one.
    marker_ = std::nan("");
    QString markerLabel;
    if (c >= 0 && info_[c].kind == ColumnKind::Estimate && info_[c].parameter >= 0 &&
        info_[c].parameter < int(table_.global.size())) {
        marker_ = table_.global[info_[c].parameter];
        markerLabel = "global estimate " + short_number(marker_);
    }
    std::vector<double> values;
    for (int i = 0; i < model_.count(); ++i) values.push_back(model_.value(i));
    int n = 0;
    for (double v : values) n += std::isfinite(v);
    hist_ = make_histogram(values, histogram_bins(n), marker_);
    histView->display(hist_, pickedLabel(), marker_, markerLabel);
}

void FrmMap::showPoint(int i) {
    if (i < 0) {
        lblPoint->setText(" ");
        mapView->setToolTip(QString());
        return;
    }
    const int idc = table_.column("ID");
    QString text = idc >= 0 ? QString("ID %1").arg(table_.cols[idc][i], 0, 'g', 12) : QString("Row %1").arg(i + 1);
    text += QString(" (%1, %2): ").arg(table_.x[i], 0, 'g', 10).arg(table_.y[i], 0, 'g', 10);
    const double v = model_.value(i);
    text += pickedLabel() + " = " + (std::isnan(v) ? QString("no value") : QString::number(v, 'g', 8));
    if (model_.canMask()) text += QString(", t = %1").arg(model_.tvalue(i), 0, 'g', 4);
    lblPoint->setText(text);
    mapView->setToolTip(text);
}

QImage FrmMap::renderMap(const QSize& size) {
    QImage img(size, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::white);
    QPainter p(&img);
    PainterCanvas c(p);
    mapView->renderTo(c, QSizeF(size));
    p.end();
    mapView->refresh();  // the view lays itself out again for its own size
    return img;
}

QString FrmMap::renderMapSvg(const QSize& size) {
    SvgCanvas c(size.width(), size.height(), font());
    mapView->renderTo(c, QSizeF(size));
    mapView->refresh();
    return c.svg();
}

QImage FrmMap::renderHistogram(const QSize& size) const {
    QImage img(size, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::white);
    QPainter p(&img);
    PainterCanvas c(p);
    histView->renderTo(c, QSizeF(size));
    return img;
}

void FrmMap::cmdOpen_Click() {
    const tk::FileChoice c = tk::toolkit().openFile({"Open Results", kResultFilter, start_folder(), ""});
    if (c.chosen()) load(c.path);
}

namespace {

QString export_name(const QString& results, const char* ext) {
    const QFileInfo f(results);
    return f.completeBaseName() + "_map." + ext;
}

void report_write(tk::FileError e, const QString& path) {
    if (e == tk::FileError::None) return;
    tk::toolkit().message("The map could not be written to " + path + ".", tk::Buttons::OK, tk::Icon::Exclamation,
                          "Export Map");
}

}  // namespace

void FrmMap::cmdExportPng_Click() {
    tk::Toolkit& t = tk::toolkit();
    const tk::FileChoice c = t.saveFile({"Export Map", "PNG Image (*.png)|*.png", folder_of(table_.path),
                                         export_name(table_.path, "png")});
    if (!c.chosen()) return;
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    renderMap(mapView->size()).save(&buffer, "PNG");
    report_write(t.writeFile(c.path, bytes), c.path);
}

void FrmMap::cmdExportSvg_Click() {
    tk::Toolkit& t = tk::toolkit();
    const tk::FileChoice c = t.saveFile({"Export Map", "SVG Drawing (*.svg)|*.svg", folder_of(table_.path),
                                         export_name(table_.path, "svg")});
    if (!c.chosen()) return;
    report_write(t.writeFile(c.path, renderMapSvg(mapView->size()).toUtf8()), c.path);
}

void FrmMap::cmdClose_Click() { close(); }
