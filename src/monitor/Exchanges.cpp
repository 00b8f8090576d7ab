#include "monitor/Exchanges.h"

#include "monitor/Decoder.h"
#include "monitor/MainComm.h"

namespace halvern {

PollReply PollStatus(Link& link, Par& into, std::uint8_t address, const StopCheck& stop,
                     Micros firstByteUs, ReceptionEnd end) {
    link.SendQuery(address, kCodeStatus);
    const bool taken = end == ReceptionEnd::WholeReply ? link.ReceiveWholeReply(stop, firstByteUs)
                                                       : link.ReceiveReply(stop, firstByteUs);
    if (!taken)
        return link.LastReceptionHadBytes() ? PollReply::Broken : PollReply::None;
    if (&into.Link != &link.Buffers())
        into.Link = link.Buffers();
    // Judged on this reply's own bytes: what stands beyond them is an older reply's.
    if (!PassesAcceptanceTest(OwnBytes(into.Link)))
        return PollReply::NotStatus;
    into.ModelCode = into.Link.RxBuffer[6];
    DecodeStatusReply(into);
    return PollReply::Status;
}

std::optional<std::string> ReadVersion(Link& link, std::uint8_t address, bool primary,
                                       const StopCheck& stop) {
    link.SendQuery(address, primary ? kCodePrimaryVersion : kCodeSecondaryVersion);
    if (!link.ReceiveReply(stop))
        return std::nullopt;
    return VersionText(link.Buffers(), primary);
}

bool ReadSetupReply(Link& link, std::uint8_t address, const StopCheck& stop) {
    link.SendReadSetup(address);
    link.WaitMs(500, stop);
    return link.ReceiveReply(stop) && IsSetupReply(link.Buffers()) &&
           link.Buffers().RxBuffer[0] == address;
}

bool IsSetupReply(const LinkBuffers& b) {
    return b.RxCount == 13 && b.RxBuffer[1] == kFunctionRead && b.RxBuffer[2] == 8;
}

}  // namespace halvern
