#include "ui/frmComm.h"

#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "link/LinkFiles.h"
#include "platform/GatewayAddress.h"
#include "platform/qt/PortDevice.h"
#include "ui/ButtonRow.h"
#include "ui/WindowKeys.h"

namespace halvern {

namespace {

constexpr int kRowIndex = Qt::UserRole;

QString Text(const std::string& s) {
    return QString::fromStdString(s);
}

}  // namespace

frmComm::frmComm(Par& par, PortSources sources, QWidget* parent)
    : QDialog(parent), par_(par), sources_(std::move(sources)) {
    setObjectName("frmComm");
    // A small fixed box: a close button, no minimise or maximise.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setWindowTitle("Communication setup");

    QGroupBox* frame = BuildNumberField();
    QGroupBox* gateway = BuildGatewayField();
    QGroupBox* ports = BuildPortList();
    lblOpens_ = new QLabel(this);
    lblOpens_->setObjectName("lblOpens");
    lblOpens_->setWordWrap(true);

    const auto [buttons, ok, cancel] =
        OkCancelRow(this, "OK-Enter", "OKButton", "Cancel-Esc", "CancelButton");
    ok->setDefault(true);

    auto* serialOrNetwork = new QVBoxLayout;
    serialOrNetwork->setSpacing(12);
    serialOrNetwork->addWidget(frame);
    serialOrNetwork->addWidget(gateway);
    serialOrNetwork->addStretch(1);
    auto* choice = new QHBoxLayout;
    choice->setSpacing(12);
    choice->addLayout(serialOrNetwork);
    choice->addWidget(ports, 1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(14, 14, 14, 14);
    layout->setSpacing(12);
    layout->addLayout(choice, 1);
    layout->addWidget(lblOpens_);
    layout->addLayout(buttons);

    LoadPortChoice();
    // Connected after the load: the field and the list filled there are no one's choice.
    ConnectChoices(ok, cancel);
    new WindowKeys(*this, [this](QKeyEvent& key, QWidget&) { return HandleKey(key); });
}

// "Select COM port": the number, typed or chosen.
QGroupBox* frmComm::BuildNumberField() {
    auto* frame = new QGroupBox(this);
    frame->setObjectName("Frame2");
    auto* label = new QLabel("Select COM port", frame);
    label->setObjectName("Label1");
    cmbCOM_ = new QComboBox(frame);
    cmbCOM_->setObjectName("cmbCOM");
    cmbCOM_->setEditable(true);
    cmbCOM_->setInsertPolicy(QComboBox::NoInsert);
    cmbCOM_->setCompleter(nullptr);  // a typed "1" must stay "1", not grow into "10"
    cmbCOM_->setMinimumContentsLength(6);
    label->setBuddy(cmbCOM_);
    auto* frameLayout = new QHBoxLayout(frame);
    frameLayout->setContentsMargins(16, 14, 16, 14);
    frameLayout->setSpacing(12);
    frameLayout->addWidget(label);
    frameLayout->addWidget(cmbCOM_, 1);
    return frame;
}

// A bus behind a serial device server: its address on the network, ticked to use it.
QGroupBox* frmComm::BuildGatewayField() {
    fraGateway_ = new QGroupBox("Network &gateway", this);
    fraGateway_->setObjectName("fraGateway");
    fraGateway_->setCheckable(true);
    fraGateway_->setChecked(false);
    txtGateway_ = new QLineEdit(fraGateway_);
    txtGateway_->setObjectName("txtGateway");
    txtGateway_->setPlaceholderText("host:port");
    txtGateway_->setToolTip(
        "The serial device server's address and TCP port, for example "
        "192.168.1.50:4001");
    txtGateway_->setMinimumWidth(200);
    auto* hint = new QLabel("Host and TCP port of the\nserial device server", fraGateway_);
    hint->setObjectName("lblGatewayHint");
    auto* layout = new QVBoxLayout(fraGateway_);
    layout->setContentsMargins(16, 10, 16, 10);
    layout->setSpacing(6);
    layout->addWidget(txtGateway_);
    layout->addWidget(hint);
    return fraGateway_;
}

// The ports present, so that the technician need not know which number the adapter got.
QGroupBox* frmComm::BuildPortList() {
    auto* ports = new QGroupBox("Serial ports on this PC", this);
    ports->setObjectName("fraPorts");
    lstPorts_ = new QTreeWidget(ports);
    lstPorts_->setObjectName("lstPorts");
    lstPorts_->setHeaderLabels({"Port", "Device", "Description", "Maker"});
    lstPorts_->setRootIsDecorated(false);
    lstPorts_->setUniformRowHeights(true);
    lstPorts_->setAllColumnsShowFocus(true);
    lstPorts_->setSelectionMode(QAbstractItemView::SingleSelection);
    lstPorts_->header()->setStretchLastSection(true);
    lstPorts_->setMinimumSize(560, 150);
    lblPortsFound_ = new QLabel(ports);
    lblPortsFound_->setObjectName("lblPortsFound");
    lblPortsFound_->setWordWrap(true);
    auto* refresh = new QPushButton("&Refresh", ports);
    refresh->setObjectName("cmdRefresh");
    refresh->setAutoDefault(false);
    refresh->setMinimumWidth(100);
    auto* portsFoot = new QHBoxLayout;
    portsFoot->addWidget(lblPortsFound_, 1);
    portsFoot->addWidget(refresh);
    auto* portsLayout = new QVBoxLayout(ports);
    portsLayout->setContentsMargins(12, 10, 12, 10);
    portsLayout->setSpacing(8);
    portsLayout->addWidget(lstPorts_, 1);
    portsLayout->addLayout(portsFoot);

    connect(refresh, &QPushButton::clicked, this, &frmComm::RefreshPorts);
    return ports;
}

// The stored port, shown in the field, and the ports present listed.
void frmComm::LoadPortChoice() {
    for (int n = 1; n <= 16; ++n)
        cmbCOM_->addItem(QString::number(n));
    par_.port = LoadPortNumber(PortFile(), par_.port, &portFileProblem_);
    cmbCOM_->setEditText(QString::number(par_.port));
    cmbCOM_->lineEdit()->selectAll();
    cmbCOM_->setFocus();
    if (const std::string gateway = LoadPortGateway(PortFile()); !gateway.empty()) {
        txtGateway_->setText(Text(gateway.substr(std::string(kGatewayScheme).size())));
        // A --device given wins over the gateway stored, which a tick brings back.
        if (sources_.givenDevice.empty()) {
            fraGateway_->setChecked(true);
            par_.PortDevice = gateway;
        }
    }
    RefreshPorts();
}

void frmComm::ConnectChoices(QPushButton* ok, QPushButton* cancel) {
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    // The arrow keys pick as they move; a click picks even the row already marked.
    connect(lstPorts_, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* item) { lstPorts_Pick(item); });
    connect(lstPorts_, &QTreeWidget::itemClicked, this,
            [this](QTreeWidgetItem* item) { lstPorts_Pick(item); });
    connect(lstPorts_, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) {
        lstPorts_Pick(item);
        accept();
    });
    connect(cancel, &QPushButton::clicked, this, &frmComm::reject);
    // Only the technician's own choices and typing count: the text set while loading shows
    // the stored port and must not be checked or written back.
    connect(cmbCOM_, &QComboBox::activated, this, &frmComm::cmbCOM_Click);
    connect(cmbCOM_->lineEdit(), &QLineEdit::textEdited, this, &frmComm::cmbCOM_Change);
    connect(fraGateway_, &QGroupBox::clicked, this, &frmComm::fraGateway_Toggle);
    connect(txtGateway_, &QLineEdit::textEdited, this, &frmComm::txtGateway_Change);
}

bool frmComm::HandleKey(QKeyEvent& key) {
    switch (key.key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            accept();
            return true;
        case Qt::Key_Escape:
            reject();
            return true;
        default:
            return false;
    }
}

std::string frmComm::PortFile() const {
    return JoinPath(par_.ProgramFolder, kPortFile);
}

void frmComm::reject() {
    QDialog::reject();
    emit cancelled();
}

void frmComm::cmbCOM_Click(int index) {
    par_.port = static_cast<std::int16_t>(cmbCOM_->itemText(index).toInt());
    LeaveGateway();
    par_.PortDevice.clear();  // the number chosen now is what counts
    SavePortNumber(PortFile(), par_.port);
    ShowTarget();
}

void frmComm::cmbCOM_Change(const QString& text) {
    const auto typed = ParseTypedPort(text.toStdString());
    if (!typed) {
        // Selected, so that the next digit typed replaces it.
        cmbCOM_->lineEdit()->setText("1");
        cmbCOM_->lineEdit()->selectAll();
    }
    par_.port = typed.value_or(1);
    LeaveGateway();
    par_.PortDevice.clear();
    SavePortNumber(PortFile(), par_.port);
    ShowTarget();
}

void frmComm::RefreshPorts() {
    rows_ = sources_.listPorts ? PortRows(sources_.listPorts()) : std::vector<PortRow>{};
    {
        const QSignalBlocker quiet(lstPorts_);
        lstPorts_->clear();
        for (std::size_t i = 0; i < rows_.size(); ++i) {
            const PortInfo& p = rows_[i].port;
            auto* item =
                new QTreeWidgetItem(lstPorts_, {Text(NumberText(rows_[i])), Text(p.device),
                                                Text(p.description), Text(p.manufacturer)});
            item->setData(0, kRowIndex, static_cast<int>(i));
            item->setTextAlignment(0, Qt::AlignCenter);
        }
        // Wide enough for the usual names even while the list is short or empty.
        const int least[] = {50, 150, 220};
        for (int c = 0; c < 3; ++c) {
            lstPorts_->resizeColumnToContents(c);
            lstPorts_->setColumnWidth(c, std::max(lstPorts_->columnWidth(c), least[c]));
        }
    }
    const auto n = rows_.size();
    lblPortsFound_->setText(n == 0   ? "No serial ports found: plug in the adapter and press "
                                       "Refresh."
                            : n == 1 ? "1 serial port found."
                                     : QString::number(n) + " serial ports found.");
    ShowTarget();
}

void frmComm::lstPorts_Pick(QTreeWidgetItem* item) {
    if (!item)
        return;
    const PortRow& row = rows_.at(static_cast<std::size_t>(item->data(0, kRowIndex).toInt()));
    LeaveGateway();
    par_.PortDevice = row.port.device;
    if (row.number) {
        par_.port = static_cast<std::int16_t>(*row.number);
        cmbCOM_->setEditText(QString::number(par_.port));
        SavePortNumber(PortFile(), par_.port);
    }
    ShowTarget();
}

std::string frmComm::GatewayTarget() const {
    const std::string typed = txtGateway_->text().trimmed().toStdString();
    return IsGatewayDevice(typed) ? typed : kGatewayScheme + typed;
}

void frmComm::fraGateway_Toggle(bool on) {
    par_.PortDevice = on ? GatewayTarget() : std::string();
    SavePortChoice(PortFile(), par_.port, par_.PortDevice);
    if (on)
        txtGateway_->setFocus();
    ShowTarget();
}

void frmComm::txtGateway_Change() {
    par_.PortDevice = GatewayTarget();
    SavePortChoice(PortFile(), par_.port, par_.PortDevice);
    ShowTarget();
}

void frmComm::LeaveGateway() {
    if (!fraGateway_->isChecked())
        return;
    fraGateway_->setChecked(false);
    par_.PortDevice.clear();
    SavePortNumber(PortFile(), par_.port);  // the number alone: the gateway is not kept
}

// Says what OK will open, and marks that port in the list.
void frmComm::ShowTarget() {
    const std::string target =
        DeviceToOpen(par_.PortDevice, sources_.givenDevice, par_.port, sources_.deviceForPort);
    QTreeWidgetItem* mark = nullptr;
    for (int i = 0; i < lstPorts_->topLevelItemCount() && !target.empty(); ++i)
        if (lstPorts_->topLevelItem(i)->text(1) == Text(target))
            mark = lstPorts_->topLevelItem(i);
    {
        const QSignalBlocker quiet(lstPorts_);
        lstPorts_->setCurrentItem(mark);
        if (!mark)
            lstPorts_->clearSelection();
    }
    QString text;
    std::string why;
    if (sources_.demo)
        text = "OK opens the simulated detectors (--demo).";
    else if (IsGatewayDevice(par_.PortDevice))
        text = ParseGatewayDevice(par_.PortDevice, &why)
                   ? "OK opens the network gateway " + Text(target) + "."
                   : "The gateway's address: " + Text(why) + ".";
    else if (target.empty())
        text = "No port chosen: type its number or pick it from the list.";
    else if (par_.PortDevice.empty() && !sources_.givenDevice.empty())
        text = "OK opens " + Text(target) + " (--device).";
    else if (sources_.listPorts && !mark)
        text = "OK opens " + Text(target) + ", which is not among the ports listed.";
    else
        text = "OK opens " + Text(target) + ".";
    lblOpens_->setText(text);
}

}  // namespace halvern
