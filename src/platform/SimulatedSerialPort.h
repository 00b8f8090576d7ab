#pragma once
// A serial port whose far end lives in this process: the simulated bus of tests and of the
// demo. It runs on any Platform (virtual time in tests, real time in the demo). Bytes move at
// the line rate in both directions, the send-drained notification comes when the last byte
// of the last write has left, and every frame written and every RTS change is recorded with
// its time so that a test can assert the traffic.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace halvern {

class SimulatedSerialPort : public SerialPort {
  public:
    struct Written {
        Micros atUs;  // when the write was handed to the port
        std::vector<std::uint8_t> bytes;
        bool rtsRaised;  // RTS state at that moment
    };
    struct RtsChange {
        Micros atUs;
        bool on;
    };

    explicit SimulatedSerialPort(Platform& platform) : p_(platform) {}

    bool Open(const std::string& device, std::string* error) override;
    void Close() override;
    bool IsOpen() const override { return open_; }
    int BytesWaiting() override;
    std::vector<std::uint8_t> ReadAll() override;
    void Write(std::span<const std::uint8_t> bytes) override;
    void SetRts(bool on) override;
    bool Rts() const override { return rts_; }
    bool OverNetwork() const override { return networkDelayUs_.has_value(); }

    // The far end is reached through a network gateway that delays the bytes this long each
    // way and turns the bus direction itself: a write counts as drained once handed over.
    void ActAsGateway(Micros eachWayUs) { networkDelayUs_ = eachWayUs; }

    // --- the far end ---
    // Called when a frame written by the host has fully arrived at the far end.
    std::function<void(Micros arrivedUs, const std::vector<std::uint8_t>& frame)> onHostFrame;
    // The far end talks: the bytes arrive at the host one by one at the line rate, the first
    // one complete at startUs + one byte time. Bytes that arrive while the port is closed are lost.
    void SendToHost(const std::vector<std::uint8_t>& bytes, Micros startUs);

    // --- faults and records ---
    void FailNextOpen(const std::string& reason) { openError_ = reason; }
    void Unplug();  // the device disappears: the port closes itself and further opens fail
    void Replug() { unplugged_ = false; }
    bool Unplugged() const { return unplugged_; }
    const std::vector<Written>& Frames() const { return frames_; }
    const std::vector<RtsChange>& RtsChanges() const { return rtsChanges_; }
    // A long real-time run (the demo) keeps no records, so memory stays flat.
    void SetRecording(bool on) { recording_ = on; }
    void ClearRecords() {
        frames_.clear();
        rtsChanges_.clear();
    }
    // First RTS release at or after t, if any has happened yet.
    std::optional<Micros> RtsReleasedAtOrAfter(Micros t) const;
    const std::string& LastDevice() const { return device_; }

  private:
    Platform& p_;
    bool open_ = false;
    bool rts_ = false;
    bool unplugged_ = false;
    bool recording_ = true;
    std::uint64_t session_ = 0;  // bumps on every close, so bytes of an old session are dropped
    std::string openError_;
    std::string device_;
    std::vector<std::uint8_t> input_;
    Micros txBusyUntil_ = 0;
    Micros toHostBusyUntil_ = 0;
    std::optional<Micros> networkDelayUs_;
    std::vector<Written> frames_;
    std::vector<RtsChange> rtsChanges_;
};

}  // namespace halvern
