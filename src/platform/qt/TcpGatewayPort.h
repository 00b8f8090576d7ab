#pragma once
// A bus behind a serial device server: the frames go over one TCP connection to the server,
// which puts them on its RS-485 port and turns the bus direction itself, so RTS is kept only
// as the program's logical state. The send-drained notification comes once the socket has
// handed the bytes to the system, so the program's waits measure from there as they would
// from a serial port's drained output. A connection that drops (the server restarting, the
// network gone) is said, and so is its return, each time; the tries between are not (a flaky
// network must not nag). It is reopened after a delay that grows with every failed try;
// meanwhile frames are swallowed and nothing is heard, as from silent detectors.

#include <QTcpSocket>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/GatewayAddress.h"
#include "platform/Platform.h"

namespace halvern {

class TcpGatewayPort : public SerialPort {
  public:
    explicit TcpGatewayPort(Platform& platform);
    ~TcpGatewayPort() override;
    TcpGatewayPort(const TcpGatewayPort&) = delete;
    TcpGatewayPort& operator=(const TcpGatewayPort&) = delete;

    // "tcp://HOST:PORT"; waits for the connection at most kConnectLimitMs.
    bool Open(const std::string& device, std::string* error) override;
    void Close() override;
    bool IsOpen() const override;
    int BytesWaiting() override;
    std::vector<std::uint8_t> ReadAll() override;
    void Write(std::span<const std::uint8_t> bytes) override;
    void SetRts(bool on) override { rts_ = on; }
    bool Rts() const override { return rts_; }
    std::uint64_t Reopenings() const override { return reopenings_; }
    bool OverNetwork() const override { return true; }

    // The first delay before reconnecting, doubled after each failed try up to the most.
    void SetReconnectDelaysMs(int firstMs, int mostMs);
    bool ConnectionLost() const { return state_ == State::Lost || state_ == State::Reconnecting; }

    static constexpr int kConnectLimitMs = 5000;
    static constexpr int kFirstReconnectMs = 1000;
    static constexpr int kMostReconnectMs = 30'000;

  private:
    enum class State { Closed, Connected, Lost, Reconnecting };

    void Configure();
    void OnLost(const std::string& why);
    void TryReconnect();
    void OnReconnectFailed();
    void ScheduleReconnect();
    void PostDrained();
    void Notice(const std::string& text);

    Platform& p_;
    std::unique_ptr<QTcpSocket> socket_;
    std::shared_ptr<bool> alive_;  // posted calls check this first
    std::unique_ptr<Timer> reconnect_;
    GatewayAddress address_;
    std::string device_;
    State state_ = State::Closed;
    bool rts_ = false;
    std::uint64_t reopenings_ = 0;
    std::uint64_t session_ = 0;  // bumps on Close and on each connection attempt
    int failures_ = 0;           // tries since the connection went
    int firstReconnectMs_ = kFirstReconnectMs;
    int mostReconnectMs_ = kMostReconnectMs;
    bool lossUnanswered_ = false;  // the loss was said and the return not yet
    std::uint64_t attempt_ = 0;    // of reconnecting: a late limit finds a newer one
    std::int64_t unsent_ = 0;      // bytes written and not yet handed to the system
};

}  // namespace halvern
