#pragma once
// The port the programs open: a serial device, or a network gateway for a device named
// "tcp://HOST:PORT". Which one is decided here, by the name, at each Open; the rest of the
// program sees one SerialPort either way.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "platform/qt/PortList.h"
#include "platform/qt/QtSerialPort.h"
#include "platform/qt/TcpGatewayPort.h"

namespace halvern {

class SystemPort : public SerialPort {
  public:
    explicit SystemPort(Platform& platform, PortEnumerator listPorts = SystemSerialPorts);
    SystemPort(const SystemPort&) = delete;
    SystemPort& operator=(const SystemPort&) = delete;

    bool Open(const std::string& device, std::string* error) override;
    void Close() override { active_->Close(); }
    bool IsOpen() const override { return active_->IsOpen(); }
    int BytesWaiting() override { return active_->BytesWaiting(); }
    std::vector<std::uint8_t> ReadAll() override { return active_->ReadAll(); }
    void Write(std::span<const std::uint8_t> bytes) override { active_->Write(bytes); }
    void SetRts(bool on) override { active_->SetRts(on); }
    bool Rts() const override { return active_->Rts(); }
    std::uint64_t Reopenings() const override { return active_->Reopenings(); }
    bool OverNetwork() const override { return active_->OverNetwork(); }

  private:
    QtSerialPort serial_;
    TcpGatewayPort gateway_;
    SerialPort* active_ = &serial_;
};

}  // namespace halvern
