#pragma once
// frmSetupT: the setup screen. Shows the setup table of the detector being served, as read
// just before it opens, lets the technician change it, writes it back (Burn, F3) and prints
// an image of itself (Print, F6). Cancel (button, Esc, Enter unless the focus is on another
// button, Ctrl+Break) and the close box close it without writing; so does the end of a Burn.
// Enter asks first when fields were changed.

#include <array>

#include "config/ConfigWindow.h"
#include "config/SetupCodec.h"
#include "ui/TwipsLayout.h"

class QComboBox;
class QFrame;
class QKeyEvent;
class QLabel;
class QPushButton;

namespace halvern {

class frmSetupT : public ConfigWindow {
    Q_OBJECT
  public:
    // Decodes the setup reply that stands in par.Link.RxBuffer, read from the detector at
    // `address`, whose model and serial number the shared state holds; a Burn writes there.
    // `stop` ends a Burn's waits when the program ends.
    frmSetupT(Par& par, Link& link, Dialogs& dialogs, std::uint8_t address, StopCheck stop,
              QWidget* parent = nullptr);

    void Burn() override;
    void Print();
    // The texts of the setup fields as they stand.
    SetupTexts Texts() const;

  private:
    void BuildUi();
    void BuildValueBoxes();
    void BuildSetupControls();
    void BuildButtons();
    void BuildBurningNotice();
    // Enter: Cancel, after asking when fields were changed.
    void DefaultCommand() override;
    bool OwnKey(QKeyEvent& key) override;
    void BurnShown(bool on) override;
    QComboBox* Field(SetupControl f) const { return fields_[static_cast<std::size_t>(Index(f))]; }

    // The detector as the screen was loaded for: its fields are laid out for this model.
    SetupModel model_;
    SetupLayout layout_;
    std::uint8_t address_ = 0;
    // The table as read: a Burn writes back what the technician did not change.
    SetupTable read_;

    TwipsLayout twips_;
    std::array<QComboBox*, kSetupFieldCount> fields_{};
    std::array<QLabel*, kSetupControlCount - kSetupFieldCount> labels_{};
    QLabel *lblAddr_{}, *lblSerial_{}, *Label2_{};
    QFrame* Frame3_{};
    QPushButton *Command1_{}, *cmdPrint_{}, *cmdExit_{};
};

}  // namespace halvern
