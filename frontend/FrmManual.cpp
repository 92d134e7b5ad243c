#include "FrmManual.h"

#include <QHBoxLayout>
#include <QColor>
#include <QHash>
#include <QImage>
#include <QPushButton>
#include <QTextBlock>
#include <QTextCursor>
#include <QVBoxLayout>

#include "forms.h"

// ---- The browser -----------------------------------------------------------------------

ManualBrowser::ManualBrowser(QWidget* parent) : QTextBrowser(parent) {
    setObjectName("txtManual");
    setOpenLinks(true);
    // Links to web pages open in the user's browser, not here.
    setOpenExternalLinks(true);
}

QString ManualBrowser::slug(const QString& heading) {
    QString out;
    for (const QChar c : heading.trimmed()) {
        if (c.isLetterOrNumber() || c == '_' || c == '-')
            out += c.toLower();
        else if (c == ' ')
            out += '-';
    }
    return out;
}

void ManualBrowser::doSetSource(const QUrl& name, QTextDocument::ResourceType type) {
    QTextBrowser::doSetSource(name, type);
    // The browser scrolled to the heading before the heading had its name.
    prepare_page();
    if (name.hasFragment()) scrollToAnchor(name.fragment());
}

QVariant ManualBrowser::loadResource(int type, const QUrl& name) {
    QVariant r = QTextBrowser::loadResource(type, name);
    // A screenshot wider than the page is shown narrower, smoothly.
    if (type == QTextDocument::ImageResource && r.typeId() == QMetaType::QByteArray) {
        QImage picture = QImage::fromData(r.toByteArray());
        if (picture.width() > picture_width)
            return picture.scaledToWidth(picture_width, Qt::SmoothTransformation);
    }
    return r;
}

QTextBlock ManualBrowser::first_heading() const {
    for (QTextBlock b = document()->begin(); b.isValid(); b = b.next())
        if (b.blockFormat().headingLevel() > 0 && b.length() > 1) return b;
    return {};
}

QString ManualBrowser::title() const { return first_heading().text(); }

bool ManualBrowser::prepare_page() {
    const QTextBlock first = first_heading();
    if (!first.isValid() || !first.begin().fragment().charFormat().anchorNames().isEmpty()) return false;
    QHash<QString, int> seen;
    QTextCursor cursor(document());
    QTextBlockFormat code;
    code.setBackground(QColor(0xf0, 0xf0, 0xf0));
    for (QTextBlock b = document()->begin(); b.isValid(); b = b.next()) {
        // Examples and listings on a grey ground, set off from the text.
        if (b.blockFormat().hasProperty(QTextFormat::BlockCodeFence)) {
            cursor.setPosition(b.position());
            cursor.mergeBlockFormat(code);
        }
        if (b.blockFormat().headingLevel() == 0 || b.length() <= 1) continue;
        const QString base = slug(b.text());
        const int n = seen[base]++;
        QTextCharFormat anchor;
        anchor.setAnchor(true);
        anchor.setAnchorNames({n == 0 ? base : base + "-" + QString::number(n)});
        cursor.setPosition(b.position());
        cursor.setPosition(b.position() + b.length() - 1, QTextCursor::KeepAnchor);
        cursor.mergeCharFormat(anchor);
    }
    document()->setModified(false);
    return true;
}

// ---- The window ------------------------------------------------------------------------

FrmManual::FrmManual(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName("FrmManual");
    setWindowTitle("User Manual");

    txtManual = new ManualBrowser(this);
    txtManual->setSearchPaths({":/manual"});
    auto button = [this](const char* name, const char* caption) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(name);
        return b;
    };
    cmdBack = button("cmdBack", "Back");
    cmdForward = button("cmdForward", "Forward");
    cmdContents = button("cmdContents", "Contents");
    cmdClose = button("cmdClose", "Close");
    cmdBack->setEnabled(false);
    cmdForward->setEnabled(false);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cmdBack);
    buttons->addWidget(cmdForward);
    buttons->addWidget(cmdContents);
    buttons->addStretch();
    buttons->addWidget(cmdClose);
    auto* v = new QVBoxLayout(this);
    v->addLayout(buttons);
    v->addWidget(txtManual, 1);
    resize(860, 640);

    connect(cmdBack, &QPushButton::clicked, txtManual, &QTextBrowser::backward);
    connect(cmdForward, &QPushButton::clicked, txtManual, &QTextBrowser::forward);
    connect(cmdContents, &QPushButton::clicked, this, [this] { showPage("README.md"); });
    connect(cmdClose, &QPushButton::clicked, this, &QWidget::close);
    connect(txtManual, &QTextBrowser::backwardAvailable, cmdBack, &QWidget::setEnabled);
    connect(txtManual, &QTextBrowser::forwardAvailable, cmdForward, &QWidget::setEnabled);
    // Back and Forward load a page without doSetSource.
    connect(txtManual, &QTextBrowser::sourceChanged, this, [this] {
        txtManual->prepare_page();
        const QString title = txtManual->title();
        setWindowTitle(title.isEmpty() ? QString("User Manual") : "User Manual - " + title);
    });
}

QUrl FrmManual::root() { return QUrl("qrc:/manual/"); }

QString FrmManual::pageFor(const QWidget* front) {
    const QWidget* w = front ? front->window() : nullptr;
    if (!w) return "README.md";
    if (w->inherits("FrmTZM")) return "control-file.md";
    if (w->inherits("FrmDescr")) return "control-file.md#descriptive-statistics";
    if (w->inherits("frmOptions")) return "front-end.md#model-options";
    if (w->inherits("FrmRun")) return "front-end.md#running-a-model";
    if (w->inherits("FrmMap")) return "front-end.md#the-results-window";
    if (w->inherits("FrmResults")) return "listing.md";
    return "README.md";
}

FrmManual& FrmManual::openFor(const QWidget* front) {
    const QString page = pageFor(front);
    FrmManual& m = forms::form<FrmManual>();
    m.showPage(page);
    m.show();
    m.raise();
    m.activateWindow();
    return m;
}

void FrmManual::showPage(const QString& page) { txtManual->setSource(root().resolved(QUrl(page))); }
