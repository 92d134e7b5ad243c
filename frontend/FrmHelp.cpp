#include "FrmHelp.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QStyle>

FrmHelp::FrmHelp(QWidget* parent) : QDialog(parent)
{
    setObjectName("FrmHelp");
    setWindowTitle("Help");

    Picture1 = new QLabel(this);
    Picture1->setObjectName("Picture1");
    Picture1->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(48, 48));
    Picture1->setAlignment(Qt::AlignTop);

    Label1 = new QLabel(this);
    Label1->setObjectName("Label1");
    Label1->setWordWrap(true);
    Label1->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    Label1->setMinimumWidth(360);

    auto* layout = new QHBoxLayout(this);
    layout->addWidget(Picture1);
    layout->addWidget(Label1, 1);
    resize(460, 260);
}

void FrmHelp::showText(const QString& text)
{
    Label1->setText(text);
    show();
    raise();
    activateWindow();
}
