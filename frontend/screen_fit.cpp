#include "screen_fit.h"

#include <QApplication>
#include <QEvent>
#include <QScreen>
#include <QWidget>

#include <algorithm>

QRect fit_rect(const QRect& frame, const QRect& available) {
    QRect r = frame;
    r.setWidth(std::min(r.width(), available.width()));
    r.setHeight(std::min(r.height(), available.height()));
    if (r.right() > available.right()) r.moveRight(available.right());
    if (r.bottom() > available.bottom()) r.moveBottom(available.bottom());
    if (r.left() < available.left()) r.moveLeft(available.left());
    if (r.top() < available.top()) r.moveTop(available.top());
    return r;
}

void fit_on_screen(QWidget* w) {
    if (!w || !w->isWindow()) return;
    QScreen* screen = w->screen();
    if (!screen) return;
    const QRect available = screen->availableGeometry();
    // Title bar and borders: as the window system drew them, or a typical
    // size before it has.
    QMargins deco(w->geometry().left() - w->frameGeometry().left(), w->geometry().top() - w->frameGeometry().top(),
                  w->frameGeometry().right() - w->geometry().right(),
                  w->frameGeometry().bottom() - w->geometry().bottom());
    if (deco.isNull()) deco = QMargins(4, 30, 4, 4);
    const QRect frame = w->geometry().marginsAdded(deco);
    const QRect fitted = fit_rect(frame, available).marginsRemoved(deco);
    if (fitted.size() != w->size()) w->resize(fitted.size().expandedTo(w->minimumSizeHint()));
    if (fitted.topLeft() != w->geometry().topLeft()) w->move(fitted.topLeft() - QPoint(deco.left(), deco.top()));
}

namespace {

class ScreenFit : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* o, QEvent* e) override {
        if (e->type() == QEvent::Show && o->isWidgetType()) {
            auto* w = static_cast<QWidget*>(o);
            if (w->isWindow() && !w->property("tzmFitted").toBool()) {
                w->setProperty("tzmFitted", true);
                fit_on_screen(w);
            }
        }
        return false;
    }
};

}  // namespace

void install_screen_fit(QApplication& app) { app.installEventFilter(new ScreenFit(&app)); }
