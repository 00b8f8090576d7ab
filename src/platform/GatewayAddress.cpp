#include "platform/GatewayAddress.h"

#include <algorithm>
#include <cctype>

namespace halvern {

namespace {

bool Fail(std::string* why, std::string text) {
    if (why)
        *why = std::move(text);
    return false;
}

// A host name or IPv4 address: letters, digits, dots, hyphens and underscores.
bool PlainHost(const std::string& host) {
    return std::all_of(host.begin(), host.end(), [](unsigned char c) {
        return std::isalnum(c) || c == '.' || c == '-' || c == '_';
    });
}

bool Ipv6Host(const std::string& host) {
    return host.find(':') != std::string::npos &&
           std::all_of(host.begin(), host.end(),
                       [](unsigned char c) { return std::isxdigit(c) || c == ':' || c == '.'; });
}

}  // namespace

bool IsGatewayDevice(const std::string& device) {
    const std::string scheme = kGatewayScheme;
    if (device.size() < scheme.size())
        return false;
    return std::equal(scheme.begin(), scheme.end(), device.begin(), [](char a, char b) {
        return a == std::tolower(static_cast<unsigned char>(b));
    });
}

std::optional<GatewayAddress> ParseHostPort(const std::string& text, int lowestPort,
                                            std::string* why) {
    const std::string form = "give it as HOST:PORT, for example 192.168.1.50:4001";
    // The port follows the host's last colon; an IPv6 address has colons of its own, so there
    // the host ends with the bracket that closes it (unclosed, the whole text is no host).
    std::size_t hostEnd = text.rfind(':');
    if (text.starts_with('[')) {
        const auto close = text.find(']');
        hostEnd = close == std::string::npos ? text.size() + 1 : close + 1;
    }
    if (text.empty() || hostEnd == 0) {
        Fail(why, "no host and port: " + form);
        return std::nullopt;
    }
    if (hostEnd == std::string::npos || hostEnd == text.size()) {
        Fail(why, "no port: " + form);
        return std::nullopt;
    }
    // Anything but a colon right after the host makes it part of the host, which is then none.
    const bool colon = hostEnd < text.size() && text[hostEnd] == ':';
    GatewayAddress a;
    a.host = colon ? text.substr(0, hostEnd) : text;
    const std::string port = colon ? text.substr(hostEnd + 1) : "";
    const bool bracketed = a.host.size() > 2 && a.host.front() == '[' && a.host.back() == ']';
    if (bracketed)
        a.host = a.host.substr(1, a.host.size() - 2);
    if (bracketed ? !Ipv6Host(a.host) : !PlainHost(a.host)) {
        Fail(why, "\"" + a.host +
                      "\" is not a host name or address (an IPv6 address goes in "
                      "brackets: [fd00::5]:4001)");
        return std::nullopt;
    }
    const bool digits =
        !port.empty() && port.size() <= 5 &&
        std::all_of(port.begin(), port.end(), [](unsigned char c) { return std::isdigit(c); });
    a.port = digits ? std::stoi(port) : -1;
    if (a.port < lowestPort || a.port > 65535) {
        Fail(why, "the port \"" + port + "\" is not a number from " + std::to_string(lowestPort) +
                      " to 65535");
        return std::nullopt;
    }
    return a;
}

std::optional<GatewayAddress> ParseGatewayDevice(const std::string& device, std::string* why) {
    if (!IsGatewayDevice(device)) {
        Fail(why, "a network gateway is named tcp://HOST:PORT");
        return std::nullopt;
    }
    return ParseHostPort(device.substr(std::string(kGatewayScheme).size()), 1, why);
}

std::string GatewayDevice(const GatewayAddress& address) {
    const bool v6 = address.host.find(':') != std::string::npos;
    return kGatewayScheme + (v6 ? "[" + address.host + "]" : address.host) + ":" +
           std::to_string(address.port);
}

int ReconnectDelayMs(int failures, int firstMs, int mostMs) {
    long long ms = firstMs;
    for (int i = 0; i < failures && ms < mostMs; ++i)
        ms *= 2;
    return static_cast<int>(std::min<long long>(ms, mostMs));
}

}  // namespace halvern
