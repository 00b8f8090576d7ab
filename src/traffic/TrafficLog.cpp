#include "traffic/TrafficLog.h"

#include <QDateTime>
#include <algorithm>

#include "platform/WholeFile.h"

namespace halvern {

void TrafficRing::Push(TrafficEntry e) {
    if (capacity_ == 0) {
        ++dropped_;
        return;
    }
    if (entries_.size() >= capacity_)
        DropOldest(entries_.size() - capacity_ + 1);
    entries_.push_back(std::move(e));
}

void TrafficRing::DropOldest(std::size_t n) {
    n = std::min(n, entries_.size());
    entries_.erase(entries_.begin(), entries_.begin() + static_cast<std::ptrdiff_t>(n));
    dropped_ += n;
}

void TrafficRing::Clear() {
    entries_.clear();
    dropped_ = 0;
}

namespace {
QDateTime WallAt(const TrafficClock& c, Micros us) {
    // Floor division, so that entries before the anchor keep their order too.
    const Micros delta = us - c.usAtAnchor;
    const std::int64_t ms = delta >= 0 ? delta / 1000 : -((-delta + 999) / 1000);
    return QDateTime::fromMSecsSinceEpoch(c.wallMsAtAnchor + ms);
}
}  // namespace

QString TrafficClock::TimeText(Micros us) const {
    return WallAt(*this, us).toString("HH:mm:ss.zzz");
}

QString TrafficClock::DateTimeText(Micros us) const {
    return WallAt(*this, us).toString("yyyy-MM-dd HH:mm:ss.zzz");
}

std::int64_t TrafficClock::MsSinceStart(Micros us) const {
    return (us - startUs) / 1000;
}

const char* DirectionText(TrafficDirection d) {
    return d == TrafficDirection::Sent ? "TX" : "RX";
}

std::string TrafficLine(const TrafficEntry& e, const TrafficClock& clock) {
    std::string line = clock.DateTimeText(e.us).toStdString();
    line += '\t';
    line += std::to_string(clock.MsSinceStart(e.us));
    line += '\t';
    line += DirectionText(e.direction);
    line += '\t';
    line += HexText(e.bytes, e.count);
    line += '\t';
    line += CrcVerdictText(e.meaning.crc);
    line += '\t';
    line += e.meaning.text;
    return line;
}

void TrafficLog::Take(Micros us, TrafficDirection dir, std::span<const std::uint8_t> bytes) {
    TrafficEntry e;
    e.us = us;
    e.direction = dir;
    e.count = bytes.size();
    const auto kept = bytes.first(std::min(bytes.size(), kTrafficBytesKept));
    e.bytes.assign(kept.begin(), kept.end());
    waiting_.Push(std::move(e));
}

std::size_t TrafficLog::OverflowOnShow() const {
    const std::size_t total = shown_.Size() + waiting_.Size();
    return total > shown_.Capacity() ? std::min(total - shown_.Capacity(), shown_.Size()) : 0;
}

void TrafficLog::ShowWaiting() {
    for (TrafficEntry& e : waiting_.TakeAll()) {
        e.meaning = describer_.Describe(e.direction, e.bytes, e.count);
        shown_.Push(std::move(e));
    }
}

void TrafficLog::Clear() {
    shown_.Clear();
    waiting_.Clear();
}

bool TrafficLog::Save(const QString& path, const TrafficClock& clock, std::string* error) const {
    WholeFile file(path.toStdString());
    bool ok = file.Open();
    for (std::size_t i = 0; ok && i < shown_.Size(); ++i) {
        const std::string line = TrafficLine(shown_[i], clock) + "\r\n";
        ok = file.Write(line);
    }
    ok = ok && file.Commit();
    if (!ok && error)
        *error = file.Reason();
    return ok;
}

}  // namespace halvern
