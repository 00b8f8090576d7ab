#pragma once
// frmNewAddr: the address dialog. Gives the detector being served a new bus address and makes
// the main window serve it there. Burn (button, Enter unless the focus is on the Cancel
// button, F3) checks the address, refuses one where another detector answers, and writes it;
// Cancel (button, Esc, Ctrl+Break, close box) closes without sending.

#include "config/ConfigWindow.h"
#include "ui/TwipsLayout.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace halvern {

class frmNewAddr : public ConfigWindow {
    Q_OBJECT
  public:
    // Starts with the address the main window shows. `stop` ends a Burn's waits when the
    // program ends.
    frmNewAddr(Par& par, Link& link, Dialogs& dialogs, StopCheck stop, QWidget* parent = nullptr);

    void Burn() override;

  private:
    void DefaultCommand() override { Burn(); }
    void txtNewAddr_Change();
    void BurnShown(bool on) override;

    bool filtering_ = false;
    // The detector the dialog was opened for: the address shown may change while it is open
    // (a search-mode poll), the detector to be moved does not.
    std::uint8_t address_;

    TwipsLayout twips_;
    QLabel* lblNAddr_{};
    QLineEdit* txtNewAddr_{};
    QPushButton *cmdCancel_{}, *cmdOK_{};
};

}  // namespace halvern
