#include "maintenance/MaintExchanges.h"

#include "maintenance/MaintDecoder.h"
#include "monitor/Decoder.h"

namespace halvern {

bool SnTestConfirmed(std::span<const std::uint8_t> reply, std::uint8_t address) {
    return EchoesRequest(reply, SnTestFrame(address));
}

bool NormalModeConfirmed(std::span<const std::uint8_t> reply, std::uint8_t address) {
    return EchoesRequest(reply, NormalModeFrame(address));
}

WriteResult WriteDetectorMode(Link& link, std::uint8_t address, bool snTest, bool& snTestMode,
                              const StopCheck& stop, const std::function<void()>& sent) {
    // The reply of the poll this command interrupted has come in after the settling time; left
    // in the port it would run into the first echo and spoil it.
    return RunWrite(link,
                    {.frame = snTest ? SnTestFrame(address) : NormalModeFrame(address),
                     .pause = true,
                     .attempts = kModeWriteAttempts,
                     .echoWaitMs = kModeEchoWaitMs,
                     .stale = StaleInput::SettleThenDiscard,
                     .settleMs = kModeSettleMs,
                     .sent = sent,
                     .waited = [&] { snTestMode = snTest; }},
                    stop);
}

bool PollMaintenance(Link& link, Par& par, std::uint8_t address, const StopCheck& stop) {
    link.SendQuery(address, kCodeStatus);
    const Reception reply = link.ReceiveReply(stop);
    if (stop && stop())
        return false;  // abandoned: the window closed or the program ends
    // Only a status reply carries the values, each field from the reply's own bytes.
    if (!reply.Taken() || !HoldsMaintenanceFields(reply.bytes))
        return false;
    // The log records of this time take the main window's decoding of the same reply, so that
    // they do not step while the maintenance window is open; the window shows its own figures.
    if (PassesAcceptanceTest(reply.bytes))
        if (const auto reading = ReadStatus(reply.bytes))
            par.Reading = *reading;
    DecodeMaintenanceReply(par, reply.bytes);
    return true;
}

std::string NoiseSummary(const MaintPanel& m) {
    return "Sig1/Noise " + m.S1N + ", Sig2/Noise " + m.S2N + ", Ref/Noise " + m.R2N;
}

}  // namespace halvern
