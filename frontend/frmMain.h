// The main window: the menu bar from which every task starts, and the two
// fields that tie a data-file choice to the editor that asked for it.
#pragma once

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QRadioButton>

class frmMain : public QMainWindow {
    Q_OBJECT
public:
    explicit frmMain(QWidget* parent = nullptr);

    // 1 = model editor, 2 = descriptive statistics editor, -1 = none.
    int editor_kind = -1;
    // The model type waiting for the data files (its record-15 code, see
    // kModelTypes in control_file.h), -1 = none.
    int model_kind = -1;

    // Menus, named as the objects are.
    QMenu* mnuFile = nullptr;
    QMenu* mnuOpen = nullptr;
    QMenu* mnuTZM = nullptr;
    QMenu* mnuDescr = nullptr;
    QMenu* mnuRegression = nullptr;
    QMenu* mnuTools = nullptr;
    QMenu* mnuHelp = nullptr;

    QAction* mnuOpenDataFile = nullptr;
    QAction* mnuOpenModel = nullptr;
    QAction* mnuOpenDescr = nullptr;
    QAction* mnuOpenLinstingFile = nullptr;
    QAction* mnuOpenResults = nullptr;
    QAction* mnuExit = nullptr;
    QAction* mnuDescrStatsEditor = nullptr;
    QAction* mnuGauss = nullptr;
    QAction* mnuLogist = nullptr;
    QAction* mnuBi = nullptr;
    QAction* mnuWiz = nullptr;
    QAction* mnuContact = nullptr;
    QAction* mnuAbout = nullptr;
    QAction* mnuHelpTopics = nullptr;  // "Help Topics" (F1)
    // File: the last control files used, newest first ("1 model.tzm", ...);
    // hidden when unused.
    QList<QAction*> mnuRecent;

public slots:
    // File > Open > "Data...": choose the data, location and result files.
    void mnuOpenDataFile_Click();
    // Analysis > Regression > "Gaussian", "Logistic", "Poisson": the model
    // editor for model type 2, 3 or 4.
    void mnuGauss_Click();
    void mnuLogist_Click();
    void mnuBi_Click();
    // File > "Exit": ends the program, after offering to save a model or a
    // configuration open in its editor and to stop a run in progress.
    void mnuExit_Click();
    // Offers what Exit offers; false when the user chose to go on working.
    bool confirm_exit();
    // Opens a recent control file in the editor of its kind.
    void open_recent(const QString& path);
    // Refreshes the recent-file items of the File menu.
    void update_recent_menu();
    // Help > "Help Topics".
    void mnuHelpTopics_Click();
    // Shows the model editor as it is.
    void mnuNewTZM_Click();

    // Presets the model editor and "Model Options" to their defaults.
    void initialise_model_options();
    // Opens the model editor for the model type of record-15 code `kind`,
    // running the data-file sequence first when no data file is chosen yet.
    // Behind the items of Analysis > Regression.
    void openModelEditor(int kind);

    // Defined with the windows they open, in frmMain_menus.cpp.
    // File > Open > "Model...", "Descriptives...", "Listing...".
    void mnuOpenModel_Click();
    void mnuOpenDescr_Click();
    void mnuOpenLinstingFile_Click();
    // File > Open > "Results...": a result file in the results window.
    void mnuOpenResults_Click();
    // Analysis > Descriptives > "Descriptive Statistics".
    void mnuDescrStatsEditor_Click();
    // Tools > "Analysis Wizard"; Help > "Contact Information", "About".
    void mnuWiz_Click();
    void mnuContact_Click();
    void mnuAbout_Click();

public:
    // Returns the descriptive statistics editor (creating it); set by that
    // editor's code so the data-file sequence can preset its output format.
    static inline QWidget* (*descriptive_editor)() = nullptr;

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    // Connects the menu items above, ties a completed run to the listing
    // viewer and the data-file sequence to the descriptive editor, and shows
    // the wizard when the window first appears (frmMain_menus.cpp).
    void connect_menus();
    // Selects the output format named by the save dialog's filter entry in
    // the editor that asked for the data files.
    void preset_output_format(int filterIndex);
};
