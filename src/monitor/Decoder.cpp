#include "monitor/Decoder.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <string_view>

#include "link/Layouts.h"
#include "state/Formats.h"

namespace halvern {

namespace {

constexpr double kSignalScale = 0.0196078431372549;  // one fifty-first: 255 is 5.00 V
constexpr double kVoltageScale = 0.117647;
constexpr double kHundredths = 0.01;

using namespace StatusReply;
constexpr int kRawChannelSlots = 12;  // slots 0 to 11 come one byte each

// Byte i of the fields, when the reply reaches it.
std::optional<std::uint8_t> FieldAt(std::span<const std::uint8_t> fields, std::size_t i) {
    if (i >= fields.size())
        return std::nullopt;
    return fields[i];
}

// Slots 0 to 2 lose the detector's zero offset and are never negative.
void RemoveZeroOffset(float& slot, double offset) {
    if (slot > static_cast<float>(offset)) {
        slot = static_cast<float>(static_cast<double>(slot) - offset);
    } else {
        slot = 0.0f;
    }
}

}  // namespace

std::int16_t SignedByte(std::uint8_t b) {
    return static_cast<std::int16_t>(b < 128 ? b : b - 256);
}

std::span<const std::uint8_t> ReplyFields(std::span<const std::uint8_t> reply) {
    return reply.first(reply.size() > kReplyCrcBytes ? reply.size() - kReplyCrcBytes : 0);
}

bool IsCompleteStatusReply(std::span<const std::uint8_t> reply) {
    const auto fields = ReplyFields(reply);
    return reply.size() >= kStatusReplyFullCount && IsAcceptedFamily(fields[Family]) &&
           fields[LengthMarker] == LengthMarkerValue;
}

bool PassesAcceptanceTest(std::span<const std::uint8_t> reply) {
    const auto fields = ReplyFields(reply);
    if (fields.size() <= Family || !IsAcceptedFamily(fields[Family]))
        return false;
    // The marker tells a complete reply; a shorter one stands only by its "V".
    return IsCompleteStatusReply(reply) || FieldAt(fields, SecondStatus) == 'V';
}

double SignalZeroOffset(std::uint8_t family) {
    switch (family) {
        case kXenon621:
        case kXenon622:
        case 26:  // no model of its own
        case kXenon623:
        case kEthylene641:
        case kEthylene642:
        case kEthylene643:
            return 0.56;
        default:
            return 0.15;
    }
}

std::array<std::string, 4> StatusPartsOf(std::span<const std::uint8_t> reply) {
    const auto fields = ReplyFields(reply);
    // Characters are kept as the byte the detector sent, one byte each.
    const auto character = [&](std::size_t i) {
        const auto b = FieldAt(fields, i);
        return b ? std::string(1, static_cast<char>(*b)) : std::string();
    };
    const auto first = FieldAt(fields, FirstStatus);
    const auto number = FieldAt(fields, StatusNumber);
    return {first == 50   ? "O"
            : first == 51 ? "R"
                          : character(FirstStatus),
            character(SecondStatus), character(ThirdStatus),
            number ? std::to_string(*number) : std::string()};
}

std::optional<StatusColours> ColoursOf(const std::array<std::string, 4>& parts) {
    const std::string_view second = parts[1];
    const std::string triple = parts[0] + parts[1] + parts[2];
    if (second == "B" || second == "N" || second == "O" || second == "S" || second == "G" ||
        second == "X")
        return StatusColours{kWhite, kBlack};
    if (triple == "WWN")
        return StatusColours{kYellow, kBlack};
    if (triple == "AAN" || triple == "LAN")
        return StatusColours{kRed, kWhite};
    return std::nullopt;
}

std::optional<StatusReading> ReadStatus(std::span<const std::uint8_t> reply) {
    const auto f = ReplyFields(reply);
    if (f.size() <= SecondStatus)
        return std::nullopt;  // not even a short status reply

    StatusReading r;
    r.Taken = true;
    r.Address = f[Address];
    r.ModelCode = f[Family];
    r.Variant = f[Variant];
    r.ModelName = ModelName(f[Variant] * 256 + f[Family]);
    r.SerialNumber = f[SerialHigh] * 256 + f[SerialLow];
    r.FirstStatusByte = f[FirstStatus];
    r.SecondStatusByte = f[SecondStatus];
    r.StatusParts = StatusPartsOf(reply);
    r.StatusCode = r.StatusParts[0] + r.StatusParts[1] + r.StatusParts[2] + r.StatusParts[3];
    // A code cut short is no code of the table.
    if (const char* description = r.WholeCode() ? StatusDescription(r.StatusCode) : nullptr)
        r.Description = description;

    r.GainByte = FieldAt(f, Gain);
    r.GainText = r.GainByte ? std::to_string(*r.GainByte & 7) : std::string();

    // Each slot from its own byte, scaled; a slot the reply does not reach is not given.
    auto& ch = r.ChannelValues;
    const auto raw = [&](int slot) { return FieldAt(f, ChannelStart + slot); };
    const auto scaled = [&](int slot, double scale) {
        const auto b = raw(slot);
        return b ? static_cast<float>(*b * scale) : kNotGiven;
    };
    for (int i = kSlotSignal1; i <= kSlotSignal2; ++i)
        ch[i] = scaled(i, kSignalScale);
    ch[kSlotVoltage] = scaled(kSlotVoltage, kVoltageScale);
    ch[kSlotTemperature] = raw(kSlotTemperature) ? SignedByte(*raw(kSlotTemperature)) : kNotGiven;
    for (int i = kSlotRatio1; i <= kSlotNqRatio2; ++i)
        ch[i] = scaled(i, kHundredths);
    for (int i = kSlotS1Noise; i < kRawChannelSlots; ++i)
        ch[i] = scaled(i, 1);
    ch[kSlotGas] =
        f.size() > GasHigh ? static_cast<float>(f[GasHigh] * 256 + f[GasLow]) : kNotGiven;

    const double offset = SignalZeroOffset(f[Family]);
    for (int i = kSlotSignal1; i <= kSlotSignal2; ++i)
        if (!std::isnan(ch[i]))
            RemoveZeroOffset(ch[i], offset);
    return r;
}

void ShowReading(Panel& panel, const StatusReading& r) {
    panel.Flash = r.ModelName;
    panel.DetNum = std::to_string(r.Address);
    panel.Status = r.StatusCode;
    if (!r.WholeCode())
        panel.SIL2Des.clear();  // the description of an older code is not this one's
    else if (r.Description)
        panel.SIL2Des = *r.Description;
    if (const auto colours = ColoursOf(r.StatusParts)) {
        panel.StatusBack = colours->back;
        panel.StatusFore = colours->fore;
    }
    constexpr std::array<int, 5> kShownSlots{kSlotSignal1, kSlotReference, kSlotSignal2,
                                             kSlotNqRatio1, kSlotNqRatio2};
    for (std::size_t i = 0; i < kShownSlots.size(); ++i)
        panel.ChVal[i] = Format2(r.ChannelValues[kShownSlots[i]]);
    panel.Gain = r.GainText;
    panel.SeNum = std::to_string(static_cast<long>(r.SerialNumber));
}

void TakeReading(Par& par, const StatusReading& r) {
    par.Reading = r;
    ShowReading(par.Main, r);
}

}  // namespace halvern
