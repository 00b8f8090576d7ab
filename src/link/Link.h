#pragma once
// The transaction engine: RTS around each frame, the send-complete handler, reception with
// its windows, the event-pumping pause, and the seven request builders.
//
// Every wait blocks in the event loop (EventPump::ProcessEvents) until an event or its
// deadline, so handlers run nested inside the waits, in the same order as a busy loop would
// run them, without burning the processor.

#include <cstdint>
#include <functional>
#include <span>
#include <utility>
#include <vector>

#include "link/Frame.h"
#include "link/Requests.h"
#include "platform/Platform.h"

namespace halvern {

constexpr std::int32_t kPreSendPauseUs = 4000;
constexpr double kDefaultTurnaroundUs = 4000;
constexpr Micros kFirstByteWindowUs = 600'000;
constexpr double kCollectionWindowMs = 150;
// How long WaitRtsReleased waits at most: a frame drains in a few tens of milliseconds, so a
// port that has not released RTS by then never will (write failed, device gone).
constexpr Micros kRtsReleaseLimitUs = 2'000'000;
// What a reply may take longer to reach the program through a network gateway than over a
// serial line: the network both ways and the gateway's own forwarding.
constexpr int kDefaultNetworkAllowanceMs = 50;
constexpr int kMaxNetworkAllowanceMs = 10'000;

// A delay in microseconds as the blocking delay takes it: nearest whole number, ties to even,
// held within 0 .. 2147483647 so that no stored or tuned value can overflow the conversion.
std::int32_t TurnaroundMicros(double delayUs);

// Asked on every turn of a wait; true ends the wait at once (a restarted polling loop, the
// program's exit). An empty function never stops.
using StopCheck = std::function<bool()>;

// What the link did with some bytes, as a traffic monitor sees it: a frame written, a run of
// bytes taken in by a reception, or bytes thrown away unread by DiscardInput.
enum class TrafficDirection : std::uint8_t { Sent, Received, Discarded };
// Called right after the port call, with the clock's time; the bytes are only valid during
// the call.
using TrafficTap =
    std::function<void(Micros us, TrafficDirection dir, std::span<const std::uint8_t> bytes)>;

// How a reception ended.
enum class ReceptionEnd : std::uint8_t {
    None,           // no byte came in the first-byte window, or the wait was stopped
    BadCrc,         // a frame whose CRC does not hold (a reply cut short or spoilt)
    TooLong,        // more bytes than a frame holds: noise or a collision
    WrongFunction,  // an exception or a function the program never asks for
    Taken,          // a reply the program takes
};

// One reception: why it ended and the bytes it took in, this reception's only.
struct Reception {
    ReceptionEnd end = ReceptionEnd::None;
    // The frame received: up to the bytes the port said were waiting (all of them when too
    // long). `arrived` counts every byte read, at least 1 once the port said any were waiting.
    std::vector<std::uint8_t> bytes;
    std::size_t arrived = 0;

    bool Taken() const { return end == ReceptionEnd::Taken; }
    // Some bytes came, taken as a reply or not.
    bool HadBytes() const { return end != ReceptionEnd::None; }
    // Byte i of the reply, when it reaches that far (0 otherwise).
    std::uint8_t At(std::size_t i) const { return i < bytes.size() ? bytes[i] : 0; }
};

class Link {
  public:
    Link(Platform& platform, SerialPort& port, LinkBuffers& buffers);
    ~Link();  // disconnects the send-drained handler from the port
    Link(const Link&) = delete;
    Link& operator=(const Link&) = delete;

    LinkBuffers& Buffers() { return b_; }
    SerialPort& Port() { return port_; }
    Platform& Plat() { return p_; }

    double TurnaroundDelay = kDefaultTurnaroundUs;  // microseconds; may carry a fraction
    // Added to every first-byte window when the port is a network gateway; the windows are
    // the program's, measured on this PC, and the network's delay must not eat into them.
    Micros NetworkAllowanceUs = MsToUs(kDefaultNetworkAllowanceMs);
    Micros ReplyAllowanceUs() const { return port_.OverNetwork() ? NetworkAllowanceUs : 0; }

    void TransmitFrame(bool pause);
    void MSComm1_OnComm();  // the send-drained event
    // Takes in one reply: waits up to `firstByteUs` (0.6 s) for its first byte, then collects
    // for 150 ms. The shared buffers mirror a reception of up to a frame's length (RxBuffer,
    // RxCount; ReplyAddress once taken) for the windows and files that read them.
    Reception ReceiveReply(const StopCheck& stop = {}, Micros firstByteUs = kFirstByteWindowUs);
    // The same reception, ended as soon as the bytes in make a whole reply (the length its
    // first bytes give, ExpectedReplyLength) with a valid CRC, so that a poll costs little more
    // than its bytes on the wire. Anything else (a reply cut short, a bad CRC, bytes beyond the
    // length) is collected to the end of the 150 ms window, as ReceiveReply does, and refused.
    Reception ReceiveWholeReply(const StopCheck& stop = {},
                                Micros firstByteUs = kFirstByteWindowUs);
    void WaitMs(double ms, const StopCheck& stop = {});
    // Processes events until RTS reads false (the frame has left and the line is released),
    // for at most kRtsReleaseLimitUs.
    void WaitRtsReleased(const StopCheck& stop = {});

    // Drops whatever the port holds unread (a reply nobody waits for any more).
    void DiscardInput();
    // The align command: SendAlign with code 17, the wait until the frame has left, and one
    // reception whose outcome nobody looks at (the detector shows the alignment in its status).
    void Align(std::uint8_t address, const StopCheck& stop = {});

    // A whole request as built by the request builders (its CRC is written again): RTS, the
    // pre-send pause when `pause`, the write.
    void SendFrame(std::vector<std::uint8_t> frame, bool pause);
    void SendQuery(std::uint8_t address, std::uint8_t code);  // code 33 sends nothing
    void SendAlign(std::uint8_t address, std::uint8_t code);
    void SendSnTest(std::uint8_t address);
    void SendNormalMode(std::uint8_t address);
    void SendReadSetup(std::uint8_t address);
    void SendWriteSetup(std::uint8_t address, const SetupTable& table);
    void SendNewAddress(std::uint8_t address, std::uint8_t newAddress);

    // One listener at most (the traffic window); an empty function removes it. Without one
    // the tap costs a test per frame; with one it runs after the bytes are handed over, so
    // what is sent and when stays the same.
    void SetTrafficTap(TrafficTap tap) { tap_ = std::move(tap); }
    bool HasTrafficTap() const { return static_cast<bool>(tap_); }

  private:
    // Waits for a first byte, collects the reception and judges it.
    Reception Receive(const StopCheck& stop, Micros firstByteUs, bool endOnWholeReply);
    // Collects until a whole valid reply is in or the collection window has passed; false
    // when stopped.
    bool CollectWholeReply(std::vector<std::uint8_t>& bytes, const StopCheck& stop);

    Platform& p_;
    SerialPort& port_;
    LinkBuffers& b_;
    TrafficTap tap_;
};

}  // namespace halvern
