#pragma once
// Port numbers as the operator knows them (1, 2, ...) to the devices the system names.
// Windows: COMn. Linux: the n-th USB adapter /dev/ttyUSB{n-1} when it exists, otherwise the
// n-th built-in port /dev/ttyS{n-1}. Other devices (ttyACM, pseudo-terminals) are reached
// by naming the device itself.

#include <functional>
#include <string>

namespace halvern {

using DeviceExistsFn = std::function<bool(const std::string& path)>;

bool DeviceExists(const std::string& path);

// Empty for numbers below 1: no port has been chosen.
std::string DeviceForPort(int n, const DeviceExistsFn& exists = DeviceExists);

}  // namespace halvern
