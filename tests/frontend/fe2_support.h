// Set-up shared by the tests of the control-file readers, the descriptive
// statistics editor, the main window, the viewer and the wizards: a scripted
// toolkit, a scratch folder and short ways to reach the windows.
#pragma once

#include <gtest/gtest.h>

#include <QFile>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>

#include "FrmDescr.h"
#include "FrmRun.h"
#include "FrmTZM.h"
#include "forms.h"
#include "frmMain.h"
#include "frmOpenData.h"
#include "frmOptions.h"
#include "support/scripted_toolkit.h"

#include <ostream>

// Failures show texts as texts, not as bytes.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

class Fe2 : public ::testing::Test {
protected:
    tk::testing::ScriptedToolkit t;
    QTemporaryDir dir;

    QString path(const QString& name) const { return dir.path() + "/" + name; }
    QString write(const QString& name, const QByteArray& bytes) const
    {
        QFile f(path(name));
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
        return path(name);
    }
    static QByteArray read(const QString& p)
    {
        QFile f(p);
        if (!f.open(QIODevice::ReadOnly))
            return "<missing>";
        return f.readAll();
    }
    // Lines joined with CR LF, as the front end writes them.
    static QByteArray crlf(const QStringList& lines)
    {
        QByteArray b;
        for (const QString& l : lines)
            b += l.toUtf8() + "\r\n";
        return b;
    }

    frmMain& main() { return forms::form<frmMain>(); }
    frmOpenData& od() { return forms::form<frmOpenData>(); }
    frmOptions& opt() { return forms::form<frmOptions>(); }
    FrmTZM& ed() { return forms::form<FrmTZM>(); }
    FrmDescr& de() { return forms::form<FrmDescr>(); }
    FrmRun& run() { return forms::form<FrmRun>(); }

    // Selects the entry `name` of `list`, as a click does.
    static void pick(QListWidget* list, const QString& name)
    {
        const auto found = list->findItems(name, Qt::MatchExactly);
        ASSERT_FALSE(found.isEmpty()) << name.toStdString();
        list->setCurrentItem(found.first());
        emit list->itemClicked(found.first());
    }
    // Selects `name` in `list` and clicks the role button.
    static void assign(QListWidget* list, QPushButton* button, const QString& name)
    {
        pick(list, name);
        button->click();
    }

    // The data file "data.csv" with `header`, chosen as "Confirm Data Files"
    // does, with the result file `output`.
    QString chooseData(const QByteArray& header, const QString& output = "est.txt",
                       const QString& name = "data.csv")
    {
        const QString data = write(name, header + "\r\n1,2,3\r\n");
        od().TxtOpenData->setText(data);
        od().ProjectPathTxt->setText(dir.path() + "/");
        od().TxtOutput->setText(output.isEmpty() ? QString() : path(output));
        return data;
    }

    // The entries of a list box.
    static QStringList entries(const QListWidget* list)
    {
        QStringList out;
        for (int i = 0; i < list->count(); ++i)
            out << list->item(i)->text();
        return out;
    }
};
