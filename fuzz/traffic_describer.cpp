// The bus traffic window's describer: entries as the link's tap reports them (frames sent,
// bytes taken in, bytes discarded), each read against the last frame sent.
//
// Input: entries one after the other, each a header byte and its bytes.
//   header bits 0-1: 0 sent, 1 taken in, 2 discarded, 3 taken in with more bytes having come
//                    than were kept (as after a flood)
//   header bits 2-7: the entry's length in bytes (0 to 63)

#include <algorithm>
#include <cstdint>
#include <span>
#include <string>

#include "Support.h"
#include "traffic/TrafficDescriber.h"

using namespace halvern;

namespace {
constexpr std::size_t kFrameMinCount = 4;  // address, function, CRC
constexpr std::size_t kFloodCount = 300;   // more than any frame, as the link counts them
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> input(data, size);
    TrafficDescriber describer;
    std::size_t at = 0;
    while (at < input.size()) {
        const std::uint8_t header = input[at++];
        const std::size_t length = std::min<std::size_t>(header >> 2, input.size() - at);
        const auto bytes = input.subspan(at, length);
        at += length;
        const int kind = header & 3;
        const auto dir = kind == 0   ? TrafficDirection::Sent
                         : kind == 2 ? TrafficDirection::Discarded
                                     : TrafficDirection::Received;
        const std::size_t count = kind == 3 ? kFloodCount : bytes.size();
        const TrafficMeaning m = describer.Describe(dir, bytes, count);
        FUZZ_CHECK(!m.text.empty());
        if (count <= bytes.size())
            FUZZ_CHECK((m.crc == CrcVerdict::Short) == (bytes.size() < kFrameMinCount));
        // A frame the program cannot use is marked, so the window never shows it as plain.
        if (m.crc != CrcVerdict::Ok)
            FUZZ_CHECK(m.mark == TrafficMark::Trouble);
        if (dir == TrafficDirection::Discarded)
            FUZZ_CHECK(m.mark != TrafficMark::Plain && m.text.starts_with("discarded: "));
        const std::string hex = HexText(bytes, count);
        FUZZ_CHECK(hex.size() >= (bytes.empty() ? 0 : 3 * bytes.size() - 1));
    }
    return 0;
}
