#include "site/frmBusOverview.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QVBoxLayout>

#include "site/OverviewComm.h"

namespace halvern {

namespace {

constexpr int kTextPoints = 11;
constexpr int kStatusColumn = 3, kLinkColumn = 5;

QColor ColourOf(const Rgb& c) {
    return QColor(c.r, c.g, c.b);
}

// The chosen row's coloured cells keep their colours, framed in the selection's colour: an
// alarm or a lost detector shows as such whichever row is chosen.
class KeepColours : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const auto back = index.data(Qt::BackgroundRole).value<QBrush>();
        if (!(option.state & QStyle::State_Selected) || back.style() == Qt::NoBrush ||
            back.color().alpha() == 0) {
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
        QStyleOptionViewItem plain(option);
        plain.state &= ~QStyle::State_Selected;
        QStyledItemDelegate::paint(painter, plain, index);
        painter->save();
        painter->setPen(QPen(option.palette.highlight().color(), 3));
        painter->drawRect(option.rect.adjusted(1, 1, -2, -2));
        painter->restore();
    }
};

}  // namespace

frmBusOverview::frmBusOverview(OverviewComm& comm, QWidget* parent)
    : ChooserWindow(parent, Qt::Dialog), comm_(comm) {
    setObjectName("frmBusOverview");
    setWindowTitle("Bus overview");
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint | Qt::WindowMaximizeButtonHint);

    lblState_ = new QLabel(this);
    lblState_->setObjectName("lblState");
    QFont bold = lblState_->font();
    bold.setPointSize(kTextPoints);
    bold.setBold(true);
    lblState_->setFont(bold);

    grdDetectors_ = new QTableWidget(0, 7, this);
    grdDetectors_->setObjectName("grdDetectors");
    grdDetectors_->setHorizontalHeaderLabels(
        {"Address", "Model", "Serial No.", "Status", "Gas reading", "Link", "Last seen"});
    grdDetectors_->verticalHeader()->setVisible(false);
    grdDetectors_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grdDetectors_->setSelectionBehavior(QAbstractItemView::SelectRows);
    grdDetectors_->setSelectionMode(QAbstractItemView::SingleSelection);
    grdDetectors_->setItemDelegate(new KeepColours(grdDetectors_));
    grdDetectors_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    grdDetectors_->horizontalHeader()->setSectionResizeMode(kStatusColumn, QHeaderView::Stretch);
    QFont f = grdDetectors_->font();
    f.setPointSize(kTextPoints);
    grdDetectors_->setFont(f);

    auto* lblHint = new QLabel(
        "Double-click a detector, or select it and press Enter, to serve it in the main window.",
        this);
    lblHint->setObjectName("lblHint");
    lblHint->setWordWrap(true);
    cmdClose_ = new QPushButton("Close", this);
    cmdClose_->setObjectName("cmdClose");
    cmdClose_->setAutoDefault(false);
    cmdClose_->setFocusPolicy(Qt::NoFocus);
    cmdClose_->setMinimumSize(120, 38);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(lblHint, 1);
    buttons->addWidget(cmdClose_);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 10, 12, 10);
    layout->addWidget(lblState_);
    layout->addWidget(grdDetectors_, 1);
    layout->addLayout(buttons);

    connect(cmdClose_, &QPushButton::clicked, this, &QWidget::close);
    connect(grdDetectors_, &QTableWidget::cellDoubleClicked, this,
            [this](int row, int) { Choose(row); });
    resize(900, 520);  // within the smallest screen, 1024x600, with its frame
    Refresh();
    grdDetectors_->setFocus();
}

void frmBusOverview::Refresh() {
    lblState_->setText(QString::fromStdString(comm_.StateText()));
    const auto& detectors = comm_.Detectors();
    grdDetectors_->setRowCount(static_cast<int>(detectors.size()));
    for (std::size_t i = 0; i < detectors.size(); ++i) {
        const auto row = static_cast<int>(i);
        const auto texts = OverviewRow(detectors[i]);
        const StatusColours colours = OverviewStatusColours(detectors[i]);
        for (int col = 0; col < static_cast<int>(texts.size()); ++col) {
            auto* item = grdDetectors_->item(row, col);
            if (!item) {
                item = new QTableWidgetItem;
                grdDetectors_->setItem(row, col, item);
            }
            item->setText(QString::fromStdString(texts[static_cast<std::size_t>(col)]));
        }
        // The status in the main window's colours; a lost link on the lamp's red.
        auto* status = grdDetectors_->item(row, kStatusColumn);
        status->setBackground(ColourOf(colours.back));
        status->setForeground(ColourOf(colours.fore));
        auto* link = grdDetectors_->item(row, kLinkColumn);
        link->setBackground(detectors[i].lost ? ColourOf(kRed) : QColor(Qt::transparent));
        link->setForeground(detectors[i].lost ? ColourOf(kWhite) : palette().text().color());
    }
    if (grdDetectors_->currentRow() < 0 && grdDetectors_->rowCount() > 0)
        grdDetectors_->setCurrentCell(0, 0);
}

int frmBusOverview::CurrentRow() const {
    return grdDetectors_->currentRow();
}

bool frmBusOverview::ChooseRow(std::size_t row) {
    return comm_.Choose(row);
}

void frmBusOverview::Closing() {
    comm_.Close();
}

}  // namespace halvern
