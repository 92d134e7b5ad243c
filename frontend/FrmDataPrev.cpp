#include "FrmDataPrev.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include "forms.h"
#include "frmOpenData.h"

FrmDataPrev::FrmDataPrev(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName("FrmDataPrev");
    setWindowTitle("Data Preview");
    Label1 = new QLabel("Variable list in", this);
    Label1->setObjectName("Label1");
    Label2 = new QLabel("FileName", this);
    Label2->setObjectName("Label2");
    Label2->setTextInteractionFlags(Qt::TextSelectableByMouse);
    List1 = new QListWidget(this);
    List1->setObjectName("List1");
    Command1 = new QPushButton("Continue", this);
    Command1->setObjectName("Command1");

    auto* v = new QVBoxLayout(this);
    v->addWidget(Label1);
    v->addWidget(Label2);
    v->addWidget(List1, 1);
    auto* h = new QHBoxLayout;
    h->addStretch();
    h->addWidget(Command1);
    v->addLayout(h);
    resize(360, 420);

    connect(Command1, &QPushButton::clicked, this, &FrmDataPrev::Command1_Click);
}

void FrmDataPrev::Command1_Click() {
    hide();
    frmOpenData& od = forms::form<frmOpenData>();
    od.show();
    od.raise();
}
