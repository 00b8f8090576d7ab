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

// Decodes par.Link.RxBuffer into the decoded values of par and the panel par.Main.
void DecodeStatusReply(Par& par);
// Sets par.Main.SIL2Des when par.StatusCode is in the table.
void DescribeStatus(Par& par);

}  // namespace halvern
