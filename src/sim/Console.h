#pragma once
// The text side of halvern-sim: the trace line of a frame and the operator's commands on
// standard input. Kept apart from the terminal handling so it can be tested directly.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "sim/Bus.h"

namespace halvern::sim {

// "1520 > 01 C8 04 00 20 5A 3E 50 F2": milliseconds, '>' from the host or '<' to it, bytes
// in upper-case hexadecimal. No line end.
std::string TraceLine(std::int64_t ms, bool fromHost, std::span<const std::uint8_t> bytes);
std::string HexBytes(std::span<const std::uint8_t> bytes);

// The bounds of the console's and the command line's numbers.
constexpr int kMaxLatencyMs = 10'000;
constexpr int kMaxBabbleBurst = 1000;

struct CommandResult {
    bool quit = false;
    std::string output;  // for standard output, each line ending in '\n'
    std::string error;   // for standard error, each line ending in '\n'
};

// One line of input: "mute ADDR", "unmute ADDR", "status ADDR CCC N", "dump", "quit";
// also "fault ADDR NAME" and "clear ADDR [NAME]" for fault trials,
// "setup ADDR MEASURE OUTPUT HEATER TEMP" for the four setting bytes (0 to 255 each), the
// reply shapes "reply ADDR LENGTH [marker|nomarker]", "statusbytes ADDR B9 B10 B11 B12" and
// "reading ADDR NAME VALUE|drift", "latency [ADDR] MS" for slow detectors and
// "babble on|off|BYTES MS" for bytes that nobody asked for.
// An empty line does nothing; anything else is reported on the error text.
CommandResult RunCommand(Bus& bus, std::string_view line);

}  // namespace halvern::sim
