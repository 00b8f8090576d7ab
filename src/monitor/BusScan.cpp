#include "monitor/BusScan.h"

#include <algorithm>
#include <cstdio>

#include "monitor/Decoder.h"
#include "monitor/Exchanges.h"

namespace halvern {

namespace {

constexpr std::size_t kQueryBytes = 9;
// The shortest frame a detector sends: an exception answer.
constexpr int kShortestFrame = 5;
// The longest a reply can keep the line busy once it has begun: a full buffer's worth of
// bytes and a pause inside it.
constexpr Micros kLongestReplyUs = WireTimeUs(kRxBufferSize) + 250'000;
// Bytes that go on this long after every query has had its time are nobody's answer.
constexpr Micros kBabbleUs = 500'000;
// Sightings of bytes that no detector turns out to have sent, before the scan calls it noise.
constexpr int kUnexplainedLimit = 3;
// Asks with the full window before an address is given up on or listed as not valid.
constexpr int kConfirmAsks = 3;

bool Stopped(const StopCheck& stop) {
    return stop && stop();
}

std::string Seconds(Micros us) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f s", static_cast<double>(us) / 1e6);
    return buf;
}

}  // namespace

BusScan::BusScan(Link& link, int from, int to, int timeoutMs)
    : link_(link),
      from_(std::max(from, 0)),
      to_(std::min(to, 255)),
      next_(from_),
      finished_(from_ > to_) {
    SetTimeoutMs(timeoutMs);
    askedAt_.fill(-1);
}

void BusScan::SetTimeoutMs(int ms) {
    timeoutUs_ = MsToUs(std::clamp(ms, 1, kMaxScanTimeoutMs));
}

BusScan::Heard BusScan::Took(const Reception& rx, bool status) {
    Heard h;
    h.bytes = lastBytes_ = rx.HadBytes() ? rx.arrived : 0;
    if (h.bytes == 0)
        return h;
    // The reception ends a collection window after its first byte.
    h.firstByteUs = link_.Plat().NowUs() - MsToUs(kCollectionWindowMs);
    // Every byte that came is one frame: not cut by the port, not too long.
    const bool alone = rx.end != ReceptionEnd::TooLong && rx.bytes.size() == h.bytes;
    const bool whole = alone && rx.bytes.size() >= static_cast<std::size_t>(kShortestFrame) &&
                       (rx.end == ReceptionEnd::Taken || rx.end == ReceptionEnd::WrongFunction);
    h.kind = whole ? Heard::Kind::Frame : Heard::Kind::Garbage;
    h.address = alone ? rx.At(StatusReply::Address) : 0;
    h.status = whole && status;
    return h;
}

BusScan::Heard BusScan::Ask(int address, Micros windowUs, const StopCheck& stop) {
    lastQueryUs_ = link_.Plat().NowUs();
    askedAt_[static_cast<std::size_t>(address)] = lastQueryUs_;
    const StatusPoll poll = PollStatus(link_, static_cast<std::uint8_t>(address), stop, windowUs);
    // Each address keeps the reading of its own last status reply, for its hit.
    if (poll.reading)
        readings_[poll.reading->Address] = poll.reading;
    return Took(poll.reception, poll.reply == PollReply::Status);
}

BusScan::Heard BusScan::Listen(Micros windowUs, const StopCheck& stop) {
    return Took(link_.ReceiveReply(stop, windowUs), false);
}

bool BusScan::Step(const StopCheck& stop) {
    if (Done())
        return false;
    if (next_ <= to_ && !StepAddress(stop))
        return false;  // this address again next time
    if (next_ > to_) {
        // The last addresses asked may still answer.
        if (lastQueryUs_ >= 0) {
            Addresses again;
            if (!WaitQuiet(again, stop) || (!again.empty() && !Settle(again, false, stop)))
                return false;
        }
        finished_ = true;
    }
    return !Done();
}

bool BusScan::StepAddress(const StopCheck& stop) {
    const Micros start = link_.Plat().NowUs();
    const int address = next_;
    if (settled_[static_cast<std::size_t>(address)]) {
        ++next_;  // asked with the full window by a step that a stop interrupted
        return true;
    }
    // The wait runs from the moment the query has left: a detector gets all of it to answer.
    const Heard h = Ask(address, WireTimeUs(kQueryBytes) + timeoutUs_, stop);
    if (Stopped(stop))
        return false;
    if (h.kind == Heard::Kind::Frame && h.address == address && h.status) {
        // Its own answer: only the address asked answers with its own address byte.
        settled_[static_cast<std::size_t>(address)] = true;
        List(address, true);
    } else if (h.kind != Heard::Kind::Nothing) {
        Addresses again;
        File(h, address, again);
        if (!Settle(std::move(again), h.kind == Heard::Kind::Garbage, stop))
            return false;
    }
    spentUs_ += link_.Plat().NowUs() - start;
    ++next_;
    return true;
}

void BusScan::File(const Heard& h, int window, Addresses& again) {
    const auto add = [&](int a) {
        if (Asked(a) && !settled_[static_cast<std::size_t>(a)])
            again.insert(a);
    };
    if (window >= 0) {
        // The wait that saw bytes, and the address asked before it, whose late answer they
        // may be or may have spoilt.
        add(window);
        add(window - 1);
    }
    if (h.kind == Heard::Kind::Frame && Asked(h.address)) {
        add(h.address);  // a reply belongs to the address it names
        return;
    }
    // Bytes that name no address asked: the answer of any address asked within the reply
    // window before them.
    for (int a = from_; a <= std::min(to_, next_); ++a) {
        const Micros at = askedAt_[static_cast<std::size_t>(a)];
        if (at >= 0 && at < h.firstByteUs &&
            h.firstByteUs - at <= WireTimeUs(kQueryBytes) + ReplyWindowUs() + ByteTimeUs())
            add(a);
    }
}

bool BusScan::Settle(Addresses again, bool strayBytes, const StopCheck& stop) {
    const std::size_t bytes = lastBytes_;
    const Micros sawUs = link_.Plat().NowUs();
    if (!WaitQuiet(again, stop))
        return false;
    bool found = false;
    while (!again.empty()) {
        const int address = *again.begin();
        again.erase(again.begin());
        if (settled_[static_cast<std::size_t>(address)])
            continue;
        found = Confirm(address, again, stop) || found;
        if (Stopped(stop) || Noisy())
            return false;
    }
    if (strayBytes && !found) {
        // Bytes that no address asked again has sent: a few such sightings are noise.
        if (unexplained_++ == 0)
            firstUnexplainedUs_ = sawUs;
        unexplainedBytes_ += bytes;
        if (unexplained_ >= kUnexplainedLimit) {
            Noise(unexplainedBytes_, firstUnexplainedUs_);
            return false;
        }
    }
    return true;
}

bool BusScan::WaitQuiet(Addresses& again, const StopCheck& stop) {
    // No answer to any query begins after this.
    const Micros answersEnd = lastQueryUs_ + WireTimeUs(kQueryBytes) + ReplyWindowUs();
    Micros straySince = -1;
    std::size_t strayBytes = 0;
    for (;;) {
        // The link adds the network's allowance to the window it is given.
        const Micros left = answersEnd - link_.ReplyAllowanceUs() - link_.Plat().NowUs();
        const Heard h = Listen(std::max(left, timeoutUs_), stop);
        if (Stopped(stop))
            return false;
        if (h.kind == Heard::Kind::Nothing)
            return true;
        File(h, -1, again);
        if (h.kind != Heard::Kind::Garbage || h.firstByteUs <= answersEnd + kLongestReplyUs)
            continue;
        if (straySince < 0)
            straySince = h.firstByteUs;
        strayBytes += h.bytes;
        if (link_.Plat().NowUs() - straySince >= kBabbleUs) {
            Noise(strayBytes, straySince);
            return false;
        }
    }
}

bool BusScan::Confirm(int address, Addresses& again, const StopCheck& stop) {
    int own = 0;  // asks that took bytes of its own that are not a status reply
    for (int ask = 0; ask < kConfirmAsks; ++ask) {
        const Heard h = Ask(address, kFirstByteWindowUs, stop);
        if (Stopped(stop))
            return false;
        if (h.kind == Heard::Kind::Nothing)
            break;
        if (h.kind == Heard::Kind::Frame && h.address == address && h.status) {
            settled_[static_cast<std::size_t>(address)] = true;
            List(address, true);
            return true;
        }
        if (h.kind == Heard::Kind::Frame && h.address != address && Asked(h.address)) {
            // Another's late answer: it is asked again in its turn, this one once more.
            File(h, -1, again);
        } else if (h.address == address || h.kind == Heard::Kind::Frame) {
            // A broken answer begins with its address byte; a whole frame naming an address
            // never asked came in answer to this one.
            if (++own == 2)
                break;
        }
        if (!WaitQuiet(again, stop))
            return false;
    }
    settled_[static_cast<std::size_t>(address)] = true;
    // A single broken answer among silence may be a stray; twice is this address's own.
    if (own < 2)
        return false;
    List(address, false);
    return true;
}

void BusScan::List(int address, bool valid) {
    ScanHit hit;
    hit.address = static_cast<std::uint8_t>(address);
    const auto& reading = readings_[static_cast<std::size_t>(address)];
    hit.valid = valid && reading;
    if (hit.valid) {
        const StatusReading& r = *reading;
        hit.model = r.ModelName;
        hit.serial = static_cast<long>(r.SerialNumber);
        hit.status = r.StatusCode;
        hit.description = r.Description.value_or(std::string());
    }
    hits_.push_back(hit);
}

void BusScan::Noise(std::size_t bytes, Micros sinceUs) {
    noise_ = NoiseSeen{next_, bytes, link_.Plat().NowUs() - sinceUs};
}

std::string BusScan::NoiseText() const {
    if (!noise_)
        return {};
    return "scan stopped at address " + std::to_string(noise_->address) +
           ": the bus carries bytes nobody asked for (" + std::to_string(noise_->bytes) +
           " bytes in " + Seconds(noise_->spanUs) + "): noise, not detectors";
}

Micros BusScan::TimeLeftUs() const {
    const int left = Total() - Reached();
    if (left <= 0 || Noisy())
        return 0;
    const Micros perAddress = Reached() > 0
                                  ? spentUs_ / Reached()
                                  : WireTimeUs(kQueryBytes) + timeoutUs_ + link_.ReplyAllowanceUs();
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
