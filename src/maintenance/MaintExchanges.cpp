#include "maintenance/MaintExchanges.h"

#include "maintenance/MaintDecoder.h"
#include "monitor/Decoder.h"

namespace halvern {

bool SnTestConfirmed(const LinkBuffers& b, std::uint8_t address) {
    return EchoesRequest(b, SnTestFrame(address));
}

bool NormalModeConfirmed(const LinkBuffers& b, std::uint8_t address) {
    return EchoesRequest(b, NormalModeFrame(address));
}

bool WriteDetectorMode(Link& link, std::uint8_t address, bool snTest, bool& snTestMode,
                       const StopCheck& stop, const std::function<void()>& sent) {
    link.WaitMs(kModeSettleMs, stop);
    // The reply of the poll this command interrupted has come in by now; left in the port it
    // would run into the first echo and spoil it.
    link.DiscardInput();
    for (int attempt = 0; attempt < kModeWriteAttempts; ++attempt) {
        if (stop && stop())
            return false;
        if (snTest)
            link.SendSnTest(address);
        else
            link.SendNormalMode(address);
        if (sent)
            sent();
        link.WaitMs(kModeEchoWaitMs, stop);
        snTestMode = snTest;
        if (link.ReceiveReply(stop) &&
            (snTest ? SnTestConfirmed : NormalModeConfirmed)(link.Buffers(), address))
            return true;
    }
    return false;
}

bool PollMaintenance(Link& link, Par& par, std::uint8_t address, const StopCheck& stop) {
    link.SendQuery(address, kCodeStatus);
    const bool replied = link.ReceiveReply(stop);
    if (stop && stop())
        return false;  // abandoned: the window closed or the program ends
    // Only a status reply carries the values, each field from the reply's own bytes.
    if (!replied || !HoldsMaintenanceFields(par.Link))
        return false;
    // The log records of this time take the main window's decoding of the same reply, so that
    // they do not step while the maintenance window is open; the window shows its own figures.
    if (PassesAcceptanceTest(OwnBytes(par.Link)))
        DecodeStatusValues(par);
    DecodeMaintenanceReply(par);
    return true;
}

std::string NoiseSummary(const MaintPanel& m) {
    return "Sig1/Noise " + m.S1N + ", Sig2/Noise " + m.S2N + ", Ref/Noise " + m.R2N;
}

}  // namespace halvern
