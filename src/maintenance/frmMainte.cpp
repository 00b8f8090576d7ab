#include "maintenance/frmMainte.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "maintenance/MaintComm.h"
#include "state/Par.h"
#include "ui/ValueLabel.h"
#include "ui/WindowKeys.h"

namespace halvern {

namespace {

// On a screen of 600 pixels the window is drawn smaller, so that the trends fit beside it.
bool SmallScreen() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen && screen->availableGeometry().height() < 700;
}
int CaptionPoints() {
    return SmallScreen() ? 10 : 13;
}
int ValuePoints() {
    return SmallScreen() ? 14 : 20;
}
int ValueWidth() {
    return SmallScreen() ? 100 : 150;
}

QLabel* Caption(const QString& text, QWidget* parent, const char* name = "") {
    auto* l = new QLabel(text, parent);
    l->setObjectName(name);
    QFont f = l->font();
    f.setPointSize(CaptionPoints());
    l->setFont(f);
    return l;
}

QPushButton* Button(const QString& text, const char* name, const QString& tip, QWidget* parent) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(name);
    b->setToolTip(tip);
    b->setAutoDefault(false);
    QFont f = b->font();
    f.setPointSize(CaptionPoints());
    b->setFont(f);
    b->setMinimumHeight(SmallScreen() ? 36 : 48);
    return b;
}

}  // namespace

frmMainte::frmMainte(const Par& par, MaintComm& comm, QWidget* parent)
    : QWidget(parent, Qt::Window), par_(par), maintComm_(comm) {
    setObjectName("frmMainte");
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint);

    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(SmallScreen() ? 10 : 14);
    grid->setVerticalSpacing(SmallScreen() ? 6 : 10);
    // Three columns of caption and value, in reading order.
    const auto add = [&](int column, int row, QLabel* caption, const char* name) {
        QLabel* value = ValueLabel(name, this, ValuePoints(), ValueWidth());
        grid->addWidget(caption, row, 2 * column, Qt::AlignRight | Qt::AlignVCenter);
        grid->addWidget(value, row, 2 * column + 1);
        return value;
    };
    lblGain_ = add(0, 1, Caption("Gain ", this), "lblGain");
    lblSig1_ = add(0, 2, Caption("Signal 1", this), "lblSig1");
    lblRef_ = add(0, 3, Caption("Reference", this), "lblRef");
    lblSig2_ = add(0, 4, Caption("Signal 2", this), "lblSig2");
    lblRat1_ = add(0, 5, Caption("Ratio 1", this), "lblRat1");
    lblRat2_ = add(0, 6, Caption("Ratio 2", this), "lblRat2");
    lblNQRat1_ = add(1, 1, Caption("NQratio 1", this), "lblNQRat1");
    lblNQRat2_ = add(1, 2, Caption("NQratio 2", this), "lblNQRat2");
    Label9_ = Caption(QString(), this, "Label9");
    lblLEL_ = add(1, 3, Label9_, "lblLEL");
    lblTemp_ = add(1, 4, Caption("Temperature", this), "lblTemp");
    lblVoltage_ = add(1, 5, Caption("Voltage", this), "lblVoltage");
    QLabel* operating = Caption("Total Operating Time(Hours)", this);
    operating->setWordWrap(true);  // two lines, so the middle column stays narrow
    operating->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    operating->setFixedWidth(QFontMetrics(operating->font()).horizontalAdvance("Operating Time") +
                             8);
    lblTOTime_ = add(1, 6, operating, "lblTOTime");
    lblR2N_ = add(2, 1, Caption("Ref/Noise", this), "lblR2N");
    lblS1N_ = add(2, 2, Caption("Sig1/Noise", this), "lblS1N");
    lblS2N_ = add(2, 3, Caption("Sig2/Noise", this), "lblS2N");
    lblStatus_ = add(2, 5, Caption("Status", this), "lblStatus");
    lblStatus_->setMinimumWidth(ValueWidth() + 30);
    // The link state, top right, where it is seen first.
    lblCom_ = ValueLabel("lblCom", this, ValuePoints(), ValueWidth(), "Communication status");
    grid->addWidget(lblCom_, 0, 5);
    for (int c : {1, 3, 5})
        grid->setColumnStretch(c, 1);
    grid->setColumnMinimumWidth(1, ValueWidth());

    auto* frame = new QGroupBox(this);
    frame->setObjectName("Frame1");
    buttons_ = frame;
    auto* buttons = new QHBoxLayout(frame);
    buttons->setSpacing(14);
    cmdExit_ = Button("Exit-Esc", "cmdExit", QString(), frame);
    cmdCheck_ = Button("F9 - Check S/N", "cmdCheck", "Signal / Noise test", frame);
    cmdNormal_ = Button("F10 - Normal Mode", "cmdNormal", "Return to normal mode", frame);
    cmdAlign_ = Button("&Align", "cmdAlign", "Align the detector", frame);
    for (QPushButton* b : {cmdExit_, cmdCheck_, cmdNormal_, cmdAlign_})
        buttons->addWidget(b);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(SmallScreen() ? 10 : 18, SmallScreen() ? 8 : 14,
                               SmallScreen() ? 10 : 18, SmallScreen() ? 8 : 14);
    layout->setSpacing(SmallScreen() ? 10 : 16);
    layout->addLayout(grid);
    layout->addWidget(frame);

    connect(cmdExit_, &QPushButton::clicked, this, &QWidget::close);
    connect(cmdCheck_, &QPushButton::clicked, this, [this] { maintComm_.cmdCheck(); });
    connect(cmdNormal_, &QPushButton::clicked, this, [this] { maintComm_.cmdNormal(); });
    connect(cmdAlign_, &QPushButton::clicked, this, [this] { maintComm_.cmdAlign(); });
    new WindowKeys(*this, [this](QKeyEvent& key, QWidget&) { return HandleKey(key); });
    // The buttons take no keys of their own: Enter or Space on a focused one would otherwise
    // start a command the window's keys do not know.
    for (QPushButton* b : {cmdExit_, cmdCheck_, cmdNormal_, cmdAlign_})
        b->setFocusPolicy(Qt::NoFocus);
    setFocusPolicy(Qt::StrongFocus);
    Refresh();
}

frmMainte::~frmMainte() {
    for (QObject* child : findChildren<QObject*>())
        QObject::disconnect(child, nullptr, this, nullptr);
}

void frmMainte::Refresh() {
    const MaintPanel& m = par_.Maint;
    setWindowTitle(QString::fromStdString(m.Title));
    const std::pair<QLabel*, const std::string*> values[] = {
        {lblGain_, &m.Gain},     {lblSig1_, &m.Sig1},       {lblRef_, &m.Ref},
        {lblSig2_, &m.Sig2},     {lblRat1_, &m.Rat1},       {lblRat2_, &m.Rat2},
        {lblNQRat1_, &m.NQRat1}, {lblNQRat2_, &m.NQRat2},   {lblLEL_, &m.LEL},
        {lblTemp_, &m.Temp},     {lblVoltage_, &m.Voltage}, {lblTOTime_, &m.TOTime},
        {lblR2N_, &m.R2N},       {lblS1N_, &m.S1N},         {lblS2N_, &m.S2N},
        {lblStatus_, &m.Status}, {lblCom_, &m.Com},         {Label9_, &m.LELCaption}};
    for (const auto& [label, text] : values)
        label->setText(QString::fromLatin1(text->data(), static_cast<int>(text->size())));
    SetColours(lblStatus_, ToQColor(m.StatusBack), ToQColor(m.StatusFore));
    switch (m.ComState) {
        case Lamp::Green:
            SetColours(lblCom_, ToQColor(kGreen), Qt::black);
            break;
        case Lamp::Red:
            SetColours(lblCom_, ToQColor(kRed), Qt::white);
            break;
        case Lamp::Unknown:
            SetColours(lblCom_, Qt::white, Qt::black);
            break;
    }
    cmdExit_->setEnabled(m.ExitEnabled);
    cmdCheck_->setEnabled(m.CheckEnabled);
    cmdNormal_->setEnabled(m.NormalEnabled);
    cmdAlign_->setEnabled(m.AlignEnabled);
}

bool frmMainte::HandleKey(QKeyEvent& key) {
    switch (key.key()) {
        case Qt::Key_F9:
            maintComm_.cmdCheck();
            return true;
        case Qt::Key_F10:
            maintComm_.cmdNormal();
            return true;
        case Qt::Key_F8:
            emit trendsRequested();
            return true;
        case Qt::Key_Escape:
            close();
            return true;
        case Qt::Key_F7:
            emit trafficRequested();
            return true;
        case Qt::Key_A:
            // Alt+A reaches the button through its caption.
            if (key.modifiers() & (Qt::ControlModifier | Qt::AltModifier))
                return false;
            maintComm_.cmdAlign();
            return true;
        default:
            return false;
    }
}

void frmMainte::closeEvent(QCloseEvent* event) {
    // Closed again while the first close asks about, or returns the detector to, normal mode:
    // the first close ends the window when that is done.
    if (maintComm_.Leaving()) {
        event->ignore();
        return;
    }
    maintComm_.Leave();
    event->accept();
    if (!closedSent_) {
        closedSent_ = true;
        emit closed();
    }
}

}  // namespace halvern
