#include "monitor/BusPoller.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "logging/LoggingControl.h"
#include "monitor/Decoder.h"
#include "monitor/Exchanges.h"
#include "monitor/MainComm.h"

namespace halvern {

Panel PolledDetector::Shown() const {
    if (!lost)
        return panel;
    Panel m = panel;
    ShowLost(m);
    m.Flash = panel.Flash;
    m.SeNum = panel.SeNum;
    m.StatusBack = kRed;  // the lamp's red: lost stands out as a fault
    m.StatusFore = kWhite;
    return m;
}

BusPoller::BusPoller(Link& link, const std::vector<std::uint8_t>& addresses,
                     std::function<LocalDateTime()> now)
    : link_(link), now_(std::move(now)) {
    for (const std::uint8_t a : addresses) {
        PolledDetector d;
        d.address = a;
        d.panel.DetNum = std::to_string(a);
        d.values.fill(std::numeric_limits<float>::quiet_NaN());
        detectors_.push_back(std::move(d));
    }
}

bool BusPoller::Step(const StopCheck& stop) {
    if (detectors_.empty())
        return true;
    if (roundStartUs_ < 0)
        roundStartUs_ = link_.Plat().NowUs();
    PolledDetector& d = detectors_[next_];
    // The colours stay as they were for a code without a colour rule: this detector's own.
    scratch_.Main.StatusBack = d.panel.StatusBack;
    scratch_.Main.StatusFore = d.panel.StatusFore;
    const PollReply reply =
        PollStatus(link_, scratch_, d.address, stop, firstByteUs_, nullptr, ReplyWait::WholeReply);
    if (reply == PollReply::Status && scratch_.Link.ReplyAddress == d.address)
        Took(d);
    else if (reply == PollReply::NotStatus && scratch_.Link.ReplyAddress == d.address)
        Failed(d, false);  // it answers, with no status: as on the main window, not lost
    else if (stop && stop())
        return false;
    else
        Failed(d, true);  // silence, broken bytes, or another address's reply
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

void BusPoller::Took(PolledDetector& d) {
    ++d.polls;
    d.answered = true;
    d.lost = false;
    d.failedInRow = 0;
    d.panel = scratch_.Main;
    d.panel.DetNum = std::to_string(d.address);
    d.panel.Com = "Good";
    d.panel.Shape1 = Lamp::Green;
    d.values = scratch_.ChannelValues;
    d.serial = scratch_.SerialNumber;
    d.lastSeenUs = link_.Plat().NowUs();
    d.lastSeen = Now();
    scratch_.CurrentAddress = d.address;
    if (!scratch_.LoggingOn)
        return;
    AfterValidReply(scratch_, d.lastSeen);
    // The period's record, with this reply's values, as the tick writes the served one's.
    if (periodDue_[d.address]) {
        periodDue_[d.address] = false;
        scratch_.RecordDue[d.address] = true;
        WriteCycleRecord(scratch_, d.lastSeen);
    }
}

void BusPoller::Failed(PolledDetector& d, bool counts) {
    ++d.polls;
    ++d.failures;
    if (!counts)
        return;
    ++d.failedInRow;
    if (d.failedInRow < kLostAfterFailedPolls)
        return;
    d.lost = true;
    if (!scratch_.LoggingOn)
        return;
    // The record is this detector's: its last values decide, as they do on the main window.
    scratch_.CurrentAddress = d.address;
    scratch_.ChannelValues = d.values;
    scratch_.DisconnectMark[d.address] = "DDD";
    WriteDisconnectionRecord(scratch_, Now());
}

void BusPoller::StartLogging(const std::string& folder, int periodS) {
    scratch_.ProgramFolder = folder;
    LogMenuCommand(scratch_, [periodS] { return std::to_string(periodS); });
}

void BusPoller::LogTick() {
    if (!scratch_.LoggingOn)
        return;
    // The main window's tick writes the record of the detector it serves; here every detector
    // of the list has one due, written with its next status reply.
    if (++scratch_.LogTickCount < scratch_.LogPeriod)
        return;
    scratch_.LogTickCount = 0;
    for (const auto& d : detectors_)
        periodDue_[d.address] = true;
}

}  // namespace halvern
