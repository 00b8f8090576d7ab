#pragma once
// Status reply decoding: pure functions of the reply bytes and the shared state.

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "link/Layouts.h"
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
// A complete status reply: every field the decoders read, through the gas reading at index 27,
// and its CRC. A detector also sends shorter status replies, without the length marker 42 at
// index 4 but with "V" at index 10; they hold the fields they reach and no more.
constexpr int kStatusReplyFullCount = StatusReply::FullCount;
constexpr std::size_t kReplyCrcBytes = 2;
// The bytes of a reply as received (its CRC included) that carry fields: all but the CRC.
std::span<const std::uint8_t> ReplyFields(std::span<const std::uint8_t> reply);
// The reply's own field bytes hold a status reply: index 6 an accepted family, and either "V"
// at index 10 or, in a complete reply, the marker 42 at index 4. Bytes beyond the reply are an
// older reply's and count for nothing.
bool PassesAcceptanceTest(std::span<const std::uint8_t> reply);

// The zero offset of the signal slots 0 to 2 on the main window: 0.56 or 0.15 by family.
double SignalZeroOffset(std::uint8_t family);
// The four status parts of a status reply as received (indices 9 to 12): the detector sends a
// first "O" or "R" as the digit 2 or 3; the other characters are one byte each; the number as
// decimal text. A part the reply does not reach is empty.
std::array<std::string, 4> StatusPartsOf(std::span<const std::uint8_t> reply);
// Sets the colours of lblStatus from StatusParts 0 to 2; leaves them when no rule matches.
void ApplyStatusColours(Par& par);

// Decodes the reply in par.Link (its RxCount bytes) into the decoded values of par and the
// panel par.Main. A field the reply does not reach is not given: an empty text, a NaN channel
// value, an empty label; never what an older reply left in the buffer. A reply that does not
// reach index 10 is not decoded. The caller has applied the acceptance test.
void DecodeStatusReply(Par& par);
// The shared decoded values alone (ReplyAddress, SerialNumber, StatusParts, StatusCode, gain,
// ChannelValues), as DecodeStatusReply sets them, without the panel; false when the reply does
// not reach index 10 and nothing was decoded.
bool DecodeStatusValues(Par& par);
// The reply's own bytes in the link's buffer.
std::span<const std::uint8_t> OwnBytes(const LinkBuffers& b);
// Sets par.Main.SIL2Des when par.StatusCode is in the table.
void DescribeStatus(Par& par);

}  // namespace halvern
