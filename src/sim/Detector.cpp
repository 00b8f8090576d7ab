#include "sim/Detector.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <utility>

#include "link/Frame.h"
#include "link/Layouts.h"

namespace halvern::sim {

namespace {

std::uint64_t Mix(std::uint64_t x) {
    // splitmix64 finaliser: a cheap, well spread hash for deterministic drift.
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

// A slow swing of +-amplitude over `periodS` seconds plus a step of -1, 0 or +1 that
// changes every second: enough movement to look alive, never a jump.
int Drift(std::uint32_t seed, int channel, Micros now, double amplitude, double periodS) {
    const std::uint64_t key =
        (static_cast<std::uint64_t>(seed) << 8) | static_cast<unsigned>(channel);
    const double phase = static_cast<double>(Mix(key) % 1000) / 1000.0 * 2 * std::numbers::pi;
    const double t = static_cast<double>(now) / 1e6;
    const double swing = amplitude * std::sin(2 * std::numbers::pi * t / periodS + phase);
    const auto second = static_cast<std::uint64_t>(std::max<Micros>(now, 0) / 1'000'000);
    const int jitter = static_cast<int>(Mix(key ^ (second << 16)) % 3) - 1;
    return static_cast<int>(std::lround(swing)) + jitter;
}

std::uint8_t ClampByte(int v, int lo = 0) {
    return static_cast<std::uint8_t>(std::clamp(v, lo, 255));
}

std::uint16_t Word(const std::vector<std::uint8_t>& f, std::size_t i) {
    return static_cast<std::uint16_t>(f[i] << 8 | f[i + 1]);
}

void PushWord(std::vector<std::uint8_t>& f, std::uint16_t v) {
    f.push_back(static_cast<std::uint8_t>(v >> 8));
    f.push_back(static_cast<std::uint8_t>(v & 0xFF));
}

// The readings by name, in the order of the status reply (indices 14 to 26).
constexpr std::array<std::string_view, 13> kReadingNames = {
    "signal1", "reference", "signal2", "voltage", "temperature", "ratio1", "ratio2",
    "nq1",     "nq2",       "s1n",     "s2n",     "rn",          "gas"};
constexpr std::size_t kTemperature = 4, kGas = 12;
// The one-byte readings among them (none for the signed temperature).
constexpr std::array<std::uint8_t Readings::*, 12> kReadingBytes = {&Readings::Signal1,
                                                                    &Readings::Reference,
                                                                    &Readings::Signal2,
                                                                    &Readings::Voltage,
                                                                    nullptr,
                                                                    &Readings::Ratio1,
                                                                    &Readings::Ratio2,
                                                                    &Readings::NqRatio1,
                                                                    &Readings::NqRatio2,
                                                                    &Readings::S1N,
                                                                    &Readings::S2N,
                                                                    &Readings::RN};

std::string DefaultPrimary(std::uint8_t family) {
    return "Ver 3.12 F" + std::to_string(family);
}
std::string DefaultSecondary(std::uint8_t family) {
    return "DSP 1.07 F" + std::to_string(family);
}

}  // namespace

Detector::Detector(const DetectorConfig& c)
    : address_(c.Address),
      family_(c.Family),
      variant_(c.Variant),
      serial_(c.Serial),
      seed_(c.Seed != 0 ? c.Seed : 0x5EED0000u + c.Serial),
      primaryVersion_(c.PrimaryVersion.empty() ? DefaultPrimary(c.Family) : c.PrimaryVersion),
      secondaryVersion_(c.SecondaryVersion.empty() ? DefaultSecondary(c.Family)
                                                   : c.SecondaryVersion),
      reg1_(static_cast<std::uint16_t>(c.Setup.MeasureFlags << 8 | c.Setup.OutputFlags)),
      reg3_(c.Setup.HeaterMode),
      reg4_(c.Setup.HeaterOnTemp) {
    // The secondary text is read as exactly 20 characters.
    secondaryVersion_.resize(kSecondaryVersionLength, ' ');
    base_.Signal1 = 200;
    base_.Reference = 190;
    base_.Signal2 = 185;
    base_.Voltage = 140;
    base_.Temperature = 23;
    base_.Ratio1 = 98;
    base_.Ratio2 = 101;
    base_.NqRatio1 = 97;
    base_.NqRatio2 = 99;
    base_.S1N = 180;
    base_.S2N = 170;
    base_.RN = 190;
    base_.Gas = 0;
}

bool Detector::Hears(const std::vector<std::uint8_t>& rq) const {
    if (rq.size() < 4 || !ReplyCrcIsValid(rq, static_cast<int>(rq.size())))
        return false;
    return rq[Request::Address] == 0 || rq[Request::Address] == address_;
}

std::optional<std::vector<std::uint8_t>> Detector::Handle(const std::vector<std::uint8_t>& rq,
                                                          Micros now) {
    if (!Hears(rq))
        return std::nullopt;
    std::vector<std::uint8_t> reply;
    switch (rq[Request::Function]) {
        case FunctionCommand:
            if (rq.size() != CommandRequest::Bytes)
                return std::nullopt;
            reply = HandleCommand(rq, now);
            break;
        case kFunctionRead:
            if (rq.size() != ReadRequest::Bytes)
                return std::nullopt;
            reply = HandleRead(rq);
            break;
        case kFunctionWriteOne:
            if (rq.size() != WriteOneRequest::Bytes)
                return std::nullopt;
            reply = HandleWriteOne(rq);
            break;
        case kFunctionWriteMany:
            if (rq.size() < WriteManyRequest::HeaderBytes ||
                rq.size() !=
                    WriteManyRequest::HeaderBytes + std::size_t{rq[WriteManyRequest::ByteCount]})
                return std::nullopt;
            reply = HandleWriteMany(rq);
            break;
        default:
            return ExceptionReply(rq[Request::Function], kIllegalFunction);
    }
    return reply;
}

std::vector<std::uint8_t> Detector::HandleCommand(const std::vector<std::uint8_t>& rq, Micros now) {
    namespace C = CommandRequest;
    if (rq[C::Count] != C::CountValue || rq[C::Reserved] != 0 ||
        rq[C::TrailerFirst] != kCommandTrailer[0] || rq[C::TrailerSecond] != kCommandTrailer[1])
        return ExceptionReply(rq[C::Function], kIllegalDataValue);
    switch (rq[C::Code]) {
        case kCodeStatus:
            return StatusReply(now);
        case kCodePrimaryVersion:
        case kCodeSecondaryVersion:
            return VersionReply(rq[C::Code]);
        case kCodeAlign: {
            alignUntilUs_ = now + kAlignDurationUs;
            std::vector<std::uint8_t> ack{address_, FunctionCommand, 2, 0, kCodeAlign};
            AppendCrc(ack);
            return ack;
        }
        default:
            return ExceptionReply(rq[C::Function], kIllegalFunction);
    }
}

std::vector<std::uint8_t> Detector::HandleRead(const std::vector<std::uint8_t>& rq) const {
    namespace R = ReadRequest;
    const int start = Word(rq, R::StartHigh);
    const int count = Word(rq, R::QuantityHigh);
    if (count < 1 || count > 125)
        return ExceptionReply(rq[R::Function], kIllegalDataValue);
    if (start + count > kRegisterCount)
        return ExceptionReply(rq[R::Function], kIllegalDataAddress);
    const auto regs = Registers();
    std::vector<std::uint8_t> reply{address_, kFunctionRead, static_cast<std::uint8_t>(2 * count)};
    for (int r = start; r < start + count; ++r)
        PushWord(reply, regs[static_cast<std::size_t>(r)]);
    AppendCrc(reply);
    return reply;
}

std::vector<std::uint8_t> Detector::HandleWriteOne(const std::vector<std::uint8_t>& rq) {
    namespace W = WriteOneRequest;
    const int reg = Word(rq, W::RegisterHigh);
    const std::uint16_t value = Word(rq, W::ValueHigh);
    if (reg >= kRegisterCount)
        return ExceptionReply(rq[W::Function], kIllegalDataAddress);
    if (const auto e = CheckWrite(reg, value))
        return ExceptionReply(rq[W::Function], e);
    // The echo leaves from the address the request reached; a new address holds afterwards.
    std::vector<std::uint8_t> echo{address_,           kFunctionWriteOne, rq[W::RegisterHigh],
                                   rq[W::RegisterLow], rq[W::ValueHigh],  rq[W::ValueLow]};
    AppendCrc(echo);
    ApplyWrite(reg, value);
    return echo;
}

std::vector<std::uint8_t> Detector::HandleWriteMany(const std::vector<std::uint8_t>& rq) {
    namespace W = WriteManyRequest;
    const int start = Word(rq, W::StartHigh);
    const int count = Word(rq, W::QuantityHigh);
    if (count < 1 || count > 123 || rq[W::ByteCount] != 2 * count)
        return ExceptionReply(rq[W::Function], kIllegalDataValue);
    if (start + count > kRegisterCount)
        return ExceptionReply(rq[W::Function], kIllegalDataAddress);
    const auto value = [&](int i) {
        return Word(rq, W::ValuesStart + 2 * static_cast<std::size_t>(i));
    };
    // All or nothing: a refused value leaves every register as it was.
    for (int i = 0; i < count; ++i)
        if (const auto e = CheckWrite(start + i, value(i)))
            return ExceptionReply(rq[W::Function], e);
    std::vector<std::uint8_t> echo{address_,        kFunctionWriteMany,  rq[W::StartHigh],
                                   rq[W::StartLow], rq[W::QuantityHigh], rq[W::QuantityLow]};
    AppendCrc(echo);
    for (int i = 0; i < count; ++i)
        ApplyWrite(start + i, value(i));
    return echo;
}

std::uint8_t Detector::CheckWrite(int reg, std::uint16_t value) const {
    switch (reg) {
        case 0:
            return value >= 1 && value <= 247 ? 0 : kIllegalDataValue;
        case 2:
            return value <= 1 ? 0 : kIllegalDataValue;
        default:
            return 0;
    }
}

void Detector::ApplyWrite(int reg, std::uint16_t value) {
    switch (reg) {
        case 0:
            address_ = static_cast<std::uint8_t>(value);
            break;
        case 1:
            reg1_ = value;
            break;
        case 2:
            mode_ = value;
            break;
        case 3:
            reg3_ = value;
            break;
        case 4:
            reg4_ = value;
            break;
        default:
            break;
    }
}

std::vector<std::uint8_t> Detector::VersionReply(std::uint8_t code) const {
    // Indices 3..8 carry the code and the identity; the text starts at index 9.
    std::vector<std::uint8_t> reply{address_,
                                    FunctionCommand,
                                    0,
                                    0,
                                    code,
                                    variant_,
                                    family_,
                                    static_cast<std::uint8_t>(serial_ >> 8),
                                    static_cast<std::uint8_t>(serial_ & 0xFF)};
    const std::string& text = code == kCodePrimaryVersion ? primaryVersion_ : secondaryVersion_;
    reply.reserve(reply.size() + text.size() + 2);
    for (char c : text)
        reply.push_back(static_cast<std::uint8_t>(c));
    reply[2] = static_cast<std::uint8_t>(reply.size() - 3);
    AppendCrc(reply);
    return reply;
}

std::vector<std::uint8_t> Detector::ExceptionReply(std::uint8_t function, std::uint8_t code) const {
    std::vector<std::uint8_t> reply{address_, static_cast<std::uint8_t>(function | 0x80), code};
    AppendCrc(reply);
    return reply;
}

std::string Detector::StatusCharsAt(Micros now) const {
    if (alignUntilUs_ && now < *alignUntilUs_)
        return "XXX";
    return statusChars_;
}

bool Detector::SetStatus(std::string_view chars, std::uint8_t number) {
    if (chars.size() != 3)
        return false;
    statusChars_ = std::string(chars);
    statusNumber_ = number;
    rawStatus_ = false;
    return true;
}

void Detector::SetStatusBytes(std::array<std::uint8_t, 4> bytes) {
    statusChars_.assign(bytes.begin(), bytes.begin() + 3);
    statusNumber_ = bytes[3];
    rawStatus_ = true;
}

bool Detector::SetStatusReplyShape(std::size_t length, bool marker) {
    if (length < kShortestStatusReply || length > kStatusReplyLength)
        return false;
    replyLength_ = length;
    replyMarker_ = marker;
    return true;
}

bool Detector::HoldReading(std::string_view name, std::optional<int> value) {
    const auto it = std::find(kReadingNames.begin(), kReadingNames.end(), name);
    if (it == kReadingNames.end())
        return false;
    const auto i = static_cast<std::size_t>(it - kReadingNames.begin());
    const auto [lo, hi] = i == kTemperature ? std::pair{-128, 127}
                          : i == kGas       ? std::pair{0, 65535}
                                            : std::pair{0, 255};
    if (value && (*value < lo || *value > hi))
        return false;
    const unsigned bit = 1u << i;
    heldReadings_ = value ? heldReadings_ | bit : heldReadings_ & ~bit;
    if (!value)
        return true;
    if (i == kGas)
        base_.Gas = static_cast<std::uint16_t>(*value);
    else if (i == kTemperature)
        base_.Temperature = static_cast<std::int8_t>(*value);
    else
        base_.*kReadingBytes[i] = static_cast<std::uint8_t>(*value);
    return true;
}

Readings Detector::ReadingsAt(Micros now) const {
    Readings r;
    r.Signal1 = ClampByte(base_.Signal1 + Drift(seed_, 0, now, 3, 600));
    r.Reference = ClampByte(base_.Reference + Drift(seed_, 1, now, 3, 700));
    r.Signal2 = ClampByte(base_.Signal2 + Drift(seed_, 2, now, 3, 800));
    r.Voltage = ClampByte(base_.Voltage + Drift(seed_, 3, now, 1, 900));
    r.Temperature = static_cast<std::int8_t>(
        std::clamp(base_.Temperature + Drift(seed_, 4, now, 1, 1200), -128, 127));
    r.Ratio1 = ClampByte(base_.Ratio1 + Drift(seed_, 5, now, 2, 500));
    r.Ratio2 = ClampByte(base_.Ratio2 + Drift(seed_, 6, now, 2, 550));
    // The quality ratios never read 0: a live detector always has a beam.
    r.NqRatio1 = ClampByte(base_.NqRatio1 + Drift(seed_, 7, now, 2, 650), 1);
    r.NqRatio2 = ClampByte(base_.NqRatio2 + Drift(seed_, 8, now, 2, 750), 1);
    if (SnTestRunning()) {
        r.S1N = ClampByte(base_.S1N + Drift(seed_, 9, now, 4, 60), 1);
        r.S2N = ClampByte(base_.S2N + Drift(seed_, 10, now, 4, 70), 1);
        r.RN = ClampByte(base_.RN + Drift(seed_, 11, now, 4, 80), 1);
    }
    const int gas = base_.Gas + Drift(seed_, 12, now, 2, 300);
    r.Gas = static_cast<std::uint16_t>(std::clamp(gas, 0, 65535));
    // A held reading is sent as it was set, whatever the mode.
    const auto held = [&](std::size_t i) { return (heldReadings_ >> i & 1u) != 0; };
    for (std::size_t i = 0; i < kReadingBytes.size(); ++i)
        if (held(i) && kReadingBytes[i])
            r.*kReadingBytes[i] = base_.*kReadingBytes[i];
    if (held(kTemperature))
        r.Temperature = base_.Temperature;
    if (held(kGas))
        r.Gas = base_.Gas;
    return r;
}

std::array<std::uint16_t, kRegisterCount> Detector::Registers() const {
    return {address_, reg1_, mode_, reg3_, reg4_};
}

SetupTable Detector::Setup() const {
    return {static_cast<std::uint8_t>(reg1_ >> 8), static_cast<std::uint8_t>(reg1_ & 0xFF),
            static_cast<std::uint8_t>(reg3_ & 0xFF), static_cast<std::uint8_t>(reg4_ & 0xFF)};
}

void Detector::SetSetup(const SetupTable& t) {
    reg1_ = static_cast<std::uint16_t>(t.MeasureFlags << 8 | t.OutputFlags);
    reg3_ = t.HeaterMode;
    reg4_ = t.HeaterOnTemp;
}

std::vector<std::uint8_t> Detector::StatusReply(Micros now) const {
    const Readings r = ReadingsAt(now);
    const std::string chars = StatusCharsAt(now);
    std::vector<std::uint8_t> f(kStatusReplyLength - 2, 0);
    f[0] = address_;
    f[1] = FunctionCommand;
    f[2] = static_cast<std::uint8_t>(replyLength_ - 5);  // bytes between it and the CRC
    f[3] = operatingTimeByte_;
    f[4] = replyMarker_ ? kStatusMarker : 0;
    f[5] = variant_;
    f[6] = family_;
    f[7] = static_cast<std::uint8_t>(serial_ >> 8);
    f[8] = static_cast<std::uint8_t>(serial_ & 0xFF);
    // The detectors send "O" and "R" in the first place as the digits 2 and 3.
    f[9] = rawStatus_        ? static_cast<std::uint8_t>(chars[0])
           : chars[0] == 'O' ? '2'
           : chars[0] == 'R' ? '3'
                             : static_cast<std::uint8_t>(chars[0]);
    f[10] = static_cast<std::uint8_t>(chars[1]);
    f[11] = static_cast<std::uint8_t>(chars[2]);
    f[12] = statusNumber_;
    f[13] = gain_;
    f[14] = r.Signal1;
    f[15] = r.Reference;
    f[16] = r.Signal2;
    f[17] = r.Voltage;
    f[18] = static_cast<std::uint8_t>(r.Temperature);
    f[19] = r.Ratio1;
    f[20] = r.Ratio2;
    f[21] = r.NqRatio1;
    f[22] = r.NqRatio2;
    f[23] = r.S1N;
    f[24] = r.S2N;
    f[25] = r.RN;
    f[26] = static_cast<std::uint8_t>(r.Gas & 0xFF);
    f[27] = static_cast<std::uint8_t>(r.Gas >> 8);
    // Indices 28..31: two further little-endian values the host does not use.
    f.resize(replyLength_ - 2);  // a shorter shape ends earlier, with its own CRC
    AppendCrc(f);
    return f;
}

}  // namespace halvern::sim
