#include "site/OverviewComm.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>

#include "link/LinkFiles.h"
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
    const Par& par = main_.State();
    const bool serving = main_.Connected();
    if (addresses.empty()) {
        addresses = ReadAddressFile(KnownFile());
        // The detector served is known from now on, whether or not a scan ever found it.
        if (serving &&
            std::find(addresses.begin(), addresses.end(), par.CurrentAddress) == addresses.end()) {
            addresses.push_back(par.CurrentAddress);
            std::sort(addresses.begin(), addresses.end());
            WriteAddressFile(KnownFile(), addresses);
        }
    }
    std::sort(addresses.begin(), addresses.end());
    addresses.erase(std::unique(addresses.begin(), addresses.end()), addresses.end());
    poller_ = std::make_shared<BusPoller>(link_, addresses, now_);
    if (serving)
        poller_->StartAt(par.CurrentAddress);
    // What the search finds is known from now on, here and the next time.
    poller_->Search(BusSearch{}, [this, poller = poller_.get()](const PolledDetector&) {
        std::vector<std::uint8_t> known;
        for (const auto& d : poller->Detectors())
            known.push_back(d.address);
        WriteAddressFile(KnownFile(), known);
    });
    // The reply the interrupted poll (the main cycle's, or this one's) may still get is taken
    // in first, so that no one else takes it for its answer; so too when the overview closes.
    takeover_.Start();
    Changed();
}

std::string OverviewComm::KnownFile() const {
    return JoinPath(main_.State().ProgramFolder, kKnownDetectorsFile);
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
    const auto& d = Detectors();
    std::size_t lost = 0, waiting = 0;  // waiting: known, not heard yet
    for (const auto& x : d) {
        lost += x.lost ? 1 : 0;
        waiting += !x.lost && !x.answered ? 1 : 0;
    }
    std::string text =
        d.empty() ? std::string("No detector known yet")
                  : std::to_string(d.size()) + (d.size() == 1 ? " detector" : " detectors");
    if (lost > 0)
        text += ", " + std::to_string(lost) + " lost";
    if (waiting > 0)
        text += ", " + std::to_string(waiting) + " not answered yet";
    if (poller_ && poller_->Bus().rounds > 0) {
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%.1f",
                      static_cast<double>(poller_->Bus().lastRoundUs) / 1e6);
        text += "; a round takes " + std::string(seconds) + " s";
    }
    text += ".";
    if (const BusSearch* search = poller_ ? poller_->Searching() : nullptr) {
        std::string where = search->Text();
        where[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(where[0])));
        text += "\n" + where + ".";
    }
    return text;
}

bool OverviewComm::Step(const StopCheck& stop) {
    const auto poller = poller_;
    if (poller->Step(stop))
        Changed();
    return false;  // polled until the window closes
}

}  // namespace halvern
