#pragma once
// The serial port on QSerialPort: 9600 8N1, RTS driven by the program, a send-drained
// notification when the bytes have left the port, and a device that disappears (a USB adapter
// pulled out) is reopened once it returns.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/Platform.h"

class QSerialPort;

namespace halvern {

class QtSerialPort : public SerialPort {
  public:
    // Timers and notifications run on the given platform's event loop (a QtPlatform).
    explicit QtSerialPort(Platform& platform);
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

    // While the device is missing the port tries to reopen it this often.
    void SetReopenIntervalMs(int ms);
    bool DeviceLost() const { return lost_; }
    const std::string& Device() const { return device_; }

  private:
    bool OpenDevice(std::string* error);
    std::string OpenFailure() const;  // why the last open failed, in the technician's words
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
    std::string device_;
    bool rts_ = false;
    bool lost_ = false;
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
