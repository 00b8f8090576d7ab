#include "site/BusPoller.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "logging/LoggingControl.h"
#include "monitor/Decoder.h"
#include "monitor/Exchanges.h"
#include "monitor/MainComm.h"

namespace halvern {

BusPoller::BusPoller(Link& link, const std::vector<std::uint8_t>& addresses,
                     std::function<LocalDateTime()> now)
    : link_(link), now_(std::move(now)) {
    for (const std::uint8_t a : addresses) {
        PolledDetector d;
        d.address = a;
        detectors_.push_back(std::move(d));
    }
}

bool BusPoller::Step(const StopCheck& stop) {
    if (detectors_.empty())
        return true;
    if (roundStartUs_ < 0)
        roundStartUs_ = link_.Plat().NowUs();
    PolledDetector& d = detectors_[next_];
    const StatusPoll poll = PollStatus(link_, d.address, stop, firstByteUs_, ReplyWait::WholeReply);
    if (poll.reading && poll.reading->Address == d.address)
        Took(d, *poll.reading);
    else if (stop && stop())
        return false;  // abandoned: polled again by the next call
    else
        Failed(d);
    const PollReply reply = poll.reply;
    const bool settled = reply != PollReply::Broken || SettleLine(stop);

    if (++next_ == detectors_.size()) {
        next_ = 0;
        const Micros now = link_.Plat().NowUs();
        ++bus_.rounds;
        bus_.lastRoundUs = now - roundStartUs_;
        roundStartUs_ = now;
    }
    return settled;
}

bool BusPoller::SettleLine(const StopCheck& stop) {
    // The rest of a broken reply (a detector that pauses inside its answer) would land in the
    // next detector's reception and spoil it: the next query waits for a quiet line. A line
    // that never goes quiet is left after the first-byte window, as noise.
    Platform& p = link_.Plat();
    const Micros limit = p.NowUs() + kFirstByteWindowUs;
    Micros quietSince = p.NowUs();
    while (p.NowUs() - quietSince < MsToUs(kCollectionWindowMs) && p.NowUs() < limit) {
        if (stop && stop())
            return false;
        if (link_.Port().BytesWaiting() > 0) {
            link_.DiscardInput();
            quietSince = p.NowUs();
        }
        p.ProcessEvents(std::min(quietSince + MsToUs(kCollectionWindowMs), limit));
    }
    return true;
}

void BusPoller::Round(const StopCheck& stop) {
    const auto rounds = bus_.rounds;
    while (bus_.rounds == rounds && !detectors_.empty() && !(stop && stop()))
        Step(stop);
}

void BusPoller::Took(PolledDetector& d, const StatusReading& reading) {
    ++d.polls;
    d.answered = true;
    d.lost = false;
    d.failedInRow = 0;
    d.reading = reading;
    if (const auto colours = ColoursOf(reading.StatusParts))
        d.colours = *colours;
    d.lastSeenUs = link_.Plat().NowUs();
    d.lastSeen = Now();
    logs_.CurrentAddress = logs_.Link.ReplyAddress = d.address;
    logs_.GivenUp[d.address] = false;
    logs_.Reading = reading;
    if (!logs_.LoggingOn)
        return;
    AfterValidReply(logs_, d.lastSeen);
    // The period's record, with this reply's values, as the tick writes the served one's.
    if (periodDue_[d.address]) {
        periodDue_[d.address] = false;
        logs_.RecordDue[d.address] = true;
        WriteCycleRecord(logs_, reading, d.lastSeen);
    }
}

void BusPoller::Failed(PolledDetector& d) {
    ++d.polls;
    ++d.failures;
    ++d.failedInRow;
    if (d.failedInRow < kLostAfterFailedPolls)
        return;
    const bool givenUpNow = !d.lost;
    d.lost = true;
    logs_.GivenUp[d.address] = true;
    if (!logs_.LoggingOn)
        return;
    // A record when the detector is given up, then one a logging period while it stays away:
    // one a round would fill the state folder by megabytes a day for each absent detector.
    if (!givenUpNow && !periodDue_[d.address])
        return;
    periodDue_[d.address] = false;
    // The record is this detector's: its own last values decide, as they do on the main
    // window; one never heard has none, and is marked.
    StatusReading last = d.reading.value_or(StatusReading{});
    if (!d.reading)
        last.ChannelValues.fill(kNotGiven);
    logs_.CurrentAddress = d.address;
    logs_.DisconnectMark[d.address] = "DDD";
    WriteDisconnectionRecord(logs_, last, Now());
}

void BusPoller::StartLogging(const std::string& folder, int periodS) {
    logs_.ProgramFolder = folder;
    LogMenuCommand(logs_, [periodS] { return std::to_string(periodS); });
}

void BusPoller::LogTick() {
    if (!logs_.LoggingOn)
        return;
    // The main window's tick writes the record of the detector it serves; here every detector
    // of the list has one due, written with its next status reply.
    if (++logs_.LogTickCount < logs_.LogPeriod)
        return;
    logs_.LogTickCount = 0;
    for (const auto& d : detectors_)
        periodDue_[d.address] = true;
}

}  // namespace halvern
