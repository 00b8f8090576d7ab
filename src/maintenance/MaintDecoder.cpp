#include "maintenance/MaintDecoder.h"

#include <cmath>
#include <limits>
#include <optional>

#include "link/Layouts.h"
#include "monitor/Decoder.h"
#include "state/Formats.h"

namespace halvern {

namespace {

constexpr float kSignalScale = 0.0196078f;
constexpr float kHundredths = 0.01f;

}  // namespace

double MaintZeroOffset(std::uint8_t family) {
    // The main window's families but for 32, which takes the smaller offset here.
    return family == kXenon623 ? 0.15 : SignalZeroOffset(family);
}

std::string OperatingTimeText(const LinkBuffers& b) {
    std::uint32_t hours = 0;
    for (std::size_t i = 0; i < MaintReply::OperatingHoursBytes; ++i)
        hours = hours << 8 | b.RxBuffer[MaintReply::OperatingHoursFirst + i];
    return std::to_string(hours);
}

bool HoldsMaintenanceFields(std::span<const std::uint8_t> reply) {
    return reply.size() > StatusReply::Function &&
           reply[StatusReply::Function] == FunctionCommand &&
           (reply.size() >= StatusReply::FullCount || PassesAcceptanceTest(reply));
}

void DecodeMaintenanceReply(Par& par, std::span<const std::uint8_t> reply) {
    const auto own = reply;
    const auto f = ReplyFields(own);
    if (f.size() <= StatusReply::SecondStatus)
        return;  // not even the status characters: nothing of this reply to show
    MaintPanel& m = par.Maint;
    const auto at = [&](std::size_t i) -> std::optional<std::uint8_t> {
        return i < f.size() ? std::optional<std::uint8_t>(f[i]) : std::nullopt;
    };

    using namespace StatusReply;
    m.ModelCode = f[Family];
    m.Model = ModelName(f[Variant] * 256 + f[Family]);
    const int serial = f[SerialHigh] * 256 + f[SerialLow];
    m.Serial = serial;
    m.Title = kMaintTitlePrefix + std::to_string(serial);
    const auto parts = StatusPartsOf(own);
    const auto gain = at(Gain);
    // The detector that answered stays the one polled.
    par.Main.DetNum = std::to_string(f[Address]);

    // Each figure from its own byte; one the reply does not reach is not given (NaN).
    auto& v = m.Values;
    const float none = std::numeric_limits<float>::quiet_NaN();
    const auto offset = static_cast<float>(MaintZeroOffset(f[Family]));
    const auto slot = [&](std::size_t s) { return at(ChannelStart + s); };
    for (std::size_t i = kSlotSignal1; i <= kSlotSignal2; ++i) {
        const auto b = slot(i);
        const float x = b ? static_cast<float>(*b) * kSignalScale : none;
        v[i] = !b ? none : x > offset ? x - offset : 0.0f;
    }
    v[kSlotVoltage] = slot(kSlotVoltage) ? static_cast<float>(*slot(kSlotVoltage)) / 10 + 10 : none;
    v[kSlotTemperature] = slot(kSlotTemperature) ? SignedByte(*slot(kSlotTemperature)) : none;
    for (std::size_t i = kSlotRatio1; i <= kSlotNqRatio2; ++i)
        v[i] = slot(i) ? static_cast<float>(*slot(i)) * kHundredths : none;
    for (std::size_t i = kSlotS1Noise; i <= kSlotRNoise; ++i)
        v[i] = slot(i) ? static_cast<float>(*slot(i)) : none;
    v[kSlotGas] = at(GasHigh) ? static_cast<float>(f[GasHigh] * 256 + f[GasLow]) : none;

    m.Gain = gain ? std::to_string(*gain & 7) : std::string();
    m.Sig1 = Format2(v[kSlotSignal1]);
    m.Ref = Format2(v[kSlotReference]);
    m.Sig2 = Format2(v[kSlotSignal2]);
    m.Rat1 = Format2(v[kSlotRatio1]);
    m.Rat2 = Format2(v[kSlotRatio2]);
    m.NQRat1 = Format2(v[kSlotNqRatio1]);
    m.NQRat2 = Format2(v[kSlotNqRatio2]);
    m.LEL = Format1(v[kSlotGas]);
    const auto whole = [](float x) {
        return std::isnan(x) ? std::string() : std::to_string(static_cast<int>(x));
    };
    m.Temp = whole(v[kSlotTemperature]);
    m.Voltage = Format1(v[kSlotVoltage]);
    m.R2N = par.SnTestMode ? whole(v[kSlotRNoise]) : std::string();
    m.S1N = par.SnTestMode ? whole(v[kSlotS1Noise]) : std::string();
    m.S2N = par.SnTestMode ? whole(v[kSlotS2Noise]) : std::string();

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
