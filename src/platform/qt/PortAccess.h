#pragma once
// Why a serial port did not open, in the technician's words: the system's reason, and for a
// port refused for lack of permission what to do about it on a Unix system, where serial
// devices belong to a group (on Debian "dialout") that the user must be in.

#include <optional>
#include <string>
#include <vector>

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

// A port's lock file left by a process that no longer runs (killed, or the PC lost power).
// Whoever may remove it takes the port over at the next opening; anyone else is refused the
// port until it is removed.
struct StaleLock {
    std::string file;  // "/run/lock/LCK..ttyUSB0"
    long long pid = 0;
};

// Unix: the folders in which serial ports' lock files are kept, in the order QSerialPort looks.
const std::vector<std::string>& PortLockFolders();
// "LCK..ttyUSB0" for /dev/ttyUSB0, "LCK..pts_3" for /dev/pts/3: the name a port's lock
// file has.
std::string PortLockName(const std::string& device);
// The device's lock file in the first of `folders` that holds one, when the process it names
// (on this PC) no longer runs; nothing when there is none, or when its process runs, or when
// the file does not say which process made it.
std::optional<StaleLock> StalePortLock(const std::string& device,
                                       const std::vector<std::string>& folders);
// What to tell the technician about it.
std::string StaleLockReason(const StaleLock& lock);

// The device's owner, group and mode and the user's groups, from the system (Unix); nothing
// known elsewhere or when the device cannot be examined.
DeviceAccess DeviceAccessOf(const std::string& device);

}  // namespace halvern
