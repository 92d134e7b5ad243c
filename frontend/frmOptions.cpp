#include "frmOptions.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "engine_numbers.h"
#include "open_control.h"
#include "toolkit/toolkit.h"

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

    FrameKeys = new QGroupBox("Optional settings", this);
    FrameKeys->setObjectName("FrameKeys");
    auto field = [this](const char* name) {
        auto* e = new QLineEdit(FrameKeys);
        e->setObjectName(name);
        e->setMaximumWidth(90);
        return e;
    };
    TxtLimitLo = field("TxtLimitLo");
    TxtLimitHi = field("TxtLimitHi");
    TxtEpsg = field("TxtEpsg");
    {
        auto* g = new QGridLayout(FrameKeys);
        auto* search = new QLabel("Bandwidth search from", FrameKeys);
        search->setObjectName("LabelLimits");
        auto* to = new QLabel("to", FrameKeys);
        to->setObjectName("LabelTo");
        auto* note = new QLabel("(neighbours for the adaptive kernel, distances for a fixed one; km for "
                                "spherical coordinates; empty: the engine's own range)",
                                FrameKeys);
        note->setObjectName("LabelLimitsNote");
        note->setWordWrap(true);
        auto* epsg = new QLabel("EPSG code of the Cartesian coordinates", FrameKeys);
        epsg->setObjectName("LabelEpsg");
        g->addWidget(search, 0, 0);
        g->addWidget(TxtLimitLo, 0, 1);
        g->addWidget(to, 0, 2);
        g->addWidget(TxtLimitHi, 0, 3);
        g->addWidget(note, 1, 0, 1, 4);
        g->addWidget(epsg, 2, 0);
        g->addWidget(TxtEpsg, 2, 1);
        g->setColumnStretch(4, 1);
    }

    auto* v = new QVBoxLayout(this);
    v->addWidget(FrameListings);
    auto* h = new QHBoxLayout;
    h->addWidget(FrameModel);
    h->addWidget(FrameTest);
    v->addLayout(h);
    v->addWidget(FrameKeys);
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

namespace {

void keyword_error(const QString& text) {
    tk::toolkit().message(text, tk::Buttons::OK, tk::Icon::Critical, "Error");
}

}  // namespace

bool frmOptions::check_keywords(bool adaptive) {
    bool ok = true;
    const QString lo = TxtLimitLo->text().trimmed(), hi = TxtLimitHi->text().trimmed();
    if (!lo.isEmpty() || !hi.isEmpty()) {
        double a = 0, b = 0;
        long wa = 0, wb = 0;
        if (lo.isEmpty() || hi.isEmpty()) {
            keyword_error("Give both bandwidth search limits, or leave both empty.");
            ok = false;
        } else if (adaptive && !(engine_int(lo, wa) && engine_int(hi, wb))) {
            keyword_error("The bandwidth search limits of the adaptive kernel are numbers of neighbours: "
                          "give whole numbers.");
            ok = false;
        } else if (!engine_real(lo, a) || !engine_real(hi, b)) {
            keyword_error("The bandwidth search limits must be numbers.");
            ok = false;
        } else if (a < 0 || !(a < b)) {
            keyword_error("The lower bandwidth search limit must be at least 0 and below the upper one.");
            ok = false;
        }
    }
    const QString epsg = TxtEpsg->text().trimmed();
    long code = 0;
    if (!epsg.isEmpty() && !(engine_int(epsg, code) && code > 0)) {
        keyword_error("The EPSG code must be a positive whole number.");
        ok = false;
    }
    return ok;
}

QStringList frmOptions::keyword_lines() const {
    QStringList out;
    const QString lo = TxtLimitLo->text().trimmed(), hi = TxtLimitHi->text().trimmed();
    if (!lo.isEmpty() && !hi.isEmpty()) out << "limits " + lo + " " + hi;
    if (!TxtEpsg->text().trimmed().isEmpty()) out << "epsg " + TxtEpsg->text().trimmed();
    return out;
}

QStringList frmOptions::take_keywords(const QStringList& records) {
    clear_keywords();
    QStringList others;
    bool limits = false, epsg = false;
    for (const QString& line : records) {
        const KeywordRecord k = keyword_record(line);
        double a = 0, b = 0;
        long c = 0;
        // A keyword given once with well-formed values goes to its field;
        // anything else is kept as it was written.
        if (k.keyword == "limits" && !limits && k.values.size() == 2 && engine_real(k.values[0], a) &&
            engine_real(k.values[1], b)) {
            TxtLimitLo->setText(k.values[0]);
            TxtLimitHi->setText(k.values[1]);
            limits = true;
        } else if (k.keyword == "epsg" && !epsg && k.values.size() == 1 && engine_int(k.values[0], c)) {
            TxtEpsg->setText(k.values[0]);
            epsg = true;
        } else {
            others << line;
        }
    }
    return others;
}

void frmOptions::clear_keywords() {
    TxtLimitLo->clear();
    TxtLimitHi->clear();
    TxtEpsg->clear();
}
