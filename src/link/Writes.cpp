#include "link/Writes.h"

#include <algorithm>

#include "link/Layouts.h"

namespace halvern {

const char* WriteOutcomeText(WriteOutcome outcome) {
    switch (outcome) {
        case WriteOutcome::Confirmed:
            return "confirmed";
        case WriteOutcome::NoAnswer:
            return "no answer";
        case WriteOutcome::BrokenAnswer:
            return "broken answer";
        case WriteOutcome::WrongEcho:
            return "wrong echo";
        case WriteOutcome::Interrupted:
            break;
    }
    return "interrupted";
}

bool EchoesRequest(std::span<const std::uint8_t> reply, std::span<const std::uint8_t> request) {
    return reply.size() == Echo::Bytes && ReplyCrcIsValid(reply, static_cast<int>(reply.size())) &&
           request.size() >= Echo::Echoed &&
           std::equal(request.begin(), request.begin() + Echo::Echoed, reply.begin());
}

WriteOutcome JudgeEcho(const Reception& reception, std::span<const std::uint8_t> request) {
    switch (reception.end) {
        case ReceptionEnd::None:
            return WriteOutcome::NoAnswer;
        case ReceptionEnd::BadCrc:
        case ReceptionEnd::TooLong:
            return WriteOutcome::BrokenAnswer;
        case ReceptionEnd::WrongFunction:
            return WriteOutcome::WrongEcho;
        case ReceptionEnd::Taken:
            break;
    }
    return EchoesRequest(reception.bytes, request) ? WriteOutcome::Confirmed
                                                   : WriteOutcome::WrongEcho;
}

WriteResult RunWrite(Link& link, const WriteSpec& write, const StopCheck& stop) {
    const auto stopped = [&] { return stop && stop(); };
    if (write.stale == StaleInput::ReceiveOnce) {
        link.ReceiveReply(stop);
    } else {
        link.WaitMs(write.settleMs, stop);
        link.DiscardInput();
    }
    WriteResult result;
    while (result.attempts < write.attempts) {
        if (stopped())
            break;
        link.SendFrame(write.frame, write.pause);
        ++result.attempts;
        if (write.sent)
            write.sent();
        link.WaitMs(write.echoWaitMs, stop);
        if (write.waited)
            write.waited();
        result.outcome = JudgeEcho(link.ReceiveReply(stop), write.frame);
        if (result.Confirmed())
            return result;
    }
    if (stopped())
        result.outcome = WriteOutcome::Interrupted;
    return result;
}

}  // namespace halvern
