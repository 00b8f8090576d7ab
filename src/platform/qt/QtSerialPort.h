#pragma once
// The serial port on QSerialPort: 9600 8N1, RTS driven by the program, a send-drained
// notification when the bytes have left the port, and a device that disappears (a USB adapter
// pulled out) is reopened once it returns: under the same name, or, for an adapter known by
// its USB identity, under whatever name the system gives it when it is plugged in again.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "platform/qt/PortList.h"

class QSerialPort;

namespace halvern {

class QtSerialPort : public SerialPort {
  public:
    // Timers and notifications run on the given platform's event loop (a QtPlatform).
    // The enumerator tells which adapter a device is, and where it went when it comes back.
    explicit QtSerialPort(Platform& platform, PortEnumerator listPorts = SystemSerialPorts);
    ~QtSerialPort() override;
    QtSerialPort(const QtSerialPort&) = delete;
    QtSerialPort& operator=(const QtSerialPort&) = delete;

    bool Open(const std::string& device, std::string* error) override;
    void Close() override;
    bool IsOpen() const override;
    int BytesWaiting() override;
    std::vector<std::uint8_t> ReadAll() override;
    void Write(std::span<const std::uint8_t> bytes) override;
    void SetRts(bool on) override;
    bool Rts() const override { return rts_; }
    std::uint64_t Reopenings() const override { return reopenings_; }

    // While the device is missing the port tries to reopen it this often.
    void SetReopenIntervalMs(int ms);
    bool DeviceLost() const { return lost_; }
    // The device open now: after a re-plugged adapter came back under a new name, that name.
    const std::string& Device() const { return device_; }
    const std::optional<PortIdentity>& Identity() const { return identity_; }

  private:
    bool OpenDevice(const std::string& device, std::string* error);
    std::string OpenFailure(const std::string& device) const;  // in the technician's words
    void ApplyRts();
    void OnError(int code);
    void OnDeviceLost();
    void TryReopen();
    void PostDrainCheck(Micros atUs);
    void CheckDrained();
    void NotifyDrained();
    void Notice(const std::string& text);

    Platform& p_;
    std::unique_ptr<QSerialPort> port_;
    std::shared_ptr<bool> alive_;  // posted calls outlive nothing: they check this first
    std::unique_ptr<Timer> reopen_;
    PortEnumerator listPorts_;
    std::string device_;
    std::optional<PortIdentity> identity_;  // of the adapter opened, when it has one
    bool rts_ = false;
    bool lost_ = false;
    std::uint64_t reopenings_ = 0;
    bool rtsRefused_ = false;          // this device cannot drive RTS; stop asking it
    bool rtsRefusalReported_ = false;  // the operator hears of it once
    bool lossReported_ = false;        // once per Open: a flaky adapter must not nag
    bool useOutQueue_ = true;          // the driver can tell how many bytes are still queued
    std::uint64_t session_ = 0;        // bumps on Close: a closed port's drain is not reported
    // Bytes written since the last drained notification, and when their wire time ends.
    std::size_t pendingBytes_ = 0;
    Micros wireEndUs_ = 0;
    Micros handedOverUs_ = -1;  // when QSerialPort last passed everything to the system
    bool drainCheckPosted_ = false;
};

}  // namespace halvern
