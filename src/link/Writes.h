#pragma once
// The one engine that runs every write to a detector (setup table, address, S/N test, normal
// mode): the stale input cleared, then up to a number of attempts, each the frame, the wait for
// the echo and one reception, until the detector's own echo confirms it. It says how the write
// ended, so the windows and halvern-cli can tell silence from a broken or a wrong answer.

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "link/Link.h"

namespace halvern {

enum class WriteOutcome : std::uint8_t {
    Confirmed,     // the detector's own echo came
    NoAnswer,      // nothing came to the last attempt
    BrokenAnswer,  // bytes came that are no whole frame (bad CRC, cut short, too long)
    WrongEcho,     // a whole frame came that is not this write's echo (another register,
                   // value or address, an exception)
    Interrupted,   // the program or the command ended the write
};

struct WriteResult {
    WriteOutcome outcome = WriteOutcome::NoAnswer;
    int attempts = 0;  // frames sent
    bool Confirmed() const { return outcome == WriteOutcome::Confirmed; }
};

// "confirmed", "no answer", "broken answer", "wrong echo", "interrupted".
const char* WriteOutcomeText(WriteOutcome outcome);

// How input still due from an earlier request is cleared before the first attempt.
enum class StaleInput : std::uint8_t {
    ReceiveOnce,        // one reception, whatever comes (a poll reply still on its way)
    SettleThenDiscard,  // wait `settleMs`, then drop what the port holds
};

struct WriteSpec {
    std::vector<std::uint8_t> frame;  // the request, CRC included
    bool pause = false;               // the pre-send pause before the frame
    int attempts = 1;
    double echoWaitMs = 0;  // between the frame and its reception
    StaleInput stale = StaleInput::ReceiveOnce;
    double settleMs = 0;
    // Told when each frame has been handed to the port, and when its echo wait is over.
    std::function<void()> sent = {}, waited = {};
};

// The reply is this write's echo: eight bytes with a valid CRC that repeat the request's
// address, function, register and value (or quantity).
bool EchoesRequest(std::span<const std::uint8_t> reply, std::span<const std::uint8_t> request);
// What one reception says of the write `request`.
WriteOutcome JudgeEcho(const Reception& reception, std::span<const std::uint8_t> request);

WriteResult RunWrite(Link& link, const WriteSpec& write, const StopCheck& stop = {});

}  // namespace halvern
