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

bool Link::ReceiveReply(const StopCheck& stop, Micros firstByteUs) {
    const Micros start = p_.NowUs();
    // The window ends only once more than its length has passed, so wait one microsecond past.
    const Micros firstByteDeadline = start + firstByteUs + 1;
    lastBytes_ = 0;
    for (;;) {
        if (Stopped(stop))
            return false;
        if (port_.BytesWaiting() >= 1)
            break;  // first, so bytes already waiting end the wait
        if (p_.NowUs() - start > firstByteUs)
            return false;
        p_.ProcessEvents(firstByteDeadline);
    }

    WaitMs(kCollectionWindowMs, stop);
    if (Stopped(stop))
        return false;  // leave the bytes for whoever receives next

    const int count = port_.BytesWaiting();
    const std::vector<std::uint8_t> bytes = port_.ReadAll();  // empties the input in any case
    lastBytes_ = std::max<std::size_t>(bytes.size(), 1);
    if (tap_ && !bytes.empty())
        tap_(p_.NowUs(), TrafficDirection::Received, bytes);
    // More than a frame can hold is noise or a collision; storing a part of it would leave a
    // reply state that no caller could make sense of.
    if (count > kRxBufferSize)
        return false;

    const auto n = std::min(static_cast<std::size_t>(count), bytes.size());
    std::copy_n(bytes.begin(), n, b_.RxBuffer.begin());
    b_.RxCount = static_cast<std::int16_t>(n);

    const std::uint8_t function = b_.RxBuffer[1];
    const bool functionOk = function == FunctionCommand || function < 128;
    if (!functionOk || !ReplyCrcIsValid(b_.RxBuffer, b_.RxCount))
        return false;
    b_.ReplyAddress = b_.RxBuffer[0];
    return true;
}

bool Link::ReceiveWholeReply(const StopCheck& stop, Micros firstByteUs) {
    const Micros start = p_.NowUs();
    const Micros firstByteDeadline = start + firstByteUs + 1;
    lastBytes_ = 0;
    for (;;) {
        if (Stopped(stop))
            return false;
        if (port_.BytesWaiting() >= 1)
            break;
        if (p_.NowUs() - start > firstByteUs)
            return false;
        p_.ProcessEvents(firstByteDeadline);
    }

    const Micros end = p_.NowUs() + MsToUs(kCollectionWindowMs);
    std::vector<std::uint8_t> bytes;
    for (;;) {
        const std::vector<std::uint8_t> more = port_.ReadAll();
        if (tap_ && !more.empty())
            tap_(p_.NowUs(), TrafficDirection::Received, more);
        bytes.insert(bytes.end(), more.begin(), more.end());
        const std::size_t whole = ExpectedReplyLength(bytes);
        if (whole != 0 && bytes.size() == whole && ReplyCrcIsValid(bytes, static_cast<int>(whole)))
            break;
        if (p_.NowUs() >= end)
            break;
        if (Stopped(stop)) {
            lastBytes_ = std::max<std::size_t>(bytes.size(), 1);
            return false;
        }
        p_.ProcessEvents(end);
    }
    return TakeReception(bytes);
}

bool Link::TakeReception(const std::vector<std::uint8_t>& bytes) {
    lastBytes_ = std::max<std::size_t>(bytes.size(), 1);
    if (bytes.size() > static_cast<std::size_t>(kRxBufferSize))
        return false;
    std::copy(bytes.begin(), bytes.end(), b_.RxBuffer.begin());
    b_.RxCount = static_cast<std::int16_t>(bytes.size());
    const std::uint8_t function = b_.RxBuffer[1];
    const bool functionOk = function == FunctionCommand || function < 128;
    if (!functionOk || !ReplyCrcIsValid(b_.RxBuffer, b_.RxCount))
        return false;
    b_.ReplyAddress = b_.RxBuffer[0];
    return true;
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

void Link::Send(std::vector<std::uint8_t> frame, bool pause) {
    b_.TxBuffer = std::move(frame);
    ComputeFrameCrc(b_.TxBuffer, static_cast<int>(b_.TxBuffer.size()) - 1);
    TransmitFrame(pause);
}

void Link::SendQuery(std::uint8_t address, std::uint8_t code) {
    if (code == kCodeRefused)
        return;
    Send(CommandFrame(address, code), false);
}

void Link::SendAlign(std::uint8_t address, std::uint8_t code) {
    Send(CommandFrame(address, code), false);
}

void Link::SendSnTest(std::uint8_t address) {
    Send(SnTestFrame(address), true);
}

void Link::SendNormalMode(std::uint8_t address) {
    Send(NormalModeFrame(address), true);
}

void Link::SendReadSetup(std::uint8_t address) {
    Send(ReadSetupFrame(address), false);
}

void Link::SendWriteSetup(std::uint8_t address, const SetupTable& table) {
    Send(WriteSetupFrame(address, table), true);
}

void Link::SendNewAddress(std::uint8_t address, std::uint8_t newAddress) {
    Send(NewAddressFrame(address, newAddress), false);
}

}  // namespace halvern
