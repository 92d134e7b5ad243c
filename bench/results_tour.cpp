// A tour of the front end on a real display, for the screenshots of the
// user manual: the start-up wizard, the model of the bundled example built in
// the model editor with its options, the run, the listing and the results
// window (the map of a coefficient, of its t values with the mask, the table
// and the histogram), the manual opened over it, and the run dialog during a longer run on synthetic
// data, with its progress bar.  The dialogs that would wait for a person
// (file choices, questions) are answered by the tour.  Every picture is cut
// to the windows it shows and saved with a palette of at most 256 colours.
//
//   results_tour OUTDIR      (with DISPLAY set; see scripts/screenshots.sh)
//   results_tour --time FILE (any display, offscreen too): prints the time
//                            to read a result file, to draw its map, and to
//                            draw it again after a drag
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QPlainTextEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdint>
#include <vector>

#include <cmath>
#include <cstdio>

#include "FrmManual.h"
#include "FrmMap.h"
#include "FrmResults.h"
#include "FrmRun.h"
#include "FrmTZM.h"
#include "FrmWiz.h"
#include "forms.h"
#include "frmMain.h"
#include "frmOpenData.h"
#include "frmOptions.h"
#include "toolkit/qt_toolkit.h"

namespace {

// The real toolkit, with the answers a person would give.
class TourToolkit : public tk::QtToolkit {
public:
    QString saveAs;
    tk::Answer message(const QString& text, tk::Buttons, tk::Icon, const QString& title) override {
        std::printf("message: %s: %s\n", qPrintable(title), qPrintable(text));
        // The first run's listing is shown; a stopped run's is not.
        return text == "View Listing File?" ? tk::Answer::Yes : tk::Answer::No;
    }
    tk::FileChoice saveFile(const tk::FileRequest&) override { return {saveAs, 1}; }
    tk::FileChoice openFile(const tk::FileRequest&) override { return {}; }
};

void settle(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        QApplication::processEvents();
        QThread::msleep(20);
    }
}

void assign(FrmTZM& ed, QPushButton* role, const QString& name) {
    const auto found = ed.lstAllVars->findItems(name, Qt::MatchExactly);
    if (found.isEmpty()) return;
    ed.lstAllVars->setCurrentItem(found.first());
    emit ed.lstAllVars->itemClicked(found.first());
    role->click();
}

// The picture with a palette of its 256 most frequent colours (counted on
// 5 bits a channel, each the mean of its pixels); the few other colours, the
// shades of smoothed edges, take the nearest.  Windows have few colours, so
// the picture keeps its look at a third of the size.
QImage palette8(const QImage& shot) {
    const QImage img = shot.convertToFormat(QImage::Format_RGB32);
    struct bin {
        std::int64_t n = 0, r = 0, g = 0, b = 0;
    };
    QHash<int, bin> bins;
    for (int y = 0; y < img.height(); ++y) {
        const QRgb* row = reinterpret_cast<const QRgb*>(img.constScanLine(y));
        for (int x = 0; x < img.width(); ++x) {
            const QRgb c = row[x];
            bin& b = bins[(qRed(c) >> 3) << 10 | (qGreen(c) >> 3) << 5 | (qBlue(c) >> 3)];
            ++b.n;
            b.r += qRed(c);
            b.g += qGreen(c);
            b.b += qBlue(c);
        }
    }
    std::vector<bin> all(bins.begin(), bins.end());
    std::sort(all.begin(), all.end(), [](const bin& a, const bin& b) { return a.n > b.n; });
    QList<QRgb> table;
    for (std::size_t i = 0; i < all.size() && i < 256; ++i)
        table << qRgb(int(all[i].r / all[i].n), int(all[i].g / all[i].n), int(all[i].b / all[i].n));
    return img.convertToFormat(QImage::Format_Indexed8, table, Qt::ThresholdDither | Qt::AvoidDither);
}

// The part of the screen the windows cover, saved as FILE.
bool shoot(const QString& file, std::initializer_list<QWidget*> windows) {
    settle(400);
    QRect area;
    for (QWidget* w : windows) area |= w->frameGeometry();
    const QImage shot = QGuiApplication::primaryScreen()->grabWindow(0, area.x(), area.y(), area.width(), area.height()).toImage();
    const bool ok = palette8(shot).save(file, "PNG", 0);
    std::printf("%s %s (%dx%d)\n", ok ? "saved" : "could not save", qPrintable(file), area.width(), area.height());
    return ok;
}

void place(QWidget& w, int x, int y) {
    w.move(x, y);
    w.raise();
    settle(200);
}

// A data set of n points, one per unit of area on a square, whose response
// depends on A more strongly towards the east: enough work for the run
// dialog to show its progress for some seconds.
void synthetic(const QString& path, int n) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly)) return;
    std::uint64_t state = 20261207;
    auto uniform = [&state] {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return double(state >> 11) / 9007199254740992.0;
    };
    const double side = std::sqrt(double(n));
    QByteArray text = "ID,X,Y,Z,A,B\n";
    for (int i = 1; i <= n; ++i) {
        const double x = side * uniform(), y = side * uniform(), a = uniform(), b = uniform();
        const double z = 1.0 + (1.0 + x / side) * a - 0.5 * b + 0.1 * (uniform() - 0.5);
        text += QByteArray::number(i) + ',' + QByteArray::number(x, 'f', 3) + ',' + QByteArray::number(y, 'f', 3) +
                ',' + QByteArray::number(z, 'f', 5) + ',' + QByteArray::number(a, 'f', 5) + ',' +
                QByteArray::number(b, 'f', 5) + '\n';
    }
    f.write(text);
}

}  // namespace

// Times reading a result file into the results window and drawing its map
// at the window's usual size, as a person opening it and dragging would.
int timing(const QString& file) {
    tk::QtToolkit kit;
    tk::setToolkit(&kit);
    QElapsedTimer clock;
    clock.start();
    FrmMap& w = forms::form<FrmMap>();
    if (!w.load(file)) return 1;
    const double load = clock.nsecsElapsed() / 1e6;
    const QSize size(1366, 700);
    clock.restart();
    w.renderMap(size);
    const double draw = clock.nsecsElapsed() / 1e6;
    clock.restart();
    w.mapView->frame().panBy(QPointF(40, 25));
    w.renderMap(size);
    const double again = clock.nsecsElapsed() / 1e6;
    clock.restart();
    w.pick(w.table().names.value(w.table().column("ID") + 4));
    const double repick = clock.nsecsElapsed() / 1e6;
    std::printf("%d locations, %d columns: read %.0f ms, map drawn %.0f ms, drawn after a drag %.0f ms, "
                "another column picked %.0f ms\n",
                w.table().rows(), int(w.table().names.size()), load, draw, again, repick);
    forms::unloadAll();
    tk::setToolkit(nullptr);
    return 0;
}

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc > 2 && QString(argv[1]) == "--time") return timing(argv[2]);
    const QString out = argc > 1 ? argv[1] : "shots";
    QDir().mkpath(out);
    QTemporaryDir work(QDir::tempPath() + "/gwr-XXXXXX");
    const QString folder = work.path();
    QFile::copy(QString(EXAMPLES_DIR) + "/columbus.csv", folder + "/columbus.csv");

    TourToolkit kit;
    tk::setToolkit(&kit);
    frmMain& main = forms::form<frmMain>();
    main.show();
    settle(500);
    place(main, 0, 0);

    // The start-up wizard, its first task chosen.
    if (forms::loaded<FrmWiz>()) {
        FrmWiz& wiz = forms::form<FrmWiz>();
        wiz.Option1->setChecked(true);
        place(wiz, 160, 110);
        shoot(out + "/wizard.png", {&wiz});
        wiz.close();
    }

    // The first model of the manual (the bundled example), built in the
    // editor with the files the dialogs would give.
    frmOpenData& od = forms::form<frmOpenData>();
    od.TxtOpenData->setText(folder + "/columbus.csv");
    od.ProjectPathTxt->setText(folder + "/");
    od.TxtOutput->setText(folder + "/first_model_results.csv");
    main.mnuGauss_Click();
    FrmTZM& ed = forms::form<FrmTZM>();
    assign(ed, ed.Command1, "CRIME");
    assign(ed, ed.Command3, "X");
    assign(ed, ed.Command4, "Y");
    assign(ed, ed.Command2, "INC");
    assign(ed, ed.Command2, "HOVAL");
    ed.TxtTitle->setText("Columbus crime rates: first model");
    ed.Option4->setChecked(true);
    ed.lstAllVars->clearSelection();
    place(ed, 0, 0);
    shoot(out + "/model_editor.png", {&ed});

    ed.Command6->click();
    frmOptions& opt = forms::form<frmOptions>();
    place(opt, 40, 40);
    shoot(out + "/model_options.png", {&opt});
    opt.cmdOK->click();

    kit.saveAs = folder + "/first_model.tzm";
    ed.mnuSaveAs_Click();
    settle(300);

    // Run it; the listing opens, then the results window.
    ed.Command10->click();
    FrmRun& run = forms::form<FrmRun>();
    place(run, 0, 0);
    run.Command1->click();
    QElapsedTimer clock;
    clock.start();
    while (run.running && clock.elapsed() < 120000) settle(100);
    settle(500);
    if (forms::loaded<FrmResults>()) {
        FrmResults& listing = forms::form<FrmResults>();
        listing.resize(860, 600);
        place(listing, 0, 0);
        // The local model's diagnostics in view.
        if (listing.RichTextBox1->find("TZM ESTIMATION")) listing.RichTextBox1->centerCursor();
        shoot(out + "/listing.png", {&listing});
        listing.close();
    }
    if (!forms::loaded<FrmMap>()) {
        std::printf("the results window did not open\n");
        return 1;
    }
    FrmMap& w = forms::form<FrmMap>();
    w.resize(980, 680);
    place(w, 0, 0);
    w.tabResults->setCurrentIndex(0);
    w.pick("PARM_2");
    shoot(out + "/results_map.png", {&w});

    w.pick("TVAL_2");
    w.chkMask->setChecked(true);
    shoot(out + "/results_tvalue_mask.png", {&w});

    w.tabResults->setCurrentIndex(1);
    shoot(out + "/results_table.png", {&w});

    w.chkMask->setChecked(false);
    w.pick("PARM_2");
    w.tabResults->setCurrentIndex(2);
    shoot(out + "/results_histogram.png", {&w});

    // F1 over the results window: the manual on its page.
    FrmManual& manual = FrmManual::openFor(&w);
    manual.resize(860, 560);
    place(manual, 0, 0);
    manual.showPage("front-end.md#the-results-window");
    shoot(out + "/manual.png", {&manual});
    manual.close();
    w.close();

    // A longer run: 20 000 points, adaptive kernel, AICc search.  The run
    // dialog during the search, then the run is stopped.
    synthetic(folder + "/large.csv", 20000);
    QFile control(folder + "/large.tzm");
    if (control.open(QIODevice::WriteOnly))
        control.write("large.csv\n\nlarge_results.csv\n4\n2,3,0\n20 000 synthetic points\nFFFFTT\nvaa\n0\n"
                      "0\n0\n1\n0\n0\n2\n1\n");
    control.close();
    run.TxtInput->setText(folder + "/large.tzm");
    run.TxtOutput->setText(FrmRun::listing_for(folder + "/large.tzm"));
    place(run, 0, 0);
    run.Command1->click();
    clock.restart();
    while (run.running && clock.elapsed() < 4500) settle(100);
    if (run.running) {
        shoot(out + "/run_progress.png", {&run});
        run.CmdStop->click();
    } else {
        std::printf("the longer run ended before its picture\n");
    }
    settle(300);

    // A run that fails: its data file is missing.  The dialog says so and
    // the engine's line goes to the message (printed above by the toolkit).
    QFile bad(folder + "/bad.tzm");
    if (bad.open(QIODevice::WriteOnly))
        bad.write("nosuch.csv\n\n\n4\n2,3,0\nA missing data file\nFFFFTT\nvnn\n20\n0\n0\n0\n0\n0\n2\n1\n");
    bad.close();
    run.TxtInput->setText(folder + "/bad.tzm");
    run.TxtOutput->setText(FrmRun::listing_for(folder + "/bad.tzm"));
    run.Command1->click();
    clock.restart();
    while (run.running && clock.elapsed() < 5000) settle(100);
    settle(200);
    shoot(out + "/run_failed.png", {&run});

    forms::unloadAll();
    tk::setToolkit(nullptr);
    return 0;
}
