#include "frmOptions.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

frmOptions::frmOptions(QWidget* parent) : QDialog(parent) {
    setObjectName("frmOptions");
    setWindowTitle("Model Options");

    auto group = [this](const char* name, const char* caption) {
        auto* g = new QGroupBox(caption, this);
        g->setObjectName(name);
        new QVBoxLayout(g);
        return g;
    };
    auto check = [](QGroupBox* g, const char* name, const char* caption) {
        auto* c = new QCheckBox(caption, g);
        c->setObjectName(name);
        g->layout()->addWidget(c);
        return c;
    };
    auto option = [](QGroupBox* g, const char* name, const char* caption) {
        auto* r = new QRadioButton(caption, g);
        r->setObjectName(name);
        g->layout()->addWidget(r);
        return r;
    };
    FrameListings = group("Frame1", "Optional listings");
    cvcheck = check(FrameListings, "cvcheck", "List Bandwidth Selection");
    predCheck = check(FrameListings, "predCheck", "List Predictions");
    DiagnCheck = check(FrameListings, "DiagnCheck", "List Pointwise Diagnostics");
    FrameModel = group("Frame2", "Model Type");
    Option2 = option(FrameModel, "Option2", "Gaussian");
    Option3 = option(FrameModel, "Option3", "Logistic");
    Option4 = option(FrameModel, "Option4", "Poisson");
    FrameTest = group("Frame3", "Significance Test");
    Option10 = option(FrameTest, "Option10", "None");
    Option9 = option(FrameTest, "Option9", "Leung");
    Option8 = option(FrameTest, "Option8", "Monte Carlo");
    Option2->setChecked(true);
    Option10->setChecked(true);
    cmdOK = new QPushButton("Continue", this);
    cmdOK->setObjectName("cmdOK");

    auto* v = new QVBoxLayout(this);
    v->addWidget(FrameListings);
    auto* h = new QHBoxLayout;
    h->addWidget(FrameModel);
    h->addWidget(FrameTest);
    v->addLayout(h);
    auto* b = new QHBoxLayout;
    b->addStretch();
    b->addWidget(cmdOK);
    v->addLayout(b);

    connect(cmdOK, &QPushButton::clicked, this, &QWidget::hide);
}

int frmOptions::model_type() const {
    if (Option3->isChecked()) return 3;
    if (Option4->isChecked()) return 4;
    return 2;
}

void frmOptions::select_model_type(int code) {
    switch (code) {
    case 2: Option2->setChecked(true); break;
    case 3: Option3->setChecked(true); break;
    case 4: Option4->setChecked(true); break;
    default: break;
    }
}
