#include "monitor/Decoder.h"

#include <string_view>

#include "state/Formats.h"

namespace halvern {

namespace {

constexpr double kSignalScale = 0.0196078431372549;  // one fifty-first: 255 is 5.00 V
constexpr double kVoltageScale = 0.117647;
constexpr double kHundredths = 0.01;

// Index of the first byte of the channel values in a status reply.
constexpr std::size_t kChannelStart = 14;
constexpr int kRawChannelSlots = 12;  // slots 0 to 11 come one byte each
constexpr int kGasSlot = 12;

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

bool PassesAcceptanceTest(std::span<const std::uint8_t> rx) {
    if (rx.size() < kStatusReplyMinCount)
        return false;
    return IsAcceptedFamily(rx[6]) && (rx[4] == 42 || rx[10] == 'V');
}

double SignalZeroOffset(std::uint8_t family) {
    switch (family) {
        case 24:
        case 25:
        case 26:
        case 32:
        case 33:
        case 34:
        case 35:
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

std::array<std::string, 4> StatusPartsOf(std::span<const std::uint8_t> rx) {
    // Characters are kept as the byte the detector sent, one byte each.
    const auto character = [](std::uint8_t b) { return std::string(1, static_cast<char>(b)); };
    return {rx[9] == 50   ? "O"
            : rx[9] == 51 ? "R"
                          : character(rx[9]),
            character(rx[10]), character(rx[11]), std::to_string(rx[12])};
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

void DecodeStatusReply(Par& par) {
    const auto& rx = par.Link.RxBuffer;
    Panel& panel = par.Main;

    par.Link.ReplyAddress = rx[0];
    panel.Flash = ModelName(rx[5] * 256 + rx[6]);
    par.SerialNumber = rx[7] * 256 + rx[8];
    panel.DetNum = std::to_string(rx[0]);

    par.StatusParts = StatusPartsOf(rx);

    par.GainByte = rx[13];
    par.GainText = std::to_string(rx[13] & 7);

    auto& ch = par.ChannelValues;
    for (int i = 0; i < kRawChannelSlots; ++i)
        ch[i] = rx[kChannelStart + i];
    for (int i = 0; i <= 2; ++i)
        ch[i] = static_cast<float>(ch[i] * kSignalScale);
    ch[3] = static_cast<float>(ch[3] * kVoltageScale);
    ch[4] = SignedByte(rx[kChannelStart + 4]);
    for (int i = 5; i <= 8; ++i)
        ch[i] = static_cast<float>(ch[i] * kHundredths);
    ch[kGasSlot] = static_cast<float>(rx[27] * 256 + rx[26]);

    const double offset = SignalZeroOffset(rx[6]);
    for (int i = 0; i <= 2; ++i)
        RemoveZeroOffset(ch[i], offset);

    par.StatusCode =
        par.StatusParts[0] + par.StatusParts[1] + par.StatusParts[2] + par.StatusParts[3];
    panel.Status = par.StatusCode;
    DescribeStatus(par);
    ApplyStatusColours(par);

    constexpr std::array<int, 5> kShownSlots{0, 1, 2, 7, 8};
    for (std::size_t i = 0; i < kShownSlots.size(); ++i) {
        panel.ChVal[i] = Format2(ch[kShownSlots[i]]);
    }
    panel.Gain = par.GainText;
    panel.SeNum = std::to_string(static_cast<long>(par.SerialNumber));
}

}  // namespace halvern
