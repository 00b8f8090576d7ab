#include "maintenance/MaintExchanges.h"

namespace halvern {

namespace {

bool ModeEcho(const LinkBuffers& b, std::uint8_t value) {
    return b.RxCount == 8 && b.RxBuffer[1] == kFunctionWriteOne && b.RxBuffer[2] == 0 &&
           b.RxBuffer[3] == 2 && b.RxBuffer[4] == 0 && b.RxBuffer[5] == value;
}

}  // namespace

bool SnTestConfirmed(const LinkBuffers& b) {
    return ModeEcho(b, 1);
}

bool NormalModeConfirmed(const LinkBuffers& b) {
    return ModeEcho(b, 0);
}

bool WriteDetectorMode(Link& link, std::uint8_t address, bool snTest, bool& snTestMode,
                       const StopCheck& stop) {
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
        link.WaitMs(kModeEchoWaitMs, stop);
        snTestMode = snTest;
        if (link.ReceiveReply(stop) &&
            (snTest ? SnTestConfirmed : NormalModeConfirmed)(link.Buffers()))
            return true;
    }
    return false;
}

}  // namespace halvern
