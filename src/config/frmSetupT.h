#pragma once
// frmSetupT: the setup screen. Shows the setup table of the detector being served, as read
// just before it opens, lets the technician change it, writes it back (Burn, F3) and prints
// an image of itself (Print, F6). Save... keeps the table as read in a file; Load... puts a
// file's table into the fields as if chosen there, marks what differs from the detector, and
// leaves the writing to Burn. Cancel (button, Esc, Enter unless the focus is on another
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
    // The file dialogs of Save... and Load..., and what follows once a file is chosen.
    void SaveFile();
    void LoadFile();
    void SaveTo(const std::string& path);
    void LoadFrom(const std::string& path);
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
    // After a load: each field that would write another setting than the detector holds is
    // marked, and stays so while the technician edits.
    void MarkChanged();
    QComboBox* Field(SetupControl f) const { return fields_[static_cast<std::size_t>(Index(f))]; }

    // The detector as the screen was loaded for: its fields are laid out for this model.
    SetupModel model_;
    SetupLayout layout_;
    std::uint8_t address_ = 0;
    // The table as read: a Burn writes back what the technician did not change.
    SetupTable read_;
    std::array<std::uint16_t, 4> registers_{};  // registers 1-4 as read, for Save...
    std::uint16_t modelCode_ = 0;               // variant and family bytes
    long long serial_ = 0;                      // of the reading the screen opened on
    // Where the fields' texts were loaded from, for the service history; empty: not loaded.
    std::string loadedFrom_;

    TwipsLayout twips_;
    std::array<QComboBox*, kSetupFieldCount> fields_{};
    std::array<QLabel*, kSetupControlCount - kSetupFieldCount> labels_{};
    QLabel *lblAddr_{}, *lblSerial_{}, *Label2_{};
    QFrame* Frame3_{};
    QPushButton *Command1_{}, *cmdPrint_{}, *cmdExit_{}, *cmdSave_{}, *cmdLoad_{};
};

}  // namespace halvern
