#include "site/BusPoller.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "logging/LoggingControl.h"
#include "monitor/BusScan.h"
#include "monitor/Decoder.h"
#include "monitor/Exchanges.h"
#include "monitor/MainComm.h"

namespace halvern {

namespace {

// A search query's wait for its answer: its bytes on the wire and the scan's short wait.
constexpr Micros kSearchWaitUs = WireTimeUs(9) + MsToUs(kDefaultScanTimeoutMs);

}  // namespace

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
    if (search_ && (searchesDue_ > 0 || detectors_.empty()))
        return SearchStep(stop);
    if (detectors_.empty())
        return true;
    const Micros startUs = link_.Plat().NowUs();
    if (roundStartUs_ < 0) {
        roundStartUs_ = startUs;
        if (searchStartUs_ >= 0)
            bus_.lastSearchUs = startUs - searchStartUs_;
        searchStartUs_ = -1;
    }
    PolledDetector& d = detectors_[next_];
    const StatusPoll poll = PollStatus(link_, d.address, stop, firstByteUs_, ReplyWait::WholeReply);
    // The answer of the address the search asked last, come after its short wait: that
    // detector answers, only slowly.
    std::optional<StatusReading> late;
    if (poll.reading && poll.reading->Address == d.address) {
        Took(d, *poll.reading);
    } else if (stop && stop()) {
        return false;  // abandoned: polled again by the next call
    } else {
        Failed(d);
        if (poll.reading && poll.reading->Address == lastSearched_ && !Polled(lastSearched_))
            late = poll.reading;
    }
    const PollReply reply = poll.reply;
    const bool settled = reply != PollReply::Broken || SettleLine(stop);

    next_ = (next_ + 1) % detectors_.size();
    if (next_ == first_)
        RoundDone();
    if (late)
        Join(*late);
    return settled;
}

void BusPoller::RoundDone() {
    const Micros now = link_.Plat().NowUs();
    ++bus_.rounds;
    bus_.lastRoundUs = now - roundStartUs_;
    roundStartUs_ = -1;  // the next round begins with its first poll, after the searches
    if (!search_)
        return;
    const int unpolled = std::max(0, search_->Total() - static_cast<int>(detectors_.size()));
    searchesDue_ = BusSearch::PerRound(bus_.lastRoundUs, unpolled);
    searchStartUs_ = now;
}

void BusPoller::StartAt(std::uint8_t address) {
    for (std::size_t i = 0; i < detectors_.size(); ++i)
        if (detectors_[i].address == address)
            first_ = next_ = i;
    roundStartUs_ = -1;
}

void BusPoller::Search(BusSearch search, std::function<void(const PolledDetector&)> found) {
    search_ = search;
    found_ = std::move(found);
    SearchFigures();
}

bool BusPoller::Polled(std::uint8_t address) const {
    return std::any_of(detectors_.begin(), detectors_.end(),
                       [address](const PolledDetector& d) { return d.address == address; });
}

namespace {

bool AnsweredBy(const StatusPoll& poll, std::uint8_t address) {
    return poll.reading && poll.reading->Address == address;
}

}  // namespace

bool BusPoller::SearchStep(const StopCheck& stop) {
    const auto address = search_->Next([this](std::uint8_t a) { return Polled(a); });
    if (!address) {
        searchesDue_ = 0;  // every address is polled
        return true;
    }
    if (searchStartUs_ < 0)
        searchStartUs_ = link_.Plat().NowUs();
    // The scan's short wait: a silent address costs little more than its query.
    StatusPoll poll = PollStatus(link_, *address, stop, kSearchWaitUs, ReplyWait::WholeReply);
    if (!AnsweredBy(poll, *address) && stop && stop())
        return false;  // asked again by the next call
    search_->Asked(*address);
    lastSearched_ = *address;
    searchesDue_ = std::max(0, searchesDue_ - 1);
    if (poll.reply != PollReply::None && !AnsweredBy(poll, *address)) {
        // Bytes that are no answer of its own: a slow detector, or one answering badly. Once
        // the line is quiet it gets the main cycle's whole window, once.
        if (!SettleLine(stop))
            return false;
        poll = PollStatus(link_, *address, stop, firstByteUs_, ReplyWait::WholeReply);
        if (!AnsweredBy(poll, *address) &&
            ((stop && stop()) || (poll.reply == PollReply::Broken && !SettleLine(stop))))
            return false;
    }
    if (AnsweredBy(poll, *address))
        Join(*poll.reading);
    SearchFigures();
    return true;
}

void BusPoller::Join(const StatusReading& reading) {
    const auto at =
        std::lower_bound(detectors_.begin(), detectors_.end(), reading.Address,
                         [](const PolledDetector& d, std::uint8_t a) { return d.address < a; });
    const auto i = static_cast<std::size_t>(at - detectors_.begin());
    if (!detectors_.empty()) {
        // The places at and after it move on by one; the round in progress keeps its order.
        first_ += first_ >= i ? 1 : 0;
        next_ += next_ >= i ? 1 : 0;
    }
    PolledDetector d;
    d.address = reading.Address;
    detectors_.insert(at, std::move(d));
    Took(detectors_[i], reading);
    if (found_)
        found_(detectors_[i]);
}

void BusPoller::SearchFigures() {
    bus_.searching = true;
    bus_.searchNext = search_->NextAddress();
    bus_.searchTotal = search_->Total();
    bus_.searchPasses = search_->Passes();
    bus_.searchAsked = search_->AskedTotal();
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
