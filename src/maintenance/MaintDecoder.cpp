#include "maintenance/MaintDecoder.h"

#include <cmath>
#include <limits>
#include <optional>

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

bool HoldsMaintenanceFields(const LinkBuffers& b) {
    const auto own = OwnBytes(b);
    return own.size() > 1 && own[1] == FunctionCommand &&
           (own.size() >= kStatusReplyFullCount || PassesAcceptanceTest(own));
}

void DecodeMaintenanceReply(Par& par) {
    const auto own = OwnBytes(par.Link);
    const auto f = ReplyFields(own);
    if (f.size() <= 10)
        return;  // not even the status characters: nothing of this reply to show
    MaintPanel& m = par.Maint;
    const auto at = [&](std::size_t i) -> std::optional<std::uint8_t> {
        return i < f.size() ? std::optional<std::uint8_t>(f[i]) : std::nullopt;
    };

    par.ModelCode = f[6];
    m.Serial = f[7] * 256 + f[8];
    m.Title = kMaintTitlePrefix + std::to_string(f[7] * 256 + f[8]);
    const auto parts = StatusPartsOf(own);
    const auto gain = at(13);
    // The detector that answered stays the one polled.
    par.Main.DetNum = std::to_string(f[0]);

    // Each figure from its own byte; one the reply does not reach is not given (NaN).
    auto& v = m.Values;
    const float none = std::numeric_limits<float>::quiet_NaN();
    const auto offset = static_cast<float>(MaintZeroOffset(f[6]));
    for (std::size_t i = 0; i <= 2; ++i) {
        const auto b = at(14 + i);
        const float x = b ? static_cast<float>(*b) * kSignalScale : none;
        v[i] = !b ? none : x > offset ? x - offset : 0.0f;
    }
    v[3] = at(17) ? static_cast<float>(*at(17)) / 10 + 10 : none;
    v[4] = at(18) ? SignedByte(*at(18)) : none;
    for (std::size_t i = 5; i <= 8; ++i)
        v[i] = at(14 + i) ? static_cast<float>(*at(14 + i)) * kHundredths : none;
    for (std::size_t i = 9; i <= 11; ++i)
        v[i] = at(14 + i) ? static_cast<float>(*at(14 + i)) : none;
    v[12] = at(27) ? static_cast<float>(f[27] * 256 + f[26]) : none;

    m.Gain = gain ? std::to_string(*gain & 7) : std::string();
    m.Sig1 = Format2(v[0]);
    m.Ref = Format2(v[1]);
    m.Sig2 = Format2(v[2]);
    m.Rat1 = Format2(v[5]);
    m.Rat2 = Format2(v[6]);
    m.NQRat1 = Format2(v[7]);
    m.NQRat2 = Format2(v[8]);
    m.LEL = Format1(v[12]);
    const auto whole = [](float x) {
        return std::isnan(x) ? std::string() : std::to_string(static_cast<int>(x));
    };
    m.Temp = whole(v[4]);
    m.Voltage = Format1(v[3]);
    m.R2N = par.SnTestMode ? whole(v[11]) : std::string();
    m.S1N = par.SnTestMode ? whole(v[9]) : std::string();
    m.S2N = par.SnTestMode ? whole(v[10]) : std::string();

    m.Status = parts[0] + parts[1] + parts[2] + parts[3];
    if (parts[1] == "A") {
        m.StatusBack = kRed;
        m.StatusFore = kWhite;
    } else if (parts[1] == "W") {
        m.StatusBack = kYellow;
        m.StatusFore = kBlack;
    } else {
        m.StatusBack = kWhite;
        m.StatusFore = kBlack;
    }
}

}  // namespace halvern
