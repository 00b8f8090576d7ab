// Bytes from the bus, as one reception of the program: they arrive on the simulated port
// (all at once or at the line's pace after a delay), Link::ReceiveReply collects them, and
// every decoder the program has for a reply reads the buffer that results, whether the
// reception accepted it or not (the buffer keeps the last reply read either way).
//
// Input: flags, timing, then the reply bytes.
//   flags bit 0: append the reply's CRC (so the fuzzer gets past the frame check at will)
//   flags bit 1: the maintenance window's S/N test mode is on
//   timing >= 128: the bytes are all waiting when the reception starts
//   timing <  128: the first byte starts timing * 5 ms after the request has left

#include <cstdint>
#include <string>
#include <vector>

#include "Support.h"
#include "config/ConfigExchanges.h"
#include "config/SetupCodec.h"
#include "link/Link.h"
#include "maintenance/MaintDecoder.h"
#include "maintenance/MaintExchanges.h"
#include "monitor/Decoder.h"
#include "monitor/Exchanges.h"
#include "monitor/MainComm.h"
#include "platform/SimulatedSerialPort.h"
#include "platform/virtual/VirtualPlatform.h"
#include "state/Par.h"

using namespace halvern;

namespace {

// Every model the program knows by name, and one it does not.
std::vector<SetupModel> ListedModels() {
    std::vector<SetupModel> models{{ModelName(0), 0}};
    for (int family = 0; family < 256; ++family) {
        if (!IsAcceptedFamily(static_cast<std::uint8_t>(family)))
            continue;
        for (int variant = 0; variant < 3; ++variant)
            models.push_back(
                {ModelName(variant * 256 + family), static_cast<std::int16_t>(family)});
    }
    return models;
}

bool Same(const SetupTable& a, const SetupTable& b) {
    return a.MeasureFlags == b.MeasureFlags && a.OutputFlags == b.OutputFlags &&
           a.HeaterMode == b.HeaterMode && a.HeaterOnTemp == b.HeaterOnTemp;
}

// The setup screen's Burn for one model: fields left as read write the table back as read;
// every field burnt from the text it shows must settle at once, or each Burn would change
// the detector again.
void SetupRoundTrip(const SetupTable& read, const SetupModel& model) {
    const SetupTexts shown = ShownSetupTexts(read, model);
    const auto kept = SetupTableToBurn(read, shown, SetupFieldSet(), model);
    if (const auto* refused = std::get_if<SetupRefusal>(&kept)) {
        (void)SetupRefusalMessage(*refused, shown, SetupLayoutFor(model));
        return;
    }
    FUZZ_CHECK(Same(std::get<SetupTable>(kept), read));
    (void)SettingTexts(read, model);
    // Every field picked from its list, at the option its value is described by.
    const SetupTexts texts = GetSetupTable(read, model);
    SetupFieldSet all;
    for (std::size_t i = 0; i < texts.size(); ++i)
        all[i] = !texts[i].empty();
    const auto burnt = SetupTableToBurn(read, texts, all, model);
    if (const auto* b = std::get_if<SetupTable>(&burnt)) {
        const auto again = SetupTableToBurn(*b, GetSetupTable(*b, model), all, model);
        FUZZ_CHECK(std::holds_alternative<SetupTable>(again));
        FUZZ_CHECK(Same(std::get<SetupTable>(again), *b));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::vector<SetupModel> kModels = ListedModels();
    if (size < 2)
        return 0;
    const std::uint8_t flags = data[0];
    const std::uint8_t timing = data[1];
    std::vector<std::uint8_t> reply(data + 2, data + size);
    if (flags & 1)
        AppendCrc(reply);

    VirtualPlatform plat;
    SimulatedSerialPort port(plat);
    Par par;
    Link link(plat, port, par.Link);
    port.Open("fuzz", nullptr);

    link.SendQuery(1, kCodeStatus);
    link.WaitRtsReleased();
    const Micros now = plat.NowUs();
    port.SendToHost(reply, timing >= 128 ? now - WireTimeUs(reply.size()) : now + timing * 5000);
    const Reception reception = link.ReceiveReply();

    const auto& rx = par.Link.RxBuffer;
    const std::span<const std::uint8_t> own = reception.bytes;
    (void)PassesAcceptanceTest(own);
    (void)HoldsMaintenanceFields(own);
    (void)VersionTextOf(own, false);
    if (const auto reading = ReadStatus(own))
        TakeReading(par, *reading);
    par.SnTestMode = flags & 2;
    DecodeMaintenanceReply(par, own);
    (void)OperatingTimeText(par.Link);

    const SetupTable read = SetupTableFromReply(rx);
    SetupRoundTrip(read, {par.Reading.ModelName, par.Reading.ModelCode});
    for (const SetupModel& model : kModels)
        SetupRoundTrip(read, model);

    (void)VersionAnswer(reception, rx[0], flags & 1);
    (void)SetupWriteConfirmed(own, rx[0]);
    (void)AddressWriteConfirmed(own, rx[0], rx[5]);
    (void)SnTestConfirmed(own, rx[0]);
    (void)NormalModeConfirmed(own, rx[0]);
    (void)JudgeEcho(reception, NewAddressFrame(rx[0], rx[5]));
    return 0;
}
