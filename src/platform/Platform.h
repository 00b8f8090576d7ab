#pragma once
// The seam between the program and the machine: time, the event queue, timers, the
// microsecond delay and the serial port. The real implementation runs on Qt; the virtual
// one (VirtualPlatform) moves time only when the program waits, so tests run in
// milliseconds and can assert exact times.

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace halvern {

using Micros = std::int64_t;  // monotonic time in microseconds

constexpr Micros MsToUs(double ms) {
    return static_cast<Micros>(ms * 1000.0);
}

class Clock {
  public:
    virtual ~Clock() = default;
    virtual Micros NowUs() const = 0;
    double NowMs() const { return static_cast<double>(NowUs()) / 1000.0; }
};

class EventPump {
  public:
    virtual ~EventPump() = default;
    // Runs the events that are due. When none is due it blocks until the next one (a byte,
    // a timer, a posted call) or until the deadline, whichever comes first, runs what came,
    // and returns. A deadline in the past runs only what is due now.
    virtual void ProcessEvents(Micros deadlineUs) = 0;
    // Queues fn to run from the event loop, no earlier than atUs.
    virtual void Post(Micros atUs, std::function<void()> fn) = 0;
};

// A repeating timer whose ticks run from the event loop.
class Timer {
  public:
    virtual ~Timer() = default;
    virtual void SetInterval(int ms) = 0;
    virtual int Interval() const = 0;
    virtual void SetEnabled(bool on) = 0;
    virtual bool Enabled() const = 0;
    std::function<void()> onTick;
};

class TimerFactory {
  public:
    virtual ~TimerFactory() = default;
    virtual std::unique_ptr<Timer> NewTimer() = 0;
};

class MicroDelay {
  public:
    virtual ~MicroDelay() = default;
    // Blocks the thread for at least us microseconds without running any event.
    virtual void DelayUs(std::int32_t us) = 0;
};

// Time, events, timers and the microsecond delay of one world (real or virtual).
class Platform : public Clock, public EventPump, public TimerFactory, public MicroDelay {};

// 9600 baud, 8N1: ten bits a byte.
constexpr int kBaud = 9600;
constexpr Micros ByteTimeUs() {
    return 10'000'000 / kBaud;
}  // 1041 us
constexpr Micros WireTimeUs(std::size_t bytes) {
    return static_cast<Micros>(bytes) * 10'000'000 / kBaud;
}

class SerialPort {
  public:
    virtual ~SerialPort() = default;
    // Opens the device at 9600 8N1. On failure returns false and says why in *error.
    virtual bool Open(const std::string& device, std::string* error) = 0;
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;
    virtual int BytesWaiting() = 0;                               // InBufferCount
    virtual std::vector<std::uint8_t> ReadAll() = 0;              // Input: takes every waiting byte
    virtual void Write(std::span<const std::uint8_t> bytes) = 0;  // Output: returns at once
    virtual void SetRts(bool on) = 0;
    virtual bool Rts() const = 0;  // the logical state, even where the device refuses RTS
    // How often the device came back and was opened again after it had gone.
    virtual std::uint64_t Reopenings() const { return 0; }
    // The bus is reached over a network (a serial device server): its delay comes on top of
    // the line's, and the server turns the bus direction itself.
    virtual bool OverNetwork() const { return false; }
    // Delivered through the event queue once the bytes of every Write have left the port.
    std::function<void()> onSendDrained;
    // A problem the operator should hear of once (RTS refused, device lost); may be unset.
    std::function<void(const std::string&)> onNotice;
};

}  // namespace halvern
