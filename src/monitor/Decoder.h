#pragma once
// Status reply decoding: pure functions of the reply bytes and the shared state.

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "state/Par.h"

namespace halvern {

std::int16_t SignedByte(std::uint8_t b);
// Name of the model code (variant byte * 256 + family byte), or "Unknown Detector!".
std::string ModelName(int code);
// The description of a status code, or nullptr when the code is not in the table.
const char* StatusDescription(const std::string& code);
bool IsAcceptedFamily(std::uint8_t family);
// The model names whose screens differ: "Talvek 880" and "Talvek 890"; the nine names from
// "Veridan Ethylene 641-1" to "Veridan Ethylene 643-3".
bool IsTalvekName(std::string_view name);
bool IsEthyleneName(std::string_view name);
// The bytes of a status reply that the decoders read (the gas reading ends at index 27) and
// its CRC: a shorter reply, such as an exception answer, holds no reading.
constexpr int kStatusReplyMinCount = 30;
// The reply's own bytes hold a status reply: at least kStatusReplyMinCount of them, index 6 an
// accepted family, and index 4 is 42 or index 10 is "V".
bool PassesAcceptanceTest(std::span<const std::uint8_t> rx);

// The zero offset of the signal slots 0 to 2 on the main window: 0.56 or 0.15 by family.
double SignalZeroOffset(std::uint8_t family);
// The four status parts of a status reply (indices 9 to 12): the detector sends a first "O" or
// "R" as the digit 2 or 3; the other characters are one byte each; the number as decimal text.
std::array<std::string, 4> StatusPartsOf(std::span<const std::uint8_t> rx);
// Sets the colours of lblStatus from StatusParts 0 to 2; leaves them when no rule matches.
void ApplyStatusColours(Par& par);

// Decodes par.Link.RxBuffer into the decoded values of par and the panel par.Main.
void DecodeStatusReply(Par& par);
// Sets par.Main.SIL2Des when par.StatusCode is in the table.
void DescribeStatus(Par& par);

}  // namespace halvern
