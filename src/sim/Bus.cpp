#include "sim/Bus.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string>

#include "link/Frame.h"
#include "link/Layouts.h"

namespace halvern::sim {

namespace {

constexpr std::array<std::string_view, kFaultCount> kFaultNames = {"silent",
                                                                   "late",
                                                                   "bad CRC",
                                                                   "wrong address",
                                                                   "exception",
                                                                   "split delivery",
                                                                   "truncated",
                                                                   "flood",
                                                                   "noise",
                                                                   "ignore writes",
                                                                   "wrong echo address",
                                                                   "wrong echo register",
                                                                   "wrong echo value"};

// Lower case without separators: "bad CRC" -> "badcrc".
std::string Canonical(std::string_view s) {
    std::string out;
    for (char c : s)
        if (c != ' ' && c != '-' && c != '_')
            out.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    return out;
}

unsigned Bit(Fault f) {
    return 1u << static_cast<unsigned>(f);
}

// Splits one transmission after `head` bytes, the rest leaving after `pauseUs` of silence.
std::vector<Transmission> SplitWithPause(const Transmission& t, std::size_t head, Micros pauseUs) {
    if (head == 0 || head >= t.bytes.size())
        return {t};
    Transmission first{t.startUs, {t.bytes.begin(), t.bytes.begin() + static_cast<long>(head)}};
    Transmission rest{t.startUs + WireTimeUs(head) + pauseUs,
                      {t.bytes.begin() + static_cast<long>(head), t.bytes.end()}};
    return {first, rest};
}

// The echo of a write as it comes back wrong: from the next address, of the next register,
// with the value or quantity plus one.
std::vector<std::uint8_t> WrongEcho(const std::vector<std::uint8_t>& write, std::uint8_t own,
                                    bool address, bool reg, bool value) {
    std::vector<std::uint8_t> echo(write.begin(), write.begin() + Echo::Echoed);
    echo[Echo::Address] = address ? static_cast<std::uint8_t>(own % 247 + 1) : own;
    const auto bump = [&](std::size_t i) {
        const auto w = static_cast<std::uint16_t>((echo[i] << 8 | echo[i + 1]) + 1);
        echo[i] = static_cast<std::uint8_t>(w >> 8);
        echo[i + 1] = static_cast<std::uint8_t>(w & 0xFF);
    };
    if (reg)
        bump(Echo::RegisterHigh);
    if (value)
        bump(Echo::ValueHigh);
    AppendCrc(echo);
    return echo;
}

}  // namespace

std::optional<Fault> FaultByName(std::string_view name) {
    const std::string key = Canonical(name);
    for (int i = 0; i < kFaultCount; ++i) {
        const std::string full = Canonical(kFaultNames[static_cast<std::size_t>(i)]);
        if (key == full)
            return static_cast<Fault>(i);
    }
    if (key == "split")
        return Fault::Split;  // the short name of "split delivery"
    return std::nullopt;
}

std::string_view FaultName(Fault f) {
    return kFaultNames[static_cast<std::size_t>(f)];
}

Detector& Bus::Add(const DetectorConfig& config) {
    nodes_.push_back(Node{Detector(config), 0, 0, 1, std::nullopt});
    nodes_.back().noiseSeed = 0x9E37u * (static_cast<std::uint32_t>(nodes_.size()) + config.Serial);
    return nodes_.back().detector;
}

Bus::Node* Bus::FindNode(std::uint8_t address) {
    for (auto& n : nodes_)
        if (n.detector.Address() == address)
            return &n;
    return nullptr;
}

const Bus::Node* Bus::FindNode(std::uint8_t address) const {
    for (const auto& n : nodes_)
        if (n.detector.Address() == address)
            return &n;
    return nullptr;
}

Detector* Bus::Find(std::uint8_t address) {
    Node* n = FindNode(address);
    return n ? &n->detector : nullptr;
}

bool Bus::InjectFault(std::uint8_t address, std::string_view name) {
    Node* n = FindNode(address);
    const auto f = FaultByName(name);
    if (!n || !f)
        return false;
    n->faults |= Bit(*f);
    return true;
}

bool Bus::ClearFault(std::uint8_t address, std::string_view name) {
    Node* n = FindNode(address);
    const auto f = FaultByName(name);
    if (!n || !f)
        return false;
    n->faults &= ~Bit(*f);
    return true;
}

bool Bus::HasFault(std::uint8_t address, Fault f) const {
    const Node* n = FindNode(address);
    return n && (n->faults & Bit(f));
}

void Bus::ClearFaults(std::uint8_t address) {
    if (Node* n = FindNode(address)) {
        n->faults = 0;
        n->minTurnaroundUs = 0;
    }
}

bool Bus::SetMinTurnaroundUs(std::uint8_t address, Micros us) {
    Node* n = FindNode(address);
    if (!n)
        return false;
    n->minTurnaroundUs = std::max<Micros>(us, 0);
    return true;
}

bool Bus::SetDetectorLatencyUs(std::uint8_t address, Micros us) {
    Node* n = FindNode(address);
    if (!n)
        return false;
    n->latencyUs = std::max<Micros>(us, 0);
    return true;
}

Micros Bus::LatencyUs(std::uint8_t address) const {
    const Node* n = FindNode(address);
    return n && n->latencyUs ? *n->latencyUs : latencyUs_;
}

void Bus::SetBabble(std::size_t bytes, Micros periodUs) {
    babbleBytes_ = bytes;
    babblePeriodUs_ = std::max<Micros>(periodUs, 0);
}

std::vector<std::uint8_t> Bus::BabbleBurst() {
    std::vector<std::uint8_t> burst(babbleBytes_);
    for (auto& b : burst) {
        babbleSeed_ = babbleSeed_ * 1103515245u + 12345u;
        b = static_cast<std::uint8_t>(babbleSeed_ >> 16);
    }
    return burst;
}

bool Bus::NeedsTurnaround() const {
    return std::any_of(nodes_.begin(), nodes_.end(),
                       [](const Node& n) { return n.minTurnaroundUs > 0; });
}

std::vector<Transmission> Bus::Answer(Node& n, const std::vector<std::uint8_t>& frame,
                                      Micros frameEndUs, std::optional<Micros> turnaroundUs) {
    const auto has = [&](Fault f) { return (n.faults & Bit(f)) != 0; };
    if (has(Fault::Silent))
        return {};
    const bool write =
        frame.size() > Request::Function && (frame[Request::Function] == kFunctionWriteOne ||
                                             frame[Request::Function] == kFunctionWriteMany);
    if (has(Fault::IgnoreWrites) && write)
        return {};
    const bool wrongEcho = write && (has(Fault::WrongEchoAddress) ||
                                     has(Fault::WrongEchoRegister) || has(Fault::WrongEchoValue));
    Micros startUs = frameEndUs + (n.latencyUs ? *n.latencyUs : latencyUs_);
    if (n.minTurnaroundUs > 0 && turnaroundUs) {
        // RTS dropped too early: the adapter cut the frame's tail, the detector heard garbage.
        if (*turnaroundUs < n.minTurnaroundUs)
            return {};
        startUs = std::max(startUs, frameEndUs + *turnaroundUs);
    }

    std::vector<std::uint8_t> reply;
    if (wrongEcho) {
        if (!n.detector.Hears(frame) || frame.size() < WriteOneRequest::Bytes)
            return {};
        reply = WrongEcho(frame, n.detector.Address(), has(Fault::WrongEchoAddress),
                          has(Fault::WrongEchoRegister), has(Fault::WrongEchoValue));
    } else if (has(Fault::Exception)) {
        // Refused before it takes effect: the detector's state stays as it was.
        if (!n.detector.Hears(frame))
            return {};
        reply = n.detector.ExceptionReply(frame[Request::Function], kDeviceFailure);
    } else {
        auto r = n.detector.Handle(frame, frameEndUs);
        if (!r)
            return {};
        reply = std::move(*r);
    }

    if (has(Fault::WrongAddress)) {
        reply[0] = static_cast<std::uint8_t>(reply[0] % 247 + 1);
        reply.resize(reply.size() - 2);
        AppendCrc(reply);
    }
    if (has(Fault::BadCrc))
        reply.back() ^= 0xFF;
    if (has(Fault::Truncated))
        reply.resize(std::max<std::size_t>(1, reply.size() / 2));
    if (has(Fault::Flood)) {
        const std::size_t n0 = reply.size();
        for (std::size_t i = n0; i < kFloodLength; ++i)
            reply.push_back(reply[i % n0]);
    }
    std::size_t noise = 0;
    if (has(Fault::Noise)) {
        std::vector<std::uint8_t> garbage;
        for (std::size_t i = 0; i < kNoiseLength; ++i) {
            n.noiseSeed = n.noiseSeed * 1103515245u + 12345u;
            garbage.push_back(static_cast<std::uint8_t>(n.noiseSeed >> 16));
        }
        reply.insert(reply.begin(), garbage.begin(), garbage.end());
        noise = kNoiseLength;
    }

    std::vector<Transmission> out{{startUs, std::move(reply)}};
    const std::size_t body = out[0].bytes.size() - noise;
    if (has(Fault::Late))
        out = SplitWithPause(out[0], noise + std::max<std::size_t>(1, body / 2), kLatePauseUs);
    else if (has(Fault::Split))
        out = SplitWithPause(out[0], noise + std::max<std::size_t>(1, body / 2), kSplitPauseUs);
    return out;
}

std::vector<Transmission> Bus::Respond(const std::vector<std::uint8_t>& frame, Micros frameEndUs,
                                       std::optional<Micros> turnaroundUs) {
    std::vector<std::vector<Transmission>> answers;
    for (auto& n : nodes_) {
        auto a = Answer(n, frame, frameEndUs, turnaroundUs);
        if (!a.empty())
            answers.push_back(std::move(a));
    }
    if (answers.empty())
        return {};
    if (answers.size() == 1)
        return answers.front();
    return Collide(answers);
}

std::vector<Transmission> Collide(const std::vector<std::vector<Transmission>>& answers) {
    struct Slot {
        Micros startUs;
        std::uint8_t byte;
    };
    std::vector<Slot> slots;
    for (const auto& a : answers)
        for (const auto& t : a)
            for (std::size_t i = 0; i < t.bytes.size(); ++i)
                slots.push_back({t.startUs + static_cast<Micros>(i) * ByteTimeUs(), t.bytes[i]});
    std::stable_sort(slots.begin(), slots.end(),
                     [](const Slot& a, const Slot& b) { return a.startUs < b.startUs; });

    std::vector<Slot> line;
    for (const Slot& s : slots) {
        if (!line.empty() && s.startUs < line.back().startUs + ByteTimeUs())
            line.back().byte |= s.byte;  // both on the wire during this byte
        else
            line.push_back(s);
    }

    std::vector<Transmission> out;
    for (const Slot& s : line) {
        if (out.empty() || s.startUs > out.back().startUs + WireTimeUs(out.back().bytes.size()))
            out.push_back({s.startUs, {}});
        out.back().bytes.push_back(s.byte);
    }
    // OR-ing can, rarely, leave a CRC that holds; a collision must never read as an answer,
    // neither in one piece nor as a whole.
    for (auto& t : out)
        if (ReplyCrcIsValid(t.bytes, static_cast<int>(t.bytes.size())))
            t.bytes.back() ^= 0x01;
    std::vector<std::uint8_t> all;
    for (const auto& t : out)
        all.insert(all.end(), t.bytes.begin(), t.bytes.end());
    if (ReplyCrcIsValid(all, static_cast<int>(all.size())))
        out.back().bytes.back() ^= 0x02;
    return out;
}

namespace {
DetectorConfig Config(std::uint8_t address, std::uint8_t family, std::uint8_t variant,
                      std::uint16_t serial, SetupTable setup) {
    DetectorConfig c;
    c.Address = address;
    c.Family = family;
    c.Variant = variant;
    c.Serial = serial;
    c.Setup = setup;
    return c;
}
}  // namespace

Bus DefaultBus() {
    Bus bus;
    bus.Add(Config(1, 24, 1, 4711, SetupTable{0x24, 0x05, 2, 10}));  // Veridan Xenon 621-2
    bus.Add(Config(7, 36, 0, 1207, SetupTable{0x04, 0x01, 0, 0}));   // Veridan LAMP 411
    bus.Add(Config(12, 48, 0, 880, SetupTable{0x04, 0x04, 1, 5}));   // Talvek 880
    return bus;
}

}  // namespace halvern::sim
