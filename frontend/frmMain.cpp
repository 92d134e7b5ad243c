#include "frmMain.h"

#include <QApplication>
#include <QMenuBar>

namespace {

QAction* item(QMenu* menu, const char* name, const QString& caption) {
    QAction* a = menu->addAction(caption);
    a->setObjectName(name);
    return a;
}

QMenu* submenu(QMenu* parent, const char* name, const QString& caption) {
    QMenu* m = parent->addMenu(caption);
    m->setObjectName(name);
    return m;
}

}  // namespace

frmMain::frmMain(QWidget* parent) : QMainWindow(parent) {
    setObjectName("frmMain");
    setWindowTitle("TZM30 - Geographically Weighted Regression");
    resize(800, 560);

    QMenuBar* bar = menuBar();
    mnuFile = bar->addMenu("File");
    mnuFile->setObjectName("mnuFile");
    mnuOpen = submenu(mnuFile, "mnuOpen", "Open");
    mnuOpenDataFile = item(mnuOpen, "mnuOpenDataFile", "Data...");
    mnuOpenModel = item(mnuOpen, "mnuOpenModel", "Model...");
    mnuOpenDescr = item(mnuOpen, "mnuOpenDescr", "Descriptives...");
    mnuOpenLinstingFile = item(mnuOpen, "mnuOpenLinstingFile", "Listing...");
    mnuExit = item(mnuFile, "mnuExit", "Exit");

    mnuTZM = bar->addMenu("Analysis");
    mnuTZM->setObjectName("mnuTZM");
    mnuDescr = submenu(mnuTZM, "mnuDescr", "Descriptives");
    mnuDescrStatsEditor = item(mnuDescr, "mnuDescrStatsEditor", "Descriptive Statistics");
    mnuRegression = submenu(mnuTZM, "mnuRegression", "Regression");
    mnuGauss = item(mnuRegression, "mnuGauss", "Gaussian");
    mnuLogist = item(mnuRegression, "mnuLogist", "Logistic");
    mnuBi = item(mnuRegression, "mnuBi", "Poisson");

    mnuTools = bar->addMenu("Tools");
    mnuTools->setObjectName("mnuTools");
    mnuWiz = item(mnuTools, "mnuWiz", "Analysis Wizard");

    mnuHelp = bar->addMenu("Help");
    mnuHelp->setObjectName("mnuHelp");
    mnuContact = item(mnuHelp, "mnuContact", "Contact Information");
    mnuAbout = item(mnuHelp, "mnuAbout", "About");

    connect(mnuOpenDataFile, &QAction::triggered, this, &frmMain::mnuOpenDataFile_Click);
    connect(mnuGauss, &QAction::triggered, this, &frmMain::mnuGauss_Click);
    connect(mnuLogist, &QAction::triggered, this, &frmMain::mnuLogist_Click);
    connect(mnuBi, &QAction::triggered, this, &frmMain::mnuBi_Click);
    connect(mnuExit, &QAction::triggered, this, &frmMain::mnuExit_Click);
    // "Model...", "Descriptives...", "Listing...", "Descriptive Statistics",
    // "Analysis Wizard", "Contact Information" and "About" are connected by
    // the windows they open.
}

void frmMain::mnuOpenDataFile_Click() {}

void frmMain::mnuGauss_Click() { openModelEditor(2); }
void frmMain::mnuLogist_Click() { openModelEditor(3); }
void frmMain::mnuBi_Click() { openModelEditor(4); }

void frmMain::mnuExit_Click() { QApplication::exit(0); }

void frmMain::mnuNewTZM_Click() {}

void frmMain::initialise_model_options() {}

void frmMain::openModelEditor(int kind) { model_kind = kind; }
