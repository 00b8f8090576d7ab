#include "monitor/frmScan.h"

#include <algorithm>

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>

#include "monitor/ScanComm.h"

namespace halvern {

namespace {

constexpr int kTextPoints = 11;
constexpr int kListPoints = 12;

template <typename W>
W* Named(W* w, const char* name, int points, bool bold = false) {
    w->setObjectName(name);
    QFont f = w->font();
    f.setPointSize(points);
    f.setBold(bold);
    w->setFont(f);
    return w;
}

QPushButton* Button(const QString& text, const char* name, QWidget* parent) {
    auto* b = Named(new QPushButton(text, parent), name, kTextPoints);
    b->setAutoDefault(false);
    b->setMinimumSize(120, 38);
    // Enter and Space belong to the list; the window handles Esc.
    b->setFocusPolicy(Qt::NoFocus);
    return b;
}

}  // namespace

frmScan::frmScan(ScanComm& comm, QWidget* parent)
    : ChooserWindow(parent, Qt::Dialog), scanComm_(comm) {
    setObjectName("frmScan");
    setWindowTitle("Scan bus");
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);

    lblState_ = Named(new QLabel(this), "lblState", kTextPoints, true);
    lblState_->setWordWrap(true);  // a long message (noise on the bus) keeps the window narrow
    prgScan_ = Named(new QProgressBar(this), "prgScan", kTextPoints);
    prgScan_->setMinimumHeight(28);
    lblAddress_ = Named(new QLabel(this), "lblAddress", kTextPoints);
    lblTimeLeft_ = Named(new QLabel(this), "lblTimeLeft", kTextPoints);
    auto* lblTimeout = Named(new QLabel("Time-out:", this), "lblTimeout", kTextPoints);
    spnTimeout_ = Named(new QSpinBox(this), "spnTimeout", kTextPoints);
    spnTimeout_->setRange(1, kMaxScanTimeoutMs);
    spnTimeout_->setSuffix(" ms");
    spnTimeout_->setValue(scanComm_.TimeoutMs());
    const QString timeoutTip =
        "How long each address has to begin its answer in the first pass; an address where "
        "bytes came is asked again with the full 0.6 s";
    lblTimeout->setToolTip(timeoutTip);
    spnTimeout_->setToolTip(timeoutTip);
    lblTimeout->setBuddy(spnTimeout_);
    auto* lblFound = Named(new QLabel("Detectors found", this), "lblFound", kTextPoints);
    lstFound_ = Named(new QListWidget(this), "lstFound", kListPoints);
    lstFound_->setSelectionMode(QAbstractItemView::SingleSelection);
    lstFound_->setMinimumHeight(200);
    auto* lblHint = Named(
        new QLabel("Double-click a detector, or select it and press Enter, to serve it.", this),
        "lblHint", kTextPoints - 1);
    lblHint->setWordWrap(true);
    cmdCancel_ = Button("Cancel", "cmdCancel", this);
    cmdCancel_->setToolTip("Stop the scan (Esc)");
    cmdClose_ = Button("Close", "cmdClose", this);
    cmdOverview_ = Button("Bus overview", "cmdOverview", this);
    cmdOverview_->setToolTip("Every detector found, polled in turn, on one screen");

    auto* progress = new QHBoxLayout;
    progress->addWidget(lblAddress_, 1);
    progress->addWidget(lblTimeLeft_, 0, Qt::AlignRight);
    auto* timeout = new QHBoxLayout;
    timeout->addWidget(lblTimeout);
    timeout->addWidget(spnTimeout_);
    timeout->addStretch(1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cmdOverview_);
    buttons->addStretch(1);
    buttons->addWidget(cmdCancel_);
    buttons->addWidget(cmdClose_);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 14, 16, 14);
    layout->setSpacing(10);
    layout->addWidget(lblState_);
    layout->addWidget(prgScan_);
    layout->addLayout(progress);
    layout->addLayout(timeout);
    layout->addSpacing(6);
    layout->addWidget(lblFound);
    layout->addWidget(lstFound_, 1);
    layout->addWidget(lblHint);
    layout->addLayout(buttons);

    connect(cmdCancel_, &QPushButton::clicked, this, [this] { scanComm_.Cancel(); });
    connect(cmdClose_, &QPushButton::clicked, this, &QWidget::close);
    connect(cmdOverview_, &QPushButton::clicked, this, &frmScan::overviewRequested);
    connect(spnTimeout_, &QSpinBox::valueChanged, this,
            [this](int ms) { scanComm_.SetTimeoutMs(ms); });
    connect(lstFound_, &QListWidget::itemDoubleClicked, this,
            [this](QListWidgetItem* item) { Choose(lstFound_->row(item)); });
    resize(620, 480);
    Refresh();
    lstFound_->setFocus();
}

void frmScan::Refresh() {
    const BusScan& scan = scanComm_.Scan();
    lblState_->setText(QString::fromStdString(scanComm_.StateText()));
    prgScan_->setRange(0, scan.Total());
    prgScan_->setValue(scan.Reached());
    lblAddress_->setText(QString::fromStdString(scanComm_.AddressText()));
    lblTimeLeft_->setText(QString::fromStdString(scanComm_.TimeLeftText()));
    if (spnTimeout_->value() != scanComm_.TimeoutMs()) {
        const QSignalBlocker quiet(spnTimeout_);
        spnTimeout_->setValue(scanComm_.TimeoutMs());
    }
    const auto& hits = scan.Hits();
    if (static_cast<std::size_t>(lstFound_->count()) > hits.size())
        lstFound_->clear();  // a new scan
    for (auto i = static_cast<std::size_t>(lstFound_->count()); i < hits.size(); ++i) {
        auto* item = new QListWidgetItem(QString::fromStdString(BusScan::Describe(hits[i])));
        if (!hits[i].valid) {
            item->setForeground(Qt::darkGray);
            item->setToolTip("This address answered, but not with a valid status reply");
        }
        lstFound_->addItem(item);
    }
    if (lstFound_->currentRow() < 0 && lstFound_->count() > 0)
        lstFound_->setCurrentRow(0);
    cmdCancel_->setEnabled(scanComm_.Running() && !scanComm_.Cancelling());
    cmdOverview_->setEnabled(
        !scanComm_.Running() &&
        std::any_of(hits.begin(), hits.end(), [](const ScanHit& h) { return h.valid; }));
}

int frmScan::CurrentRow() const {
    return lstFound_->currentRow();
}

bool frmScan::ChooseRow(std::size_t row) {
    return scanComm_.Choose(row);
}

bool frmScan::Escape() {
    if (!scanComm_.Running())
        return false;
    scanComm_.Cancel();
    return true;
}

void frmScan::Closing() {
    scanComm_.Close();
}

}  // namespace halvern
