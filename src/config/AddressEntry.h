#pragma once
// The text rules of the address dialog, as functions of the text.

#include <cstdint>
#include <optional>
#include <string>

namespace halvern {

constexpr const char* kInvalidAddressText = "Invalid Address.\rChange is not Saved!";
constexpr const char* kInvalidAddressTitle = "Warning";
constexpr int kLastBusAddress = 247;

// Run after every change of the text: a number (sign, fraction, exponent and surrounding
// blanks allowed) up to 247 stays as it is; anything else becomes a single space.
std::string FilterNewAddressText(const std::string& text);
// The address a Burn writes: the text's value when it is a whole number from 1 to 247.
// Anything else is refused, fractions included (the request would carry a rounded address
// while the main window went on to serve another).
std::optional<std::uint8_t> AddressToBurn(const std::string& text);

}  // namespace halvern
