#pragma once
// Status reply decoding: pure functions of the reply bytes and the shared state.

#include <cstdint>
#include <span>
#include <string>

#include "state/Par.h"

namespace halvern {

std::int16_t SignedByte(std::uint8_t b);
// Name of the model code (variant byte * 256 + family byte), or "Unknown Detector!".
std::string ModelName(int code);
// The description of a status code, or nullptr when the code is not in the table.
const char* StatusDescription(const std::string& code);
bool IsAcceptedFamily(std::uint8_t family);
// Index 6 is an accepted family, and index 4 is 42 or index 10 is "V".
bool PassesAcceptanceTest(std::span<const std::uint8_t> rx);

// The zero offset of the signal slots 0 to 2 on the main window: 0.56 or 0.15 by family.
double SignalZeroOffset(std::uint8_t family);
// Sets the colours of lblStatus from StatusParts 0 to 2; leaves them when no rule matches.
void ApplyStatusColours(Par& par);

// Decodes par.Link.RxBuffer into the decoded values of par and the panel par.Main.
void DecodeStatusReply(Par& par);
// Sets par.Main.SIL2Des when par.StatusCode is in the table.
void DescribeStatus(Par& par);

}  // namespace halvern
