#include "site/OverviewComm.h"

#include <cmath>
#include <cstdio>

#include "monitor/Decoder.h"

namespace halvern {

std::array<std::string, 7> OverviewRow(const PolledDetector& d) {
    const StatusReading* last = d.reading ? &*d.reading : nullptr;
    const StatusReading* now = d.Current();
    std::string status;
    if (d.lost)
        status = std::string("DDD ") + StatusDescription("DDD");
    else if (now)
        status = now->StatusCode + (now->Description ? " " + *now->Description : "");
    const float gas = now ? now->ChannelValues[kSlotGas] : kNotGiven;
    const std::string link = d.lost ? "Lost" : d.answered ? "Good" : "";
    return {std::to_string(d.address),
            last ? last->ModelName : std::string(),
            last ? std::to_string(static_cast<long>(last->SerialNumber)) : std::string(),
            status,
            std::isnan(gas) ? std::string() : std::to_string(std::lround(gas)),
            link,
            d.lastSeenUs < 0 ? std::string() : LongTimeText(d.lastSeen)};
}

StatusColours OverviewStatusColours(const PolledDetector& d) {
    // A lost detector on the lamp's red: it stands out as a fault.
    return d.lost ? StatusColours{kRed, kWhite} : d.colours;
}

OverviewComm::OverviewComm(Link& link, PollLoop& loop, MainComm& main,
                           std::function<LocalDateTime()> now, std::function<void()> changed)
    : link_(link),
      main_(main),
      now_(std::move(now)),
      changed_(std::move(changed)),
      takeover_(link, loop,
                {.step = [this](const StopCheck& stop) { return Step(stop); },
                 .ended = [this] { Changed(); },
                 .giveBack = [this] { main_.Activate(); }}) {}

void OverviewComm::Start(std::vector<std::uint8_t> addresses) {
    poller_.reset();
    scan_.reset();
    if (addresses.empty())
        scan_ = std::make_shared<BusScan>(link_);
    else
        poller_ = std::make_shared<BusPoller>(link_, addresses, now_);
    // The reply the interrupted poll (the main cycle's, or this one's) may still get is taken
    // in first, so that no one else takes it for its answer; so too when the overview closes.
    takeover_.Start();
    Changed();
}

void OverviewComm::Close() {
    takeover_.Close();  // the poll under way is abandoned at its wait
}

bool OverviewComm::Choose(std::size_t row) {
    const auto& d = Detectors();
    if (row >= d.size())
        return false;
    main_.Serve(d[row].address);
    Close();
    return true;
}

const std::vector<PolledDetector>& OverviewComm::Detectors() const {
    static const std::vector<PolledDetector> kNone;
    return poller_ ? poller_->Detectors() : kNone;
}

std::string OverviewComm::StateText() const {
    if (scan_ && !poller_)
        return "Scanning the bus: address " + std::to_string(scan_->Reached()) + " of " +
               std::to_string(scan_->Total());
    const auto& d = Detectors();
    std::size_t lost = 0;
    for (const auto& x : d)
        lost += x.lost ? 1 : 0;
    std::string text = std::to_string(d.size()) + (d.size() == 1 ? " detector" : " detectors");
    if (lost > 0)
        text += ", " + std::to_string(lost) + " lost";
    if (d.empty())
        return "No detector answered the scan.";
    if (poller_ && poller_->Bus().rounds > 0) {
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%.1f",
                      static_cast<double>(poller_->Bus().lastRoundUs) / 1e6);
        text += "; a round takes " + std::string(seconds) + " s";
    }
    return text + ".";
}

bool OverviewComm::Step(const StopCheck& stop) {
    if (const auto scan = scan_; scan && !poller_) {
        scan->Step(stop);
        if (stop())
            return false;
        if (scan->Done()) {
            std::vector<std::uint8_t> found;
            for (const auto& hit : scan->Hits())
                if (hit.valid)
                    found.push_back(hit.address);
            poller_ = std::make_shared<BusPoller>(link_, found, now_);
        }
        Changed();
        return false;
    }
    const auto poller = poller_;
    if (poller->Detectors().empty()) {
        link_.WaitMs(100, stop);  // nothing to poll: the loop idles until the window closes
        return false;
    }
    if (poller->Step(stop))
        Changed();
    return false;  // polled until the window closes
}

}  // namespace halvern
