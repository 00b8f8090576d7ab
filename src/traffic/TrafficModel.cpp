#include "traffic/TrafficModel.h"

#include <algorithm>

#include <QBrush>
#include <QColor>
#include <QFontDatabase>

namespace halvern {

namespace {
const QColor kTroubleBack(255, 205, 205);  // red: bytes the program could not use
const QColor kOddBack(255, 240, 170);      // yellow: whole, but not the answer expected
}  // namespace

std::array<int, 6> TrafficColumnWidths(int width, int digit) {
    std::array<int, 6> w{};
    w[TrafficModel::Time] = digit * 14;
    w[TrafficModel::Ms] = digit * 11;
    w[TrafficModel::Direction] = digit * 5;
    w[TrafficModel::Crc] = digit * 7;
    const int rest = width - (w[0] + w[1] + w[2] + w[4]);
    // A status query and its reply's first bytes, at least; the meaning at least as wide.
    w[TrafficModel::Bytes] = std::clamp(rest * 3 / 5, digit * 27, digit * 62);
    w[TrafficModel::Meaning] = std::max(digit * 20, rest - w[TrafficModel::Bytes]);
    return w;
}

TrafficModel::TrafficModel(TrafficLog& log, const TrafficClock& clock, QObject* parent)
    : QAbstractTableModel(parent),
      log_(log),
      clock_(clock),
      fixedFont_(QFontDatabase::systemFont(QFontDatabase::FixedFont)) {}

bool TrafficModel::Update() {
    const std::size_t waiting = log_.Waiting();
    if (waiting == 0)
        return false;
    if (const std::size_t drop = log_.OverflowOnShow(); drop > 0) {
        beginRemoveRows({}, 0, static_cast<int>(drop) - 1);
        log_.DropOldestShown(drop);
        endRemoveRows();
    }
    const int first = rowCount();
    beginInsertRows({}, first, first + static_cast<int>(waiting) - 1);
    log_.ShowWaiting();
    endInsertRows();
    return true;
}

void TrafficModel::Clear() {
    beginResetModel();
    log_.Clear();
    endResetModel();
}

int TrafficModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(log_.Shown().Size());
}

int TrafficModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant TrafficModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const TrafficEntry& e = log_.Shown()[static_cast<std::size_t>(index.row())];
    switch (role) {
        case Qt::DisplayRole:
            switch (index.column()) {
                case Time:
                    return clock_.TimeText(e.us);
                case Ms:
                    return QString::number(clock_.MsSinceStart(e.us));
                case Direction:
                    return QString(DirectionText(e.direction));
                case Bytes:
                    return QString::fromStdString(HexText(e.bytes, e.count));
                case Crc:
                    return QString(CrcVerdictText(e.meaning.crc));
                case Meaning:
                    return QString::fromStdString(e.meaning.text);
                default:
                    return {};
            }
        case Qt::BackgroundRole:
            if (e.meaning.mark == TrafficMark::Trouble)
                return QBrush(kTroubleBack);
            if (e.meaning.mark == TrafficMark::Odd)
                return QBrush(kOddBack);
            return {};
        case Qt::ForegroundRole:
            // Requests in blue, so that each question and its answer read as a pair.
            if (e.direction == TrafficDirection::Sent)
                return QBrush(QColor(0, 0, 150));
            return {};
        case Qt::FontRole:
            if (index.column() == Bytes)
                return fixedFont_;
            return {};
        case Qt::ToolTipRole:
            if (index.column() == Bytes || index.column() == Meaning)
                return QString::fromStdString(e.meaning.text + "\n" + HexText(e.bytes, e.count));
            return {};
        default:
            return {};
    }
}

QVariant TrafficModel::headerData(int section, Qt::Orientation o, int role) const {
    if (role != Qt::DisplayRole || o != Qt::Horizontal)
        return {};
    static const char* const kTitles[ColumnCount] = {"Time",  "ms",  "Dir",
                                                     "Bytes", "CRC", "Meaning"};
    return section >= 0 && section < ColumnCount ? QString(kTitles[section]) : QString();
}

}  // namespace halvern
