#include "link/Link.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>
#include <vector>

namespace halvern {

namespace {
bool Stopped(const StopCheck& stop) {
    return stop && stop();
}
}  // namespace

std::int32_t TurnaroundMicros(double delayUs) {
    if (!(delayUs > 0))
        return 0;  // negative or not a number: no delay at all
    constexpr double kMax = std::numeric_limits<std::int32_t>::max();
    if (delayUs >= kMax)
        return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(std::nearbyint(delayUs));  // default mode: ties to even
}

Link::Link(Platform& platform, SerialPort& port, LinkBuffers& buffers)
    : p_(platform), port_(port), b_(buffers) {
    port_.onSendDrained = [this] { MSComm1_OnComm(); };
}

Link::~Link() {
    port_.onSendDrained = nullptr;
}

void Link::TransmitFrame(bool pause) {
    port_.SetRts(true);
    if (pause)
        p_.DelayUs(kPreSendPauseUs);
    port_.Write(b_.TxBuffer);
    if (tap_)
        tap_(p_.NowUs(), TrafficDirection::Sent, b_.TxBuffer);
}

void Link::MSComm1_OnComm() {
    // The last stop bit has left the port; give the line driver time to finish before the
    // bus is handed to the detector.
    p_.DelayUs(TurnaroundMicros(TurnaroundDelay));
    port_.SetRts(false);
}

Reception Link::ReceiveReply(const StopCheck& stop, Micros firstByteUs) {
    return Receive(stop, firstByteUs, false);
}

Reception Link::ReceiveWholeReply(const StopCheck& stop, Micros firstByteUs) {
    return Receive(stop, firstByteUs, true);
}

Reception Link::Receive(const StopCheck& stop, Micros firstByteUs, bool endOnWholeReply) {
    const Micros start = p_.NowUs();
    firstByteUs += ReplyAllowanceUs();
    // The window ends only once more than its length has passed, so wait one microsecond past.
    const Micros firstByteDeadline = start + firstByteUs + 1;
    for (;;) {
        if (Stopped(stop))
            return {};
        if (port_.BytesWaiting() >= 1)
            break;  // first, so bytes already waiting end the wait
        if (p_.NowUs() - start > firstByteUs)
            return {};
        p_.ProcessEvents(firstByteDeadline);
    }

    Reception r;
    int count = 0;
    if (endOnWholeReply) {
        if (!CollectWholeReply(r.bytes, stop))
            return {};
        count = static_cast<int>(r.bytes.size());
    } else {
        WaitMs(kCollectionWindowMs, stop);
        if (Stopped(stop))
            return {};  // leave the bytes for whoever receives next
        count = port_.BytesWaiting();
        r.bytes = port_.ReadAll();  // empties the input in any case
        if (tap_ && !r.bytes.empty())
            tap_(p_.NowUs(), TrafficDirection::Received, r.bytes);
    }
    r.arrived = std::max<std::size_t>(r.bytes.size(), 1);
    // More than a frame can hold is noise or a collision; storing a part of it would leave a
    // reply state that no caller could make sense of.
    if (count > kRxBufferSize) {
        r.end = ReceptionEnd::TooLong;
        return r;
    }

    r.bytes.resize(std::min(static_cast<std::size_t>(count), r.bytes.size()));
    std::copy(r.bytes.begin(), r.bytes.end(), b_.RxBuffer.begin());
    b_.RxCount = static_cast<std::int16_t>(r.bytes.size());

    // The function is judged as the buffer stands: a reply shorter than two bytes has no CRC
    // to hold, whatever an older reply left behind it.
    const std::uint8_t function = b_.RxBuffer[1];
    if (!ReplyCrcIsValid(b_.RxBuffer, b_.RxCount))
        r.end = ReceptionEnd::BadCrc;
    else if (function != FunctionCommand && function >= 128)
        r.end = ReceptionEnd::WrongFunction;
    else {
        r.end = ReceptionEnd::Taken;
        b_.ReplyAddress = b_.RxBuffer[0];
    }
    return r;
}

bool Link::CollectWholeReply(std::vector<std::uint8_t>& bytes, const StopCheck& stop) {
    const Micros end = p_.NowUs() + MsToUs(kCollectionWindowMs);
    for (;;) {
        const std::vector<std::uint8_t> more = port_.ReadAll();
        if (tap_ && !more.empty())
            tap_(p_.NowUs(), TrafficDirection::Received, more);
        bytes.insert(bytes.end(), more.begin(), more.end());
        const std::size_t whole = ExpectedReplyLength(bytes);
        if (whole != 0 && bytes.size() == whole && ReplyCrcIsValid(bytes, static_cast<int>(whole)))
            return true;
        if (p_.NowUs() >= end)
            return true;
        if (Stopped(stop))
            return false;
        p_.ProcessEvents(end);
    }
}

void Link::WaitMs(double ms, const StopCheck& stop) {
    if (!(ms > 0))
        return;
    const Micros deadline = p_.NowUs() + MsToUs(ms);
    while (p_.NowUs() < deadline) {
        if (Stopped(stop))
            return;
        p_.ProcessEvents(deadline);
    }
}

void Link::WaitRtsReleased(const StopCheck& stop) {
    const Micros deadline = p_.NowUs() + kRtsReleaseLimitUs;
    while (port_.Rts() && p_.NowUs() < deadline) {
        if (Stopped(stop))
            return;
        p_.ProcessEvents(deadline);
    }
}

void Link::DiscardInput() {
    const std::vector<std::uint8_t> bytes = port_.ReadAll();
    if (tap_ && !bytes.empty())
        tap_(p_.NowUs(), TrafficDirection::Discarded, bytes);
}

void Link::Align(std::uint8_t address, const StopCheck& stop) {
    SendAlign(address, kCodeAlign);
    WaitRtsReleased(stop);
    ReceiveReply(stop);
}

void Link::SendFrame(std::vector<std::uint8_t> frame, bool pause) {
    b_.TxBuffer = std::move(frame);
    ComputeFrameCrc(b_.TxBuffer, static_cast<int>(b_.TxBuffer.size()) - 1);
    TransmitFrame(pause);
}

void Link::SendQuery(std::uint8_t address, std::uint8_t code) {
    if (code == kCodeRefused)
        return;
    SendFrame(CommandFrame(address, code), false);
}

void Link::SendAlign(std::uint8_t address, std::uint8_t code) {
    SendFrame(CommandFrame(address, code), false);
}

void Link::SendSnTest(std::uint8_t address) {
    SendFrame(SnTestFrame(address), true);
}

void Link::SendNormalMode(std::uint8_t address) {
    SendFrame(NormalModeFrame(address), true);
}

void Link::SendReadSetup(std::uint8_t address) {
    SendFrame(ReadSetupFrame(address), false);
}

void Link::SendWriteSetup(std::uint8_t address, const SetupTable& table) {
    SendFrame(WriteSetupFrame(address, table), true);
}

void Link::SendNewAddress(std::uint8_t address, std::uint8_t newAddress) {
    SendFrame(NewAddressFrame(address, newAddress), false);
}

}  // namespace halvern
