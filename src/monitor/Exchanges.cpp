#include "monitor/Exchanges.h"

#include "monitor/Decoder.h"
#include "monitor/MainComm.h"

namespace halvern {

PollReply PollStatus(Link& link, Par& into, std::uint8_t address, const StopCheck& stop,
                     Micros firstByteUs, Reception* reception, ReplyWait wait) {
    link.SendQuery(address, kCodeStatus);
    Reception reply = wait == ReplyWait::WholeReply ? link.ReceiveWholeReply(stop, firstByteUs)
                                                    : link.ReceiveReply(stop, firstByteUs);
    const auto done = [&](PollReply r) {
        if (reception)
            *reception = std::move(reply);
        return r;
    };
    if (!reply.Taken())
        return done(reply.HadBytes() ? PollReply::Broken : PollReply::None);
    if (&into.Link != &link.Buffers())
        into.Link = link.Buffers();
    if (!PassesAcceptanceTest(reply.bytes))
        return done(PollReply::NotStatus);
    into.ModelCode = reply.At(StatusReply::Family);
    DecodeStatusReply(into);
    return done(PollReply::Status);
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
