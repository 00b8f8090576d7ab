#pragma once
// frmHistory: the service history. Lists the events of the detector served (its serial number
// in the filter) or, with the filter emptied, of every detector; newest first, with the texts
// before and after each action side by side. "Service report..." asks for the report of the
// serial number in the filter.

#include <QWidget>
#include <functional>
#include <string>

class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace halvern {

class HistoryStore;

class frmHistory : public QWidget {
    Q_OBJECT
  public:
    frmHistory(HistoryStore& store, const std::string& servedSerial, QWidget* parent = nullptr);

    // Reads the events again.
    void Refresh();
    std::string Serial() const;

  signals:
    void reportRequested(const QString& serial);

  private:
    HistoryStore& store_;
    QLineEdit* txtSerial_{};
    QTableWidget* grdHistory_{};
    QLabel* lblError_{};
    QPushButton *cmdReport_{}, *cmdClose_{};
};

}  // namespace halvern
