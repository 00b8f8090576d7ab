#include "config/ConfigExchanges.h"

#include <memory>

#include "monitor/Exchanges.h"

namespace halvern {

bool SetupWriteConfirmed(std::span<const std::uint8_t> reply, std::uint8_t address) {
    return EchoesRequest(reply, WriteSetupFrame(address, {}));  // the echo holds no table bytes
}

bool AddressWriteConfirmed(std::span<const std::uint8_t> reply, std::uint8_t address,
                           std::uint8_t newAddress) {
    return EchoesRequest(reply, NewAddressFrame(address, newAddress));
}

WriteSpec SetupWrite(std::uint8_t address, const SetupTable& table) {
    return {.frame = WriteSetupFrame(address, table),
            .pause = true,
            .attempts = kSetupWriteAttempts,
            .echoWaitMs = kWriteEchoWaitMs};
}

WriteSpec AddressWrite(std::uint8_t address, std::uint8_t newAddress) {
    return {.frame = NewAddressFrame(address, newAddress),
            .pause = false,
            .attempts = kAddressWriteAttempts,
            .echoWaitMs = kWriteEchoWaitMs};
}

std::optional<std::string> DetectorAt(Link& link, std::uint8_t address, const StopCheck& stop) {
    // Its own reading: the answer is not the served detector's and must not show on its panel.
    const StatusPoll poll = PollStatus(link, address, stop);
    if (poll.reply == PollReply::None)
        return std::nullopt;
    if (!poll.reading)
        return "a detector";
    return poll.reading->ModelName + ", serial number " +
           std::to_string(static_cast<long>(poll.reading->SerialNumber));
}

WriteResult WriteSetupTable(Link& link, std::uint8_t address, const SetupTable& table,
                            const StopCheck& stop) {
    return RunWrite(link, SetupWrite(address, table), stop);
}

WriteResult WriteNewAddress(Link& link, std::uint8_t address, std::uint8_t newAddress,
                            const StopCheck& stop) {
    return RunWrite(link, AddressWrite(address, newAddress), stop);
}

std::string SetupNotConfirmedMessage(std::uint8_t address, WriteOutcome last) {
    const std::string a = std::to_string(address);
    return "The detector at address " + a + " did not confirm the setup table after " +
           std::to_string(kSetupWriteAttempts) +
           " attempts (last attempt: " + WriteOutcomeText(last) +
           ").\nThe settings may not have been written: open the setup table again to "
           "check them.";
}

std::string AddressNotConfirmedMessage(std::uint8_t oldAddress, std::uint8_t newAddress,
                                       WriteOutcome last) {
    const std::string o = std::to_string(oldAddress), n = std::to_string(newAddress);
    return "The detector at address " + o + " did not confirm its new address " + n + " after " +
           std::to_string(kAddressWriteAttempts) +
           " attempts (last attempt: " + WriteOutcomeText(last) +
           ").\nThe program goes on polling address " + o +
           ". If the detector no longer answers there, it may have taken address " + n +
           ": choose " + n + " in the address list.";
}

std::string SetupConfirmedNotice(std::uint8_t address, const std::vector<std::string>& written) {
    std::string what;
    for (const std::string& field : written)
        what += (what.empty() ? "" : ", ") + field;
    return "Setup table written to the detector at address " + std::to_string(address) + " (" +
           (what.empty() ? std::string("unchanged") : what) + "): the detector confirmed it.";
}

std::string AddressConfirmedNotice(std::uint8_t oldAddress, std::uint8_t newAddress) {
    return "Address " + std::to_string(newAddress) + " written to the detector at address " +
           std::to_string(oldAddress) + ": the detector confirmed it.";
}

std::string FirstLine(const std::string& message) {
    return message.substr(0, message.find_first_of("\r\n"));
}

std::string AddressTakenMessage(std::uint8_t newAddress, const std::string& who) {
    return "Address " + std::to_string(newAddress) + " is taken: " + who +
           " answers there.\rChange is not Saved!";
}

}  // namespace halvern
