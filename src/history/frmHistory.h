#pragma once
// frmHistory: the service history. Lists the events of the detector served (its serial number
// in the filter) or, with the filter emptied, of every detector; newest first, with the texts
// before and after each action side by side. "Service report..." asks for the report of the
// serial number in the filter. The events come a page at a time as the list is scrolled.

#include <QWidget>
#include <functional>
#include <string>

class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;
class QTimer;

namespace halvern {

class HistoryStore;
class HistoryModel;

class frmHistory : public QWidget {
    Q_OBJECT
  public:
    frmHistory(HistoryStore& store, const std::string& servedSerial, QWidget* parent = nullptr);

    ~frmHistory() override;

    // Reads the events again, from the newest.
    void Refresh();
    std::string Serial() const;
    // The page being read is shown now rather than a moment later (tests).
    void WaitForRows();

  signals:
    void reportRequested(const QString& serial);

  private:
    void ShowError();
    // Widens the short columns to the texts of these rows, and makes each as tall as its texts.
    void FitRows(int first, int last);
    void FitSomeRows();

    HistoryStore& store_;
    HistoryModel* model_{};
    QLineEdit* txtSerial_{};
    QTableView* grdHistory_{};
    QLabel* lblError_{};
    QTimer* refit_{};
    bool fitting_ = false;
    int unfitted_ = 0;  // the first row not yet as tall as its texts
    QPushButton *cmdReport_{}, *cmdClose_{};
};

}  // namespace halvern
