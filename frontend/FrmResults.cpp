#include "FrmResults.h"

#include "FrmRun.h"
#include "forms.h"
#include "shared.h"
#include "toolkit/toolkit.h"

#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
const char* const unexpectedText =
    "An unexpected error occurred. Please try this operation again. If the problem persists, "
    "contact the support team.";
const char* const inUseText =
    "The output file is in use, has not been created yet, or does not present. Please wait a few "
    "seconds and press OK to try again. If the problem persists, press CANCEL and contact the "
    "support team.";
}  // namespace

FrmResults::FrmResults(QWidget* parent) : QDialog(parent)
{
    setObjectName("FrmResults");
    setWindowTitle("Model Listing");
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowFlag(Qt::WindowMaximizeButtonHint);

    RichTextBox1 = new QPlainTextEdit(this);
    RichTextBox1->setObjectName("RichTextBox1");
    RichTextBox1->setReadOnly(true);
    RichTextBox1->setLineWrapMode(QPlainTextEdit::NoWrap);
    QFont font("Courier New");
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    font.setPointSizeF(8.5);
    RichTextBox1->setFont(font);

    Command1 = new QPushButton("View another listing file", this);
    Command1->setObjectName("Command1");
    Command2 = new QPushButton("Close", this);
    Command2->setObjectName("Command2");
    connect(Command1, &QPushButton::clicked, this, &FrmResults::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &FrmResults::Command2_Click);

    // The text area takes every resize of the window.
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(Command1);
    buttons->addStretch(1);
    buttons->addWidget(Command2);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(RichTextBox1, 1);
    layout->addLayout(buttons);
    resize(760, 560);
}

FrmResults& FrmResults::open_viewer(bool runListing)
{
    const bool fresh = !forms::loaded<FrmResults>();
    FrmResults& viewer = forms::form<FrmResults>();
    if (fresh) {
        // Before any run the run dialog's listing box is empty: the viewer
        // then shows an empty text.
        QString path;
        if (runListing && forms::loaded<FrmRun>())
            path = forms::form<FrmRun>().TxtOutput->text();
        viewer.loadListing(path);
    }
    viewer.show();
    viewer.raise();
    viewer.activateWindow();
    return viewer;
}

FrmResults& FrmResults::open_partial(const QString& path)
{
    FrmResults& viewer = forms::form<FrmResults>();
    viewer.loadListing(path);
    viewer.setWindowTitle("Model Listing - partial: the run was stopped");
    viewer.show();
    viewer.raise();
    viewer.activateWindow();
    return viewer;
}

bool FrmResults::loadListing(const QString& path)
{
    setWindowTitle("Model Listing");
    if (path.isEmpty()) {
        RichTextBox1->clear();
        shownFile_.clear();
        return false;
    }
    tk::Toolkit& t = tk::toolkit();
    for (;;) {
        QString text;
        const tk::FileError e = t.readTextFile(path, text);
        if (e == tk::FileError::None) {
            RichTextBox1->setPlainText(text);
            shownFile_ = path;
            return true;
        }
        if (e == tk::FileError::Other) {
            t.message(unexpectedText, tk::Buttons::OK, tk::Icon::Critical,
                      "Unable to complete operation");
            return false;
        }
        // Missing, locked or unreadable: the engine may still be creating it.
        if (t.message(inUseText, tk::Buttons::OKCancel, tk::Icon::Exclamation, "Open File Error") !=
            tk::Answer::OK) {
            RichTextBox1->clear();
            shownFile_.clear();
            return false;
        }
    }
}

void FrmResults::Command1_Click()
{
    tk::Toolkit& t = tk::toolkit();
    tk::FileRequest r;
    r.title = "Open a Listing File";
    r.filter = "Listings Files (Text File - *.txt)|*.txt";
    r.folder = t.programFolder() + tk::separator() + "listing";
    const tk::FileChoice c = open_dialog(r);
    if (!c.chosen()) {
        t.message("No file selected. Please try again.", tk::Buttons::OK, tk::Icon::Information,
                  "Fail to specify Listing File.");
        return;
    }
    loadListing(c.path);
}

void FrmResults::Command2_Click() { close(); }
