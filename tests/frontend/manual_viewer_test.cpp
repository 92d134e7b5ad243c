// The manual inside the program: F1 opens the page for the window in
// front, a click on a link opens the page and heading it names, and every
// link and picture of the built-in pages leads somewhere.
#include "fe2_support.h"

#include <QApplication>
#include <QDir>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>

#include <map>
#include <set>

#include "FrmHelp.h"
#include "FrmManual.h"
#include "FrmMap.h"
#include "FrmResults.h"

namespace {

class ManualViewer : public Fe2 {
protected:
    FrmManual& manual() { return forms::form<FrmManual>(); }
    QString shown() { return manual().txtManual->source().toString(); }

    // The anchors and the links of the page shown.
    struct page_parts {
        std::set<QString> anchors;
        QStringList links, pictures;
    };
    static page_parts parts(const QTextDocument* doc) {
        page_parts p;
        for (QTextBlock b = doc->begin(); b.isValid(); b = b.next())
            for (auto it = b.begin(); !it.atEnd(); ++it) {
                const QTextCharFormat f = it.fragment().charFormat();
                for (const QString& a : f.anchorNames()) p.anchors.insert(a);
                if (f.isAnchor() && !f.anchorHref().isEmpty()) p.links << f.anchorHref();
                if (f.isImageFormat()) p.pictures << f.toImageFormat().name();
            }
        return p;
    }

    // Clicks the first link to `href` on the page shown, as a person would.
    bool click_link(const QString& href) {
        ManualBrowser* b = manual().txtManual;
        for (QTextBlock blk = b->document()->begin(); blk.isValid(); blk = blk.next())
            for (auto it = blk.begin(); !it.atEnd(); ++it) {
                if (it.fragment().charFormat().anchorHref() != href) continue;
                QTextCursor c(b->document());
                c.setPosition(it.fragment().position() + 1);
                b->setTextCursor(c);
                b->ensureCursorVisible();
                const QPointF at = b->cursorRect(c).center();
                for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
                    QMouseEvent e(type, at, b->viewport()->mapToGlobal(at), Qt::LeftButton,
                                  type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
                    QApplication::sendEvent(b->viewport(), &e);
                }
                return true;
            }
        return false;
    }
};

TEST_F(ManualViewer, F1OpensThePageForTheWindowInFront)
{
    // The model editor in front: the control file.  F1 is the menu item's
    // shortcut in every window.
    chooseData("ID,X,Y,POP,INC");
    main().mnuGauss_Click();
    QApplication::setActiveWindow(&ed());
    main().mnuHelpTopics->trigger();
    ASSERT_TRUE(forms::loaded<FrmManual>());
    EXPECT_TRUE(manual().isVisible());
    EXPECT_EQ(shown(), "qrc:/manual/control-file.md");
    EXPECT_EQ(manual().windowTitle(), "User Manual - The control file");

    // The run dialog: running a model, scrolled to its heading; the
    // results window and the listing viewer; anything else the contents.
    manual().resize(700, 500);
    FrmManual::openFor(&run());
    EXPECT_EQ(shown(), "qrc:/manual/front-end.md#running-a-model");
    EXPECT_GT(manual().txtManual->verticalScrollBar()->value(), 0);
    FrmManual::openFor(&forms::form<FrmMap>());
    EXPECT_EQ(shown(), "qrc:/manual/front-end.md#the-results-window");
    FrmManual::openFor(&forms::form<FrmResults>());
    EXPECT_EQ(shown(), "qrc:/manual/listing.md");
    FrmManual::openFor(&main());
    EXPECT_EQ(shown(), "qrc:/manual/README.md");
    EXPECT_GT(manual().txtManual->document()->characterCount(), 500);
    // The wizards keep their own help texts.
    EXPECT_FALSE(forms::loaded<FrmHelp>());
}

TEST_F(ManualViewer, LinksLeadToPagesAndHeadingsAndBack)
{
    FrmManual::openFor(nullptr);
    manual().resize(700, 500);
    ASSERT_TRUE(click_link("listing.md"));
    EXPECT_EQ(shown(), "qrc:/manual/listing.md");
    EXPECT_EQ(manual().txtManual->verticalScrollBar()->value(), 0);
    // A link to a heading of another page opens the page there.
    ASSERT_TRUE(click_link("messages.md"));
    EXPECT_EQ(shown(), "qrc:/manual/messages.md");
    manual().showPage("listing.md#references");
    EXPECT_GT(manual().txtManual->verticalScrollBar()->value(), 0);
    manual().cmdBack->click();
    EXPECT_EQ(shown(), "qrc:/manual/messages.md");
    manual().cmdContents->click();
    EXPECT_EQ(shown(), "qrc:/manual/README.md");

    // Every page is built in; each of its links leads to a built-in page
    // and heading, each picture is there.
    const QStringList pages = QDir(":/manual").entryList({"*.md"});
    EXPECT_GE(pages.size(), 9);
    std::map<QString, page_parts> all;
    for (const QString& page : pages) {
        manual().showPage(page);
        all[page] = parts(manual().txtManual->document());
        EXPECT_FALSE(all[page].anchors.empty()) << page.toStdString();
    }
    int links = 0;
    for (const auto& [page, p] : all) {
        for (const QString& picture : p.pictures)
            EXPECT_TRUE(QFile::exists(":/manual/" + picture)) << page.toStdString() << ": " << picture.toStdString();
        for (const QString& href : p.links) {
            const QUrl to = FrmManual::root().resolved(QUrl(page)).resolved(QUrl(href));
            if (to.scheme() != "qrc") continue;
            ++links;
            const QString file = to.path().mid(QString("/manual/").size());
            ASSERT_TRUE(all.count(file)) << page.toStdString() << ": " << href.toStdString();
            if (to.hasFragment())
                EXPECT_TRUE(all[file].anchors.count(to.fragment())) << page.toStdString() << ": " << href.toStdString();
        }
    }
    EXPECT_GT(links, 50);
}

}  // namespace
