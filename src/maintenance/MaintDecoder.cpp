#include "maintenance/MaintDecoder.h"

#include "monitor/Decoder.h"
#include "state/Formats.h"

namespace halvern {

namespace {

constexpr float kSignalScale = 0.0196078f;
constexpr float kHundredths = 0.01f;

}  // namespace

double MaintZeroOffset(std::uint8_t family) {
    // The main window's families but for 32, which takes the smaller offset here.
    return family == 32 ? 0.15 : SignalZeroOffset(family);
}

std::string OperatingTimeText(const LinkBuffers& b) {
    const auto& rx = b.RxBuffer;
    const std::uint32_t hours = static_cast<std::uint32_t>(rx[3]) << 24 |
                                static_cast<std::uint32_t>(rx[4]) << 16 |
                                static_cast<std::uint32_t>(rx[5]) << 8 | rx[6];
    return std::to_string(hours);
}

void DecodeMaintenanceReply(Par& par) {
    const auto& rx = par.Link.RxBuffer;
    MaintPanel& m = par.Maint;

    par.ModelCode = rx[6];
    par.SerialNumber = rx[7] * 256 + rx[8];
    m.Title = kMaintTitlePrefix + std::to_string(rx[7] * 256 + rx[8]);
    par.StatusParts = StatusPartsOf(rx);
    par.GainByte = rx[13];
    par.GainText = std::to_string(rx[13] & 7);
    // The detector that answered stays the one polled.
    par.Main.DetNum = std::to_string(rx[0]);

    auto& ch = par.ChannelValues;
    const auto offset = static_cast<float>(MaintZeroOffset(rx[6]));
    for (int i = 0; i <= 2; ++i) {
        const float v = static_cast<float>(rx[14 + i]) * kSignalScale;
        ch[i] = v > offset ? v - offset : 0.0f;
    }
    ch[3] = static_cast<float>(rx[17]) / 10 + 10;
    ch[4] = SignedByte(rx[18]);
    for (int i = 5; i <= 8; ++i)
        ch[i] = static_cast<float>(rx[14 + i]) * kHundredths;
    for (int i = 9; i <= 11; ++i)
        ch[i] = rx[14 + i];
    ch[12] = static_cast<float>(rx[27] * 256 + rx[26]);

    m.Gain = par.GainText;
    m.Sig1 = Format2(ch[0]);
    m.Ref = Format2(ch[1]);
    m.Sig2 = Format2(ch[2]);
    m.Rat1 = Format2(ch[5]);
    m.Rat2 = Format2(ch[6]);
    m.NQRat1 = Format2(ch[7]);
    m.NQRat2 = Format2(ch[8]);
    m.LEL = Format1(ch[12]);
    m.Temp = std::to_string(static_cast<int>(ch[4]));
    m.Voltage = Format1(ch[3]);
    const auto whole = [](float v) { return std::to_string(static_cast<int>(v)); };
    m.R2N = par.SnTestMode ? whole(ch[11]) : std::string();
    m.S1N = par.SnTestMode ? whole(ch[9]) : std::string();
    m.S2N = par.SnTestMode ? whole(ch[10]) : std::string();

    m.Status = par.StatusParts[0] + par.StatusParts[1] + par.StatusParts[2] + par.StatusParts[3];
    if (par.StatusParts[1] == "A") {
        m.StatusBack = kRed;
        m.StatusFore = kWhite;
    } else if (par.StatusParts[1] == "W") {
        m.StatusBack = kYellow;
        m.StatusFore = kBlack;
    } else {
        m.StatusBack = kWhite;
        m.StatusFore = kBlack;
    }
}

}  // namespace halvern
