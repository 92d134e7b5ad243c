// The user manual inside the program: the Markdown pages of docs/ and their
// pictures, built into the program as resources under :/manual, shown in a
// browser whose links between pages and to headings work.  Help > Help
// Topics (F1) opens it on the page for the window in front.
#pragma once

#include <QTextBlock>
#include <QTextBrowser>
#include <QWidget>

class QPushButton;

// A text browser for the manual's pages.  Qt renders Markdown but gives its
// headings no anchors; every heading gets the anchor that links in the
// pages use (lower case, punctuation dropped, blanks as hyphens, a repeated
// heading with "-1", "-2", ...), so "listing.md#kernels" opens at its
// heading.
class ManualBrowser : public QTextBrowser {
    Q_OBJECT
public:
    explicit ManualBrowser(QWidget* parent = nullptr);

    // The anchor of a heading's text.
    static QString slug(const QString& heading);
    // The page's first heading.
    QString title() const;
    // Gives the headings of the page shown their anchors and its examples
    // a grey ground, unless done; true when it did.
    bool prepare_page();
    // Pictures wider than this are shown scaled to it.
    static constexpr int picture_width = 720;

protected:
    void doSetSource(const QUrl& name, QTextDocument::ResourceType type) override;
    QVariant loadResource(int type, const QUrl& name) override;

private:
    QTextBlock first_heading() const;
};

class FrmManual : public QWidget {
    Q_OBJECT
public:
    explicit FrmManual(QWidget* parent = nullptr);

    // Where the pages are: "qrc:/manual/".
    static QUrl root();
    // The page, with its heading when it has one, that tells about the
    // window `front` (or the window it belongs to): the model editor the
    // control file, the run dialog running a model, the results window the
    // results, the listing viewer the listing; the contents otherwise.
    static QString pageFor(const QWidget* front);
    // Opens the viewer in front on the page for `front` (F1).
    static FrmManual& openFor(const QWidget* front);

    // Shows `page` ("listing.md", "listing.md#kernels"), relative to root().
    void showPage(const QString& page);

    ManualBrowser* txtManual;
    QPushButton* cmdBack;
    QPushButton* cmdForward;
    QPushButton* cmdContents;
    QPushButton* cmdClose;
};
