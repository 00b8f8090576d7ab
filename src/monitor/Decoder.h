#pragma once
// Status reply decoding: pure functions of a reply's own bytes, and the main panel's showing
// of what they give.

#include <array>
#include <cstdint>
#include <optional>
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
// A complete status reply by its length and marker, and an accepted family at index 6. A short
// one is told only by a "V" at index 10, which a version text may hold as well.
bool IsCompleteStatusReply(std::span<const std::uint8_t> reply);

// The zero offset of the signal slots 0 to 2 on the main window: 0.56 or 0.15 by family.
double SignalZeroOffset(std::uint8_t family);
// The four status parts of a status reply as received (indices 9 to 12): the detector sends a
// first "O" or "R" as the digit 2 or 3; the other characters are one byte each; the number as
// decimal text. A part the reply does not reach is empty.
std::array<std::string, 4> StatusPartsOf(std::span<const std::uint8_t> reply);

// A status reply as received (its CRC included), decoded from its own bytes: every field it
// reaches, scaled as the main window shows it; a field it does not reach is absent (an empty
// text, a NaN channel value). Nothing when the reply does not reach index 10. The caller has
// applied the acceptance test.
std::optional<StatusReading> ReadStatus(std::span<const std::uint8_t> reply);

// The colours of a status code by its parts 0 to 2; nothing when no rule matches, where a
// window keeps the colours it shows.
struct StatusColours {
    Rgb back, fore;
};
std::optional<StatusColours> ColoursOf(const std::array<std::string, 4>& parts);

// Shows a reading on the main window's panel: model, address, status with its colours and
// description, gain, the five shown channel values, serial number. What the main window keeps
// from before stays: the colours for a code without a colour rule, and the description for a
// whole code that has none in the table (a code cut short clears it).
void ShowReading(Panel& panel, const StatusReading& r);

// The main window takes a reading: the shared reading, and the panel shows it.
void TakeReading(Par& par, const StatusReading& r);

}  // namespace halvern
