#include "monitor/frmMain.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QStatusBar>
#include <QStyle>
#include <QVBoxLayout>
#include <QWheelEvent>

#include "history/HistoryStore.h"
#include "logging/LogRecords.h"
#include "monitor/MainComm.h"
#include "state/Par.h"
#include "ui/ElidedLabel.h"
#include "ui/ValueLabel.h"
#include "ui/WindowKeys.h"

namespace halvern {

namespace {

QLabel* Caption(const QString& text, const char* name, QWidget* parent) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(name);
    return l;
}

QPushButton* Button(const QString& text, const char* name, const QString& tip, QWidget* parent) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(name);
    b->setToolTip(tip);
    b->setMinimumHeight(34);
    return b;
}

}  // namespace

// The address list: a choice counts when it is made in the opened list or by stepping through
// the list with the arrow keys. Qt also reports a choice when Enter is pressed in the field, or
// the field is left, while its text names an item; a typed address is not meant to take effect
// that way. The wheel does not turn the list: a hand passing over the field would change the
// served detector unseen.
class AddressList : public QComboBox {
  public:
    using QComboBox::QComboBox;
    // True once for a choice made in the list opened last, or by an arrow key.
    bool TakeListChoice() {
        const bool chosen = listOpen_ || stepping_;
        listOpen_ = false;
        return chosen;
    }
    void Typed() { listOpen_ = false; }
    void showPopup() override {
        listOpen_ = true;
        QComboBox::showPopup();
    }
    void hidePopup() override {
        QComboBox::hidePopup();
        // A choice in the list is reported just after the list closes; a list closed with Esc
        // leaves no choice behind for a later Enter in the field.
        QMetaObject::invokeMethod(
            this, [this] { listOpen_ = false; }, Qt::QueuedConnection);
    }

  protected:
    void keyPressEvent(QKeyEvent* e) override {
        const int k = e->key();
        stepping_ =
            k == Qt::Key_Up || k == Qt::Key_Down || k == Qt::Key_PageUp || k == Qt::Key_PageDown;
        QComboBox::keyPressEvent(e);
        stepping_ = false;
    }
    void wheelEvent(QWheelEvent* e) override { e->ignore(); }

  private:
    bool listOpen_ = false;
    bool stepping_ = false;
};

LampWidget::LampWidget(QWidget* parent) : QWidget(parent), color_(Qt::lightGray) {
    setMinimumSize(34, 34);
}

void LampWidget::SetColor(const QColor& c) {
    if (c == color_)
        return;
    color_ = c;
    update();
}

void LampWidget::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const int d = std::min(width(), height()) - 4;
    const QRectF r((width() - d) / 2.0, (height() - d) / 2.0, d, d);
    p.setPen(QPen(Qt::black, 1.5));
    p.setBrush(color_);
    p.drawEllipse(r);
}

frmMain::frmMain(Par& par, MainComm& comm, QWidget* parent)
    : QMainWindow(parent), par_(par), mainComm_(comm) {
    setObjectName("frmMain");
    setWindowTitle("Veridan 410, 620, 880 and 890 Series Open Path Gas Detectors");
    BuildUi();
    new WindowKeys(*this,
                   [this](QKeyEvent& key, QWidget& receiver) { return HandleKey(key, receiver); });
    Refresh();
}

void frmMain::BuildUi() {
    BuildMenus();
    auto* central = new QWidget(this);
    setCentralWidget(central);
    auto* top = new QGridLayout(central);
    top->setContentsMargins(12, 10, 12, 10);
    top->setHorizontalSpacing(14);
    top->setVerticalSpacing(10);
    QGroupBox* det = BuildDetectorPanel(central);
    QGroupBox* com = BuildCommunicationPanel(central);
    QGroupBox* FrCh = BuildSignalsPanel(central);
    QGroupBox* Frame1 = BuildCommandButtons(central);
    QGroupBox* frMisc = BuildAddressChooser(central);
    BuildNotices(central);
    top->addWidget(lblSnTest_, 3, 0, 1, 3);
    top->addWidget(det, 0, 0);
    top->addWidget(com, 1, 0);
    top->addWidget(FrCh, 0, 1, 2, 1);
    auto* right = new QVBoxLayout;
    right->addWidget(Frame1);
    right->addWidget(frMisc);
    right->addWidget(lblVer_);
    right->addStretch(1);
    top->addLayout(right, 0, 2, 2, 1);
    BuildStatusBar(central);
    top->setColumnStretch(0, 3);
    top->setColumnStretch(1, 2);
    top->setRowStretch(2, 1);

    ConnectCommandButtons();
    ConnectAddressChooser();
    resize(960, sizeHint().height());
}

// The File menu and About, each turned into the main window's signal or command.
void frmMain::BuildMenus() {
    auto* mnuFile = menuBar()->addMenu("&File");
    mnuFile->setObjectName("mnuFile");
    mnuSLog_ = mnuFile->addAction("&Start log");
    mnuSLog_->setObjectName("mnuSLog");
    mnuSLog_->setShortcut(QKeySequence("Ctrl+S"));
    auto* mnuVLog = mnuFile->addAction("view lo&G");
    mnuVLog->setObjectName("mnuVLog");
    mnuVLog->setShortcut(QKeySequence("Ctrl+G"));
    auto* mnuScan = mnuFile->addAction("Scan &bus...");
    mnuScan->setObjectName("mnuScan");
    mnuScan->setShortcut(QKeySequence("Ctrl+B"));
    auto* mnuOverview = mnuFile->addAction("Bus overview...");
    mnuOverview->setObjectName("mnuOverview");
    auto* mnuTraffic = mnuFile->addAction("Bus &traffic...");
    mnuTraffic->setObjectName("mnuTraffic");
    mnuTraffic->setShortcut(QKeySequence(Qt::Key_F7));
    auto* mnuHistory = mnuFile->addAction("&History...");
    mnuHistory->setObjectName("mnuHistory");
    auto* mnuReport = mnuFile->addAction("Service re&port...");
    mnuReport->setObjectName("mnuReport");
    auto* mnuExit = mnuFile->addAction("&Exit");
    mnuExit->setObjectName("mnuExit");
    mnuExit->setShortcut(QKeySequence("Ctrl+E"));
    // Its key on its caption, as the buttons carry theirs: a menu bar entry shows no shortcut.
    auto* mnuAbout = menuBar()->addAction("About-F1");
    mnuAbout->setObjectName("mnuAbout");
    mnuAbout->setShortcut(QKeySequence(Qt::Key_F1));
    connect(mnuSLog_, &QAction::triggered, this, &frmMain::startLogRequested);
    connect(mnuVLog, &QAction::triggered, this, &frmMain::viewLogRequested);
    connect(mnuScan, &QAction::triggered, this, [this] { mainComm_.cmdScan(); });
    connect(mnuOverview, &QAction::triggered, this, [this] { mainComm_.cmdOverview(); });
    connect(mnuTraffic, &QAction::triggered, this, &frmMain::trafficRequested);
    connect(mnuHistory, &QAction::triggered, this, &frmMain::historyRequested);
    connect(mnuReport, &QAction::triggered, this, &frmMain::reportRequested);
    connect(mnuExit, &QAction::triggered, this, [this] { mainComm_.ConfirmExit(); });
    connect(mnuAbout, &QAction::triggered, this, &frmMain::aboutRequested);
}

// The served detector: address, model, serial number, gain and status.
QGroupBox* frmMain::BuildDetectorPanel(QWidget* parent) {
    auto* det = new QGroupBox("Detector", parent);
    det->setObjectName("FrDetector");
    auto* dg = new QGridLayout(det);
    dg->setHorizontalSpacing(10);
    auto* lblAddress = Caption("Address", "lblAddress", det);
    lblDetNum_ = ValueLabel("lblDetNum", det, 16, 80, "Detector Address");
    auto* label1 = Caption("Model", "Label1", det);
    lblFlash_ = ValueLabel("lblFlash", det, 12, 240, "Detector's Model Type");
    auto* label2 = Caption("Serial No.", "Label2", det);
    lblSeNum_ = ValueLabel("lblSeNum", det, 12, 120, "Detector's Serial No.");
    auto* lblHeadGain = Caption("Gain", "lblHeadGain", det);
    lblGain_ = ValueLabel("lblGain", det, 12, 60, "Detector's Gain");
    auto* lblHeadStatus = Caption("Status", "lblHeadStatus", det);
    lblStatus_ = ValueLabel("lblStatus", det, 22, 140);
    lblSIL2Des_ = ValueLabel("lblSIL2Des", det, 12, 240);
    lblSIL2Des_->setWordWrap(true);
    lblSIL2Des_->setMinimumHeight(44);
    dg->addWidget(lblAddress, 0, 0);
    dg->addWidget(lblDetNum_, 0, 1);
    dg->addWidget(lblHeadGain, 0, 2, Qt::AlignRight);
    dg->addWidget(lblGain_, 0, 3);
    dg->addWidget(label1, 1, 0);
    dg->addWidget(lblFlash_, 1, 1, 1, 3);
    dg->addWidget(label2, 2, 0);
    dg->addWidget(lblSeNum_, 2, 1, 1, 3);
    dg->addWidget(lblHeadStatus, 3, 0);
    dg->addWidget(lblStatus_, 3, 1, 1, 3);
    dg->addWidget(lblSIL2Des_, 4, 1, 1, 3);
    dg->setColumnStretch(1, 1);
    dg->setColumnStretch(3, 1);
    return det;
}

// The lamp and the communication status; "Testing.." while the turnaround is tuned.
QGroupBox* frmMain::BuildCommunicationPanel(QWidget* parent) {
    auto* com = new QGroupBox("Communication", parent);
    com->setObjectName("FrCom");
    auto* cg = new QHBoxLayout(com);
    Shape1_ = new LampWidget(com);
    Shape1_->setObjectName("Shape1");
    lblCom_ = ValueLabel("lblCom", com, 14, 90, "Communication status");
    lblF12_ = Caption("Testing..", "lblF12", com);
    lblF12_->setStyleSheet("color: #b00000; font-weight: bold;");
    cg->addWidget(Shape1_);
    cg->addWidget(lblCom_, 1);
    cg->addWidget(lblF12_);
    return com;
}

// The five channel values of the last status reply.
QGroupBox* frmMain::BuildSignalsPanel(QWidget* parent) {
    auto* FrCh = new QGroupBox("Signals", parent);
    FrCh->setObjectName("FrCh");
    auto* chg = new QGridLayout(FrCh);
    chg->setVerticalSpacing(6);
    for (int i = 0; i < 5; ++i) {
        lblCh_[i] = Caption(QString(), QString("lblCh(%1)").arg(i).toLatin1().constData(), FrCh);
        lblChVal_[i] =
            ValueLabel(QString("lblChVal(%1)").arg(i).toLatin1().constData(), FrCh, 16, 110);
        chg->addWidget(lblCh_[i], i, 0);
        chg->addWidget(lblChVal_[i], i, 1);
    }
    chg->setColumnStretch(1, 1);
    lblCh_[0]->setText("Signal 1");
    lblCh_[1]->setText("Reference");
    lblCh_[2]->setText("Signal 2");
    lblCh_[3]->setText("NQratio1");
    lblCh_[4]->setText("NQratio2");
    return FrCh;
}

QGroupBox* frmMain::BuildCommandButtons(QWidget* parent) {
    auto* Frame1 = new QGroupBox("Commands", parent);
    Frame1->setObjectName("Frame1");
    auto* bg = new QGridLayout(Frame1);
    cmdMaster_ = Button("maste&R", "cmdMaster", "Seek for an active detector", Frame1);
    cmdVer_ = Button("&Version", "cmdVer", "Primary software version", Frame1);
    cmdVer2_ = Button("se&C ver.", "cmdVer2", "Secondry software version", Frame1);
    cmdMaint_ = Button("&Maint.", "cmdMaint", "Maintenance screen", Frame1);
    cmdSetio_ = Button("&Setup", "cmdSetio", "Setup table", Frame1);
    cmdAlign_ = Button("&Align", "cmdAlign", "Align the detector", Frame1);
    cmdSetAddr_ = Button("set a&Dr.", "cmdSetAddr", "Set new address", Frame1);
    cmdExit_ = Button(QString(), "cmdExit", "Quit program", Frame1);
    cmdExit_->setIcon(style()->standardIcon(QStyle::SP_DialogCloseButton));
    cmdExit_->setIconSize(QSize(22, 22));
    bg->addWidget(cmdMaster_, 0, 0, 1, 2);
    bg->addWidget(cmdSetio_, 1, 0);
    bg->addWidget(cmdAlign_, 1, 1);
    bg->addWidget(cmdMaint_, 2, 0);
    bg->addWidget(cmdSetAddr_, 2, 1);
    bg->addWidget(cmdVer_, 3, 0);
    bg->addWidget(cmdVer2_, 3, 1);
    bg->addWidget(cmdExit_, 4, 0, 1, 2);
    return Frame1;
}

// "Change Address": the list of bus addresses and the buttons that step through it.
QGroupBox* frmMain::BuildAddressChooser(QWidget* parent) {
    auto* frMisc = new QGroupBox(parent);
    frMisc->setObjectName("frMisc");
    auto* mg = new QGridLayout(frMisc);
    auto* Label3 = Caption("Change Address", "Label3", frMisc);
    cmbChangeAddr_ = new AddressList(frMisc);
    cmbChangeAddr_->setObjectName("cmbChangeAddr");
    cmbChangeAddr_->setEditable(true);
    cmbChangeAddr_->setInsertPolicy(QComboBox::NoInsert);
    cmbChangeAddr_->setMaxVisibleItems(15);
    for (int a = 1; a <= 247; ++a)
        cmbChangeAddr_->addItem(QString::number(a));
    cmbChangeAddr_->setEditText(QString::fromStdString(par_.Main.DetNum));
    cmdUp_ = Button(QString(), "cmdUp", "Increment address", frMisc);
    cmdUp_->setIcon(style()->standardIcon(QStyle::SP_ArrowUp));
    cmdDown_ = Button(QString(), "cmdDown", "Decrement address", frMisc);
    cmdDown_->setIcon(style()->standardIcon(QStyle::SP_ArrowDown));
    mg->addWidget(Label3, 0, 0, 1, 3);
    mg->addWidget(cmbChangeAddr_, 1, 0);
    mg->addWidget(cmdUp_, 1, 1);
    mg->addWidget(cmdDown_, 1, 2);
    mg->setColumnStretch(0, 1);
    return frMisc;
}

// The version text, the logging lines and the S/N test warning.
void frmMain::BuildNotices(QWidget* parent) {
    lblVer_ = ValueLabel("lblVer", parent, 11, 160);
    lblVer_->setWordWrap(true);
    lblLogOn_ = Caption(QString(), "lblLogOn", parent);
    lblLogOn_->setStyleSheet("color: #006000; font-weight: bold;");
    lblLogError_ = Caption(QString(), "lblLogError", parent);
    lblLogError_->setStyleSheet("color: #b00000; font-weight: bold;");
    lblLogError_->setWordWrap(true);

    // A detector left in its S/N test reads as normal here: said across the window, in the
    // warning colour, until it is back in normal mode.
    lblSnTest_ = Caption(QString(), "lblSnTest", parent);
    lblSnTest_->setStyleSheet(
        "background: rgb(255,255,0); color: black; font-weight: bold; padding: 6px;");
    lblSnTest_->setWordWrap(true);
    lblSnTest_->hide();  // until there is something to say: the window's height is made without it
}

void frmMain::BuildStatusBar(QWidget* parent) {
    // Logging state and logging trouble along the bottom, out of the way of the readings.
    statusBar()->addWidget(lblLogOn_, 1);
    statusBar()->addPermanentWidget(lblLogError_);
    lblHistoryError_ = Caption(QString(), "lblHistoryError", parent);
    lblHistoryError_->setStyleSheet("color: #b00000; font-weight: bold;");
    lblHistoryError_->setWordWrap(true);
    lblHistoryError_->hide();
    statusBar()->addPermanentWidget(lblHistoryError_);
    // Long port notices end in an ellipsis on a narrow screen; the whole text is the tooltip.
    lblPortNotice_ = new ElidedLabel(parent);
    lblPortNotice_->setObjectName("lblPortNotice");
    lblPortNotice_->setStyleSheet("color: #805000;");
    statusBar()->addPermanentWidget(lblPortNotice_, 1);
    lblWriteNotice_ = new ElidedLabel(parent);
    lblWriteNotice_->setObjectName("lblWriteNotice");
    statusBar()->addWidget(lblWriteNotice_, 2);
}

void frmMain::ConnectCommandButtons() {
    connect(cmdMaster_, &QPushButton::clicked, this, [this] { mainComm_.cmdMaster(); });
    connect(cmdExit_, &QPushButton::clicked, this, [this] { mainComm_.ConfirmExit(); });
    connect(cmdVer_, &QPushButton::clicked, this, [this] { mainComm_.cmdVer(); });
    connect(cmdVer2_, &QPushButton::clicked, this, [this] { mainComm_.cmdVer2(); });
    connect(cmdMaint_, &QPushButton::clicked, this, [this] { mainComm_.cmdMaint(); });
    connect(cmdSetio_, &QPushButton::clicked, this, [this] { mainComm_.cmdSetio(); });
    connect(cmdAlign_, &QPushButton::clicked, this, [this] { mainComm_.cmdAlign(); });
    connect(cmdSetAddr_, &QPushButton::clicked, this, [this] { mainComm_.cmdSetAddr(); });
    connect(cmdUp_, &QPushButton::clicked, this, [this] { mainComm_.cmdUp(); });
    connect(cmdDown_, &QPushButton::clicked, this, [this] { mainComm_.cmdDown(); });
}

void frmMain::ConnectAddressChooser() {
    connect(cmbChangeAddr_, &QComboBox::activated, this, [this](int index) {
        if (cmbChangeAddr_->TakeListChoice())
            mainComm_.SelectAddress(cmbChangeAddr_->itemText(index).toStdString());
    });
    // Enter, or leaving the field, without a choice: the field shows the served address again.
    connect(cmbChangeAddr_->lineEdit(), &QLineEdit::editingFinished, this, [this] {
        // The list opening takes the focus too: leave it be, or it closes again at once.
        const QString served = QString::fromStdString(par_.Main.DetNum);
        if (!cmbChangeAddr_->view()->isVisible() && cmbChangeAddr_->currentText() != served)
            cmbChangeAddr_->setEditText(served);
    });
    // Only the technician's typing is checked, not texts the program sets.
    connect(cmbChangeAddr_->lineEdit(), &QLineEdit::textEdited, this, [this](const QString& text) {
        cmbChangeAddr_->Typed();
        if (AddressTextAcceptable(text.toStdString()))
            return;
        // Put the served address back after half a second, unless typing has made the text a
        // number by then ("-" on the way to "-5"); the window may be gone by then.
        mainComm_.RestoreAddressTextLater([window = QPointer<frmMain>(this)] {
            if (!window ||
                AddressTextAcceptable(window->cmbChangeAddr_->currentText().toStdString()))
                return;
            window->cmbChangeAddr_->setEditText(QString::fromStdString(window->par_.Main.DetNum));
        });
    });
}

frmMain::~frmMain() {
    // Controls can still signal while they are torn down; this window is no longer there
    // to hear them.
    for (QObject* child : findChildren<QObject*>())
        QObject::disconnect(child, nullptr, this, nullptr);
}

void frmMain::FocusHome() {
    cmdMaster_->setFocus();
}

void frmMain::Refresh() {
    const Panel& m = par_.Main;
    lblDetNum_->setText(QString::fromStdString(m.DetNum));
    // The address field shows the served address too, but not while the technician types into
    // it or picks from its list.
    if (!cmbChangeAddr_->lineEdit()->hasFocus() && !cmbChangeAddr_->view()->isVisible() &&
        cmbChangeAddr_->currentText() != lblDetNum_->text())
        cmbChangeAddr_->setEditText(lblDetNum_->text());
    lblFlash_->setText(QString::fromStdString(m.Flash));
    lblSeNum_->setText(QString::fromStdString(m.SeNum));
    // The detector's bytes, one character each (the status may carry any byte).
    lblStatus_->setText(
        QString::fromLatin1(m.Status.data(), static_cast<qsizetype>(m.Status.size())));
    SetColours(lblStatus_, ToQColor(m.StatusBack), ToQColor(m.StatusFore));
    lblSIL2Des_->setText(QString::fromStdString(m.SIL2Des));
    lblGain_->setText(QString::fromStdString(m.Gain));
    for (int i = 0; i < 5; ++i)
        lblChVal_[i]->setText(QString::fromStdString(m.ChVal[i]));
    lblCom_->setText(QString::fromStdString(m.Com));
    switch (m.Shape1) {
        case Lamp::Green:
            Shape1_->SetColor(QColor(0, 255, 0));
            SetColours(lblCom_, QColor(0, 255, 0), Qt::black);
            break;
        case Lamp::Red:
            Shape1_->SetColor(QColor(255, 0, 0));
            SetColours(lblCom_, QColor(255, 0, 0), Qt::black);
            break;
        case Lamp::Unknown:
            Shape1_->SetColor(Qt::lightGray);
            break;
    }
    lblF12_->setVisible(par_.Tune.TuneActive);
    lblVer_->setText(QString::fromLatin1(m.Ver.data(), static_cast<int>(m.Ver.size())));
    lblVer_->setVisible(m.VerVisible);
    cmdMaster_->setText(QString::fromStdString(m.MasterCaption));
    mnuSLog_->setText(QString::fromStdString(m.SLogCaption));
    lblLogOn_->setText(QString::fromStdString(m.LogOnCaption));
    lblLogOn_->setVisible(m.LogOnVisible);
    const std::string logWarning = LogWarning(par_);
    lblLogError_->setText(
        logWarning.empty() ? QString() : "Logging fails: " + QString::fromStdString(logWarning));
    lblLogError_->setVisible(!logWarning.empty());
    const std::string historyWarning = par_.History ? par_.History->Warning() : std::string();
    lblHistoryError_->setText(QString::fromStdString(historyWarning));
    lblHistoryError_->setVisible(!historyWarning.empty());
    lblPortNotice_->SetFullText(QString::fromStdString(m.PortNotice));
    lblPortNotice_->setVisible(!m.PortNotice.empty());
    lblWriteNotice_->SetFullText(QString::fromStdString(m.WriteNotice));
    lblWriteNotice_->setVisible(!m.WriteNotice.empty());
    const std::string snTest = SnTestNotice(par_);
    lblSnTest_->setText(QString::fromStdString(snTest));
    lblSnTest_->setVisible(!snTest.empty());
}

bool frmMain::HandleKey(QKeyEvent& e, QWidget& receiver) {
    if (e.key() == Qt::Key_F12) {
        mainComm_.StartTuningKey();
        return true;
    }
    // Also when the menu entries' shortcuts are not in force (the window is not active).
    if (e.key() == Qt::Key_F7) {
        emit trafficRequested();
        return true;
    }
    if (e.key() == Qt::Key_F1) {
        emit aboutRequested();
        return true;
    }
    if (e.key() == Qt::Key_Escape) {
        mainComm_.Hotkey(27);
        return true;
    }
    if (e.modifiers() & (Qt::ControlModifier | Qt::AltModifier))
        return false;
    const QString text = e.text();
    if (text.size() != 1 || text[0].unicode() > 127)
        return false;
    // Letters type into the address field while it has the focus.
    if (qobject_cast<QLineEdit*>(&receiver))
        return false;
    return mainComm_.Hotkey(text[0].toLatin1());
}

void frmMain::closeEvent(QCloseEvent* event) {
    event->accept();
    mainComm_.ExitNow();
}

}  // namespace halvern
