#pragma once
// Port numbers as the operator knows them (1, 2, ...) to the devices the system names.
// Windows: COMn. Linux: the n-th USB adapter /dev/ttyUSB{n-1} when it exists, otherwise the
// n-th built-in port /dev/ttyS{n-1}. Other devices (ttyACM, pseudo-terminals) are reached
// by naming the device itself.

#include <functional>
#include <optional>
#include <string>

namespace halvern {

using DeviceExistsFn = std::function<bool(const std::string& path)>;

bool DeviceExists(const std::string& path);

// Empty for numbers below 1: no port has been chosen.
std::string DeviceForPort(int n, const DeviceExistsFn& exists = DeviceExists);

// The number that DeviceForPort turns into this device, if any: a built-in port is out of
// reach while the USB adapter of the same number exists, and other devices never are.
std::optional<int> PortForDevice(const std::string& device,
                                 const DeviceExistsFn& exists = DeviceExists);

// The device the program opens: one picked from the list of ports, else the one named on the
// command line, else the chosen number's. Empty when there is none (a number below 1).
std::string DeviceToOpen(const std::string& picked, const std::string& given, int number,
                         const std::function<std::string(int)>& deviceForPort);

// The highest port number the dialog takes.
constexpr int kLastPortNumber = 32767;

}  // namespace halvern
