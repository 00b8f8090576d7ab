#include "platform/qt/PortDevice.h"

#include <filesystem>
#include <string_view>
#include <system_error>

#include "platform/FilePath.h"

namespace halvern {

namespace {

// The number at the end of `name` after `prefix`, written as std::to_string writes it (no
// sign, no leading zero), so that only names DeviceForPort can produce are taken.
std::optional<int> Suffix(std::string_view name, std::string_view prefix) {
    if (name.size() <= prefix.size() || name.substr(0, prefix.size()) != prefix)
        return std::nullopt;
    const std::string_view digits = name.substr(prefix.size());
    if (digits.size() > 5 || (digits.size() > 1 && digits[0] == '0'))
        return std::nullopt;
    int v = 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return std::nullopt;
        v = v * 10 + (c - '0');
    }
    return v;
}

}  // namespace

bool DeviceExists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(Utf8Path(path), ec);
}

std::string DeviceForPort(int n, [[maybe_unused]] const DeviceExistsFn& exists) {
    if (n < 1)
        return {};
#ifdef _WIN32
    return "COM" + std::to_string(n);
#else
    const std::string usb = "/dev/ttyUSB" + std::to_string(n - 1);
    if (exists && exists(usb))
        return usb;
    return "/dev/ttyS" + std::to_string(n - 1);
#endif
}

std::string DeviceToOpen(const std::string& picked, const std::string& given, int number,
                         const std::function<std::string(int)>& deviceForPort) {
    if (!picked.empty())
        return picked;
    if (!given.empty())
        return given;
    return number >= 1 && deviceForPort ? deviceForPort(number) : std::string();
}

std::optional<int> PortForDevice(const std::string& device,
                                 [[maybe_unused]] const DeviceExistsFn& exists) {
    std::optional<int> n;
#ifdef _WIN32
    n = Suffix(device, "COM");
#else
    if (const auto usb = Suffix(device, "/dev/ttyUSB"))
        n = *usb + 1;
    else if (const auto builtIn = Suffix(device, "/dev/ttyS"))
        if (!(exists && exists("/dev/ttyUSB" + std::to_string(*builtIn))))
            n = *builtIn + 1;
#endif
    if (!n || *n < 1 || *n > kLastPortNumber)
        return std::nullopt;
    return n;
}

}  // namespace halvern
