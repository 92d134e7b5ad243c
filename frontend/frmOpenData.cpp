#include "frmOpenData.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QMenuBar>
#include <QVBoxLayout>

#include "control_file.h"
#include "forms.h"
#include "frmMain.h"
#include "shared.h"

frmOpenData::frmOpenData(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName("frmOpenData");
    setWindowTitle("Confirm Data Files");

    auto* bar = new QMenuBar(this);
    mnuFile = bar->addMenu("File");
    mnuFile->setObjectName("mnuFile");
    mnuClose = mnuFile->addAction("Close");
    mnuClose->setObjectName("mnuClose");

    auto field = [this](const char* name) {
        auto* e = new QLineEdit(this);
        e->setObjectName(name);
        e->setMinimumWidth(420);
        return e;
    };
    auto button = [this](const char* name, const char* caption) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(name);
        return b;
    };
    TxtOpenData = field("TxtOpenData");
    Txtlocations = field("Txtlocations");
    TxtOutput = field("TxtOutput");
    ProjectPathTxt = field("ProjectPathTxt");
    ProjectPathTxt->setVisible(false);
    Command1 = button("Command1", "Change");
    Command2 = button("Command2", "Change");
    Command3 = button("Command3", "Change");
    cmdOK = button("cmdOK", "Continue");

    auto* grid = new QGridLayout;
    const char* labels[] = {"Observed data file", "Calibration location file", "Parameter diagnostic file"};
    QLineEdit* fields[] = {TxtOpenData, Txtlocations, TxtOutput};
    QPushButton* buttons[] = {Command1, Command2, Command3};
    for (int i = 0; i < 3; ++i) {
        auto* l = new QLabel(labels[i], this);
        l->setObjectName(QString("Label%1").arg(i + 1));
        grid->addWidget(l, 2 * i, 0, 1, 2);
        grid->addWidget(fields[i], 2 * i + 1, 0);
        grid->addWidget(buttons[i], 2 * i + 1, 1);
    }
    auto* bottom = new QHBoxLayout;
    bottom->addStretch();
    bottom->addWidget(cmdOK);
    auto* v = new QVBoxLayout(this);
    v->setMenuBar(bar);
    v->addLayout(grid);
    v->addWidget(ProjectPathTxt);
    v->addStretch();
    v->addLayout(bottom);

    connect(mnuClose, &QAction::triggered, this, &frmOpenData::mnuClose_Click);
    connect(cmdOK, &QPushButton::clicked, this, &frmOpenData::cmdOK_Click);
    connect(Command1, &QPushButton::clicked, this, [this] { change_file(TxtOpenData->text(), 1); });
    connect(Command2, &QPushButton::clicked, this, [this] { change_file(Txtlocations->text(), 2); });
    connect(Command3, &QPushButton::clicked, this, [this] { change_file(TxtOutput->text(), 3); });
}

data_files frmOpenData::files() const { return {TxtOpenData->text(), Txtlocations->text(), TxtOutput->text()}; }

void frmOpenData::set_files(const data_files& f) {
    TxtOpenData->setText(f.data);
    Txtlocations->setText(f.locations);
    TxtOutput->setText(f.output);
}

void frmOpenData::clear_files() {
    TxtOpenData->clear();
    Txtlocations->clear();
    TxtOutput->clear();
}

void frmOpenData::cmdOK_Click() {
    frmMain& m = forms::form<frmMain>();
    if (m.editor_kind == 1) {
        if (find_model_type(m.model_kind)) m.openModelEditor(m.model_kind);
    } else if (m.editor_kind == 2) {
        m.mnuDescrStatsEditor->trigger();
    }
    m.model_kind = -1;
    m.editor_kind = -1;
    hide();
}
