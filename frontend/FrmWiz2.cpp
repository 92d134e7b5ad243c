#include "FrmWiz2.h"

#include "FrmHelp.h"
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
    Option1 = option("Option1", "Gaussian");
    Option2 = option("Option2", "Logistic");
    Option3 = option("Option3", "Poisson");
    Option1->setChecked(true);
    auto* frame = new QVBoxLayout(Frame1);
    for (QRadioButton* o : {Option1, Option2, Option3})
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
        "risk) so that the model describes rates. Then press Go: you will be asked for your data file, and the "
        "model editor opens with the model type you chose; you can change it later under Model Options.";
    return text;
}

void FrmWiz2::Command2_Click()
{
    const int kind = Option1->isChecked() ? 2 : Option2->isChecked() ? 3 : Option3->isChecked() ? 4 : 0;
    // Close first: the model commands open windows and dialogs of their own.
    close();
    frmMain& main = forms::form<frmMain>();
    if (kind != 0)
        main.model_kind = kind;
    if (kind == 2)
        main.mnuGauss_Click();
    else if (kind == 3)
        main.mnuLogist_Click();
    else if (kind == 4)
        main.mnuBi_Click();
}

void FrmWiz2::Command3_Click() { close(); }
