#include "FrmCon.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

FrmCon::FrmCon(QWidget* parent) : QDialog(parent)
{
    setObjectName("FrmCon");
    setWindowTitle("Contact");

    auto label = [this](const char* name, const QString& text) {
        auto* l = new QLabel(text, this);
        l->setObjectName(name);
        l->setWordWrap(true);
        return l;
    };
    Label1 = label("Label1", "TZM30 development team");
    Label2 = label("Label2", "For questions and problem reports, contact the support team of your "
                             "TZM30 installation.");
    Label3 = label("Label3", "Please send the control file (.tzm), the listing file (.txt) and the "
                             "data files of the run with every report.");
    Command1 = new QPushButton("Close", this);
    Command1->setObjectName("Command1");
    connect(Command1, &QPushButton::clicked, this, &QDialog::close);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addWidget(Label2);
    layout->addWidget(Label3);
    layout->addWidget(Command1, 0, Qt::AlignRight);
    resize(400, 180);
}
