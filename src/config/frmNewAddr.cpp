#include "config/frmNewAddr.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <utility>

#include "config/AddressEntry.h"
#include "config/ConfigExchanges.h"
#include "history/ServiceEvent.h"
#include "link/LinkFiles.h"
#include "state/Par.h"
#include "ui/Dialogs.h"

namespace halvern {

namespace {

constexpr int kClientWidth = 5835;
constexpr int kClientHeight = 2490;
constexpr double kMinScale = 1.15;
constexpr double kMaxScale = 1.7;

}  // namespace

frmNewAddr::frmNewAddr(Par& par, Link& link, Dialogs& dialogs, StopCheck stop, QWidget* parent)
    : ConfigWindow(par, link, dialogs, std::move(stop), parent), address_(DetNumByte(par)) {
    setObjectName("frmNewAddr");
    setWindowTitle("New address");

    lblNAddr_ = new QLabel("Set new address [1..247]", this);
    lblNAddr_->setObjectName("lblNAddr");
    lblNAddr_->setFont(DesignFont("Arial Narrow", 14.25, false));
    twips_.Add(lblNAddr_, 120, 360, 3975, 375);
    txtNewAddr_ = new QLineEdit(this);
    txtNewAddr_->setObjectName("txtNewAddr");
    txtNewAddr_->setFont(DesignFont("Tahoma", 18, true));
    txtNewAddr_->setAlignment(Qt::AlignCenter);
    txtNewAddr_->setMaxLength(32);
    lblNAddr_->setBuddy(txtNewAddr_);
    twips_.Add(txtNewAddr_, 4320, 240, 1335, 555);
    cmdCancel_ = new QPushButton("Cancel-Esc", this);
    cmdCancel_->setObjectName("cmdCancel");
    cmdCancel_->setFont(DesignFont("Arial", 12, false));
    cmdCancel_->setAutoDefault(false);
    twips_.Add(cmdCancel_, 2160, 1440, 1695, 855);
    cmdOK_ = new QPushButton("Burn-F3", this);
    cmdOK_->setObjectName("cmdOK");
    cmdOK_->setFont(DesignFont("Arial", 12, false));
    cmdOK_->setAutoDefault(false);
    cmdOK_->setToolTip("Give the detector this address");
    twips_.Add(cmdOK_, 4080, 1440, 1575, 855);

    const double scale = twips_.FitScale(kMinScale, kMaxScale);
    twips_.Apply(scale);
    setFixedSize(TwipsLayout::Size(kClientWidth, kClientHeight, scale));

    connect(txtNewAddr_, &QLineEdit::textChanged, this, &frmNewAddr::txtNewAddr_Change);
    connect(cmdOK_, &QPushButton::clicked, this, &frmNewAddr::Burn);
    connect(cmdCancel_, &QPushButton::clicked, this, &frmNewAddr::Cancel);

    // The present address, selected so that the first digit typed replaces it.
    txtNewAddr_->setText(QString::fromStdString(par_.Main.DetNum));
    txtNewAddr_->selectAll();
    txtNewAddr_->setFocus();
}

void frmNewAddr::txtNewAddr_Change() {
    if (filtering_)
        return;
    const std::string text = txtNewAddr_->text().toStdString();
    const std::string kept = FilterNewAddressText(text);
    if (kept == text)
        return;
    filtering_ = true;
    txtNewAddr_->setText(QString::fromStdString(kept));
    txtNewAddr_->selectAll();  // the next digit typed replaces the space
    filtering_ = false;
}

void frmNewAddr::BurnShown(bool on) {
    txtNewAddr_->setReadOnly(on);
    cmdOK_->setEnabled(!on);
    cmdCancel_->setEnabled(!on);
}

void frmNewAddr::Burn() {
    if (Burning())
        return;
    const auto newAddress = AddressToBurn(txtNewAddr_->text().toStdString());
    if (!newAddress) {
        dialogs_.Message(kInvalidAddressText, kInvalidAddressTitle, MsgIcon::Critical);
        dialogs_.Beep();
        txtNewAddr_->clear();  // the filter makes it a single space
        txtNewAddr_->setFocus();
        return;
    }
    SetBurning(true);
    const std::uint8_t oldAddress = address_;
    if (*newAddress != oldAddress) {
        // Two detectors on one address answer every query together: ask the address first.
        link_.ReceiveReply(stop_);  // drain: a poll reply may still be on its way
        const auto who = DetectorAt(link_, *newAddress, stop_);
        if (who && !Ending()) {
            dialogs_.Message(AddressTakenMessage(*newAddress, *who), kInvalidAddressTitle,
                             MsgIcon::Critical);
            dialogs_.Beep();
            SetBurning(false);
            txtNewAddr_->selectAll();
            txtNewAddr_->setFocus();
            return;
        }
    }
    const WriteResult written = WriteNewAddress(link_, oldAddress, *newAddress, stop_);
    const bool confirmed = written.Confirmed();
    RecordAction(par_, oldAddress, kActionAddress, std::to_string(oldAddress),
                 std::to_string(*newAddress), confirmed, written.attempts);
    const std::string unconfirmed =
        AddressNotConfirmedMessage(oldAddress, *newAddress, written.outcome);
    par_.Main.WriteNotice =
        confirmed ? AddressConfirmedNotice(oldAddress, *newAddress) : FirstLine(unconfirmed);
    if (!confirmed && !Ending())
        dialogs_.Message(unconfirmed, "Warning", MsgIcon::Critical);
    // Unconfirmed, the detector most likely kept its address: the main window stays with it.
    if (confirmed) {
        par_.Main.DetNum = std::to_string(*newAddress);
        // The bus overview polls the detector where it is now, not a lost one at the old address.
        MoveAddressInFile(JoinPath(par_.ProgramFolder, kKnownDetectorsFile), oldAddress,
                          *newAddress);
        // A detector left in its S/N test stays in it under its new address.
        std::swap(par_.LeftInSnTest[oldAddress], par_.LeftInSnTest[*newAddress]);
    }
    SetBurning(false);
    close();
}

}  // namespace halvern
