#include "platform/qt/PortDevice.h"

#include <filesystem>
#include <system_error>

#include "platform/FilePath.h"

namespace halvern {

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

}  // namespace halvern
