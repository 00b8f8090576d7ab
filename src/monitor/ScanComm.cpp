#include "monitor/ScanComm.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "link/LinkFiles.h"

namespace halvern {

namespace {
std::string Detectors(std::size_t n) {
    if (n == 0)
        return "no detector";
    return std::to_string(n) + (n == 1 ? " detector" : " detectors");
}
}  // namespace

ScanComm::ScanComm(Link& link, PollLoop& loop, MainComm& main, std::function<void()> changed)
    : link_(link),
      loop_(loop),
      main_(main),
      changed_(std::move(changed)),
      scan_(std::make_shared<BusScan>(link)),
      takeover_(link, loop,
                {.step = [this](const StopCheck& stop) { return Step(stop); },
                 .ended = [this] { Changed(); },
                 // The main window's activation: its query, then its cycle in place of this one.
                 .giveBack = [this] { main_.Activate(); }}) {}

void ScanComm::Start() {
    scan_ = std::make_shared<BusScan>(link_, 1, 247, timeoutMs_);
    cancelled_ = false;
    // The main cycle's last query may still be answered: the takeover takes that reply in
    // first, so that it is neither on the line when address 1 is asked nor taken for address
    // 1's answer.
    takeover_.Start();
    Changed();
}

void ScanComm::SetTimeoutMs(int ms) {
    timeoutMs_ = std::clamp(ms, 1, kMaxScanTimeoutMs);
    scan_->SetTimeoutMs(timeoutMs_);
    Changed();
}

void ScanComm::Cancel() {
    if (!takeover_.Finish())
        return;
    cancelled_ = true;
    Changed();
}

bool ScanComm::Step(const StopCheck& stop) {
    const std::shared_ptr<BusScan> scan = scan_;
    scan->Step(stop);
    if (stop())
        return false;  // the same address again next time, or a new scan
    if (scan->Done()) {
        KeepFound(*scan);
        return true;
    }
    if (!takeover_.Ending())
        Changed();
    return false;
}

void ScanComm::KeepFound(const BusScan& scan) const {
    // What a whole scan found is the bus as it is: the overview polls these at once next time.
    std::vector<std::uint8_t> found;
    for (const auto& hit : scan.Hits())
        if (hit.valid)
            found.push_back(hit.address);
    std::sort(found.begin(), found.end());
    if (!found.empty() && !scan.Noisy())
        WriteAddressFile(JoinPath(main_.State().ProgramFolder, kKnownDetectorsFile), found);
}

bool ScanComm::Choose(std::size_t index) {
    const auto& hits = scan_->Hits();
    if (index >= hits.size() || !hits[index].valid)
        return false;
    main_.Serve(hits[index].address);
    if (Running())
        return true;  // the main cycle begins with it once the scan has ended
    // The main cycle is waiting for the answer of the detector it served until now, which
    // would make that one the served detector again: take the answer in unread first.
    loop_.SetIteration([this](const StopCheck& stop) {
        link_.ReceiveReply(stop);
        if (!stop())
            main_.Resume();
    });
    loop_.Restart();
    return true;
}

std::string ScanComm::AddressText() const {
    // The scan starts at address 1, so the count asked is the last address asked.
    return "Address " + std::to_string(scan_->Reached()) + " of " + std::to_string(scan_->Total());
}

std::string ScanComm::TimeLeftText() const {
    if (!Running())
        return {};
    const Micros left = scan_->TimeLeftUs();
    return "Time left: " + std::to_string((left + 999'999) / 1'000'000) + " s";
}

std::string ScanComm::StateText() const {
    const auto& hits = scan_->Hits();
    const auto valid = static_cast<std::size_t>(
        std::count_if(hits.begin(), hits.end(), [](const ScanHit& h) { return h.valid; }));
    if (Running())
        return Cancelling()
                   ? "Stopping after address " + std::to_string(scan_->NextAddress()) + "..."
                   : "Scanning addresses 1 to 247...";
    if (scan_->Noisy()) {
        std::string text = scan_->NoiseText() + ".";
        text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
        return text;
    }
    std::string text =
        (cancelled_ ? "Scan cancelled: " : "Scan complete: ") + Detectors(valid) + " found";
    if (hits.size() > valid)
        text += ", " + std::to_string(hits.size() - valid) + " invalid " +
                (hits.size() - valid == 1 ? "reply" : "replies");
    return text + ".";
}

}  // namespace halvern
