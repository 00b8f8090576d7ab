#pragma once
// What the setup screen and the address dialog share: a window that writes to the detector
// with a Burn whose waits let events through. While a Burn runs, a further Burn, Print or
// Cancel (keys, buttons, the close box) is refused, and the window closes when the Burn ends.
// Keys, whatever has the focus: F3 Burn, Esc and Ctrl+Break Cancel, Enter the focused button
// or else the window's default command. Signal closed(): the window has closed and the main
// window is to come back.

#include <QWidget>

#include "link/Link.h"

class QCloseEvent;
class QKeyEvent;

namespace halvern {

class Dialogs;
struct Par;

class ConfigWindow : public QWidget {
    Q_OBJECT
  public:
    // `stop` ends a Burn's waits when the program ends.
    ConfigWindow(Par& par, Link& link, Dialogs& dialogs, StopCheck stop, QWidget* parent);

    bool Burning() const { return burning_; }
    virtual void Burn() = 0;
    void Cancel();

  signals:
    void closed();

  protected:
    void closeEvent(QCloseEvent* event) override;
    // What Enter does while the focus is not on a button.
    virtual void DefaultCommand() = 0;
    // A key the window has a command for besides the shared ones; true when it was used.
    virtual bool OwnKey(QKeyEvent&) { return false; }
    // Marks the Burn as running (true) or ended; the window shows it through BurnShown.
    void SetBurning(bool on);
    virtual void BurnShown(bool on) = 0;
    // The program is ending: a Burn stops and tells nothing.
    bool Ending() const { return stop_ && stop_(); }

    Par& par_;
    Link& link_;
    Dialogs& dialogs_;
    StopCheck stop_;

  private:
    bool burning_ = false;
    bool closedSent_ = false;
};

}  // namespace halvern
