#pragma once
// The bytes of every request the program sends, as pure functions. Frames include the CRC.

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "link/Frame.h"

namespace halvern {

constexpr std::uint8_t kFunctionRead = 3;
constexpr std::uint8_t kFunctionWriteOne = 6;
constexpr std::uint8_t kFunctionWriteMany = 16;
constexpr std::uint8_t FunctionCommand = 200;
constexpr std::uint8_t kCommandTrailer[2] = {90, 62};

// The registers the program writes and reads.
constexpr std::uint16_t kAddressRegister = 0;
constexpr std::uint16_t kSetupFirstRegister = 1;  // the setup table: registers 1 to 4
constexpr std::uint16_t kModeRegister = 2;        // 1 starts the S/N test, 0 ends it
constexpr std::uint16_t kSetupRegisterCount = 4;

enum CommandCode : std::uint8_t {
    kCodeAlign = 17,
    kCodePrimaryVersion = 20,
    kCodeSecondaryVersion = 23,
    kCodeStatus = 32,
    kCodeRefused = 33,  // never sent
};

struct SetupTable {
    std::uint8_t MeasureFlags = 0;
    std::uint8_t OutputFlags = 0;
    std::uint8_t HeaterMode = 0;
    std::uint8_t HeaterOnTemp = 0;
};

std::vector<std::uint8_t> CommandFrame(std::uint8_t address, std::uint8_t code);       // 9 bytes
std::vector<std::uint8_t> SnTestFrame(std::uint8_t address);                           // 8 bytes
std::vector<std::uint8_t> NormalModeFrame(std::uint8_t address);                       // 8 bytes
std::vector<std::uint8_t> ReadSetupFrame(std::uint8_t address);                        // 8 bytes
std::vector<std::uint8_t> WriteSetupFrame(std::uint8_t address, const SetupTable& t);  // 17
std::vector<std::uint8_t> NewAddressFrame(std::uint8_t address, std::uint8_t newAddress);  // 8

}  // namespace halvern
