#pragma once
// CommPortNo.txt as the port dialog reads and writes it, and the check of a typed port number.
// Pure functions over texts and files; no widgets.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace halvern {

// The port number a file's text holds: its first value (up to a comma or the end of the
// line), rounded to a whole number. A value that is not a number or not a usable port
// (negative or beyond 32767) reads as 0, the "nothing chosen yet" port.
std::int16_t PortFromFileText(std::string_view text);

// The port a technician typed: a whole decimal number from 1 to 32767, spaces around it
// allowed. Nothing for anything else (the dialog then puts "1" in its place).
std::optional<std::int16_t> PortFromTyped(std::string_view text);

// Loading the dialog: reads the port from folder/CommPortNo.txt; when the file cannot be
// read, creates it holding `current` and returns `current`.
std::int16_t LoadPortFile(const std::string& folder, std::int16_t current);
// Rewrites folder/CommPortNo.txt with the port as its only line ("<decimal>\r\n").
// False when the file cannot be written.
bool SavePortFile(const std::string& folder, std::int16_t port);

}  // namespace halvern
