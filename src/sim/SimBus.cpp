#include "sim/SimBus.h"

#include <algorithm>

namespace halvern::sim {

SimBus::SimBus(Platform& platform, SimulatedSerialPort& port, Bus bus)
    : p_(platform), port_(port), bus_(std::move(bus)) {
    port_.onHostFrame = [this](Micros endUs, const std::vector<std::uint8_t>& frame) {
        OnHostFrame(endUs, frame);
    };
}

SimBus::~SimBus() {
    *alive_ = false;
    port_.onHostFrame = nullptr;
}

void SimBus::OnHostFrame(Micros endUs, const std::vector<std::uint8_t>& frame) {
    if (onTraffic)
        onTraffic(endUs, true, frame);
    if (bus_.Babbling() && !babbling_)
        Babble(endUs);
    // Behind a gateway the gateway turns the bus direction, whatever the host's RTS does.
    if (!bus_.NeedsTurnaround() || port_.OverNetwork()) {
        Deliver(endUs, frame, std::nullopt);
        return;
    }
    // The host releases RTS from its own handling of the drained event, which runs after
    // this one: look again once it has had its turn.
    std::weak_ptr<bool> alive = alive_;
    p_.Post(endUs, [this, alive, endUs, frame] {
        if (!alive.expired())
            AwaitRelease(endUs, frame);
    });
}

void SimBus::AwaitRelease(Micros endUs, std::vector<std::uint8_t> frame) {
    if (const auto released = port_.RtsReleasedAtOrAfter(endUs)) {
        Deliver(endUs, frame, *released - endUs);
        return;
    }
    const Micros now = p_.NowUs();
    if (!port_.Rts() || now - endUs >= kRtsWatchUs) {
        // Released before the frame had left (its tail was cut), or never: not heard.
        Deliver(endUs, frame, -1);
        return;
    }
    std::weak_ptr<bool> alive = alive_;
    p_.Post(now + kRtsPollUs, [this, alive, endUs, frame = std::move(frame)]() mutable {
        if (!alive.expired())
            AwaitRelease(endUs, std::move(frame));
    });
}

void SimBus::Babble(Micros atUs) {
    babbling_ = bus_.Babbling();
    if (!babbling_)
        return;
    const auto burst = bus_.BabbleBurst();
    if (onTraffic)
        onTraffic(atUs, false, burst);
    port_.SendToHost(burst, atUs);
    const Micros next = atUs + bus_.BabblePeriodUs();
    std::weak_ptr<bool> alive = alive_;
    p_.Post(next, [this, alive, next] {
        if (!alive.expired())
            Babble(next);
    });
}

void SimBus::Deliver(Micros endUs, const std::vector<std::uint8_t>& frame,
                     std::optional<Micros> turnaroundUs) {
    auto answer = bus_.Respond(frame, endUs, turnaroundUs);
    if (answer.empty())
        return;
    // An answer takes the line when it begins, not when it was asked for: a slow detector's
    // reply must not hold back a quick one asked after it. Its pieces stay together.
    const Micros start = std::max(answer.front().startUs, p_.NowUs());
    std::weak_ptr<bool> alive = alive_;
    p_.Post(start, [this, alive, answer = std::move(answer)] {
        if (alive.expired())
            return;
        for (const auto& t : answer) {
            const Micros at = std::max(t.startUs, p_.NowUs());
            if (onTraffic)
                onTraffic(at, false, t.bytes);
            port_.SendToHost(t.bytes, at);
        }
    });
}

}  // namespace halvern::sim
