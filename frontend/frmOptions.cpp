#include "frmOptions.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include <algorithm>

#include "control_file.h"
#include "engine_numbers.h"
#include "open_control.h"
#include "toolkit/toolkit.h"

namespace {

QGroupBox* group(QWidget* parent, const char* name, const char* caption) {
    auto* g = new QGroupBox(caption, parent);
    g->setObjectName(name);
    new QVBoxLayout(g);
    return g;
}

QCheckBox* check(QGroupBox* g, const char* name, const char* caption) {
    auto* c = new QCheckBox(caption, g);
    c->setObjectName(name);
    g->layout()->addWidget(c);
    return c;
}

QRadioButton* option(QGroupBox* g, const QString& name, const QString& caption) {
    auto* r = new QRadioButton(caption, g);
    r->setObjectName(name);
    g->layout()->addWidget(r);
    return r;
}

bool keyword_error(const QString& text) {
    tk::toolkit().message(text, tk::Buttons::OK, tk::Icon::Critical, "Error");
    return false;
}

// limits LO HI: two numbers, LO above 0 and below HI (as the engine takes them); whole numbers of
// neighbours for the adaptive kernel.
bool limits_readable(const QStringList& v) {
    double a = 0, b = 0;
    return engine_real(v[0], a) && engine_real(v[1], b);
}

bool check_limits(const QStringList& v, bool adaptive) {
    const QString &lo = v[0], &hi = v[1];
    double a = 0, b = 0;
    long wa = 0, wb = 0;
    if (lo.isEmpty() || hi.isEmpty()) return keyword_error("Give both bandwidth search limits, or leave both empty.");
    if (adaptive && !(engine_int(lo, wa) && engine_int(hi, wb)))
        return keyword_error("The bandwidth search limits of the adaptive kernel are numbers of neighbours: "
                             "give whole numbers.");
    if (!engine_real(lo, a) || !engine_real(hi, b))
        return keyword_error("The bandwidth search limits must be numbers.");
    if (!(a > 0) || !(a < b))
        return keyword_error("The lower bandwidth search limit must be above 0 and below the upper one.");
    return true;
}

// epsg CODE: a positive whole number.
bool epsg_readable(const QStringList& v) {
    long code = 0;
    return engine_int(v[0], code);
}

bool check_epsg(const QStringList& v, bool) {
    long code = 0;
    if (!(engine_int(v[0], code) && code > 0)) return keyword_error("The EPSG code must be a positive whole number.");
    return true;
}

QStringList trimmed_texts(const QList<QLineEdit*>& boxes) {
    QStringList out;
    for (const QLineEdit* b : boxes) out << b->text().trimmed();
    return out;
}

}  // namespace

frmOptions::frmOptions(QWidget* parent) : QDialog(parent) {
    setObjectName("frmOptions");
    setWindowTitle("Model Options");
    create_model_frames();
    cmdOK = new QPushButton("Continue", this);
    cmdOK->setObjectName("cmdOK");
    create_keyword_frame();
    lay_out();
    connect(cmdOK, &QPushButton::clicked, this, &QWidget::hide);
}

void frmOptions::create_model_frames() {
    FrameListings = group(this, "Frame1", "Optional listings");
    cvcheck = check(FrameListings, "cvcheck", "List Bandwidth Selection");
    predCheck = check(FrameListings, "predCheck", "List Predictions");
    DiagnCheck = check(FrameListings, "DiagnCheck", "List Pointwise Diagnostics");
    FrameModel = group(this, "Frame2", "Model Type");
    for (const ::model_type& m : kModelTypes)
        modelOptions_ << option(FrameModel, QString("Option%1").arg(m.method), m.caption);
    Option2 = model_option(2);
    Option3 = model_option(3);
    Option4 = model_option(4);
    FrameTest = group(this, "Frame3", "Significance Test");
    Option10 = option(FrameTest, "Option10", "None");
    Option9 = option(FrameTest, "Option9", "Leung");
    Option8 = option(FrameTest, "Option8", "Monte Carlo");
    modelOptions_.front()->setChecked(true);
    Option10->setChecked(true);
}

void frmOptions::create_keyword_frame() {
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
    // The keyword records shown here, in the order they are written.
    keywords_ = {
        {"limits", {TxtLimitLo, TxtLimitHi}, limits_readable, check_limits},
        {"epsg", {TxtEpsg}, epsg_readable, check_epsg},
    };

    auto* g = new QGridLayout(FrameKeys);
    auto* search = new QLabel("Bandwidth search from", FrameKeys);
    search->setObjectName("LabelLimits");
    auto* to = new QLabel("to", FrameKeys);
    to->setObjectName("LabelTo");
    // Two lines of their own: a word-wrapped label in a grid gets too little
    // height once the grid holds more rows.
    auto* note = new QLabel("(neighbours for the adaptive kernel, distances for a fixed one; km for\n"
                            "spherical coordinates; empty: the engine's own range)",
                            FrameKeys);
    note->setObjectName("LabelLimitsNote");
    auto* epsg = new QLabel("EPSG code of the Cartesian coordinates", FrameKeys);
    epsg->setObjectName("LabelEpsg");
    // The switches sit beside the optional listings, where the dialog has
    // room to spare (it must fit a 1366 x 768 screen at 150 %).
    FrameParts = group(this, "FrameParts", "Optional computations");
    ChkInterval = check(FrameParts, "ChkInterval", "Bandwidth interval after an AICc search");
    ChkScale = check(FrameParts, "ChkScale", "Multiscale: centre and scale the predictors");
    ChkInference = check(FrameParts, "ChkInference", "Multiscale: standard errors (inference)");
    switches_ = {{"interval", ChkInterval}, {"scale", ChkScale}, {"inference", ChkInference}};
    for (const ShownSwitch& w : switches_) w.box->setChecked(true);
    g->addWidget(search, 0, 0);
    g->addWidget(TxtLimitLo, 0, 1);
    g->addWidget(to, 0, 2);
    g->addWidget(TxtLimitHi, 0, 3);
    g->addWidget(note, 1, 0, 1, 4);
    g->addWidget(epsg, 2, 0);
    g->addWidget(TxtEpsg, 2, 1);
    g->setColumnStretch(4, 1);
}

void frmOptions::lay_out() {
    auto* v = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    top->addWidget(FrameListings);
    top->addWidget(FrameParts);
    v->addLayout(top);
    auto* h = new QHBoxLayout;
    h->addWidget(FrameModel);
    h->addWidget(FrameTest);
    v->addLayout(h);
    v->addWidget(FrameKeys);
    auto* b = new QHBoxLayout;
    b->addStretch();
    b->addWidget(cmdOK);
    v->addLayout(b);
}

QRadioButton* frmOptions::model_option(long method) const {
    for (int i = 0; i < modelOptions_.size(); ++i)
        if (kModelTypes[i].method == method) return modelOptions_[i];
    return nullptr;
}

int frmOptions::model_type() const {
    for (int i = 0; i < modelOptions_.size(); ++i)
        if (modelOptions_[i]->isChecked()) return int(kModelTypes[i].method);
    return int(kModelTypes[0].method);
}

void frmOptions::select_model_type(int code) {
    if (QRadioButton* o = model_option(code)) o->setChecked(true);
}

void frmOptions::fill_control_file(control_file& cf) const {
    cf.history = cvcheck->isChecked() ? 1 : 0;
    cf.predictions = predCheck->isChecked() ? 1 : 0;
    cf.test = Option8->isChecked() ? test_code::monte_carlo : Option9->isChecked() ? test_code::leung : test_code::none;
    cf.diagnostics = DiagnCheck->isChecked() ? 1 : 0;
    cf.method = model_type();
    cf.keywords = keyword_lines();
}

void frmOptions::show_reports(const control_file& cf, int records) {
    if (records >= 10) cvcheck->setChecked(cf.history == 1);
    if (records >= 11) predCheck->setChecked(cf.predictions == 1);
    if (records >= 13) {
        switch (cf.test) {
        case test_code::none: Option10->setChecked(true); break;
        case test_code::monte_carlo: Option8->setChecked(true); break;
        case test_code::leung: Option9->setChecked(true); break;
        default: break;
        }
    }
    if (records >= 14) DiagnCheck->setChecked(cf.diagnostics == 1);
}

void frmOptions::enable_reports(bool enabled) {
    for (QWidget* w : std::initializer_list<QWidget*>{cvcheck, predCheck, DiagnCheck, FrameTest})
        w->setEnabled(enabled);
}

bool frmOptions::check_keywords(bool adaptive) {
    bool ok = true;
    for (const ShownKeyword& k : keywords_) {
        const QStringList values = trimmed_texts(k.boxes);
        const bool filled = std::any_of(values.begin(), values.end(), [](const QString& v) { return !v.isEmpty(); });
        if (filled && !k.check(values, adaptive)) ok = false;
    }
    return ok;
}

QStringList frmOptions::keyword_lines() const {
    QStringList out;
    for (const ShownKeyword& k : keywords_) {
        const QStringList values = trimmed_texts(k.boxes);
        if (!values.contains(QString())) out << QString(k.keyword) + " " + values.join(' ');
    }
    for (const ShownSwitch& w : switches_)
        if (!w.box->isChecked()) out << QString(w.keyword) + " 0";
    return out;
}

QStringList frmOptions::take_keywords(const QStringList& records) {
    clear_keywords();
    QStringList others;
    QList<bool> taken(keywords_.size(), false);
    QList<int> switched;
    for (const QString& line : records) {
        const KeywordRecord r = keyword_record(line);
        // A keyword given once with well-formed values goes to its boxes;
        // anything else is kept as it was written.
        bool shown = false;
        for (int i = 0; i < keywords_.size() && !shown; ++i) {
            const ShownKeyword& k = keywords_[i];
            if (r.keyword != k.keyword || taken[i] || r.values.size() != k.boxes.size() || !k.readable(r.values))
                continue;
            for (int v = 0; v < k.boxes.size(); ++v) k.boxes[v]->setText(r.values[v]);
            taken[i] = shown = true;
        }
        // A switch given once as 0 or 1 goes to its check box.
        for (int i = 0; i < switches_.size() && !shown; ++i) {
            const ShownSwitch& w = switches_[i];
            if (r.keyword != w.keyword || switched.contains(i) || r.values.size() != 1 ||
                (r.values[0] != "0" && r.values[0] != "1"))
                continue;
            w.box->setChecked(r.values[0] == "1");
            switched << i;
            shown = true;
        }
        if (!shown) others << line;
    }
    return others;
}

void frmOptions::clear_keywords() {
    for (const ShownKeyword& k : keywords_)
        for (QLineEdit* b : k.boxes) b->clear();
    for (const ShownSwitch& w : switches_) w.box->setChecked(true);
}
