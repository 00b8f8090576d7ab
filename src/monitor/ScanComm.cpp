#include "monitor/ScanComm.h"

#include <algorithm>
#include <cctype>

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
      scan_(std::make_shared<BusScan>(link)) {}

void ScanComm::Start() {
    scan_ = std::make_shared<BusScan>(link_, 1, 247, timeoutMs_);
    running_ = true;
    fresh_ = true;
    cancel_ = false;
    cancelled_ = false;
    loop_.SetIteration([this](const StopCheck& stop) { Iteration(stop); });
    loop_.Restart();
    Changed();
}

void ScanComm::SetTimeoutMs(int ms) {
    timeoutMs_ = std::clamp(ms, 1, kMaxScanTimeoutMs);
    scan_->SetTimeoutMs(timeoutMs_);
    Changed();
}

void ScanComm::Cancel() {
    if (!running_ || cancel_)
        return;
    cancel_ = true;
    Changed();
}

void ScanComm::Iteration(const StopCheck& stop) {
    if (fresh_) {
        // The main cycle's last query may still be answered: take that reply in first, so that
        // it is neither on the line when address 1 is asked nor taken for address 1's answer.
        link_.ReceiveReply(stop);
        if (stop())
            return;
        fresh_ = false;
    }
    if (!cancel_) {
        const std::shared_ptr<BusScan> scan = scan_;
        scan->Step(stop);
        if (stop())
            return;  // the same address again next time, or a new scan
        if (!scan->Done() && !cancel_) {
            Changed();
            return;
        }
    }
    Finish();
}

void ScanComm::Finish() {
    running_ = false;
    cancelled_ = cancel_;
    cancel_ = false;
    Changed();
    // The main window's activation: its query, then its cycle in place of this one.
    main_.Activate();
}

bool ScanComm::Choose(std::size_t index) {
    const auto& hits = scan_->Hits();
    if (index >= hits.size() || !hits[index].valid)
        return false;
    main_.Serve(hits[index].address);
    if (running_)
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
    if (!running_)
        return {};
    const Micros left = scan_->TimeLeftUs();
    return "Time left: " + std::to_string((left + 999'999) / 1'000'000) + " s";
}

std::string ScanComm::StateText() const {
    const auto& hits = scan_->Hits();
    const auto valid = static_cast<std::size_t>(
        std::count_if(hits.begin(), hits.end(), [](const ScanHit& h) { return h.valid; }));
    if (running_)
        return cancel_ ? "Stopping after address " + std::to_string(scan_->NextAddress()) + "..."
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
