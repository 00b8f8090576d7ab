#pragma once
// Lets a window see key presses before its controls do, so that function keys, Esc and
// Enter act whatever control has the focus. Qt delivers keys to the focused control first;
// this filter looks at every key press meant for a widget of the window and offers it to the
// window's handler before the control gets it.

#include <QObject>
#include <functional>

class QKeyEvent;
class QWidget;

namespace halvern {

// The Cancel key: Ctrl+Break (Ctrl+Pause) on a PC keyboard, however the system reports it.
bool IsCancelKey(const QKeyEvent& key);

class WindowKeys : public QObject {
  public:
    // The handler returns true when it used the key; the control then never sees it.
    // `receiver` is the control the key was meant for (to let letters type into text fields).
    using Handler = std::function<bool(QKeyEvent& key, QWidget& receiver)>;

    // Lives as long as the window (it becomes the window's child).
    WindowKeys(QWidget& window, Handler handler);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QWidget& window_;
    Handler handler_;
};

}  // namespace halvern
