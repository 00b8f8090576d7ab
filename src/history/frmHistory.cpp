#include "history/frmHistory.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "history/HistoryStore.h"
#include "ui/WindowKeys.h"

namespace halvern {

namespace {

// The outcome beside the action: the texts before and after may be wider than the window.
const char* const kColumns[] = {"Time",    "Serial No.", "Model", "Address", "Action",
                                "Outcome", "Before",     "After", "User"};
constexpr int kBeforeColumn = 6, kAfterColumn = 7;

}  // namespace

frmHistory::frmHistory(HistoryStore& store, const std::string& servedSerial, QWidget* parent)
    : QWidget(parent, Qt::Window), store_(store) {
    setObjectName("frmHistory");
    setWindowTitle("Service history");
    auto* top = new QVBoxLayout(this);
    auto* filter = new QHBoxLayout;
    auto* caption = new QLabel("Serial No. (empty: all detectors):", this);
    txtSerial_ = new QLineEdit(QString::fromStdString(servedSerial), this);
    txtSerial_->setObjectName("txtSerial");
    txtSerial_->setClearButtonEnabled(true);
    cmdReport_ = new QPushButton("Service report...", this);
    cmdReport_->setObjectName("cmdReport");
    cmdClose_ = new QPushButton("Close", this);
    cmdClose_->setObjectName("cmdClose");
    filter->addWidget(caption);
    filter->addWidget(txtSerial_, 1);
    filter->addWidget(cmdReport_);
    filter->addWidget(cmdClose_);
    top->addLayout(filter);

    grdHistory_ = new QTableWidget(0, static_cast<int>(std::size(kColumns)), this);
    grdHistory_->setObjectName("grdHistory");
    QStringList headers;
    for (const char* c : kColumns)
        headers << c;
    grdHistory_->setHorizontalHeaderLabels(headers);
    grdHistory_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grdHistory_->setSelectionBehavior(QAbstractItemView::SelectRows);
    grdHistory_->setWordWrap(true);
    grdHistory_->verticalHeader()->hide();
    // The short columns as wide as their texts; the texts before and after share the rest
    // and wrap their lines, each row as tall as its texts: a changed value is read whole
    // within the window, never cut off at its right edge.
    QHeaderView* columns = grdHistory_->horizontalHeader();
    columns->setSectionResizeMode(QHeaderView::ResizeToContents);
    for (const int c : {kBeforeColumn, kAfterColumn})
        columns->setSectionResizeMode(c, QHeaderView::Stretch);
    columns->setStretchLastSection(false);
    grdHistory_->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    grdHistory_->setTextElideMode(Qt::ElideNone);
    top->addWidget(grdHistory_, 1);
    lblError_ = new QLabel(this);
    lblError_->setObjectName("lblError");
    lblError_->setStyleSheet("color: #b00000; font-weight: bold;");
    lblError_->setWordWrap(true);
    top->addWidget(lblError_);

    connect(txtSerial_, &QLineEdit::textChanged, this, &frmHistory::Refresh);
    connect(cmdReport_, &QPushButton::clicked, this,
            [this] { emit reportRequested(txtSerial_->text().trimmed()); });
    connect(cmdClose_, &QPushButton::clicked, this, &QWidget::close);
    new WindowKeys(*this, [this](QKeyEvent& key, QWidget&) {
        if (key.key() != Qt::Key_Escape)
            return false;
        close();
        return true;
    });
    // Within the smallest laptop screen, 1024x600, with its frame and panel.
    resize(960, 500);
    Refresh();
    cmdClose_->setFocus();
}

std::string frmHistory::Serial() const {
    return txtSerial_->text().trimmed().toStdString();
}

void frmHistory::Refresh() {
    HistoryQuery query;
    query.serial = Serial();
    const auto events = store_.Events(query);
    const std::string& error = store_.ReadError();
    lblError_->setText(error.empty() ? QString()
                                     : "The service history cannot be read: " +
                                           QString::fromStdString(error));
    lblError_->setVisible(!error.empty());
    grdHistory_->setRowCount(static_cast<int>(events.size()));
    for (int row = 0; row < static_cast<int>(events.size()); ++row) {
        const ServiceEvent& e = events[static_cast<std::size_t>(row)];
        const QString outcome = QString::fromStdString(OutcomeText(e));
        const QString cells[] = {QString::fromStdString(e.local),  QString::fromStdString(e.serial),
                                 QString::fromStdString(e.model),  QString::number(e.address),
                                 QString::fromStdString(e.action), outcome,
                                 QString::fromStdString(e.before), QString::fromStdString(e.after),
                                 QString::fromStdString(e.user)};
        for (int c = 0; c < static_cast<int>(std::size(cells)); ++c)
            grdHistory_->setItem(row, c, new QTableWidgetItem(cells[c]));
    }
}

}  // namespace halvern
