#include "FrmWiz2.h"

#include "FrmHelp.h"
#include "control_file.h"
#include "forms.h"
#include "frmMain.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

FrmWiz2::FrmWiz2(QWidget* parent) : QDialog(parent)
{
    setObjectName("FrmWiz2");
    setWindowTitle("TZM Wizard");
    setAttribute(Qt::WA_DeleteOnClose);

    Frame1 = new QGroupBox("Model Type", this);
    Frame1->setObjectName("Frame1");
    auto option = [this](const char* name, const QString& caption) {
        auto* o = new QRadioButton(caption, Frame1);
        o->setObjectName(name);
        return o;
    };
    // One option per model type, "Option1" for the first.
    for (const model_type& m : kModelTypes)
        options_ << option(qPrintable(QString("Option%1").arg(options_.size() + 1)), m.caption);
    Option1 = options_[0];
    Option2 = options_[1];
    Option3 = options_[2];
    Option1->setChecked(true);
    auto* frame = new QVBoxLayout(Frame1);
    for (QRadioButton* o : options_)
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
    connect(Command1, &QPushButton::clicked, this, &FrmWiz2::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &FrmWiz2::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &FrmWiz2::Command3_Click);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(Command1);
    buttons->addStretch(1);
    buttons->addWidget(Command2);
    buttons->addWidget(Command3);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Frame1);
    layout->addLayout(buttons);
}

void FrmWiz2::Command1_Click() { forms::form<FrmHelp>().showText(helpText()); }

const QString& FrmWiz2::helpText()
{
    static const QString text =
        "Choose the kind of regression that suits your dependent variable. Gaussian regression is for a "
        "continuous variable, such as a price, an income or a rate, whose errors are taken as normally "
        "distributed. Logistic regression is for a binary variable coded 0 or 1, such as the presence or "
        "absence of a disease, and models the probability of a 1. Poisson regression is for counts, such as "
        "the number of cases in an area, optionally with an offset variable (for example the population at "
        "risk) so that the model describes rates. Multiscale (Gaussian) regression is Gaussian regression in "
        "which every parameter has a bandwidth of its own, so that an effect that varies over short distances "
        "can sit beside one that varies only between regions. Then press Go: you will be asked for your data file, and the "
        "model editor opens with the model type you chose; you can change it later under Model Options.";
    return text;
}

void FrmWiz2::Command2_Click()
{
    int kind = 0;
    for (int i = 0; i < options_.size(); ++i)
        if (options_[i]->isChecked())
            kind = int(kModelTypes[i].method);
    // Close first: the model commands open windows and dialogs of their own.
    close();
    if (kind == 0)
        return;
    frmMain& main = forms::form<frmMain>();
    main.model_kind = kind;
    main.openModelEditor(kind);
}

void FrmWiz2::Command3_Click() { close(); }
