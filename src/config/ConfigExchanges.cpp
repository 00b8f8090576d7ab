#include "config/ConfigExchanges.h"

#include <functional>

namespace halvern {

namespace {

bool WriteWithRetries(Link& link, int attempts, const std::function<void()>& send,
                      bool (*confirmed)(const LinkBuffers&), const StopCheck& stop) {
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

bool SetupWriteConfirmed(const LinkBuffers& b) {
    return b.RxBuffer[1] == kFunctionWriteMany && b.RxCount == 8 && b.RxBuffer[4] == 0 &&
           b.RxBuffer[5] == 4;
}

bool AddressWriteConfirmed(const LinkBuffers& b) {
    return b.RxBuffer[1] == kFunctionWriteOne && b.RxCount == 8 && b.RxBuffer[2] == 0 &&
           b.RxBuffer[3] == 0;
}

bool WriteSetupTable(Link& link, std::uint8_t address, const SetupTable& table,
                     const StopCheck& stop) {
    return WriteWithRetries(
        link, kSetupWriteAttempts, [&] { link.SendWriteSetup(address, table); },
        SetupWriteConfirmed, stop);
}

bool WriteNewAddress(Link& link, std::uint8_t address, std::uint8_t newAddress,
                     const StopCheck& stop) {
    return WriteWithRetries(
        link, kAddressWriteAttempts, [&] { link.SendNewAddress(address, newAddress); },
        AddressWriteConfirmed, stop);
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
           std::to_string(kAddressWriteAttempts) + " attempts.\nThe program now polls address " +
           n + "; if no detector answers there, the detector still has address " + o + ".";
}

}  // namespace halvern
