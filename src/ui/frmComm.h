#pragma once
// frmComm, "Communication setup": the technician picks the COM port before the main window
// opens. The choice is kept in Par::port and in CommPortNo.txt in the program folder.
//
// Signals: accepted() (QDialog's) on "OK-Enter" or Enter anywhere in the dialog; the dialog
// has hidden itself and stays loaded. cancelled() on "Cancel-Esc", Esc anywhere in the
// dialog, or its close box; the dialog has hidden itself and the program is to end.

#include <QDialog>

#include <string>

#include "state/Par.h"

class QComboBox;

namespace halvern {

class frmComm : public QDialog {
    Q_OBJECT
  public:
    // Loads the dialog: fills the list and reads (or creates) CommPortNo.txt.
    explicit frmComm(Par& par, QWidget* parent = nullptr);

    void reject() override;

  signals:
    void cancelled();

  private:
    std::string PortFile() const;
    void cmbCOM_Click(int index);
    void cmbCOM_Change(const QString& text);

    Par& par_;
    QComboBox* cmbCOM_ = nullptr;
};

}  // namespace halvern
