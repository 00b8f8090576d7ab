#pragma once
// A bus reached through a serial device server (an RS-485 port on the network that passes
// bytes to and from one TCP connection) is named as a device: "tcp://HOST:PORT". HOST is a
// name or an IPv4 address, or an IPv6 address in brackets ("tcp://[fd00::5]:4001").

#include <optional>
#include <string>

namespace halvern {

constexpr const char* kGatewayScheme = "tcp://";

struct GatewayAddress {
    std::string host;  // without the brackets of an IPv6 address
    int port = 0;

    bool operator==(const GatewayAddress&) const = default;
};

// True when the device names a network gateway (whether or not the rest of the name is good):
// such a device is never a serial device's path.
bool IsGatewayDevice(const std::string& device);

// "HOST:PORT" (no scheme) with PORT from `lowestPort` to 65535. Nothing when it is not such a
// text; *why then says what is wrong.
std::optional<GatewayAddress> ParseHostPort(const std::string& text, int lowestPort,
                                            std::string* why);

// "tcp://HOST:PORT" with PORT from 1 to 65535.
std::optional<GatewayAddress> ParseGatewayDevice(const std::string& device, std::string* why);

// The device that names the address: "tcp://10.0.0.5:4001", "tcp://[fd00::5]:4001".
std::string GatewayDevice(const GatewayAddress& address);

// The delay before the next attempt to reach a gateway whose connection went, after
// `failures` attempts that failed since: from `firstMs`, doubling each time, at most `mostMs`.
int ReconnectDelayMs(int failures, int firstMs, int mostMs);

}  // namespace halvern
