#pragma once
// The two writes of detector configuration, without widgets: the setup table (function 16,
// registers 1-4) and the bus address (function 6, register 0). Each drains the reply a
// polling cycle may still be waiting for, then tries a fixed number of times: the request,
// half a second, one reception, and the detector's echo as the confirmation.

#include <cstdint>
#include <string>

#include "link/Link.h"

namespace halvern {

constexpr int kSetupWriteAttempts = 3;
constexpr int kAddressWriteAttempts = 6;
constexpr double kWriteEchoWaitMs = 500;

// The last reply is the function-16 echo of a write of four registers (start not checked).
bool SetupWriteConfirmed(const LinkBuffers& b);
// The last reply is the function-6 echo of a write of register 0 (value not checked).
bool AddressWriteConfirmed(const LinkBuffers& b);

// True when an attempt was confirmed; false after the last unconfirmed one, or at once when
// `stop` says the program is ending.
bool WriteSetupTable(Link& link, std::uint8_t address, const SetupTable& table,
                     const StopCheck& stop = {});
bool WriteNewAddress(Link& link, std::uint8_t address, std::uint8_t newAddress,
                     const StopCheck& stop = {});

// What the technician is told when no attempt was confirmed.
std::string SetupNotConfirmedMessage(std::uint8_t address);
std::string AddressNotConfirmedMessage(std::uint8_t oldAddress, std::uint8_t newAddress);

}  // namespace halvern
