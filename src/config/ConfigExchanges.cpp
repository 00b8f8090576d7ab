#include "config/ConfigExchanges.h"

#include <functional>
#include <memory>

#include "monitor/Exchanges.h"

namespace halvern {

namespace {

bool WriteWithRetries(Link& link, int attempts, const std::function<void()>& send,
                      const std::function<bool(const LinkBuffers&)>& confirmed,
                      const StopCheck& stop) {
    link.ReceiveReply(stop);  // drain: a poll reply may still be on its way
    for (int attempt = 0; attempt < attempts; ++attempt) {
        if (stop && stop())
            return false;
        send();
        link.WaitMs(kWriteEchoWaitMs, stop);
        if (link.ReceiveReply(stop) && confirmed(link.Buffers()))
            return true;
    }
    return false;
}

}  // namespace

bool SetupWriteConfirmed(const LinkBuffers& b, std::uint8_t address) {
    return EchoesRequest(b, WriteSetupFrame(address, {}));  // the echo holds no table bytes
}

bool AddressWriteConfirmed(const LinkBuffers& b, std::uint8_t address, std::uint8_t newAddress) {
    return EchoesRequest(b, NewAddressFrame(address, newAddress));
}

std::optional<std::string> DetectorAt(Link& link, std::uint8_t address, const StopCheck& stop) {
    // Decoded apart: the answer is not the served detector's and must not show on its panel.
    auto other = std::make_unique<Par>();
    switch (PollStatus(link, *other, address, stop)) {
        case PollReply::None:
            return std::nullopt;
        case PollReply::Status:
            return other->Main.Flash + ", serial number " + other->Main.SeNum;
        default:
            return "a detector";
    }
}

bool WriteSetupTable(Link& link, std::uint8_t address, const SetupTable& table,
                     const StopCheck& stop) {
    return WriteWithRetries(
        link, kSetupWriteAttempts, [&] { link.SendWriteSetup(address, table); },
        [&](const LinkBuffers& b) { return SetupWriteConfirmed(b, address); }, stop);
}

bool WriteNewAddress(Link& link, std::uint8_t address, std::uint8_t newAddress,
                     const StopCheck& stop) {
    return WriteWithRetries(
        link, kAddressWriteAttempts, [&] { link.SendNewAddress(address, newAddress); },
        [&](const LinkBuffers& b) { return AddressWriteConfirmed(b, address, newAddress); }, stop);
}

std::string SetupNotConfirmedMessage(std::uint8_t address) {
    const std::string a = std::to_string(address);
    return "The detector at address " + a + " did not confirm the setup table after " +
           std::to_string(kSetupWriteAttempts) +
           " attempts.\nThe settings may not have been written: open the setup table again to "
           "check them.";
}

std::string AddressNotConfirmedMessage(std::uint8_t oldAddress, std::uint8_t newAddress) {
    const std::string o = std::to_string(oldAddress), n = std::to_string(newAddress);
    return "The detector at address " + o + " did not confirm its new address " + n + " after " +
           std::to_string(kAddressWriteAttempts) +
           " attempts.\nThe program goes on polling address " + o +
           ". If the detector no longer answers there, it may have taken address " + n +
           ": choose " + n + " in the address list.";
}

std::string AddressTakenMessage(std::uint8_t newAddress, const std::string& who) {
    return "Address " + std::to_string(newAddress) + " is taken: " + who +
           " answers there.\rChange is not Saved!";
}

}  // namespace halvern
