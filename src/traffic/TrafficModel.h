#pragma once
// The table of the bus traffic window over a TrafficLog: time, ms since the start, direction,
// bytes, CRC verdict and meaning, one row per entry. Update() brings the waiting entries in
// as one removal of the oldest rows and one insertion, so the view lays out once per batch.

#include <QAbstractTableModel>
#include <QFont>
#include <array>

#include "traffic/TrafficLog.h"

namespace halvern {

// The widths of the columns in a table `width` pixels wide, in a font whose digit is `digit`
// pixels: time, ms, direction and CRC as their texts need; the bytes up to 62 digits, sharing
// what is left with the meaning, which gets the rest. Cut texts end in an ellipsis; the
// tooltip holds them whole.
std::array<int, 6> TrafficColumnWidths(int width, int digit);

class TrafficModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    enum Column { Time, Ms, Direction, Bytes, Crc, Meaning, ColumnCount };

    TrafficModel(TrafficLog& log, const TrafficClock& clock, QObject* parent = nullptr);

    // Shows what was taken since the last update; true when rows came.
    bool Update();
    void Clear();

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation o, int role) const override;

  private:
    TrafficLog& log_;
    const TrafficClock& clock_;
    QFont fixedFont_;
};

}  // namespace halvern
