// The results window: a result file of the engine as a map of the fit
// locations coloured by a chosen column, as a sortable table, and as a
// histogram of the chosen column.
#pragma once

#include <QImage>
#include <QWidget>

#include <memory>

#include "map_canvas.h"
#include "map_model.h"
#include "result_table.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QTabWidget;
class QTableView;

// The map on screen: draws through render_map, zooms with the wheel about
// the pointer, shifts with a drag (moving the last picture until the button
// is released), goes back to the whole extent on a double click, and tells
// which point is under the pointer.
class MapView : public QWidget {
    Q_OBJECT
public:
    explicit MapView(QWidget* parent = nullptr);
    void display(const MapModel* model, const QString& title, double aspect);
    // Redraws after a change of the model's classes, colours or mask.
    void refresh();
    MapFrame& frame() { return frame_; }
    const MapLayout& layout() const { return layout_; }
    // The point within reach of `at` (pixels), -1 when none is.
    int pointAt(const QPointF& at) const;
    // Draws the map as it is shown (zoom and shift included) on `c`.
    void renderTo(Canvas& c, const QSizeF& size);
    QSize sizeHint() const override { return QSize(640, 480); }

signals:
    void hovered(int point);

protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;
    void wheelEvent(QWheelEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;

private:
    const MapModel* model_ = nullptr;
    QString title_;
    double aspect_ = 1.0;
    MapFrame frame_;
    MapLayout layout_;
    QImage cache_;
    bool dragging_ = false;
    QPointF dragStart_, dragOffset_;
};

// The histogram on screen.
class HistogramView : public QWidget {
    Q_OBJECT
public:
    explicit HistogramView(QWidget* parent = nullptr);
    void display(const Histogram& h, const QString& title, double marker, const QString& markerLabel);
    QSize sizeHint() const override { return QSize(640, 480); }
    void renderTo(Canvas& c, const QSizeF& size) const;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    Histogram h_;
    QString title_, markerLabel_;
    double marker_ = 0;
};

// What the results window cannot learn from a comma-delimited file: the
// variables of the parameters ("Intercept" first) and whether the
// coordinates are longitude and latitude (-1: not known).
struct ResultHints {
    QStringList variables;
    int geographic = -1;
    std::vector<double> global;  // the global model's estimates, when the file has none
    double critical = 0;         // the adjusted critical |t| of the listing, 0: none
};

// The dialog filter of result files.
extern const char* const kResultFilter;

class FrmMap : public QWidget {
    Q_OBJECT
public:
    explicit FrmMap(QWidget* parent = nullptr);
    ~FrmMap() override;

    using Hints = ResultHints;

    // Loads a result file; a file that cannot be read is reported in a
    // message box and leaves the window as it was.  True when loaded.
    bool load(const QString& path, const Hints& hints = {});
    // Shows the window with the file; null when the file cannot be read.
    static FrmMap* open_results(const QString& path, const Hints& hints = {});
    // After a run: when the listing says that a result file was written,
    // finds it through the control file (records 1, 3, 5, 7, 12, 15, 16)
    // and shows it.  Paths in the control file are taken from the engine's
    // folder, where it runs.
    static void after_run(const QString& control, const QString& listing);
    // The file written for result file `outfil` and record 12 `code`, or ""
    // for a format the window does not read (ArcInfo export).
    static QString result_path(const QString& outfil, int code, const QString& folder);
    // The estimates of the global model's table in a listing (`count`
    // parameters); empty when the listing has none.
    static std::vector<double> global_estimates(const QString& listing, int count);
    // The critical |t| at the 5 % level adjusted for multiple testing in a
    // listing (the middle value of its line "Critical |t|"); 0 when the
    // listing has none.
    static double adjusted_critical(const QString& listing);

    // Selects the column named `name`; false when it cannot be mapped.
    bool pick(const QString& name);
    int pickedColumn() const;
    const ResultTable& table() const { return table_; }
    const std::vector<ColumnInfo>& columns() const { return info_; }
    const MapModel& model() const { return model_; }
    const Histogram& histogram() const { return hist_; }
    double histogramMarker() const { return marker_; }

    // The picture of the map as shown, for export and for tests.
    QImage renderMap(const QSize& size);
    QString renderMapSvg(const QSize& size);
    QImage renderHistogram(const QSize& size) const;

    // The t value below which the mask greys a location out: the critical
    // value adjusted for multiple testing at the 5 % level when the file or
    // the listing of its run gives one, else the two-sided 95 % normal value.
    double critical = 1.96;

    QTabWidget* tabResults = nullptr;
    MapView* mapView = nullptr;
    QTableView* tblResults = nullptr;
    HistogramView* histView = nullptr;
    QComboBox* cmbColumn = nullptr;
    QComboBox* cmbClassing = nullptr;  // "Quantiles", "Equal intervals"
    QSpinBox* spnClasses = nullptr;
    QCheckBox* chkMask = nullptr;      // grey out |t| below the critical value
    QCheckBox* chkLonLat = nullptr;    // "Longitude/latitude"
    QPushButton* cmdExportPng = nullptr;
    QPushButton* cmdExportSvg = nullptr;
    QPushButton* cmdOpen = nullptr;
    QPushButton* cmdClose = nullptr;
    QLabel* lblPoint = nullptr;  // the point under the pointer

public slots:
    void cmdOpen_Click();
    void cmdExportPng_Click();
    void cmdExportSvg_Click();
    void cmdClose_Click();

private:
    void fillPicker();
    void columnChanged();
    void classesChanged();
    void showPoint(int point);
    QString pickedLabel() const;
    double aspect() const;

    ResultTable table_;
    std::vector<ColumnInfo> info_;
    MapModel model_;
    Histogram hist_;
    double marker_ = 0;
    class ResultModel;
    ResultModel* tableModel_ = nullptr;
};
