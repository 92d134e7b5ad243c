// A tour of the results window on a real display, for screenshots: builds
// the bundled example's model in the model editor with GeoPackage output,
// runs the engine from the run dialog, and photographs the screen once the
// results window has opened: the map of a coefficient, of its t values with
// the mask, the table and the histogram.  The dialogs that would wait for a
// person (file choices, questions) are answered by the tour.
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
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>

#include "FrmMap.h"
#include "FrmRun.h"
#include "FrmTZM.h"
#include "FrmWiz.h"
#include "forms.h"
#include "frmMain.h"
#include "frmOpenData.h"
#include "toolkit/qt_toolkit.h"

namespace {

// The real toolkit, with the answers a person would give.
class TourToolkit : public tk::QtToolkit {
public:
    QString saveAs;
    tk::Answer message(const QString& text, tk::Buttons, tk::Icon, const QString& title) override {
        std::printf("message: %s: %s\n", qPrintable(title), qPrintable(text));
        return tk::Answer::No;  // "View Listing File?": the results window is what the tour shows
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

bool shoot(const QString& file) {
    settle(400);
    const bool ok = QGuiApplication::primaryScreen()->grabWindow(0).save(file, "PNG");
    std::printf("%s %s\n", ok ? "saved" : "could not save", qPrintable(file));
    return ok;
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
    QTemporaryDir work;
    QFile::copy(QString(EXAMPLES_DIR) + "/columbus.csv", work.path() + "/columbus.csv");

    TourToolkit kit;
    tk::setToolkit(&kit);
    frmMain& main = forms::form<frmMain>();
    main.show();
    settle(500);
    if (forms::loaded<FrmWiz>()) forms::form<FrmWiz>().close();

    // The model of examples/gaussian.tzm, built in the editor.
    frmOpenData& od = forms::form<frmOpenData>();
    od.TxtOpenData->setText(work.path() + "/columbus.csv");
    od.ProjectPathTxt->setText(work.path() + "/");
    od.TxtOutput->setText(work.path() + "/columbus_results.gpkg");
    main.mnuGauss_Click();
    FrmTZM& ed = forms::form<FrmTZM>();
    assign(ed, ed.Command1, "CRIME");
    assign(ed, ed.Command3, "X");
    assign(ed, ed.Command4, "Y");
    assign(ed, ed.Command2, "INC");
    assign(ed, ed.Command2, "HOVAL");
    ed.TxtTitle->setText("Columbus crime rates: CRIME on INC and HOVAL");
    ed.OptionGpkg->setChecked(true);
    kit.saveAs = work.path() + "/columbus.tzm";
    ed.mnuSaveAs_Click();
    settle(300);

    // Run it from the run dialog and wait for the results window.
    ed.Command10->click();
    FrmRun& run = forms::form<FrmRun>();
    run.TxtOutput->setText(work.path() + "/columbus listing.txt");
    run.Command1->click();
    QElapsedTimer clock;
    clock.start();
    while (run.running && clock.elapsed() < 120000) settle(100);
    settle(500);
    if (!forms::loaded<FrmMap>()) {
        std::printf("the results window did not open\n");
        return 1;
    }
    FrmMap& w = forms::form<FrmMap>();
    shoot(out + "/after_run.png");

    w.setGeometry(0, 0, 1366, 768);
    w.raise();
    w.tabResults->setCurrentIndex(0);
    shoot(out + "/map_coefficient.png");

    w.pick("INC_T");
    w.chkMask->setChecked(true);
    shoot(out + "/map_tvalue_mask.png");

    w.tabResults->setCurrentIndex(1);
    shoot(out + "/table.png");

    w.chkMask->setChecked(false);
    w.pick("INC");
    w.tabResults->setCurrentIndex(2);
    shoot(out + "/histogram.png");

    forms::unloadAll();
    tk::setToolkit(nullptr);
    return 0;
}
