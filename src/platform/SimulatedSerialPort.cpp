#include "platform/SimulatedSerialPort.h"

#include <algorithm>

namespace halvern {

bool SimulatedSerialPort::Open(const std::string& device, std::string* error) {
    std::string reason = unplugged_ ? std::string("No such file or directory") : openError_;
    openError_.clear();
    if (open_)
        reason = "Device or resource busy";
    if (!reason.empty()) {
        if (error)
            *error = reason;
        return false;
    }
    device_ = device;
    open_ = true;
    input_.clear();
    return true;
}

void SimulatedSerialPort::Close() {
    open_ = false;
    ++session_;
    input_.clear();
}

void SimulatedSerialPort::Unplug() {
    unplugged_ = true;
    if (open_) {
        Close();
        if (onNotice)
            onNotice("The serial device was removed.");
    }
}

int SimulatedSerialPort::BytesWaiting() {
    return open_ ? static_cast<int>(input_.size()) : 0;
}

std::vector<std::uint8_t> SimulatedSerialPort::ReadAll() {
    std::vector<std::uint8_t> out;
    out.swap(input_);
    return out;
}

void SimulatedSerialPort::Write(std::span<const std::uint8_t> bytes) {
    if (!open_ || bytes.empty())
        return;
    const Micros now = p_.NowUs();
    if (recording_)
        frames_.push_back({now, {bytes.begin(), bytes.end()}, rts_});
    const Micros delay = networkDelayUs_.value_or(0);
    txBusyUntil_ = std::max(txBusyUntil_, now + delay) + WireTimeUs(bytes.size());
    const Micros done = txBusyUntil_;
    const auto session = session_;
    if (networkDelayUs_)
        p_.Post(now, [this, session] {
            if (session == session_ && onSendDrained)
                onSendDrained();
        });
    std::vector<std::uint8_t> frame(bytes.begin(), bytes.end());
    p_.Post(done, [this, done, session, frame = std::move(frame)] {
        if (session != session_)
            return;
        if (onHostFrame)
            onHostFrame(done, frame);
        if (onSendDrained && !networkDelayUs_)
            onSendDrained();
    });
}

void SimulatedSerialPort::SetRts(bool on) {
    if (!open_)
        return;
    rts_ = on;
    if (recording_ || !on)
        rtsChanges_.push_back({p_.NowUs(), on});
    // The bus watches only recent releases; keep the list short when not recording.
    if (!recording_ && rtsChanges_.size() > 64)
        rtsChanges_.erase(rtsChanges_.begin(), rtsChanges_.end() - 32);
}

void SimulatedSerialPort::SendToHost(const std::vector<std::uint8_t>& bytes, Micros startUs) {
    Micros t = std::max(startUs, toHostBusyUntil_);
    const auto session = session_;
    for (std::uint8_t b : bytes) {
        t += ByteTimeUs();
        p_.Post(t + networkDelayUs_.value_or(0), [this, b, session] {
            if (open_ && session == session_)
                input_.push_back(b);
        });
    }
    toHostBusyUntil_ = t;
}

std::optional<Micros> SimulatedSerialPort::RtsReleasedAtOrAfter(Micros t) const {
    for (const auto& c : rtsChanges_)
        if (!c.on && c.atUs >= t)
            return c.atUs;
    return std::nullopt;
}

}  // namespace halvern
