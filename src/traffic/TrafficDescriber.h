#pragma once
// What a run of bytes on the bus means, in one line a technician can read: "status query to
// 1", "status reply from 1: NNN0 Normal", "exception 4 from 7", "noise, 5 bytes". The
// verdicts come from the same tests the link and the decoders apply, so the traffic window
// never disagrees with what the program did with the bytes.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "link/Link.h"

namespace halvern {

// The frame check of the bytes as they came: a run too short to hold an address, a function
// and a CRC has none.
enum class CrcVerdict : std::uint8_t { Ok, Bad, Short };
const char* CrcVerdictText(CrcVerdict v);  // "ok", "bad", "short"

// How the window marks an entry: Trouble for bytes the program cannot use (bad CRC, cut, too
// long, noise); Odd for a frame that is whole but not the expected answer (an exception, the
// wrong address, a discarded reply).
enum class TrafficMark : std::uint8_t { Plain, Odd, Trouble };

struct TrafficMeaning {
    CrcVerdict crc = CrcVerdict::Ok;
    TrafficMark mark = TrafficMark::Plain;
    std::string text;
    bool operator==(const TrafficMeaning&) const = default;
};

// A request the program writes, read from its bytes alone.
TrafficMeaning DescribeRequest(std::span<const std::uint8_t> frame);
// Bytes taken in, read against the request they answer (empty, or shorter than an address
// and a function, when none is known). `count` is how many came, which may be more than the
// bytes kept.
TrafficMeaning DescribeReply(std::span<const std::uint8_t> bytes, std::size_t count,
                             std::span<const std::uint8_t> request);

// Describes the entries in the order they happened, remembering the last request, since a
// reply's meaning depends on the question (a version text and a status look alike).
class TrafficDescriber {
  public:
    TrafficMeaning Describe(TrafficDirection dir, std::span<const std::uint8_t> bytes,
                            std::size_t count);

  private:
    std::vector<std::uint8_t> lastRequest_;
};

// "01 C8 04 00 20": bytes in hexadecimal; when fewer are kept than came, says how many came.
std::string HexText(std::span<const std::uint8_t> bytes, std::size_t count);

}  // namespace halvern
