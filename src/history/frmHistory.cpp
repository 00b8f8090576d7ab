#include "history/frmHistory.h"

#include <QAbstractTableModel>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>
#include <vector>

#include "history/HistoryPages.h"
#include "history/HistoryStore.h"
#include "ui/WindowKeys.h"

namespace halvern {

namespace {

// The outcome beside the action: the texts before and after may be wider than the window.
const char* const kColumns[] = {"Time",    "Serial No.", "Model", "Address", "Action",
                                "Outcome", "Before",     "After", "User"};
constexpr int kBeforeColumn = 6, kAfterColumn = 7;

}  // namespace

// The rows read so far; the view asks for the next page as it is scrolled to the end.
class HistoryModel : public QAbstractTableModel {
  public:
    HistoryModel(const std::string& path, std::function<void()> paged, QObject* parent)
        : QAbstractTableModel(parent),
          pages_(path, [this](std::vector<ServiceEvent>&& page) { Append(std::move(page)); }),
          paged_(std::move(paged)) {}

    void Start(const std::string& serial) {
        beginResetModel();
        rows_.clear();
        endResetModel();
        pages_.Start(serial);
    }
    HistoryPages& Pages() { return pages_; }

    int rowCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : static_cast<int>(rows_.size());
    }
    int columnCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : static_cast<int>(std::size(kColumns));
    }
    QVariant headerData(int section, Qt::Orientation o, int role) const override {
        if (o == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
            section < static_cast<int>(std::size(kColumns)))
            return QString(kColumns[section]);
        return {};
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (role != Qt::DisplayRole || !index.isValid())
            return {};
        const ServiceEvent& e = rows_[static_cast<std::size_t>(index.row())];
        switch (index.column()) {
            case 0:
                return QString::fromStdString(e.local);
            case 1:
                return QString::fromStdString(e.serial);
            case 2:
                return QString::fromStdString(e.model);
            case 3:
                return e.address;
            case 4:
                return QString::fromStdString(e.action);
            case 5:
                return QString::fromStdString(OutcomeText(e));
            case kBeforeColumn:
                return QString::fromStdString(e.before);
            case kAfterColumn:
                return QString::fromStdString(e.after);
            default:
                return QString::fromStdString(e.user);
        }
    }
    bool canFetchMore(const QModelIndex& parent) const override {
        return !parent.isValid() && pages_.CanMore();
    }
    void fetchMore(const QModelIndex& parent) override {
        if (!parent.isValid())
            pages_.More();
    }

  private:
    void Append(std::vector<ServiceEvent>&& page) {
        if (!page.empty()) {
            const int first = static_cast<int>(rows_.size());
            beginInsertRows({}, first, first + static_cast<int>(page.size()) - 1);
            rows_.insert(rows_.end(), std::make_move_iterator(page.begin()),
                         std::make_move_iterator(page.end()));
            endInsertRows();
        }
        paged_();
    }

    HistoryPages pages_;
    std::function<void()> paged_;
    std::vector<ServiceEvent> rows_;
};

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

    model_ = new HistoryModel(
        store.Path(), [this] { ShowError(); }, this);
    grdHistory_ = new QTableView(this);
    grdHistory_->setObjectName("grdHistory");
    grdHistory_->setModel(model_);
    grdHistory_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grdHistory_->setSelectionBehavior(QAbstractItemView::SelectRows);
    grdHistory_->setWordWrap(true);
    grdHistory_->verticalHeader()->hide();
    // The short columns as wide as their texts; the texts before and after share the rest
    // and wrap their lines, each row as tall as its texts: a changed value is read whole
    // within the window, never cut off at its right edge. Sized as their rows come, a page
    // at a time: sizing every row read so far on each page would hold the polling up.
    QHeaderView* columns = grdHistory_->horizontalHeader();
    for (const int c : {kBeforeColumn, kAfterColumn})
        columns->setSectionResizeMode(c, QHeaderView::Stretch);
    columns->setStretchLastSection(false);
    grdHistory_->setTextElideMode(Qt::ElideNone);
    connect(model_, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex&, int first, int last) { FitRows(first, last); });
    // A wider or narrower window wraps the texts anew, once it has its size.
    refit_ = new QTimer(this);
    refit_->setSingleShot(true);
    refit_->setInterval(150);
    connect(refit_, &QTimer::timeout, this, [this] {
        unfitted_ = 0;
        FitSomeRows();
    });
    connect(columns, &QHeaderView::sectionResized, this, [this](int column, int, int) {
        if (column == kBeforeColumn && !fitting_)
            refit_->start();
    });
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

frmHistory::~frmHistory() = default;

void frmHistory::FitRows(int first, int last) {
    QHeaderView* columns = grdHistory_->horizontalHeader();
    const int wrapWidth = columns->sectionSize(kBeforeColumn);
    fitting_ = true;
    for (int c = 0; c < model_->columnCount({}); ++c) {
        if (c == kBeforeColumn || c == kAfterColumn)
            continue;
        int width = std::max(columns->sectionSize(c), columns->sectionSizeHint(c));
        for (int row = first; row <= last; ++row)
            width = std::max(width, grdHistory_->sizeHintForIndex(model_->index(row, c)).width());
        columns->resizeSection(c, width);
    }
    fitting_ = false;
    // The rows before wrap anew too when the texts got another width.
    unfitted_ = std::min(unfitted_, columns->sectionSize(kBeforeColumn) != wrapWidth ? 0 : first);
    FitSomeRows();
}

void frmHistory::FitSomeRows() {
    // A page's worth at a time, the polling running in between.
    const int end = std::min(model_->rowCount({}), unfitted_ + kHistoryPageSize);
    for (; unfitted_ < end; ++unfitted_)
        grdHistory_->resizeRowToContents(unfitted_);
    if (unfitted_ < model_->rowCount({}))
        QTimer::singleShot(0, this, [this] { FitSomeRows(); });
}

void frmHistory::WaitForRows() {
    model_->Pages().Wait();
}

void frmHistory::Refresh() {
    ShowError();
    model_->Start(Serial());
}

void frmHistory::ShowError() {
    const std::string& error = model_->Pages().Error();
    lblError_->setText(error.empty()
                           ? QString()
                           : QString::fromStdString("The service history " + store_.Path() +
                                                    " cannot be read: " + error));
    lblError_->setVisible(!error.empty());
}

}  // namespace halvern
