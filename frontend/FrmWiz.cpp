#include "FrmWiz.h"

#include "FrmHelp.h"
#include "FrmRun.h"
#include "FrmWiz2.h"
#include "forms.h"
#include "frmMain.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

const QStringList& FrmWiz::helpTexts()
{
    static const QStringList texts = {
        // "Create a new model."
        "Creating a new model requires you to prepare your data and decide the options for your "
        "model. Your data file (*.dat) is a comma-delimited text file whose first line names the "
        "variables and whose records hold the location of every sample point (its x and y "
        "coordinates) together with its attributes. The model can be fitted at the sample points "
        "themselves or at a different set of regression points, which you give in a separate "
        "locations file. The fitted values - the local parameter estimates and their diagnostics - "
        "can be saved to a file in the format you choose: a spreadsheet (*.csv), an ArcInfo export "
        "file (*.e00) or a MapInfo interchange file (*.mif). The model editor looks like the model "
        "screens of common statistical packages: you pick the variables from the list of the "
        "variables of your data file and set the options of the model.",
        // "Open an existing model using the TZM Model Editor"
        "The TZM Model Editor allows you to view an existing model, modify it and save any "
        "changes, or create a new model. In the editor you set the options of the model: the "
        "location variables (the x and y coordinates of the points), the dependent variable and "
        "the independent variables, an optional weight variable, the form of the kernel (fixed or "
        "adaptive), how the bandwidth is calibrated (by cross-validation, by AICc minimisation, or "
        "a bandwidth you give yourself) and the format of the output file.",
        // "Run a task"
        "In order to run a TZM task, you have to have already created one. To run it, name the "
        "task's file (the model or descriptive statistics control file, *.tzm) and a text file "
        "(*.txt) that will receive its summary statistics. When the run has finished you can view "
        "the summary statistics at once, or later in any text editor.",
        // "Create new descriptive statistics"
        "Creating a new descriptive statistics configuration requires you to prepare your data and "
        "decide the options for your descriptive statistics. Your data file (*.dat) is a "
        "comma-delimited text file whose first line names the variables and whose records hold the "
        "location of every sample point (its x and y coordinates) together with its attributes. "
        "The local statistics - weighted means, variances and standard deviations - can be "
        "computed at the sample points themselves or at a different set of points, which you give "
        "in a separate locations file, and saved to a file in the format you choose: a spreadsheet "
        "(*.csv), an ArcInfo export file (*.e00) or a MapInfo interchange file (*.mif).",
        // "Open an existing descriptive statistics configuration"
        "The TZM Descriptive Statistics Editor allows you to view an existing descriptive "
        "statistics configuration, modify it and save any changes, or create a new one. In the "
        "editor you set the options of the configuration: the location variables (the x and y "
        "coordinates of the points), the variables to summarise, an optional weight variable, the "
        "form of the kernel (fixed or adaptive) with its bandwidth, the coordinate system and the "
        "format of the output file.",
    };
    return texts;
}

FrmWiz::FrmWiz(QWidget* parent) : QDialog(parent)
{
    setObjectName("FrmWiz");
    setWindowTitle("TZM Wizard");
    // Every opening is a fresh load with the initial selection.
    setAttribute(Qt::WA_DeleteOnClose);

    Frame1 = new QGroupBox("Select a task to perform", this);
    Frame1->setObjectName("Frame1");
    auto option = [this](const char* name, const QString& caption) {
        auto* o = new QRadioButton(caption, Frame1);
        o->setObjectName(name);
        return o;
    };
    Option1 = option("Option1", "Create a new model.");
    Option2 = option("Option2", "Open an existing model using the TZM Model Editor");
    Option3 = option("Option3", "Run a task");
    Option4 = option("Option4", "Create new descriptive statistics");
    Option5 = option("Option5", "Open an existing descriptive statistics configuration");
    Option3->setChecked(true);
    auto* frame = new QVBoxLayout(Frame1);
    for (QRadioButton* o : {Option1, Option2, Option3, Option4, Option5})
        frame->addWidget(o);

    auto button = [this](const char* name, const QString& caption) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(name);
        b->setAutoDefault(false);
        return b;
    };
    Command1 = button("Command1", "Help");
    Command2 = button("Command2", "Go");
    Command3 = button("Command3", "Cancel");
    Command2->setDefault(true);
    connect(Command1, &QPushButton::clicked, this, &FrmWiz::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &FrmWiz::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &FrmWiz::Command3_Click);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(Command1);
    buttons->addStretch(1);
    buttons->addWidget(Command2);
    buttons->addWidget(Command3);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Frame1);
    layout->addLayout(buttons);

    // Loading the wizard forgets any editor that was waiting for a data file.
    if (forms::loaded<frmMain>())
        forms::form<frmMain>().editor_kind = -1;
}

FrmWiz& FrmWiz::open_wizard()
{
    FrmWiz& w = forms::form<FrmWiz>();
    w.show();
    w.raise();
    w.activateWindow();
    return w;
}

void FrmWiz::Command1_Click()
{
    const QRadioButton* options[] = {Option1, Option2, Option3, Option4, Option5};
    for (int i = 0; i < 5; ++i)
        if (options[i]->isChecked()) {
            forms::form<FrmHelp>().showText(helpTexts()[i]);
            return;
        }
}

void FrmWiz::Command2_Click()
{
    frmMain& main = forms::form<frmMain>();
    if (Option1->isChecked()) {
        main.editor_kind = 1;
        FrmWiz2& second = forms::form<FrmWiz2>();
        second.show();
        second.raise();
    } else if (Option2->isChecked()) {
        main.mnuOpenModel_Click();
    } else if (Option3->isChecked()) {
        FrmRun& run = forms::form<FrmRun>();
        run.show();
        run.raise();
    } else if (Option4->isChecked()) {
        main.mnuDescrStatsEditor_Click();
        main.editor_kind = 2;
    } else if (Option5->isChecked()) {
        main.mnuOpenDescr_Click();
    }
    close();
}

void FrmWiz::Command3_Click() { close(); }
