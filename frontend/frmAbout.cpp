#include "frmAbout.h"

#include "release.h"

#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <QVersionNumber>

namespace {
const char* const programTitle = "TZM30";
const char* const programVersion = TZM_RELEASE;
}  // namespace

QString frmAbout::applicationTitle()
{
    const QString name = QCoreApplication::applicationName();
    // Qt falls back to the executable's file name; that is the title too.
    return name.isEmpty() ? QString(programTitle) : name;
}

QString frmAbout::versionText()
{
    QString text = QCoreApplication::applicationVersion();
    if (text.isEmpty())
        text = programVersion;
    const QVersionNumber v = QVersionNumber::fromString(text);
    return QString("Version %1.%2.%3").arg(v.majorVersion()).arg(v.minorVersion()).arg(v.microVersion());
}

frmAbout::frmAbout(QWidget* parent) : QDialog(parent)
{
    setObjectName("frmAbout");
    const QString title = applicationTitle();
    setWindowTitle("About " + title);

    lblTitle = new QLabel(title, this);
    lblTitle->setObjectName("lblTitle");
    QFont f = lblTitle->font();
    if (f.pointSizeF() > 0)
        f.setPointSizeF(f.pointSizeF() * 1.6);
    f.setBold(true);
    lblTitle->setFont(f);

    lblVersion = new QLabel(versionText(), this);
    lblVersion->setObjectName("lblVersion");

    lblDisclaimer = new QLabel(
        "Geographically weighted regression and local descriptive statistics: "
        "the desktop front end and its batch engine tzm.\n"
        "Written by the TZM30 development team.",
        this);
    lblDisclaimer->setObjectName("lblDisclaimer");
    lblDisclaimer->setWordWrap(true);

    cmdOK = new QPushButton("OK", this);
    cmdOK->setObjectName("cmdOK");
    cmdOK->setDefault(true);
    connect(cmdOK, &QPushButton::clicked, this, &QDialog::close);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblTitle);
    layout->addWidget(lblVersion);
    layout->addWidget(lblDisclaimer);
    layout->addWidget(cmdOK, 0, Qt::AlignRight);
    resize(380, 200);
}
