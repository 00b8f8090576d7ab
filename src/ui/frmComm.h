#pragma once
// frmComm, "Communication setup": the technician picks the COM port before the main window
// opens. The choice is kept in Par::port and in CommPortNo.txt in the program folder.
// Beside the number field the dialog lists the serial ports present, with the number that
// reaches each; picking one sets the number and the device (Par::PortDevice), so that a
// device no number reaches (a ttyACM adapter) is opened all the same. Below the number, a
// "Network gateway" box takes a serial device server's HOST:PORT instead; ticked, it is the
// choice (Par::PortDevice "tcp://HOST:PORT"), kept in CommPortNo.txt under the number.
//
// Signals: accepted() (QDialog's) on "OK-Enter", Enter anywhere in the dialog, or a
// double-click on a listed port; the dialog has hidden itself and stays loaded. cancelled()
// on "Cancel-Esc", Esc anywhere in the dialog, or its close box; the dialog has hidden itself
// and the program is to end.

#include <QDialog>

#include <functional>
#include <string>
#include <vector>

#include "platform/qt/PortList.h"
#include "state/Par.h"

class QComboBox;
class QGroupBox;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace halvern {

struct PortSources {
    PortEnumerator listPorts;                       // the ports present; unset: none listed
    std::function<std::string(int)> deviceForPort;  // the program's numbering
    std::string givenDevice;                        // --device, opened unless a port is picked
    bool demo = false;                              // the simulated bus is opened, not a port
};

class frmComm : public QDialog {
    Q_OBJECT
  public:
    // Loads the dialog: fills the list and reads (or creates) CommPortNo.txt.
    explicit frmComm(Par& par, PortSources sources = {}, QWidget* parent = nullptr);

    void reject() override;
    // Lists the ports present again (the Refresh button).
    void RefreshPorts();
    // Why CommPortNo.txt could not be read at the load (something else than a file has its
    // name, say); empty when it was read or created.
    const std::string& PortFileProblem() const { return portFileProblem_; }

  signals:
    void cancelled();

  private:
    QGroupBox* BuildNumberField();
    QGroupBox* BuildGatewayField();
    QGroupBox* BuildPortList();
    void LoadPortChoice();
    void ConnectChoices(QPushButton* ok, QPushButton* cancel);
    bool HandleKey(QKeyEvent& key);
    std::string PortFile() const;
    void cmbCOM_Click(int index);
    void cmbCOM_Change(const QString& text);
    void lstPorts_Pick(QTreeWidgetItem* item);
    void fraGateway_Toggle(bool on);
    void txtGateway_Change();
    // A serial port chosen: the gateway box is no longer the choice.
    void LeaveGateway();
    std::string GatewayTarget() const;
    void ShowTarget();

    Par& par_;
    PortSources sources_;
    std::vector<PortRow> rows_;
    std::string portFileProblem_;
    QComboBox* cmbCOM_ = nullptr;
    QTreeWidget* lstPorts_ = nullptr;
    QGroupBox* fraGateway_ = nullptr;
    QLineEdit* txtGateway_ = nullptr;
    QLabel* lblPortsFound_ = nullptr;
    QLabel* lblOpens_ = nullptr;
};

}  // namespace halvern
