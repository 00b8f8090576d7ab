#include "config/AddressEntry.h"

#include <cmath>

#include "link/LinkFiles.h"

namespace halvern {

std::string FilterNewAddressText(const std::string& text) {
    const auto value = ParseNumber(text);
    if (!value || *value > kLastBusAddress)
        return " ";
    return text;
}

std::optional<std::uint8_t> AddressToBurn(const std::string& text) {
    const double v = ParseNumber(text).value_or(0);
    if (v < 1 || v > kLastBusAddress || v != std::floor(v))
        return std::nullopt;
    return static_cast<std::uint8_t>(v);
}

}  // namespace halvern
