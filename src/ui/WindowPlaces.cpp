#include "ui/WindowPlaces.h"

#include <QApplication>
#include <QEvent>
#include <QScreen>
#include <QWidget>
#include <QWindow>
#include <algorithm>

namespace halvern {

QRect FitOnScreen(QRect frame, const QRect& screen, const QSize& minimum) {
    frame.setWidth(std::max(std::min(frame.width(), screen.width()), minimum.width()));
    frame.setHeight(std::max(std::min(frame.height(), screen.height()), minimum.height()));
    // Left and top last, so that a window larger than the screen keeps its title bar on it.
    frame.moveRight(std::min(frame.right(), screen.right()));
    frame.moveBottom(std::min(frame.bottom(), screen.bottom()));
    frame.moveLeft(std::max(frame.left(), screen.left()));
    frame.moveTop(std::max(frame.top(), screen.top()));
    return frame;
}

namespace {

// A window that belongs to another (the trends beside the maintenance window, the scan over the
// main window) is placed by that one each time.
bool Remembered(const QWidget& w) {
    return w.parentWidget() == nullptr;
}

}  // namespace

WindowPlaces::WindowPlaces(const QString& settingsPath, QObject* parent)
    : QObject(parent), settings_(settingsPath, QSettings::IniFormat) {
    qApp->installEventFilter(this);
}

bool WindowPlaces::eventFilter(QObject* watched, QEvent* event) {
    const auto type = event->type();
    if (type != QEvent::Show && type != QEvent::Hide)
        return false;
    auto* w = qobject_cast<QWidget*>(watched);
    if (!w || !w->isWindow() || !w->objectName().startsWith("frm"))
        return false;
    if (type == QEvent::Show)
        Place(*w);
    else
        Keep(*w);
    return false;
}

void WindowPlaces::Place(QWidget& w) {
    // The place itself (the inside of the frame, which the window system does not move), not
    // Qt's saved geometry: that one is thrown away whole when the screen has changed size
    // since, though the window would fit.
    const QVariant kept = Remembered(w) ? settings_.value(w.objectName() + "/place") : QVariant();
    if (kept.isValid())
        w.setGeometry(kept.toRect());
    // A window placed neither by the program nor before is left to the window manager, once
    // it fits the screen.
    const bool placed = kept.isValid() || w.testAttribute(Qt::WA_Moved);
    // The frame is not known before the window is first shown: allow for a title bar and
    // borders.
    const QRect frame = w.frameGeometry();
    const QRect inner = w.geometry();
    const QMargins margins =
        w.testAttribute(Qt::WA_WState_Created) && frame != inner
            ? QMargins(inner.left() - frame.left(), inner.top() - frame.top(),
                       frame.right() - inner.right(), frame.bottom() - inner.bottom())
            : QMargins(8, 30, 8, 8);
    QScreen* screen = QGuiApplication::screenAt(w.geometry().center());
    if (!screen)
        screen = w.screen() ? w.screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry().marginsRemoved(margins);
    const QRect fitted = FitOnScreen(w.geometry(), area, w.minimumSize());
    if (fitted.size() != w.size())
        w.resize(fitted.size());
    if (!placed)
        return;
    if (fitted.topLeft() != w.geometry().topLeft())
        w.move(fitted.topLeft() - (w.geometry().topLeft() - w.pos()));
    // A window shown again where it already stands sends no position, and the window manager
    // then places it anew: tell the system that the program places this window.
    if (QWindow* h = w.windowHandle())
        h->setPosition(h->position());
}

void WindowPlaces::Keep(QWidget& w) {
    if (!Remembered(w))
        return;
    settings_.setValue(w.objectName() + "/place", w.geometry());
    settings_.sync();
}

}  // namespace halvern
