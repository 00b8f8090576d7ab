#include "monitor/Exchanges.h"

#include "monitor/Decoder.h"
#include "monitor/MainComm.h"

namespace halvern {

StatusPoll PollStatus(Link& link, std::uint8_t address, const StopCheck& stop, Micros firstByteUs,
                      ReplyWait wait) {
    link.SendQuery(address, kCodeStatus);
    StatusPoll poll;
    poll.reception = wait == ReplyWait::WholeReply ? link.ReceiveWholeReply(stop, firstByteUs)
                                                   : link.ReceiveReply(stop, firstByteUs);
    const Reception& rx = poll.reception;
    if (!rx.Taken())
        poll.reply = rx.HadBytes() ? PollReply::Broken : PollReply::None;
    else if (!PassesAcceptanceTest(rx.bytes) || !(poll.reading = ReadStatus(rx.bytes)))
        poll.reply = PollReply::NotStatus;
    else
        poll.reply = PollReply::Status;
    return poll;
}

std::optional<std::string> ReadVersion(Link& link, std::uint8_t address, bool primary,
                                       const StopCheck& stop, Reception* reception) {
    link.SendQuery(address, primary ? kCodePrimaryVersion : kCodeSecondaryVersion);
    Reception reply = link.ReceiveReply(stop);
    const bool taken = reply.Taken();
    if (reception)
        *reception = std::move(reply);
    if (!taken)
        return std::nullopt;
    return VersionText(link.Buffers(), primary);
}

bool ReadSetupReply(Link& link, std::uint8_t address, const StopCheck& stop) {
    link.SendReadSetup(address);
    link.WaitMs(500, stop);
    const Reception reply = link.ReceiveReply(stop);
    return reply.Taken() && IsSetupReply(reply.bytes) && reply.At(StatusReply::Address) == address;
}

bool IsSetupReply(std::span<const std::uint8_t> reply) {
    return reply.size() == SetupReply::Bytes && reply[SetupReply::Function] == kFunctionRead &&
           reply[SetupReply::Count] == SetupReply::CountValue;
}

}  // namespace halvern
