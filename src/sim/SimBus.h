#pragma once
// Puts a Bus on the far end of a SimulatedSerialPort: every frame the host writes reaches the
// detectors when its last byte is on the wire, and their answers come back at the line rate
// after the reply latency, with the timing of any injected fault. A babbling bus talks from
// the first host frame after the babble was set until it is quiet again. Runs on any
// Platform: virtual time in tests, real time in the demo.

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/Platform.h"
#include "platform/SimulatedSerialPort.h"
#include "sim/Bus.h"

namespace halvern::sim {

// How long the detectors wait for the host to release RTS before they treat the request as
// never heard (only for detectors that check the turnaround).
constexpr Micros kRtsWatchUs = 100'000;
constexpr Micros kRtsPollUs = 500;

class SimBus {
  public:
    SimBus(Platform& platform, SimulatedSerialPort& port, Bus bus = DefaultBus());
    ~SimBus();
    SimBus(const SimBus&) = delete;
    SimBus& operator=(const SimBus&) = delete;

    Bus& GetBus() { return bus_; }

    // Every frame on the line: from the host (fromHost true, at the time its last byte
    // arrived) and each answer (at the time its first byte starts). May be unset.
    std::function<void(Micros atUs, bool fromHost, const std::vector<std::uint8_t>& bytes)>
        onTraffic;

  private:
    void OnHostFrame(Micros endUs, const std::vector<std::uint8_t>& frame);
    // Decides once the host's RTS release is known (or given up on).
    void AwaitRelease(Micros endUs, std::vector<std::uint8_t> frame);
    void Deliver(Micros endUs, const std::vector<std::uint8_t>& frame,
                 std::optional<Micros> turnaroundUs);
    void Babble(Micros atUs);

    Platform& p_;
    SimulatedSerialPort& port_;
    Bus bus_;
    bool babbling_ = false;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace halvern::sim
