#include "monitor/BusScan.h"

#include <algorithm>

#include "monitor/Decoder.h"
#include "monitor/Exchanges.h"

namespace halvern {

namespace {
constexpr int kMaxDrains = 20;
constexpr std::size_t kQueryBytes = 9;
}  // namespace

BusScan::BusScan(Link& link, int from, int to, int timeoutMs)
    : link_(link),
      from_(std::max(from, 0)),
      to_(std::min(to, 255)),
      next_(from_),
      timeoutUs_(MsToUs(std::max(timeoutMs, 1))) {}

bool BusScan::Step(const StopCheck& stop) {
    if (Done())
        return false;
    const Micros start = link_.Plat().NowUs();
    const auto address = static_cast<std::uint8_t>(next_);
    link_.DiscardInput();  // a reply that came too late for the address before is not this one's
    // The time-out runs from the moment the query has left: a detector gets all of it to answer.
    const PollReply reply =
        PollStatus(link_, scratch_, address, stop, WireTimeUs(kQueryBytes) + timeoutUs_);
    if (stop && stop())
        return false;  // this address again next time
    // The rest of a broken reply may still be on its way; it is not the next address's answer.
    // Take in what comes until the line is quiet (a few seconds at most, should it never be).
    if (reply == PollReply::Broken)
        for (int i = 0; i < kMaxDrains && !(stop && stop()); ++i)
            if (!link_.ReceiveReply(stop, timeoutUs_) && !link_.LastReceptionHadBytes())
                break;
    spentUs_ += link_.Plat().NowUs() - start;
    ++next_;
    if (reply != PollReply::None) {
        ScanHit hit;
        hit.address = address;
        // A status reply from another address (a late one, or a detector that names itself
        // wrongly) says nothing about the detector at this one.
        hit.valid = reply == PollReply::Status && scratch_.Link.ReplyAddress == address;
        if (hit.valid) {
            hit.model = scratch_.Main.Flash;
            hit.serial = static_cast<long>(scratch_.SerialNumber);
            hit.status = scratch_.StatusCode;
            // The code's own description: the panel keeps an older one for a code without any.
            const char* description = StatusDescription(hit.status);
            hit.description = description ? description : "";
        }
        hits_.push_back(hit);
    }
    return !Done();
}

Micros BusScan::TimeLeftUs() const {
    const int left = Total() - Reached();
    if (left <= 0)
        return 0;
    const Micros perAddress =
        Reached() > 0 ? spentUs_ / Reached() : WireTimeUs(kQueryBytes) + timeoutUs_;
    return perAddress * left;
}

std::string BusScan::Describe(const ScanHit& hit) {
    std::string line = std::to_string(hit.address) + "  ";
    if (!hit.valid)
        return line + "answered, reply not valid";
    line += hit.model + "  " + std::to_string(hit.serial) + "  " + hit.status;
    if (!hit.description.empty())
        line += " " + hit.description;
    return line;
}

}  // namespace halvern
