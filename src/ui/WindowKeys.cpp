#include "ui/WindowKeys.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

namespace halvern {

bool IsCancelKey(const QKeyEvent& key) {
    // X11 and Wayland report Ctrl+Pause as the keysym Break, which Qt has no key code for.
    constexpr quint32 kXkbBreak = 0xff6b;
    return key.key() == Qt::Key_Cancel ||
           (key.key() == Qt::Key_Pause && (key.modifiers() & Qt::ControlModifier)) ||
           (key.key() == 0 && key.nativeVirtualKey() == kXkbBreak);
}

WindowKeys::WindowKeys(QWidget& window, Handler handler)
    : QObject(&window), window_(window), handler_(std::move(handler)) {
    // Installed on the application so that controls added later are covered too; the
    // filter removes itself when it is destroyed with the window.
    qApp->installEventFilter(this);
}

bool WindowKeys::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType())
        return false;
    auto* widget = static_cast<QWidget*>(watched);
    // Popups (an open combo list) are windows of their own and keep their keys.
    if (widget->window() != &window_)
        return false;
    // A key the handler declines travels up to the parents and may pass here again; the
    // handler declines it again, so nothing acts twice.
    return handler_(*static_cast<QKeyEvent*>(event), *widget);
}

}  // namespace halvern
