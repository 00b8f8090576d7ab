#include "monitor/Exchanges.h"

#include <algorithm>

#include "history/ServiceEvent.h"
#include "link/Layouts.h"
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

namespace {
constexpr std::size_t kExceptionBytes = 5;  // address, 200, code, CRC: function 200 keeps its byte
}  // namespace

std::string VersionTextOf(std::span<const std::uint8_t> reply, bool primary) {
    std::string text;
    constexpr int kFirst = static_cast<int>(VersionReply::TextStart);
    const int count = static_cast<int>(reply.size());
    const int last =
        primary ? count - 3 : kFirst + static_cast<int>(VersionReply::SecondaryTextBytes) - 1;
    if (primary && count < 12)
        return text;
    for (int i = kFirst; i <= last && i < kRxBufferSize; ++i) {
        const auto at = static_cast<std::size_t>(i);
        text.push_back(static_cast<char>(at < reply.size() ? reply[at] : 0));
    }
    return text;
}

bool IsVersionReply(std::span<const std::uint8_t> reply) {
    return reply.size() >= VersionReply::TextStart + kReplyCrcBytes &&
           reply[StatusReply::Function] == FunctionCommand && !IsCompleteStatusReply(reply);
}

std::string VersionOf(std::span<const std::uint8_t> reply, bool primary) {
    const std::size_t own = reply.size() >= VersionReply::TextStart + kReplyCrcBytes
                                ? reply.size() - VersionReply::TextStart - kReplyCrcBytes
                                : 0;
    std::string v = VersionTextOf(reply, primary);
    v.resize(std::min(v.size(), own));
    while (!v.empty() && (v.back() == ' ' || v.back() == '\0'))
        v.pop_back();
    return v;
}

std::string WhatCame(std::span<const std::uint8_t> reply) {
    const int function = reply.size() > StatusReply::Function ? reply[StatusReply::Function] : -1;
    if (function == FunctionCommand) {
        if (reply.size() == kExceptionBytes)
            return "an exception (code " + std::to_string(reply[2]) + ")";
        if (PassesAcceptanceTest(reply))
            return "a status reply";
        if (IsVersionReply(reply))
            return "a version reply";
    }
    return "a reply of function " + std::to_string(std::max(function, 0)) + ", " +
           std::to_string(reply.size()) + " bytes";
}

std::string NotTheAnswer(const Reception& rx, std::uint8_t address, bool kindAsked,
                         const std::string& asked) {
    const std::string a = std::to_string(address);
    if (!rx.Taken()) {
        const std::size_t n = rx.bytes.size();
        if (!rx.HadBytes())
            return "no answer from address " + a;
        return "no valid answer from address " + a + ": " + std::to_string(n) +
               (n == 1 ? " byte" : " bytes") + " came that are not a whole reply";
    }
    const int from = rx.bytes.empty() ? 0 : rx.bytes[StatusReply::Address];
    if (address != 0 && from != address)
        return "address " + a + " was asked, but address " + std::to_string(from) +
               " answered, with " + WhatCame(rx.bytes);
    if (!kindAsked)
        return "address " + a + " answered with " + WhatCame(rx.bytes) + ", not " + asked;
    return {};
}

VersionRead VersionAnswer(Reception rx, std::uint8_t address, bool primary) {
    VersionRead read;
    read.refusal =
        NotTheAnswer(rx, address, rx.Taken() && IsVersionReply(rx.bytes), "a version reply");
    if (read.refusal.empty())
        read.version = VersionOf(rx.bytes, primary);
    read.reception = std::move(rx);
    return read;
}

void RecordVersion(Par& par, std::uint8_t address, bool primary, const VersionRead& read) {
    const std::string which = primary ? "primary: " : "secondary: ";
    // The broadcast's answer is the detector's that answered.
    const std::uint8_t to = address == 0 && read.version ? read.reception.At(0) : address;
    RecordAction(par, to, kActionVersion, "",
                 read.version ? which + *read.version : which + "none (" + read.refusal + ")",
                 read.version.has_value());
}

VersionRead ReadVersion(Link& link, std::uint8_t address, bool primary, const StopCheck& stop) {
    link.SendQuery(address, primary ? kCodePrimaryVersion : kCodeSecondaryVersion);
    return VersionAnswer(link.ReceiveReply(stop), address, primary);
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
