// The results window on the bundled example's results, drawn offscreen:
// the classes, colours and mask behind the map, the map and histogram in
// pixels, the table, the exports, and the ways the window opens.
#include "fe2_support.h"

#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QMouseEvent>
#include <QPainter>
#include <QProcess>
#include <QRandomGenerator>
#include <QSortFilterProxyModel>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableView>
#include <QThread>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>

#include <algorithm>
#include <cmath>

#include "FrmMap.h"

namespace {

using tk::Answer;

// The bundled example run once by the built engine into a result file of
// each readable format.
class ExampleResults {
public:
    static ExampleResults& get() {
        static ExampleResults r;
        return r;
    }
    QString gpkg, csv, mif;

private:
    ExampleResults() {
        QFile::copy(QString(EXAMPLES_DIR) + "/columbus.csv", dir.path() + "/columbus.csv");
        gpkg = run(4, "gpkg");
        csv = run(1, "csv");
        mif = run(3, "mif");
    }
    QString run(int code, const QString& ext) {
        QFile in(QString(EXAMPLES_DIR) + "/gaussian.tzm");
        in.open(QIODevice::ReadOnly);
        QStringList rec = QString::fromUtf8(in.readAll()).split('\n');
        rec[2] = "example." + ext;
        rec[11] = QString::number(code);
        const QString ctl = dir.path() + "/example_" + ext + ".tzm";
        QFile out(ctl);
        out.open(QIODevice::WriteOnly);
        out.write(rec.join('\n').toUtf8());
        out.close();
        QProcess p;
        p.setWorkingDirectory(dir.path());
        p.setStandardInputFile(ctl);
        p.setStandardOutputFile(dir.path() + "/example_" + ext + ".txt");
        p.start(TZM_EXE, {});
        p.waitForFinished(60000);
        return dir.path() + "/example." + ext;
    }
    QTemporaryDir dir;
};

class ResultsWindow : public Fe2 {
protected:
    const ExampleResults& ex = ExampleResults::get();
    FrmMap& win() { return forms::form<FrmMap>(); }
    // Loads the example's GeoPackage.
    FrmMap& loaded() {
        EXPECT_TRUE(win().load(ex.gpkg)) << t.texts().join("\n").toStdString();
        return win();
    }
    const std::vector<double>& col(const QString& name) {
        const int c = win().table().column(name);
        EXPECT_GE(c, 0) << name.toStdString();
        return win().table().cols[c];
    }
};

// The k/n quantile interpolated between order statistics, computed here.
double quantile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    const double h = (v.size() - 1) * p;
    const std::size_t j = std::size_t(std::floor(h));
    return j + 1 < v.size() ? v[j] + (h - j) * (v[j + 1] - v[j]) : v[j];
}

QColor pixel(const QImage& img, const QPointF& p) { return img.pixelColor(int(std::floor(p.x())), int(std::floor(p.y()))); }

}  // namespace

TEST_F(ResultsWindow, ReadsTheThreeFormatsAlikeAndNamesTheColumnsForPeople) {
    ResultTable g, c, m;
    QString error;
    ASSERT_TRUE(read_results(ex.gpkg, g, error)) << error.toStdString();
    ASSERT_TRUE(read_results(ex.csv, c, error)) << error.toStdString();
    ASSERT_TRUE(read_results(ex.mif, m, error)) << error.toStdString();
    ASSERT_EQ(g.rows(), 49);
    ASSERT_EQ(c.rows(), 49);
    ASSERT_EQ(m.rows(), 49);
    EXPECT_FALSE(g.geographic);
    EXPECT_EQ(g.names.mid(0, 6), (QStringList{"ID", "X coordinate", "Y coordinate", "Intercept", "Intercept_SE",
                                              "Intercept_T"}));
    ASSERT_EQ(g.global.size(), 3u);  // the global model's estimates
    // The same numbers in every format: the text file rounds them to 9
    // digits, the MapInfo file keeps them but not the t values.
    for (const auto& [gn, cn] : std::vector<std::pair<QString, QString>>{
             {"INC", "PARM_2"}, {"HOVAL_SE", "SVAL_3"}, {"INC_T", "TVAL_2"}, {"LOCRSQ", "LOCRSQ"}, {"ID", "ID"}})
        for (int i = 0; i < 49; ++i) {
            const double v = g.cols[g.column(gn)][i];
            EXPECT_NEAR(c.cols[c.column(cn)][i], v, 1e-8 * std::fabs(v)) << gn.toStdString() << " row " << i;
            if (!cn.startsWith("TVAL")) {
                EXPECT_EQ(m.cols[m.column(cn)][i], v) << cn.toStdString();
            }
        }
    for (int i = 0; i < 49; ++i) {
        EXPECT_NEAR(c.x[i], g.x[i], 1e-5);  // single precision in the text file
        EXPECT_EQ(float(m.y[i]), float(g.y[i]));
    }

    // What the picker offers: the variable's name and the kind of value;
    // the numbered names take the names given with the file.
    auto labels = [](const ResultTable& t, const QStringList& vars) {
        const std::vector<ColumnInfo> info = classify_columns(t.names, vars);
        QStringList out;
        for (int k = 0; k < t.names.size(); ++k) out << column_label(info[k], t.names[k]);
        return out;
    };
    const QStringList fromGpkg = labels(g, {});
    EXPECT_TRUE(fromGpkg.contains("INC: estimate"));
    EXPECT_TRUE(fromGpkg.contains("HOVAL: standard error"));
    EXPECT_TRUE(fromGpkg.contains("INC: t value"));
    EXPECT_TRUE(fromGpkg.contains(QString::fromUtf8("Local R\u00b2")));
    EXPECT_TRUE(fromGpkg.contains("Condition number"));
    EXPECT_TRUE(labels(c, {"Intercept", "INC", "HOVAL"}).contains("INC: t value"));
    EXPECT_TRUE(labels(c, {}).contains("PARM_2: estimate"));
    // Each estimate knows its t value, in both namings.
    const std::vector<ColumnInfo> gi = classify_columns(g.names), ci = classify_columns(c.names);
    EXPECT_EQ(gi[g.column("INC")].tcol, g.column("INC_T"));
    EXPECT_EQ(gi[g.column("INC_SE")].tcol, g.column("INC_T"));
    EXPECT_EQ(gi[g.column("INC")].parameter, 1);
    EXPECT_EQ(ci[c.column("PARM_3")].tcol, c.column("TVAL_3"));
    EXPECT_EQ(gi[g.column("LOCRSQ")].tcol, -1);
    // Descriptive names, and a variable called like a fixed column.
    const std::vector<ColumnInfo> d =
        classify_columns({"ID", "X_MEAN", "X_VAR", "X_SD", "OBS", "OBS_SE", "OBS_T", "MEAN_1", "VAR__1"});
    EXPECT_EQ(d[1].kind, ColumnKind::Mean);
    EXPECT_EQ(d[1].variable, "X");
    EXPECT_EQ(d[3].kind, ColumnKind::StdDev);
    EXPECT_EQ(d[4].kind, ColumnKind::Estimate);
    EXPECT_EQ(d[8].kind, ColumnKind::Variance);

    // The list-directed forms of the engine's text files, line ends of
    // either kind.
    ASSERT_TRUE(read_results(write("forms.csv", "ID,FITX,FITY,PARM_1\r\n 7, 0., 2.5E-03,-1.\r\n\n 8, 1.25,-3.,\n"), g,
                             error));
    EXPECT_EQ(g.cols[0], (std::vector<double>{7, 8}));
    EXPECT_EQ(g.x, (std::vector<double>{0, 1.25}));
    EXPECT_EQ(g.y, (std::vector<double>{2.5e-3, -3}));
    EXPECT_EQ(g.cols[3][0], -1.0);
    EXPECT_TRUE(std::isnan(g.cols[3][1]));

    // Files that cannot be read say why.
    EXPECT_FALSE(read_results(path("none.gpkg"), g, error));
    EXPECT_FALSE(read_results(write("bad.csv", "ID,A\n1,2,3\n"), g, error));
    EXPECT_TRUE(error.contains("Line 2")) << error.toStdString();
}

// Markers of "no value" do not enter the classes.
TEST_F(ResultsWindow, MarkersAreNoValues) {
    ResultTable t;
    t.names = {"ID", "STDRES", "OBS", "RESID"};
    t.cols = {{1, 2, 3}, {-999, 0.5, -1}, {-1, -1, -1}, {-1, 0.2, 0.3}};
    t.x = {0, 1, 2};
    t.y = {0, 1, 2};
    const std::vector<ColumnInfo> info = classify_columns(t.names);
    const std::vector<double> s = mapped_values(t, 1, info[1]);
    EXPECT_TRUE(std::isnan(s[0]));
    EXPECT_EQ(s[2], -1.0);  // a standardised residual may be -1
    for (double v : mapped_values(t, 2, info[2])) EXPECT_TRUE(std::isnan(v));  // locations elsewhere
    EXPECT_EQ(mapped_values(t, 3, info[3])[0], -1.0);
}

TEST_F(ResultsWindow, ClassesPaletteAndMaskOfTheExample) {
    FrmMap& w = loaded();
    // The first variable's estimate is picked at first.
    EXPECT_EQ(w.pickedColumn(), w.table().column("INC"));
    EXPECT_EQ(w.cmbColumn->currentText(), "INC: estimate");
    const std::vector<double> inc = col("INC");
    const MapModel& m = w.model();

    // Quantiles: the 0.2, 0.4, ... quantiles of the estimates, computed here.
    ASSERT_EQ(m.classes(), 5);
    const double lo = *std::min_element(inc.begin(), inc.end()), hi = *std::max_element(inc.begin(), inc.end());
    EXPECT_EQ(m.breaks().front(), lo);
    EXPECT_EQ(m.breaks().back(), hi);
    for (int k = 1; k < 5; ++k) EXPECT_DOUBLE_EQ(m.breaks()[k], quantile(inc, k / 5.0));
    std::vector<int> per(5);
    for (int i = 0; i < 49; ++i) {
        const int k = m.classOf(i);
        ASSERT_GE(k, 0);
        EXPECT_GE(inc[i], m.breaks()[k]);
        EXPECT_LE(inc[i], m.breaks()[k + 1]);
        ++per[k];
    }
    for (int n : per) EXPECT_NEAR(n, 49 / 5.0, 1.01);
    // The estimates are all negative: the diverging palette runs from its
    // dark blue end (the class farthest from 0) towards its light middle.
    ASSERT_LT(hi, 0);
    EXPECT_EQ(m.classColors().front(), diverging_color(-1));
    EXPECT_EQ(m.classColors().front(), QColor(5, 48, 97));
    for (int k = 1; k < 5; ++k) EXPECT_GT(m.classColors()[k].lightness(), m.classColors()[k - 1].lightness());

    // Equal intervals.
    w.cmbClassing->setCurrentIndex(1);
    w.spnClasses->setValue(4);
    ASSERT_EQ(m.classes(), 4);
    for (int k = 0; k <= 4; ++k) EXPECT_DOUBLE_EQ(m.breaks()[k], lo + (hi - lo) * k / 4);

    // A sequential palette for the local R-square: light yellow to dark blue.
    ASSERT_TRUE(w.pick("LOCRSQ"));
    EXPECT_FALSE(w.chkMask->isEnabled());
    EXPECT_EQ(m.classColors().front(), QColor(255, 255, 204));
    EXPECT_EQ(m.classColors().back(), QColor(37, 52, 148));

    // The mask greys out the locations whose |t| is below the critical
    // value adjusted for multiple testing that the file keeps: the run's
    // listing gives the same.
    QFile listing(QFileInfo(ex.gpkg).path() + "/example_gpkg.txt");
    ASSERT_TRUE(listing.open(QIODevice::ReadOnly));
    const double adjusted = FrmMap::adjusted_critical(QString::fromUtf8(listing.readAll()));
    EXPECT_NEAR(adjusted, 2.662815, 1e-12);
    EXPECT_NEAR(w.critical, adjusted, 5e-7);
    ASSERT_TRUE(w.pick("HOVAL"));
    EXPECT_TRUE(w.chkMask->isEnabled());
    w.chkMask->setChecked(true);
    EXPECT_EQ(w.chkMask->text(), "Grey out |t| < 2.663");
    const std::vector<double> t = col("HOVAL_T");
    int weak = 0;
    for (double v : t) weak += std::fabs(v) < w.critical;
    ASSERT_GT(weak, 0);
    ASSERT_LT(weak, 49);
    EXPECT_EQ(m.maskedCount(), weak);
    EXPECT_EQ(m.legend().back().label, "|t| < 2.663");
    // The critical value is the window's to set.
    w.critical = 3.0;
    w.spnClasses->setValue(5);
    int weaker = 0;
    for (double v : t) weaker += std::fabs(v) < 3.0;
    EXPECT_EQ(m.maskedCount(), weaker);
}

TEST_F(ResultsWindow, MapOfTheExampleInPixels) {
    FrmMap& w = loaded();
    ASSERT_TRUE(w.pick("HOVAL"));
    w.chkMask->setChecked(true);
    const QImage img = w.renderMap(QSize(900, 600));
    const MapModel& m = w.model();
    const MapLayout& lay = w.mapView->layout();

    // Every location is drawn where its coordinates put it, in its class's
    // colour or the mask's grey; east is right and north is up.
    int grey = 0;
    for (int i = 0; i < m.count(); ++i) {
        const QPointF p = w.mapView->frame().toScreen(m.x(i), m.y(i));
        EXPECT_TRUE(lay.plot.contains(p));
        EXPECT_EQ(pixel(img, p), m.colorOf(i)) << "location " << i + 1;
        grey += pixel(img, p) == masked_color();
    }
    EXPECT_EQ(grey, m.maskedCount());
    const int east = int(std::max_element(w.table().x.begin(), w.table().x.end()) - w.table().x.begin());
    const int north = int(std::max_element(w.table().y.begin(), w.table().y.end()) - w.table().y.begin());
    for (int i = 0; i < m.count(); ++i) {
        EXPECT_LE(w.mapView->frame().toScreen(m.x(i), m.y(i)).x(), w.mapView->frame().toScreen(m.x(east), 0).x());
        EXPECT_GE(w.mapView->frame().toScreen(0, m.y(i)).y(), w.mapView->frame().toScreen(0, m.y(north)).y());
    }
    // The extent fills the plot in one direction at least.
    const QPointF a = w.mapView->frame().toScreen(m.bounds().left(), m.bounds().top());
    const QPointF b = w.mapView->frame().toScreen(m.bounds().right(), m.bounds().bottom());
    EXPECT_TRUE(std::fabs(b.x() - a.x()) > lay.plot.width() - 20 || std::fabs(b.y() - a.y()) > lay.plot.height() - 20);
    // Equal units on both axes for Cartesian coordinates.
    EXPECT_NEAR(std::fabs(b.x() - a.x()) / m.bounds().width(), std::fabs(b.y() - a.y()) / m.bounds().height(), 1e-9);

    // The legend: the classes from the lowest at the top, then the grey.
    const std::vector<LegendEntry> legend = m.legend();
    ASSERT_EQ(lay.swatches.size(), legend.size());
    ASSERT_EQ(legend.size(), std::size_t(m.classes() + 1));
    for (std::size_t k = 0; k < legend.size(); ++k) {
        EXPECT_EQ(pixel(img, lay.swatches[k].center()), legend[k].color) << "entry " << k;
        if (k > 0) {
            EXPECT_GT(lay.swatches[k].top(), lay.swatches[k - 1].top());
        }
        if (int(k) < m.classes()) {
            EXPECT_EQ(legend[k].color, m.classColors()[k]);
            EXPECT_TRUE(legend[k].label.startsWith(short_number(m.breaks()[k]) + " ")) << legend[k].label.toStdString();
        }
    }
    EXPECT_EQ(legend.back().color, masked_color());
    EXPECT_TRUE(lay.legend.left() > lay.plot.right());
}

TEST_F(ResultsWindow, LongitudeAndLatitudeKeepTheAspectOfTheMeanLatitude) {
    // Most points near 60 degrees north, one far south: the mean latitude
    // decides, not the middle of the extent.
    MapModel m;
    m.setData({10, 11, 12, 10}, {60, 60, 60, 44}, {1, 2, 3, 4}, {}, false);
    EXPECT_EQ(m.meanY(), 56.0);
    const QRectF data(QPointF(10, 59), QPointF(12, 61));
    MapFrame f;
    f.fit(data, QRectF(0, 0, 400, 400), map_aspect(60, true));
    const QPointF o = f.toScreen(10, 59), e = f.toScreen(11, 59), n = f.toScreen(10, 60);
    EXPECT_NEAR((e - o).x() / (o - n).y(), 0.5, 1e-12);
    EXPECT_NEAR(map_aspect(m.meanY(), true), std::cos(56 * M_PI / 180), 1e-15);
    EXPECT_EQ(map_aspect(m.meanY(), false), 1.0);
    // Zooming about a point keeps that point; a drag shifts everything.
    const QPointF at(123, 77);
    const QPointF under = f.toData(at);
    f.zoomAt(at, 2.5);
    EXPECT_NEAR(f.toScreen(under.x(), under.y()).x(), at.x(), 1e-9);
    EXPECT_NEAR(f.toScreen(under.x(), under.y()).y(), at.y(), 1e-9);
    const QPointF before = f.toScreen(11, 60);
    f.panBy(QPointF(30, -12));
    EXPECT_NEAR((f.toScreen(11, 60) - before).x(), 30, 1e-9);
    EXPECT_NEAR((f.toScreen(11, 60) - before).y(), -12, 1e-9);
    f.reset();
    EXPECT_NEAR(f.toScreen(11, 60).x(), 200, 1e-9);
}

TEST_F(ResultsWindow, WheelDragAndHoverOnTheView) {
    FrmMap& w = loaded();
    w.show();
    w.tabResults->setCurrentIndex(0);
    w.mapView->resize(800, 600);
    w.renderMap(w.mapView->size());  // lays the view out
    const MapModel& m = w.model();
    const int i = 7;
    QPointF p = w.mapView->frame().toScreen(m.x(i), m.y(i));

    // Hover: the value of the point under the pointer.
    QMouseEvent move(QEvent::MouseMove, p, w.mapView->mapToGlobal(p), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(w.mapView, &move);
    const QString id = QString::number(w.table().cols[w.table().column("ID")][i]);
    EXPECT_TRUE(w.lblPoint->text().startsWith("ID " + id + " ")) << w.lblPoint->text().toStdString();
    EXPECT_TRUE(w.lblPoint->text().contains("INC: estimate = " + QString::number(m.value(i), 'g', 8)));

    // The wheel zooms about the pointer: the point stays under it.
    QWheelEvent wheel(p, w.mapView->mapToGlobal(p), QPoint(), QPoint(0, 240), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(w.mapView, &wheel);
    EXPECT_NEAR(w.mapView->frame().zoom(), 1.5625, 1e-12);
    const QPointF q = w.mapView->frame().toScreen(m.x(i), m.y(i));
    EXPECT_NEAR(q.x(), p.x(), 1e-6);
    EXPECT_NEAR(q.y(), p.y(), 1e-6);

    // A drag shifts the map by the pointer's way.
    QMouseEvent press(QEvent::MouseButtonPress, p, w.mapView->mapToGlobal(p), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(w.mapView, &press);
    const QPointF to = p + QPointF(40, 25);
    QMouseEvent drag(QEvent::MouseMove, to, w.mapView->mapToGlobal(to), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w.mapView, &drag);
    QMouseEvent release(QEvent::MouseButtonRelease, to, w.mapView->mapToGlobal(to), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(w.mapView, &release);
    const QPointF r = w.mapView->frame().toScreen(m.x(i), m.y(i));
    EXPECT_NEAR(r.x(), to.x(), 1e-6);
    EXPECT_NEAR(r.y(), to.y(), 1e-6);
    EXPECT_EQ(w.mapView->pointAt(to), i);
}

TEST_F(ResultsWindow, TableSortsByNumber) {
    FrmMap& w = loaded();
    QAbstractItemModel* model = w.tblResults->model();
    ASSERT_EQ(model->rowCount(), 49);
    ASSERT_EQ(model->columnCount(), w.table().names.size());
    const int c = w.table().column("INC");
    EXPECT_EQ(model->headerData(c, Qt::Horizontal).toString(), "INC");
    w.tblResults->sortByColumn(c, Qt::DescendingOrder);
    std::vector<double> inc = col("INC");
    std::sort(inc.begin(), inc.end(), std::greater<>());
    for (int r = 0; r < 49; ++r) EXPECT_EQ(model->data(model->index(r, c), Qt::UserRole).toDouble(), inc[r]);
    EXPECT_EQ(model->data(model->index(0, c)).toString(), QString::number(inc[0], 'g', 10));
}

TEST_F(ResultsWindow, HistogramMarksTheGlobalEstimate) {
    FrmMap& w = loaded();
    ASSERT_TRUE(w.pick("INC"));
    const Histogram& h = w.histogram();
    int total = 0;
    for (int n : h.counts) total += n;
    EXPECT_EQ(total, 49);
    EXPECT_EQ(h.counts.size(), 7u);  // the square root of 49
    EXPECT_EQ(w.histogramMarker(), w.table().global[1]);
    EXPECT_LE(h.edges.front(), w.histogramMarker());
    EXPECT_GE(h.edges.back(), w.histogramMarker());
    // The dashed red line stands at the global estimate.
    const QImage img = w.renderHistogram(QSize(700, 400));
    QImage probe(700, 400, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&probe);
    PainterCanvas canvas(painter);
    const QRectF plot = render_histogram(canvas, h, QSizeF(700, 400), "x", w.histogramMarker(), "g");
    painter.end();
    const double x = histogram_x(h, plot, w.histogramMarker());
    int red = 0;
    for (int y = int(plot.top()); y < int(plot.bottom()); ++y) {
        const QColor c = img.pixelColor(int(std::floor(x)), y);
        red += c.red() > 150 && c.green() < 100 && c.blue() < 100;
    }
    EXPECT_GT(red, plot.height() / 3);
    // Other columns have no global value.
    ASSERT_TRUE(w.pick("LOCRSQ"));
    EXPECT_TRUE(std::isnan(w.histogramMarker()));
}

TEST_F(ResultsWindow, ExportsThePngAndSvgOfTheMapAsShown) {
    FrmMap& w = loaded();
    w.mapView->resize(640, 480);
    t.choose(path("map.png"));
    w.cmdExportPng->click();
    EXPECT_EQ(t.dialogs.back().request.fileName, "example_map.png");
    QImage png;
    ASSERT_TRUE(png.load(path("map.png")));
    EXPECT_EQ(png.size(), QSize(640, 480));
    EXPECT_EQ(png.pixelColor(w.mapView->layout().swatches[0].center().toPoint()), w.model().classColors()[0]);

    t.choose(path("map.svg"));
    w.cmdExportSvg->click();
    const QString svg = QString::fromUtf8(read(path("map.svg")));
    EXPECT_TRUE(svg.startsWith("<?xml"));
    EXPECT_EQ(svg.count("<circle "), 49);
    for (const QColor& c : w.model().classColors()) EXPECT_TRUE(svg.contains("fill=\"" + c.name() + "\""));
    EXPECT_TRUE(svg.contains(">INC: estimate</text>"));
    EXPECT_TRUE(svg.trimmed().endsWith("</svg>"));
}

TEST_F(ResultsWindow, ResultFileOfARun) {
    EXPECT_EQ(FrmMap::result_path("/d/est.csv", 1, "/opt"), "/d/est.csv");
    EXPECT_EQ(FrmMap::result_path("/d/est.csv", 4, "/opt"), "/d/est.gpkg");
    EXPECT_EQ(FrmMap::result_path("/d.v2/est", 4, "/opt"), "/d.v2/est.gpkg");
    EXPECT_EQ(FrmMap::result_path("est.txt", 3, "/opt"), "/opt/est.mif");
    EXPECT_EQ(FrmMap::result_path("est.txt", 7, "/opt"), "/opt/est.mif");
    EXPECT_EQ(FrmMap::result_path("", 3, "/opt"), "/opt/mapinfo.mif");
    EXPECT_EQ(FrmMap::result_path("/d/est.e00", 2, "/opt"), "");
    EXPECT_EQ(FrmMap::result_path("/d/est.csv", 0, "/opt"), "");
}

// The model editor offers the format and reads it back; the run of the
// bundled example from the front end ends in the results window.
TEST_F(ResultsWindow, GeoPackageFromTheEditorToTheResultsWindow) {
    t.folder = QFileInfo(TZM_EXE).absolutePath();
    t.realProcesses = true;
    QFile::copy(QString(EXAMPLES_DIR) + "/columbus.csv", path("columbus.csv"));
    od().TxtOpenData->setText(path("columbus.csv"));
    od().ProjectPathTxt->setText(dir.path() + "/");
    od().TxtOutput->setText(path("est.gpkg"));
    main().mnuGauss_Click();
    assign(ed().lstAllVars, ed().Command1, "CRIME");
    assign(ed().lstAllVars, ed().Command3, "X");
    assign(ed().lstAllVars, ed().Command4, "Y");
    assign(ed().lstAllVars, ed().Command2, "INC");
    assign(ed().lstAllVars, ed().Command2, "HOVAL");
    ed().TxtTitle->setText("Columbus to a GeoPackage");
    ed().OptionGpkg->setChecked(true);
    t.choose(path("model.tzm"));
    ed().mnuSaveAs_Click();
    const QStringList rec = QString::fromUtf8(read(path("model.tzm"))).split("\r\n");
    ASSERT_GE(rec.size(), 16);
    EXPECT_EQ(rec[2], path("est.gpkg"));
    EXPECT_EQ(rec[11], "4");

    // Read back into a fresh editor.
    ed().Option7->setChecked(true);
    t.choose(path("model.tzm"));
    main().mnuOpenModel_Click();
    EXPECT_TRUE(ed().OptionGpkg->isChecked());

    // The descriptive statistics editor reads the format back too.
    t.choose(write("d.tzm", crlf({path("columbus.csv"), "", path("d.gpkg"), "0", "2,3,0", "d", "FFFFTTFFFFFFF", "f",
                                  "5", "0", "0", "4", "0", "0", "1", "1"})));
    main().mnuOpenDescr_Click();
    EXPECT_TRUE(de().OptionGpkg->isChecked());

    // Run it: the listing question, then the results window on the file.
    t.clearLog();
    ed().Command10->click();
    run().TxtOutput->setText(path("listing.txt"));
    t.answers = {Answer::No};
    run().Command1->click();
    QElapsedTimer clock;
    clock.start();
    while (run().running && clock.elapsed() < 60000) {
        QThread::msleep(50);
        QCoreApplication::processEvents();
        run().Timer1_Timer();
    }
    EXPECT_EQ(t.texts(), QStringList{"View Listing File?"});
    ASSERT_TRUE(forms::loaded<FrmMap>());
    EXPECT_TRUE(win().isVisible());
    EXPECT_EQ(win().table().path, path("est.gpkg"));
    EXPECT_EQ(win().cmbColumn->currentText(), "INC: estimate");
    EXPECT_FALSE(win().chkLonLat->isChecked());
}

TEST_F(ResultsWindow, OpenedFromTheMenuWithTheVariablesOfARun) {
    t.choose(ex.csv);
    main().mnuOpenResults->trigger();
    ASSERT_TRUE(forms::loaded<FrmMap>());
    EXPECT_EQ(t.dialogs.back().request.title, "Open Results");
    EXPECT_EQ(win().cmbColumn->currentText(), "PARM_2: estimate");
    EXPECT_TRUE(win().chkMask->isEnabled());
    EXPECT_EQ(win().critical, 1.96);  // a text file keeps no critical value

    // A run's control file names the parameters of its text file.
    const QString listing = write("l.txt", " ** Results written to .txt file\n");
    const QString ctl = write("m.tzm", crlf({QString(EXAMPLES_DIR) + "/columbus.csv", "", ex.csv, "4", "2,3,0", "t",
                                             "FFFFTTFFFFFFF", "faa", "0", "1", "1", "1", "0", "1", "2", "2"}));
    FrmMap::after_run(ctl, listing);
    EXPECT_EQ(win().cmbColumn->currentText(), "INC: estimate");
    EXPECT_TRUE(win().chkLonLat->isChecked());  // record 16: spherical
    EXPECT_TRUE(std::isnan(win().histogramMarker()));  // that listing has no global model

    // The run's own listing gives the global estimates (to its 12 decimals).
    FrmMap::after_run(ctl, QFileInfo(ex.csv).path() + "/example_csv.txt");
    ResultTable g;
    QString error;
    ASSERT_TRUE(read_results(ex.gpkg, g, error));
    ASSERT_EQ(win().table().global.size(), 3u);
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(win().table().global[k], g.global[k], 5e-13);
    EXPECT_EQ(win().histogramMarker(), win().table().global[1]);
    // ... and the critical |t| adjusted for multiple testing at 5 %.
    EXPECT_EQ(win().critical, 2.662815);
    EXPECT_EQ(FrmMap::adjusted_critical("Critical |t|   2.1\n"), 0.0);
    const QString glm = "Parameter     Estimate      Std Err\n--------- ------------ ------------\n"
                        "Intercept        6.211        1.730\n INC            -0.316        0.110\n";
    EXPECT_EQ(FrmMap::global_estimates(glm, 2), (std::vector<double>{6.211, -0.316}));
    EXPECT_TRUE(FrmMap::global_estimates(glm, 3).empty());

    // Names without a folder are found where the engine ran them, in the
    // control file's folder, not in the program's.
    QFile::copy(ex.csv, path("relative.csv"));
    QFile::copy(QString(EXAMPLES_DIR) + "/columbus.csv", path("columbus.csv"));
    t.folder = QFileInfo(TZM_EXE).absolutePath();
    FrmMap::after_run(write("r.tzm", crlf({"columbus.csv", "", "relative.csv", "4", "2,3,0", "t", "FFFFTTFFFFFFF",
                                           "faa", "0", "1", "1", "1", "0", "1", "2", "1"})),
                      listing);
    EXPECT_EQ(win().table().path, path("relative.csv"));
    EXPECT_EQ(win().cmbColumn->currentText(), "INC: estimate");

    // Without the listing's line nothing opens; an unreadable file says so.
    win().close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    FrmMap::after_run(ctl, write("l2.txt", "no results\n"));
    EXPECT_FALSE(forms::loaded<FrmMap>());
    EXPECT_EQ(FrmMap::open_results(write("empty.csv", "")), nullptr);
    EXPECT_EQ(t.titles().back(), "Open Results");
}

// Not a check of speed: the time to draw a result of 80 000 locations, and
// to move the picture while the map is dragged, printed for the record.
TEST_F(ResultsWindow, TimingOfEightyThousandLocations) {
    const int n = 80000;
    std::vector<double> x(n), y(n), v(n), tv(n);
    QRandomGenerator rng(42);
    for (int i = 0; i < n; ++i) {
        x[i] = rng.generateDouble() * 280;
        y[i] = rng.generateDouble() * 280;
        v[i] = std::sin(x[i] / 40) + std::cos(y[i] / 50);
        tv[i] = v[i] * 3;
    }
    MapModel m;
    QElapsedTimer clock;
    clock.start();
    m.setData(x, y, v, tv, true);
    m.setClassing(Classing::Quantiles, 7);
    m.setMask(true, 1.96);
    const qint64 classify = clock.nsecsElapsed();
    QImage img(1200, 800, QImage::Format_ARGB32_Premultiplied);
    MapFrame f;
    clock.restart();
    {
        QPainter p(&img);
        PainterCanvas c(p);
        render_map(c, m, f, QSizeF(img.size()), "test", 1.0);
    }
    const qint64 draw = clock.nsecsElapsed();
    clock.restart();
    QImage screen(img.size(), img.format());
    for (int k = 0; k < 20; ++k) {
        QPainter p(&screen);
        p.drawImage(QPointF(k, k), img);
    }
    const qint64 drag = clock.nsecsElapsed() / 20;
    std::printf("[ timing   ] 80000 locations: classes %.1f ms, map drawn in %.1f ms, a drag step %.2f ms\n",
                classify / 1e6, draw / 1e6, drag / 1e6);
    EXPECT_EQ(m.maskedCount() + m.missingCount() > 0, true);
}
