// Shared set-up of the model-editor, data-file and run-dialog tests: a
// scripted toolkit, a scratch folder and short ways to reach the windows.
#pragma once

#include <gtest/gtest.h>

#include <QFile>
#include <QListWidget>
#include <QTemporaryDir>

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
inline void PrintTo(const QStringList& l, std::ostream* os) { *os << '"' << l.join("\", \"").toStdString() << '"'; }

class Fe1 : public ::testing::Test {
protected:
    tk::testing::ScriptedToolkit t;
    QTemporaryDir dir;

    QString path(const QString& name) const { return dir.path() + "/" + name; }
    QString write(const QString& name, const QByteArray& bytes) const {
        QFile f(path(name));
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
        return path(name);
    }
    static QByteArray read(const QString& p) {
        QFile f(p);
        if (!f.open(QIODevice::ReadOnly)) return "<missing>";
        return f.readAll();
    }

    frmMain& main() { return forms::form<frmMain>(); }
    frmOpenData& od() { return forms::form<frmOpenData>(); }
    frmOptions& opt() { return forms::form<frmOptions>(); }
    FrmTZM& ed() { return forms::form<FrmTZM>(); }
    FrmRun& run() { return forms::form<FrmRun>(); }

    // Selects the entry with text `name` in `list`, as a click would.
    static void pick(QListWidget* list, const QString& name) {
        const auto found = list->findItems(name, Qt::MatchExactly);
        ASSERT_FALSE(found.isEmpty()) << name.toStdString();
        list->setCurrentItem(found.first());
        emit list->itemClicked(found.first());
    }

    // A data file with `header` chosen as in "Confirm Data Files", and the
    // model editor opened for model type `kind`.
    void openEditor(const QByteArray& header, int kind = 2, const QString& output = "est.txt") {
        od().TxtOpenData->setText(write("data.csv", header + "\r\n1,2,3\r\n"));
        od().ProjectPathTxt->setText(dir.path() + "/");
        od().TxtOutput->setText(output.isEmpty() ? QString() : path(output));
        switch (kind) {
        case 3: main().mnuLogist_Click(); break;
        case 4: main().mnuBi_Click(); break;
        default: main().mnuGauss_Click(); break;
        }
        t.clearLog();
    }

    // Assigns a role by selecting `name` and clicking the role's button.
    void assign(QPushButton* button, const QString& name) {
        pick(ed().lstAllVars, name);
        button->click();
    }
};
