#pragma once
// Why a serial port did not open, in the technician's words: the system's reason, and for a
// port refused for lack of permission what to do about it on a Unix system, where serial
// devices belong to a group (on Debian "dialout") that the user must be in.

#include <string>

namespace halvern {

enum class OpenRefusal {
    InUse,         // another program holds the port
    NoPermission,  // the user may not open the device
    Other,         // missing, broken, ...: the system's reason says it
};

enum class GroupMembership {
    None,           // the user is not in the device's group
    FromNextLogin,  // added to it, but this session began before: it counts after a new login
    Now,            // in it already: the group is not what refuses the port
};

// The device's ownership and the user's place in it, as far as known.
struct DeviceAccess {
    std::string owner;         // "root"; empty when unknown
    std::string group;         // "dialout"; empty when unknown
    bool groupMayUse = false;  // the group may read and write the device
    std::string user;          // who runs the program; empty when unknown
    GroupMembership membership = GroupMembership::None;
};

std::string OpenFailureReason(OpenRefusal refusal, const std::string& systemReason,
                              const DeviceAccess& access);

// The device's owner, group and mode and the user's groups, from the system (Unix); nothing
// known elsewhere or when the device cannot be examined.
DeviceAccess DeviceAccessOf(const std::string& device);

}  // namespace halvern
