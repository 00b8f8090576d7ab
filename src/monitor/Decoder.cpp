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
constexpr float kNotGiven = std::numeric_limits<float>::quiet_NaN();

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

std::span<const std::uint8_t> OwnBytes(const LinkBuffers& b) {
    return std::span(b.RxBuffer)
        .first(static_cast<std::size_t>(std::clamp<int>(b.RxCount, 0, kRxBufferSize)));
}

bool PassesAcceptanceTest(std::span<const std::uint8_t> reply) {
    const auto fields = ReplyFields(reply);
    if (fields.size() <= Family || !IsAcceptedFamily(fields[Family]))
        return false;
    // The marker tells a complete reply; a shorter one stands only by its "V".
    const bool marked =
        reply.size() >= kStatusReplyFullCount && fields[LengthMarker] == LengthMarkerValue;
    return marked || FieldAt(fields, SecondStatus) == 'V';
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

void DescribeStatus(Par& par) {
    if (const char* description = StatusDescription(par.StatusCode)) {
        par.Main.SIL2Des = description;
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

void ApplyStatusColours(Par& par) {
    const std::string_view second = par.StatusParts[1];
    const std::string triple = par.StatusParts[0] + par.StatusParts[1] + par.StatusParts[2];
    if (second == "B" || second == "N" || second == "O" || second == "S" || second == "G" ||
        second == "X") {
        par.Main.StatusBack = kWhite;
        par.Main.StatusFore = kBlack;
    } else if (triple == "WWN") {
        par.Main.StatusBack = kYellow;
        par.Main.StatusFore = kBlack;
    } else if (triple == "AAN" || triple == "LAN") {
        par.Main.StatusBack = kRed;
        par.Main.StatusFore = kWhite;
    }
}

bool DecodeStatusValues(Par& par) {
    const auto own = OwnBytes(par.Link);
    const auto f = ReplyFields(own);
    if (f.size() <= SecondStatus)
        return false;  // not even a short status reply

    par.Link.ReplyAddress = f[Address];
    par.SerialNumber = f[SerialHigh] * 256 + f[SerialLow];
    par.StatusParts = StatusPartsOf(own);

    const auto gain = FieldAt(f, Gain);
    par.GainByte = gain.value_or(0);
    par.GainText = gain ? std::to_string(*gain & 7) : std::string();

    // Each slot from its own byte, scaled; a slot the reply does not reach is not given.
    auto& ch = par.ChannelValues;
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
    for (int i = 9; i < kRawChannelSlots; ++i)
        ch[i] = scaled(i, 1);
    ch[kSlotGas] =
        f.size() > GasHigh ? static_cast<float>(f[GasHigh] * 256 + f[GasLow]) : kNotGiven;

    const double offset = SignalZeroOffset(f[Family]);
    for (int i = kSlotSignal1; i <= kSlotSignal2; ++i)
        if (!std::isnan(ch[i]))
            RemoveZeroOffset(ch[i], offset);

    par.StatusCode =
        par.StatusParts[0] + par.StatusParts[1] + par.StatusParts[2] + par.StatusParts[3];
    return true;
}

void DecodeStatusReply(Par& par) {
    if (!DecodeStatusValues(par))
        return;
    const auto f = ReplyFields(OwnBytes(par.Link));
    const auto& ch = par.ChannelValues;
    Panel& panel = par.Main;
    panel.Flash = ModelName(f[Variant] * 256 + f[Family]);
    panel.DetNum = std::to_string(f[Address]);
    panel.Status = par.StatusCode;
    // A code cut short is no code of the table; the description of an older one is not its.
    if (par.StatusParts[3].empty())
        panel.SIL2Des.clear();
    else
        DescribeStatus(par);
    ApplyStatusColours(par);

    constexpr std::array<int, 5> kShownSlots{kSlotSignal1, kSlotReference, kSlotSignal2,
                                             kSlotNqRatio1, kSlotNqRatio2};
    for (std::size_t i = 0; i < kShownSlots.size(); ++i) {
        panel.ChVal[i] = Format2(ch[kShownSlots[i]]);
    }
    panel.Gain = par.GainText;
    panel.SeNum = std::to_string(static_cast<long>(par.SerialNumber));
}

}  // namespace halvern
