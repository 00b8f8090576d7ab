#pragma once
// A bus of simulated detectors: which of them answer a host frame, when, and with which
// bytes, faults included. It computes the traffic and leaves its delivery to a carrier
// (SimBus for the in-process port, the pseudo-terminal loop of halvern-sim).

#include <cstdint>
#include <deque>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/Platform.h"
#include "sim/Detector.h"

namespace halvern::sim {

// Faults a detector can be given, each by its name (in parentheses).
enum class Fault : std::uint8_t {
    Silent,        // "silent": hears nothing, answers nothing
    Late,          // "late": the reply pauses so long that its tail misses the 150 ms window
    BadCrc,        // "bad CRC": the reply's CRC is corrupted
    WrongAddress,  // "wrong address": the reply carries another address byte (valid CRC)
    Exception,     // "exception": refuses every request with a Modbus exception (code 4)
    Split,         // "split": a pause inside the reply, short enough to stay in the window
    Truncated,     // "truncated": only the first half of the reply is sent
    Flood,         // "flood": the reply runs on to more than 257 bytes
    Noise,         // "noise": garbage bytes go out just before the reply
    IgnoreWrites,  // "ignore writes": writes (functions 6 and 16) go unanswered and change
                   // nothing, while every other request is answered
    // A write (function 6 or 16) changes nothing and is answered by an echo that is not its
    // own: from the next address ("wrong echo address"), of the next register ("wrong echo
    // register"), or with the value or quantity plus one ("wrong echo value"). Together they
    // make one echo wrong in each field.
    WrongEchoAddress,
    WrongEchoRegister,
    WrongEchoValue,
};
constexpr int kFaultCount = 13;

// Accepts the names above in any case, with a space, '-' or '_' between words ("bad CRC",
// "bad-crc", "badcrc" and "BadCrc" are the same fault).
std::optional<Fault> FaultByName(std::string_view name);
std::string_view FaultName(Fault f);

constexpr Micros kDefaultLatencyUs = 5'000;
constexpr Micros kSplitPauseUs = 50'000;  // reply of 34 bytes + pause stays within 150 ms
constexpr Micros kLatePauseUs = 200'000;  // beyond the host's 150 ms collection window
constexpr std::size_t kFloodLength = 300;
constexpr std::size_t kNoiseLength = 5;
constexpr std::size_t kBabbleBurst = 48;

// Bytes for the host line: the first byte starts at startUs and is complete one byte time
// later; the rest follow back to back (the contract of SimulatedSerialPort::SendToHost).
struct Transmission {
    Micros startUs;
    std::vector<std::uint8_t> bytes;
    bool operator==(const Transmission&) const = default;
};

class Bus {
  public:
    Detector& Add(const DetectorConfig& config);
    std::size_t Size() const { return nodes_.size(); }
    Detector& At(std::size_t i) { return nodes_[i].detector; }
    const Detector& At(std::size_t i) const { return nodes_[i].detector; }
    // The detector that now answers at `address` (1..247), or nullptr.
    Detector* Find(std::uint8_t address);

    // Faults by detector address (the fault stays with the detector if its address changes).
    // False when no detector has the address or the name is not a fault.
    bool InjectFault(std::uint8_t address, std::string_view name);
    bool ClearFault(std::uint8_t address, std::string_view name);
    bool HasFault(std::uint8_t address, Fault f) const;
    void ClearFaults(std::uint8_t address);
    // The detector ignores a request whose RTS was released less than `us` after the frame
    // ended (an adapter that needs a longer turnaround); 0 turns the check off.
    bool SetMinTurnaroundUs(std::uint8_t address, Micros us);
    bool NeedsTurnaround() const;

    void SetLatencyUs(Micros us) { latencyUs_ = us; }
    Micros LatencyUs() const { return latencyUs_; }
    // A detector's own latency, which takes the place of the bus's (detectors differ: a slow
    // one may answer near or past the host's 0.6 s reply window). False without a detector.
    bool SetDetectorLatencyUs(std::uint8_t address, Micros us);
    // The latency of the detector at `address`: its own, else the bus's.
    Micros LatencyUs(std::uint8_t address) const;

    // A babbling device on the line: a burst of `bytes` random bytes every `periodUs`, that
    // nobody asked for (0 bytes: quiet). The carrier puts the bursts on the line.
    void SetBabble(std::size_t bytes, Micros periodUs);
    // Bytes back to back, the line never quiet.
    void SetBabbleContinuous() { SetBabble(kBabbleBurst, WireTimeUs(kBabbleBurst)); }
    bool Babbling() const { return babbleBytes_ > 0 && babblePeriodUs_ > 0; }
    Micros BabblePeriodUs() const { return babblePeriodUs_; }
    std::vector<std::uint8_t> BabbleBurst();

    // Everything the detectors send in answer to one host frame that ended at frameEndUs,
    // in time order. turnaroundUs: how long after the frame end the host released RTS, as
    // the carrier observed it (negative: released before the end; nullopt: not known, the
    // turnaround checks are skipped). Several answers at once collide into garbled bytes
    // that never pass the CRC.
    std::vector<Transmission> Respond(const std::vector<std::uint8_t>& frame, Micros frameEndUs,
                                      std::optional<Micros> turnaroundUs = std::nullopt);

  private:
    struct Node {
        Detector detector;
        unsigned faults = 0;  // bit per Fault
        Micros minTurnaroundUs = 0;
        std::uint32_t noiseSeed = 1;
        std::optional<Micros> latencyUs;  // its own, in place of the bus's
    };
    Node* FindNode(std::uint8_t address);
    const Node* FindNode(std::uint8_t address) const;
    // The transmissions of one detector's answer, faults applied; empty when it is silent.
    std::vector<Transmission> Answer(Node& n, const std::vector<std::uint8_t>& frame,
                                     Micros frameEndUs, std::optional<Micros> turnaroundUs);

    std::deque<Node> nodes_;  // a deque keeps references from Add valid
    Micros latencyUs_ = kDefaultLatencyUs;
    std::size_t babbleBytes_ = 0;
    Micros babblePeriodUs_ = 0;
    std::uint32_t babbleSeed_ = 0xB0B5;
};

// Several answers played on one line at the same time: bytes that overlap in time are OR-ed
// (contending drivers garble the bits), and the result is made to fail the CRC check so
// that a collision is never mistaken for an answer.
std::vector<Transmission> Collide(const std::vector<std::vector<Transmission>>& answers);

// The three detectors of the demonstration bus: address 1 "Veridan Xenon 621-2" (serial
// 4711), address 7 "Veridan LAMP 411" (serial 1207), address 12 "Talvek 880" (serial 880).
Bus DefaultBus();

}  // namespace halvern::sim
