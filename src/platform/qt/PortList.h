#pragma once
// The serial ports present on the machine, as the system reports them, and what the program
// makes of such a list: the rows the technician picks from, the port number of a device, and
// which device a re-plugged adapter now has. The list comes from an enumerator, so tests hand
// in one of their own.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace halvern {

struct PortInfo {
    std::string device;        // what the program opens: /dev/ttyUSB0, COM3
    std::string description;   // as the system reports it: "FT232R USB UART"
    std::string manufacturer;  // "FTDI"
    std::optional<std::uint16_t> vendorId, productId;  // USB ids, when a USB device
    std::string serialNumber;                          // the adapter's, when it has one
};

using PortEnumerator = std::function<std::vector<PortInfo>()>;

// The ports present, from QSerialPortInfo.
std::vector<PortInfo> SystemSerialPorts();

// An adapter told apart from any other: its USB vendor and product and its serial number.
// Adapters without a serial number (many cheap ones) have no identity: two of them would be
// taken for each other.
struct PortIdentity {
    std::uint16_t vendorId = 0, productId = 0;
    std::string serialNumber;
    bool operator==(const PortIdentity&) const = default;
};
std::optional<PortIdentity> IdentityOf(const PortInfo& port);
std::string IdentityText(const PortIdentity& id);  // "USB 0403:6001, serial number A10K3X2B"

// A port as listed for the technician: its number by the program's numbering, when that
// numbering reaches the device at all.
struct PortRow {
    std::optional<int> number;
    PortInfo port;
};
// Numbered ports first by number, then the others by name (ttyACM2 before ttyACM10). A device
// counts as present when it is in the list.
std::vector<PortRow> PortRows(const std::vector<PortInfo>& ports);
std::string NumberText(const PortRow& row);  // "3", or "-" when no number reaches the device

// The entry of the list for a device, by its name or by the name it resolves to (a link such
// as /dev/serial/by-id/... leads to /dev/ttyUSB0); null when absent.
const PortInfo* FindPort(const std::vector<PortInfo>& ports, const std::string& device,
                         const std::string& resolved);
// The result points into `ports`, so a temporary list is refused.
const PortInfo* FindPort(std::vector<PortInfo>&& ports, const std::string& device,
                         const std::string& resolved) = delete;

// What to try to reopen while the opened device is gone. `device` is the name it was opened
// under, `resolved` what that name leads to now (itself for a plain device name), `identity`
// the adapter's when it had one. Nothing: wait, nothing to open yet.
//  - No identity: the same name, as always (a plain serial port, a pseudo-terminal).
//  - The adapter is listed under the same name: that name.
//  - It is listed under one other name: that one (re-plugged, the system named it anew).
//  - Listed under several names (a two-channel adapter, both channels with the same serial
//    number): nothing, rather than a guess that would talk to the wrong bus.
//  - Not listed: the same name, unless the list shows another device under it (another
//    adapter was plugged in meanwhile and took the name).
std::optional<std::string> ReopenTarget(const std::string& device, const std::string& resolved,
                                        const std::optional<PortIdentity>& identity,
                                        const std::vector<PortInfo>& ports);

}  // namespace halvern
