#pragma once
// Cuts a byte stream from the host into request frames. A pseudo-terminal carries no gaps
// between frames, so a frame's end comes from its function code and length: functions 3 and
// 6 are 8 bytes, 16 is 7 + byte count + 2, 200 is 9. Only frames whose CRC holds come out;
// bytes that cannot begin one are dropped one at a time until the stream is in step again.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace halvern::sim {

class FrameSplitter {
  public:
    // Takes more bytes and returns the complete frames now found, in order.
    std::vector<std::vector<std::uint8_t>> Feed(std::span<const std::uint8_t> bytes);
    // The line went quiet: a partial frame will never be completed. Drops what is pending
    // and returns any frame that stood behind a false start.
    std::vector<std::vector<std::uint8_t>> Flush();

    std::size_t Pending() const { return buf_.size(); }
    std::size_t Dropped() const { return dropped_; }  // bytes discarded so far

    // Length of the frame that would start at bytes[0]: 0 when no request starts there,
    // -1 when more bytes are needed to tell.
    static int ExpectedLength(std::span<const std::uint8_t> bytes);

  private:
    std::vector<std::vector<std::uint8_t>> Scan();

    std::vector<std::uint8_t> buf_;
    std::size_t dropped_ = 0;
};

}  // namespace halvern::sim
