#pragma once
// The two writes of detector configuration, without widgets: the setup table (function 16,
// registers 1-4) and the bus address (function 6, register 0). Each drains the reply a
// polling cycle may still be waiting for, then tries a fixed number of times: the request,
// half a second, one reception, and the detector's echo as the confirmation. Before a new
// address is written, the address is asked whether another detector already answers there.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "link/Link.h"
#include "link/Writes.h"

namespace halvern {

constexpr int kSetupWriteAttempts = 3;
constexpr int kAddressWriteAttempts = 6;
constexpr double kWriteEchoWaitMs = 500;

// The reply is the echo of the setup write to `address` (function 16, registers 1-4).
bool SetupWriteConfirmed(std::span<const std::uint8_t> reply, std::uint8_t address);
// The reply is the echo of the write of `newAddress` into register 0 of `address`.
bool AddressWriteConfirmed(std::span<const std::uint8_t> reply, std::uint8_t address,
                           std::uint8_t newAddress);

// One status query to `address` and one reception: nothing when no one answers; otherwise who
// does, as model name and serial number, or "a detector" when its reply cannot be read (two
// answering together, a reply cut short). The caller first drains or discards any reply still
// due, which would otherwise pass for an answer.
std::optional<std::string> DetectorAt(Link& link, std::uint8_t address, const StopCheck& stop = {});

// Confirmed by an attempt, or how the last one ended; Interrupted at once when `stop` says
// the program is ending.
WriteResult WriteSetupTable(Link& link, std::uint8_t address, const SetupTable& table,
                            const StopCheck& stop = {});
WriteResult WriteNewAddress(Link& link, std::uint8_t address, std::uint8_t newAddress,
                            const StopCheck& stop = {});
// The two writes as the engine runs them.
WriteSpec SetupWrite(std::uint8_t address, const SetupTable& table);
WriteSpec AddressWrite(std::uint8_t address, std::uint8_t newAddress);

// What the technician is told when no attempt was confirmed, with what the last one got.
std::string SetupNotConfirmedMessage(std::uint8_t address,
                                     WriteOutcome last = WriteOutcome::NoAnswer);
// The detector may or may not have taken the address; the program goes on with the old one.
std::string AddressNotConfirmedMessage(std::uint8_t oldAddress, std::uint8_t newAddress,
                                       WriteOutcome last = WriteOutcome::NoAnswer);
// What the main window's status line says after a confirmed write. `written`: each field
// changed, as "Heater Mode: ON"; none, the table went back as it was read.
std::string SetupConfirmedNotice(std::uint8_t address, const std::vector<std::string>& written);
std::string AddressConfirmedNotice(std::uint8_t oldAddress, std::uint8_t newAddress);
// A message's first line: the status line's form of a warning given in full in a box.
std::string FirstLine(const std::string& message);
// Why a new address is refused: `who` (from DetectorAt) answers there already.
std::string AddressTakenMessage(std::uint8_t newAddress, const std::string& who);

}  // namespace halvern
